// oracle_session.h -- the Oracle session layer: one OracleSession per run,
// one OracleStatement per SQL text a driver keeps ready, both over OCI.
//
// Error model: every operation either succeeds or throws an int from
// OracleErrorCode.  The driver catches the code and asks the session for the
// message with errorText(); the session keeps the return code of the latest
// OCI call (and OCI keeps the error records) so that the message can name the
// OCI reason after the exception has travelled up.  errorText() describes
// only the latest failure: any OCI call made in between replaces it.
//
// Two builds.  The sources are compiled twice: the export build (default) and
// the import build (DRIFT_IMPORT_BUILD=1).  They differ in:
//   - execute(): the export build also accepts OCI_NO_DATA (returned as 100);
//   - the message table: the import build knows codes 1-11 and 20 only, any
//     other code yields "Unexpected error.\n%s";
//   - the reason text: the import build turns CR and LF into blanks;
//   - OracleStatement: the import build has no define list and no prepared
//     flag (a statement is prepared while its text is not empty), and offers
//     only the column operations it needs (columnType, columnSize).
// A program links exactly one of the two builds.
//
// Ownership.  The session owns its environment, error, server and service
// context handles; statements refer to their session, which must outlive
// them.  A statement owns its statement handle; bind and define handles and
// parameter descriptors live inside it and go with it.  The caller owns the
// value, indicator and length arrays given to defineColumn/bindParameter and
// keeps them at the same address until the statement is released or
// prepared again.
//
// Not thread-safe: one session and its statements belong to one thread.
#ifndef DRIFT_ORACLE_ORACLE_SESSION_H
#define DRIFT_ORACLE_ORACLE_SESSION_H

#include <cstddef>
#include <string>

#include "ocilite/oci.h"

// Codes raised by OracleSession and OracleStatement.  They are plain ints
// (throw OracleErrorCode::Logon throws an int), caught as `catch (int code)`.
struct OracleErrorCode {
  static constexpr int EnvInit         = 1;  // OCIEnvInit failed
  static constexpr int HandleAlloc     = 2;  // OCIHandleAlloc of error/server/service/statement failed
  static constexpr int NotOpen         = 3;  // the operation needs an open session
  static constexpr int AlreadyOpen     = 4;  // open() on an open session
  static constexpr int Logon           = 5;  // OCILogon failed
  static constexpr int Logoff          = 6;  // OCILogoff failed
  static constexpr int Prepare         = 7;  // OCIStmtPrepare failed
  static constexpr int NotPrepared     = 8;  // the operation needs a prepared statement
  static constexpr int Execute         = 9;  // OCIStmtExecute failed (execute or describe)
  static constexpr int ParamListFull   = 10;  // a 257th parameter was bound
  static constexpr int Bind            = 11;  // OCIBindByName failed
  static constexpr int ParamGet        = 12;  // OCIParamGet of a select-list item failed
  static constexpr int AttrGet         = 13;  // OCIAttrGet failed
  static constexpr int ColumnListFull  = 14;  // a 257th column was defined
  static constexpr int Define          = 15;  // OCIDefineByPos failed
  static constexpr int Fetch           = 16;  // OCIStmtFetch failed
  static constexpr int TransStart      = 17;  // OCITransStart failed
  static constexpr int TransCommit     = 18;  // OCITransCommit failed
  static constexpr int TransRollback   = 19;  // reserved; nothing raises it
  static constexpr int AttrSet         = 20;  // setting the character-set id of a define/bind failed
};

class OracleStatement;

class OracleSession {
 public:
  // Room for the OCI reason text in a message, without its terminator.
  static constexpr std::size_t kReasonMax = 3899;
  // Size of the buffer that one error record is read into.
  static constexpr std::size_t kRecordBuffer = 3500;
  // Room errorText() needs at most (formats, detail, reason, terminator).
  static constexpr std::size_t kMessageMax = 4400;

  OracleSession();
  virtual ~OracleSession();
  OracleSession(const OracleSession &) = delete;
  OracleSession &operator=(const OracleSession &) = delete;

  // Logs on.  NUL-terminated texts; null counts as empty; an empty service
  // name means the local database.  Throws EnvInit, HandleAlloc,
  // AlreadyOpen or Logon.  After a failure the session stays closed and
  // keeps the handles it allocated (the destructor frees them).
  // OCI_SUCCESS_WITH_INFO (such as ORA-28002, the password will expire
  // soon) is a logon: the session is open and logonWarning() holds the
  // server's text.
  void open(const char *userName, const char *password, const char *serviceName);
  // The server's warning of the latest successful logon, one line without
  // its line end; empty when it answered OCI_SUCCESS.
  const std::string &logonWarning() const { return warning; }
  // Logs off when open; the session counts as closed even when that fails
  // (throws Logoff).  Does nothing when closed.
  void close();
  bool isOpen() const { return connected; }
  // OCITransStart with a 60 s timeout.  Throws NotOpen or TransStart (only
  // for OCI_ERROR; every other result counts as success).
  void startTransaction(ub4 flags);
  // OCITransCommit.  Throws NotOpen or TransCommit.
  void commit(ub4 flags);

  // Writes the complete message for `code` into out (at most outSize bytes
  // including the terminator; kMessageMax is always enough).  Never throws.
  void errorText(int code, char *out, std::size_t outSize) const;
  std::string errorText(int code) const;

  // Read-only views of the session's state.
  sword lastStatus() const { return status; }
  const char *contextDetail() const { return detail; }
  const char *service() const { return serviceName; }
  const char *user() const { return userName; }

 private:
  friend class OracleStatement;

  std::string reasonText() const;
  void setDetail(const char *format, ...) __attribute__((format(printf, 2, 3)));

  std::string warning;        // see logonWarning()
  sword status;               // result of the latest OCI call of the layer
  OCIEnv *env;
  OCIError *error;
  OCIServer *server;
  OCISvcCtx *serviceContext;  // null when it is not ours (freed by logoff)
  char detail[256];           // context of the latest column/attribute/bind step
  bool connected;
  char serviceName[128];
  char userName[128];
};

class OracleStatement {
 public:
  // Most bind (and define) handles one statement holds.
  static constexpr int kMaxHandles = 256;

  explicit OracleStatement(OracleSession *session);
  virtual ~OracleStatement();
  OracleStatement(const OracleStatement &) = delete;
  OracleStatement &operator=(const OracleStatement &) = delete;

  // Prepares sqlText (any length; the whole text goes to OCI).  A prepared
  // statement is released first.  Throws NotOpen, HandleAlloc or Prepare.
  void prepare(const char *sqlText);
  // Frees the statement handle and drops text, binds and defines.  Never
  // throws.
  void release();
  bool isPrepared() const;
  // Executes with `iterations` rows (0 for a query fetched later).  Returns
  // 0, or 100 for OCI_NO_DATA in the export build.  Throws NotPrepared or
  // Execute.
  int execute(int iterations);
  // OCI_ATTR_ROW_COUNT of the statement: rows processed by the latest
  // execution (for an array INSERT that failed, the rows before the refused
  // one).  -1 when it cannot be read.  Replaces the session's status.
  int rowsProcessed();
  // Describe-only execution: the select list can be described afterwards.
  // Throws NotPrepared or Execute.
  void describe();

  // OCI data type code of select-list item `position` (from 1).  Throws
  // NotPrepared, ParamGet or AttrGet.
  ub2 columnType(int position);

  // Size in bytes of the item.  Throws NotPrepared, ParamGet or AttrGet.  The
  // import sizes the memo slots from it.
  ub2 columnSize(int position);

#if !DRIFT_IMPORT_BUILD
  // Copies the item's name into out (NUL-terminated, cut to outSize - 1).
  // Throws NotPrepared, ParamGet or AttrGet.
  void columnName(int position, char *out, std::size_t outSize = 256);
  // Defines item `position`: row k goes to values + k*slotSize,
  // indicators[k], lengths[k].  dataType 0 means SQLT_STR; charsetId 0 sets
  // none.  Throws NotPrepared, ColumnListFull, Define or AttrSet.
  void defineColumn(int position, void *values, int slotSize, ub2 dataType,
                    sb2 *indicators, ub2 *lengths, ub2 charsetId);
  // Fetches up to `rows` rows into the defined arrays.  Returns 0, or 100
  // when the result set has ended (rows of this call may still have come).
  // When rowCount is given it receives the rows fetched so far in total.
  // Throws NotPrepared, Fetch or AttrGet.
  int fetch(int rows, int *rowCount = nullptr);
  // Number of select-list items of a described or executed query.  Throws
  // NotPrepared or AttrGet.
  int columnCount();
  // What the describe says of item `position` beyond type and size: precision
  // and scale (NUMBER; 0 and -127 when unconstrained), and the length in
  // characters of a character item (0 for other types).  Throws NotPrepared,
  // ParamGet or AttrGet.
  void columnShape(int position, int *precision, int *scale, int *charLength);
  // Whether the latest fetch answered OCI_SUCCESS_WITH_INFO (a value cut to
  // its buffer, whose indicator then holds its full length, or another
  // warning); its rows were delivered and counted all the same.
  bool lastFetchWarned() const { return fetchWarned; }
  // Defines item `position` for whole values of any length: OCI hands each
  // value to `callback` piece by piece (OCI_DYNAMIC_FETCH with a define
  // callback), as text of external type SQLT_LNG.  charsetId as for
  // defineColumn.  Throws NotPrepared, ColumnListFull, Define or AttrSet.
  void defineWhole(int position, void *context, OCICallbackDefine callback, ub2 charsetId);
#endif

  // Binds placeholder `name` (with its colon): row k is read from
  // values + k*slotSize, its length from lengths[k] when lengths is given.
  // dataType 0 means SQLT_STR; charsetId 0 sets none.  Throws NotPrepared,
  // ParamListFull, Bind or AttrSet.
  void bindParameter(const char *name, void *values, int slotSize, ub2 dataType,
                     ub2 *lengths, ub2 charsetId);

  // Binds placeholder `name` for whole values of any length: at every
  // execution OCI asks `callback` for row k's value (OCI_DATA_AT_EXEC with an
  // in-bind callback), sent as text of external type SQLT_LNG.  charsetId as
  // for bindParameter.  Throws NotPrepared, ParamListFull, Bind or AttrSet.
  void bindWhole(const char *name, void *context, OCICallbackInBind callback, ub2 charsetId);

  // Read-only views of the statement's state.
  const std::string &text() const { return sqlText; }
  int bindsUsed() const { return bindCount; }
#if !DRIFT_IMPORT_BUILD
  int definesUsed() const { return defineCount; }
#endif
  OCIStmt *ociHandle() const { return handle; }

 private:
  // Throws NotPrepared (with an empty reason) unless prepared.
  void requirePrepared();
  // OCIParamGet for a select-list item; throws ParamGet.
  OCIParam *selectItem(int position);
  // The next free bind slot of a prepared statement; throws NotPrepared or
  // ParamListFull.
  OCIBind **nextBind();
#if !DRIFT_IMPORT_BUILD
  // The next free define slot of a prepared statement; throws NotPrepared or
  // ColumnListFull.
  OCIDefine **nextDefine();
#endif
  // Declares the character set of a bind or define (charsetId 0: none); throws
  // AttrSet.
  void setCharset(void *handleOf, ub4 handleType, ub2 charsetId);

#if !DRIFT_IMPORT_BUILD
  bool prepared;
  bool fetchWarned = false;
#endif
  OCIBind *binds[kMaxHandles];
#if !DRIFT_IMPORT_BUILD
  OCIDefine *defines[kMaxHandles];
#endif
  int bindCount;
#if !DRIFT_IMPORT_BUILD
  int defineCount;
#endif
  std::string sqlText;
  OCIStmt *handle;
  OracleSession *session;
};

#endif  // DRIFT_ORACLE_ORACLE_SESSION_H
