// Handles of libocilite and the registry of live handles.
//
// Every handle the library gives out starts with a HandleBase carrying its
// OCI handle type, and is entered in a registry while it is live.  Each entry
// point looks its handles up there first, so a null, freed or wrong-type
// handle is answered with OCI_INVALID_HANDLE instead of being dereferenced.
//
// Ownership:
//   environment  - owns nothing (children are freed by the application)
//   error        - its records
//   service ctx  - made by OCILogon together with a server and a session
//                  handle; OCILogoff frees all three
//   statement    - its bind, define and parameter handles, and the SQLite
//                  statement; the connection is shared with the service
//                  context so that a statement outliving its logoff stays safe
#ifndef DRIFT_OCILITE_HANDLES_H
#define DRIFT_OCILITE_HANDLES_H

#include "ocilite/coltype.h"
#include "ocilite/datefmt.h"
#include "ocilite/errors.h"
#include "ocilite/number.h"
#include "ocilite/oci.h"
#include "ocilite/sqltext.h"

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

namespace ocilite {

struct HandleBase {
  explicit HandleBase(ub4 handleType) : type(handleType) {}
  virtual ~HandleBase() = default;
  HandleBase(const HandleBase &) = delete;
  HandleBase &operator=(const HandleBase &) = delete;
  ub4 type;
};

// Registry.  `track` enters a new handle, `untrack` removes it; `find`
// returns the live handle at `p` or null.
void track(HandleBase *h);
void untrack(HandleBase *h);
HandleBase *find(const void *p);

template <class T>
T *live(const void *p, ub4 type) {
  HandleBase *h = find(p);
  return h && h->type == type ? static_cast<T *>(h) : nullptr;
}

// Frees a handle and everything it owns (unregistering all of them).
void destroy(HandleBase *h);

// Session settings that conversions read.
struct Nls {
  std::string territory = "AMERICA";
  DateFormat dateFormat;  // NLS_DATE_FORMAT
  char decimal = '.';
  char group = ',';
  Nls() { dateFormat.compile("DD-MON-RR"); }
};

// One logged-on database.  Transaction states:
//
//   idle ---DML---> writing (BEGIN IMMEDIATE issued, inTransaction)
//   writing ---COMMIT / ROLLBACK / DDL / logoff---> idle
//   idle ---OCITransStart(READONLY) / SET TRANSACTION READ ONLY---> read-only
//   read-only ---COMMIT / ROLLBACK / DDL---> idle;  DML in read-only: ORA-01456
//
// Queries outside a transaction run in SQLite's autocommit mode.
struct Connection {
  sqlite3 *db = nullptr;
  std::string schema;  // the logged-on user, upper case
  Nls nls;
  bool inTransaction = false;
  bool readOnly = false;
  // Set by OCILogoff.  A statement handle that outlives the logoff keeps the
  // connection object alive but may not use it (ORA-03114).
  bool loggedOff = false;
  unsigned schemaGeneration = 0;  // bumped by every DDL run here
  bool trustedSql = false;  // libocilite's own logon check is reading (users.h)
  ~Connection();

  SqliteContext context() const { return SqliteContext{schema}; }
  OraError commit();
  OraError rollback();
  OraError beginWrite();

  // Direct-path loads.  An INSERT with the APPEND hint into a rowid table
  // without indexes or triggers only adds pages at the end of the database
  // file, and the load never reads them from the file again (SQLite keeps the
  // pages it works on in its own cache).  As the server writes such rows past
  // the table's end without keeping them in its buffer cache, the pages that a
  // connection's direct-path transactions add beyond their first
  // directPathCachedBytes leave the system's cache once committed: a load of
  // gigabytes then reuses the same memory instead of pushing everything else
  // out of the cache (and, on a virtual machine, instead of touching gigabytes
  // of memory the host must first provide).  Called before such an INSERT runs.
  void noteDirectPathLoad();

 private:
  void releaseDirectPathPages();
  int fileDescriptor();
  int cacheFd_ = -1;                // the database file, read-only, for the cache hints
  bool directPathPending_ = false;  // the open transaction ran a direct-path load
  int64_t directPathFrom_ = 0;      // file size before that transaction's first one
  int64_t directPathAdded_ = 0;     // bytes added by the committed ones
};

// The bytes of direct-path loads a connection keeps in the system's cache:
// 256 MiB (tests lower it).
extern int64_t directPathCachedBytes;

struct EnvHandle : HandleBase {
  EnvHandle() : HandleBase(OCI_HTYPE_ENV) {}
  std::vector<ErrorRecord> records;
};

struct ErrorHandle : HandleBase {
  ErrorHandle() : HandleBase(OCI_HTYPE_ERROR) {}
  std::vector<ErrorRecord> records;
};

struct ServerHandle : HandleBase {
  ServerHandle() : HandleBase(OCI_HTYPE_SERVER) {}
};

struct SessionHandle : HandleBase {
  SessionHandle() : HandleBase(OCI_HTYPE_SESSION) {}
  std::string user, password;
};

struct TransHandle : HandleBase {
  TransHandle() : HandleBase(OCI_HTYPE_TRANS) {}
};

struct SvcHandle : HandleBase {
  SvcHandle() : HandleBase(OCI_HTYPE_SVCCTX) {}
  std::shared_ptr<Connection> conn;
  ServerHandle *server = nullptr;    // made by OCILogon, freed by OCILogoff
  SessionHandle *session = nullptr;  // made by OCILogon, freed by OCILogoff
  HandleBase *serverAttr = nullptr;  // set through OCIAttrSet, not owned
  HandleBase *sessionAttr = nullptr;
};

struct StmtHandle;

struct BindHandle : HandleBase {
  BindHandle() : HandleBase(OCI_HTYPE_BIND) {}
  StmtHandle *stmt = nullptr;
  std::string name;  // ":NAME"
  unsigned char *value = nullptr;
  sb4 size = 0;
  ub2 dty = SQLT_STR;
  sb2 *ind = nullptr;
  ub2 *alen = nullptr;
  ub2 *rcode = nullptr;
  ub2 charset = 0;
  // The set of `charset`, looked up once for the id it was looked up for.
  const struct SingleByteSet *set = nullptr;
  int setFor = -1;
  // A literal of the SQL text made into a bind (ParsedSql::literals): the
  // same value for every row, held in `literal`.  Never given to the caller.
  bool fixed = false;
  std::string literal;
  // Per-execution state; the buffers keep their capacity between rows.
  ColumnType target;
  std::string targetColumn;
  std::string text;    // the value as UTF-8 text (after conversion)
  std::string stored;  // the value as stored
  Decimal number;
  // OCI_DATA_AT_EXEC with OCIBindDynamic: each row's value comes from the
  // callback, in pieces gathered into `pieces`.
  bool atExec = false;
  void *inContext = nullptr;
  OCICallbackInBind inCallback = nullptr;
  std::string pieces;
};

struct DefineHandle : HandleBase {
  DefineHandle() : HandleBase(OCI_HTYPE_DEFINE) {}
  StmtHandle *stmt = nullptr;
  ub4 position = 0;
  unsigned char *value = nullptr;
  sb4 size = 0;
  ub2 dty = SQLT_STR;
  sb2 *ind = nullptr;
  ub2 *rlen = nullptr;
  ub2 *rcode = nullptr;
  ub2 charset = 0;
  const struct SingleByteSet *set = nullptr;  // as in BindHandle
  int setFor = -1;
  // OCI_DYNAMIC_FETCH with OCIDefineDynamic: each value goes whole to the
  // buffers the callback hands out, piece by piece.
  bool dynamic = false;
  void *context = nullptr;
  OCICallbackDefine callback = nullptr;
};

struct ParamHandle : HandleBase {
  ParamHandle() : HandleBase(OCI_DTYPE_PARAM) {}
  StmtHandle *stmt = nullptr;
  std::string name;
  ColumnType columnType;
  bool nullable = true;
};

// A result column of a compiled query.
struct ResultColumn {
  std::string name;
  ColumnType type;
  bool nullable = true;
};

// A column of a table, from PRAGMA table_info.
struct TableColumn {
  std::string name;  // upper case
  ColumnType type;
  bool notNull = false;
};

struct StmtHandle : HandleBase {
  StmtHandle() : HandleBase(OCI_HTYPE_STMT) {}
  ~StmtHandle() override;
  std::string sql;
  ParsedSql parsed;
  bool preparedText = false;

  // Compiled state, valid for `compiledFor` at `compiledGeneration`.
  std::shared_ptr<Connection> conn;
  const Connection *compiledFor = nullptr;
  unsigned compiledGeneration = 0;
  sqlite3_stmt *sqlite = nullptr;
  std::vector<TableColumn> tableColumns;  // columns of parsed.tables[0]
  std::vector<ResultColumn> columns;
  std::vector<BindHandle *> bindForParam;  // by SQLite parameter index - 1

  std::vector<BindHandle *> binds;
  std::vector<DefineHandle *> defines;  // by position - 1, null where none
  std::vector<ParamHandle *> params;    // by position - 1, made on demand

  bool executed = false;
  bool eof = true;
  bool described = false;
  ub8 rowCount = 0;
  ub4 rowsFetched = 0;
  ub4 prefetchRows = 1;
  ub4 prefetchMemory = 0;
  std::string scratch;  // conversion buffer of the fetch path
  std::string pieceScratch;  // a whole value converted for a dynamic define
  // Whether the database keeps its text as UTF-8 (PRAGMA encoding), so that a
  // fetch may take a text value's bytes in place: -1 until the first fetch
  // after a compile asks.
  int textUtf8 = -1;
  // An array INSERT runs as statements of `multiRows` rows each (built on
  // the first array execution after a compile): `multi` is null when the
  // statement's text does not allow it.  The converted values of a chunk are
  // kept per row and parameter until the statement has run.
  sqlite3_stmt *multi = nullptr;
  ub4 multiRows = 0;
  bool multiTried = false;
  std::vector<std::string> multiText, multiStored;

  void finalize();
};

// Replaces the records of an error handle (a null handle takes nothing).
void setErrors(ErrorHandle *e, const OraError &err);
// setErrors, then OCI_ERROR.
sword fail(ErrorHandle *e, const OraError &err);

}  // namespace ocilite

#endif
