// OracleStatement: prepare, execute, describe and release; the select-list
// description, defines and fetch; parameter binds.
//
// States: Released (no handle, or a handle left by a failed prepare) and
// Prepared.  prepare() moves to Prepared, release() back.  Binds and defines
// belong to the prepared statement and are dropped with it.
#include <cstring>

#include "oracle/oracle_session.h"

namespace {

const OraText *oraText(const char *text) {
  return reinterpret_cast<const OraText *>(text ? text : "");
}

// A parameter descriptor from OCIParamGet, freed when the describing step is
// done with it: the client library allocates one per call.
struct ParamDescriptor {
  OCIParam *parameter;
  ~ParamDescriptor() {
    if (parameter) OCIDescriptorFree(parameter, OCI_DTYPE_PARAM);
  }
};

// Largest value_sz OCI takes: a whole value of any length moves in pieces.
constexpr sb4 kWholeValueSize = 0x7FFFFFFF;

}  // namespace

OracleStatement::OracleStatement(OracleSession *owner)
    :
#if !DRIFT_IMPORT_BUILD
      prepared(false),
#endif
      binds(),
#if !DRIFT_IMPORT_BUILD
      defines(),
#endif
      bindCount(0),
#if !DRIFT_IMPORT_BUILD
      defineCount(0),
#endif
      handle(nullptr),
      session(owner) {
}

OracleStatement::~OracleStatement() { release(); }

bool OracleStatement::isPrepared() const {
#if DRIFT_IMPORT_BUILD
  return !sqlText.empty();
#else
  return prepared;
#endif
}

void OracleStatement::requirePrepared() {
  if (isPrepared()) return;
  if (session) session->status = OCI_SUCCESS;
  throw OracleErrorCode::NotPrepared;
}

void OracleStatement::release() {
  // A handle left by a failed prepare is freed too.
  if (handle) OCIHandleFree(handle, OCI_HTYPE_STMT);
  handle = nullptr;
#if !DRIFT_IMPORT_BUILD
  prepared = false;
  defineCount = 0;
#endif
  sqlText.clear();
  sqlText.shrink_to_fit();
  bindCount = 0;
}

void OracleStatement::prepare(const char *text) {
  // Also frees a handle kept by an earlier failed prepare, which the new
  // allocation would otherwise overwrite.
  if (isPrepared() || handle) release();
  if (!session || !session->connected) {
    if (session) session->status = OCI_SUCCESS;
    throw OracleErrorCode::NotOpen;
  }
  session->status = OCIHandleAlloc(session->env, reinterpret_cast<void **>(&handle), OCI_HTYPE_STMT,
                                   0, nullptr);
  if (session->status != OCI_SUCCESS) {
    handle = nullptr;  // nothing usable was allocated
    throw OracleErrorCode::HandleAlloc;
  }
  std::size_t length = text ? std::strlen(text) : 0;
  session->status = OCIStmtPrepare(handle, session->error, oraText(text),
                                   static_cast<ub4>(length), OCI_NTV_SYNTAX, OCI_DEFAULT);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::Prepare;
  sqlText.assign(text ? text : "", length);
#if !DRIFT_IMPORT_BUILD
  // Prepared means "has a text" in both builds, so they answer alike.
  prepared = !sqlText.empty();
#endif
}

int OracleStatement::execute(int iterations) {
  requirePrepared();
  session->status = OCIStmtExecute(session->serviceContext, handle, session->error,
                                   static_cast<ub4>(iterations), 0, nullptr, nullptr, OCI_DEFAULT);
  if (session->status == OCI_SUCCESS) return 0;
#if !DRIFT_IMPORT_BUILD
  if (session->status == OCI_NO_DATA) return OCI_NO_DATA;
#endif
  throw OracleErrorCode::Execute;
}

int OracleStatement::rowsProcessed() {
  if (!isPrepared() || !handle) return -1;
  ub4 rows = 0;
  session->status =
      OCIAttrGet(handle, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, session->error);
  if (session->status != OCI_SUCCESS || rows > 0x7FFFFFFF) return -1;
  return static_cast<int>(rows);
}

void OracleStatement::describe() {
  requirePrepared();
  session->status = OCIStmtExecute(session->serviceContext, handle, session->error, 1, 0, nullptr,
                                   nullptr, OCI_DESCRIBE_ONLY);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::Execute;
}

OCIParam *OracleStatement::selectItem(int position) {
  requirePrepared();
  session->setDetail("%i", position);
  void *parameter = nullptr;
  session->status = OCIParamGet(handle, OCI_HTYPE_STMT, session->error, &parameter,
                                static_cast<ub4>(position));
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::ParamGet;
  return static_cast<OCIParam *>(parameter);
}

ub2 OracleStatement::columnType(int position) {
  ParamDescriptor described{selectItem(position)};
  OCIParam *parameter = described.parameter;
  session->setDetail("'type' from column %i", position);
  ub2 type = 0;
  session->status =
      OCIAttrGet(parameter, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, session->error);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::AttrGet;
  return type;
}

ub2 OracleStatement::columnSize(int position) {
  ParamDescriptor described{selectItem(position)};
  OCIParam *parameter = described.parameter;
  session->setDetail("'size' from column %i", position);
  ub2 size = 0;
  session->status =
      OCIAttrGet(parameter, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, session->error);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::AttrGet;
  return size;
}

#if !DRIFT_IMPORT_BUILD

void OracleStatement::columnName(int position, char *out, std::size_t outSize) {
  ParamDescriptor described{selectItem(position)};
  OCIParam *parameter = described.parameter;
  session->setDetail("'name' from column %i", position);
  OraText *name = nullptr;
  ub4 nameLength = 0;
  session->status =
      OCIAttrGet(parameter, OCI_DTYPE_PARAM, &name, &nameLength, OCI_ATTR_NAME, session->error);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::AttrGet;
  if (!out || outSize == 0) return;
  std::size_t length = name ? nameLength : 0;
  if (length > outSize - 1) length = outSize - 1;
  if (length) std::memcpy(out, name, length);
  out[length] = '\0';
}

void OracleStatement::defineColumn(int position, void *values, int slotSize, ub2 dataType,
                                   sb2 *indicators, ub2 *lengths, ub2 charsetId) {
  if (dataType == 0) dataType = SQLT_STR;
  OCIDefine **define = nextDefine();
  session->setDetail("%i", position);
  session->status = OCIDefineByPos(handle, define, session->error, static_cast<ub4>(position),
                                   values, slotSize, dataType, indicators, lengths, nullptr,
                                   OCI_DEFAULT);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::Define;
  session->setDetail("to column '%i'", position);
  setCharset(*define, OCI_HTYPE_DEFINE, charsetId);
  ++defineCount;
}

int OracleStatement::fetch(int rows, int *rowCount) {
  requirePrepared();
  // Prefetching only tunes round trips; its result does not matter.
  ub4 prefetch = static_cast<ub4>(rows);
  OCIAttrSet(handle, OCI_HTYPE_STMT, &prefetch, 0, OCI_ATTR_PREFETCH_ROWS, session->error);
  sword result =
      OCIStmtFetch(handle, session->error, static_cast<ub4>(rows), OCI_FETCH_NEXT, OCI_DEFAULT);
  session->status = result;
  // OCI_SUCCESS_WITH_INFO delivers its rows too (a value cut to its buffer,
  // ORA-01406, marked in its indicator; a NULL in an aggregate, ORA-24347):
  // the rows count, and the caller finds the cut values by their indicators.
  fetchWarned = result == OCI_SUCCESS_WITH_INFO;
  if (fetchWarned) result = OCI_SUCCESS;
  if (result != OCI_SUCCESS && result != OCI_NO_DATA) throw OracleErrorCode::Fetch;
  if (rowCount) {
    sb4 value = -1;
    session->setDetail("'row_count'");
    session->status =
        OCIAttrGet(handle, OCI_HTYPE_STMT, &value, nullptr, OCI_ATTR_ROW_COUNT, session->error);
    if (session->status != OCI_SUCCESS) throw OracleErrorCode::AttrGet;
    *rowCount = value;
  }
  return result;
}

void OracleStatement::defineWhole(int position, void *context, OCICallbackDefine callback,
                                  ub2 charsetId) {
  OCIDefine **define = nextDefine();
  session->setDetail("%i", position);
  session->status = OCIDefineByPos(handle, define, session->error, static_cast<ub4>(position),
                                   nullptr, kWholeValueSize, SQLT_LNG, nullptr, nullptr, nullptr,
                                   OCI_DYNAMIC_FETCH);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::Define;
  session->status = OCIDefineDynamic(*define, session->error, context, callback);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::Define;
  session->setDetail("to column '%i'", position);
  setCharset(*define, OCI_HTYPE_DEFINE, charsetId);
  ++defineCount;
}

OCIDefine **OracleStatement::nextDefine() {
  requirePrepared();
  if (defineCount == kMaxHandles) {
    session->status = OCI_SUCCESS;
    throw OracleErrorCode::ColumnListFull;
  }
  return &defines[defineCount];
}

#endif  // !DRIFT_IMPORT_BUILD

OCIBind **OracleStatement::nextBind() {
  requirePrepared();
  if (bindCount == kMaxHandles) {
    session->status = OCI_SUCCESS;
    throw OracleErrorCode::ParamListFull;
  }
  return &binds[bindCount];
}

void OracleStatement::setCharset(void *handleOf, ub4 handleType, ub2 charsetId) {
  if (charsetId == 0) return;
  // The attribute is a ub2.  Its result is not kept in status, so the message
  // carries the reason of the bind or define before it (none).
  ub2 charset = charsetId;
  if (OCIAttrSet(handleOf, handleType, &charset, 0, OCI_ATTR_CHARSET_ID, session->error) !=
      OCI_SUCCESS)
    throw OracleErrorCode::AttrSet;
}

void OracleStatement::bindWhole(const char *name, void *context, OCICallbackInBind callback,
                                ub2 charsetId) {
  OCIBind **bind = nextBind();
  if (!name) name = "";
  session->setDetail("%s", name);
  session->status =
      OCIBindByName(handle, bind, session->error, oraText(name), -1, nullptr, kWholeValueSize,
                    SQLT_LNG, nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::Bind;
  session->status = OCIBindDynamic(*bind, session->error, context, callback, nullptr, nullptr);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::Bind;
  session->setDetail("to parameter '%s'", name);
  setCharset(*bind, OCI_HTYPE_BIND, charsetId);
  ++bindCount;
}

void OracleStatement::bindParameter(const char *name, void *values, int slotSize, ub2 dataType,
                                    ub2 *lengths, ub2 charsetId) {
  if (dataType == 0) dataType = SQLT_STR;
  OCIBind **bind = nextBind();
  if (!name) name = "";
  session->setDetail("%s", name);
  session->status = OCIBindByName(handle, bind, session->error, oraText(name), -1, values, slotSize,
                                  dataType, nullptr, lengths, nullptr, 0, nullptr, OCI_DEFAULT);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::Bind;
  session->setDetail("to parameter '%s'", name);
  setCharset(*bind, OCI_HTYPE_BIND, charsetId);
  ++bindCount;
}
