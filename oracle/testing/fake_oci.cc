// The scriptable OCI of the session layer's unit tests (see fake_oci.h).
#include "oracle/testing/fake_oci.h"

#include <algorithm>
#include <cstring>

namespace fakeoci {

Fake &fake() {
  static Fake instance;
  return instance;
}

void Fake::reset() {
  calls.clear();
  records.clear();
  envRecords.clear();
  endWithCode100 = false;
  columns.clear();
  rowCount = 0;
  invalidFrees = 0;
  handles_.clear();
  scripts_.clear();
  paramIndex.clear();
}

void Fake::script(const std::string &fn, std::vector<sword> results) {
  auto &queue = scripts_[fn];
  queue.insert(queue.end(), results.begin(), results.end());
}

sword Fake::next(const std::string &fn) {
  auto found = scripts_.find(fn);
  if (found == scripts_.end() || found->second.empty()) return OCI_SUCCESS;
  sword result = found->second.front();
  found->second.pop_front();
  return result;
}

std::vector<Call> Fake::callsOf(const std::string &fn) const {
  std::vector<Call> result;
  for (const Call &call : calls)
    if (call.fn == fn) result.push_back(call);
  return result;
}

std::vector<std::string> Fake::callNames() const {
  std::vector<std::string> names;
  for (const Call &call : calls) names.push_back(call.fn);
  return names;
}

int Fake::count(const std::string &fn) const {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                        [&](const Call &call) { return call.fn == fn; }));
}

void *Fake::allocate(ub4 type) {
  handles_.push_back({type, true});
  return &handles_.back();
}

bool Fake::isLive(const void *handle) const {
  for (const Handle &h : handles_)
    if (&h == handle) return h.live;
  return false;
}

int Fake::liveCount(ub4 type) const {
  return static_cast<int>(std::count_if(handles_.begin(), handles_.end(), [&](const Handle &h) {
    return h.live && h.type == type;
  }));
}

bool Fake::release(const void *handle, ub4 type) {
  for (Handle &h : handles_)
    if (&h == handle && h.live && h.type == type) {
      h.live = false;
      return true;
    }
  ++invalidFrees;
  return false;
}

}  // namespace fakeoci

using fakeoci::Call;
using fakeoci::fake;

namespace {

std::string textOf(const OraText *text, sb4 length) {
  if (!text) return std::string();
  if (length < 0) return std::string(reinterpret_cast<const char *>(text));
  return std::string(reinterpret_cast<const char *>(text), static_cast<std::size_t>(length));
}

Call &record(const char *fn) {
  fake().calls.push_back(Call{});
  fake().calls.back().fn = fn;
  return fake().calls.back();
}

}  // namespace

extern "C" {

sword OCIInitialize(ub4 mode, void *, void *(*)(void *, size_t),
                    void *(*)(void *, void *, size_t), void (*)(void *, void *)) {
  record("OCIInitialize").mode = mode;
  return fake().next("OCIInitialize");
}

sword OCIEnvInit(OCIEnv **envp, ub4 mode, size_t, void **) {
  Call &call = record("OCIEnvInit");
  call.mode = mode;
  sword result = fake().next("OCIEnvInit");
  if (result == OCI_SUCCESS) {
    *envp = static_cast<OCIEnv *>(fake().allocate(OCI_HTYPE_ENV));
    fake().calls.back().produced = *envp;
  }
  return result;
}

sword OCIHandleAlloc(const void *parent, void **handle, const ub4 type, const size_t, void **) {
  Call &call = record("OCIHandleAlloc");
  call.handle = parent;
  call.type = type;
  sword result = fake().next("OCIHandleAlloc");
  if (result == OCI_SUCCESS) {
    *handle = fake().allocate(type);
    fake().calls.back().produced = *handle;
  }
  return result;
}

sword OCIHandleFree(void *handle, const ub4 type) {
  Call &call = record("OCIHandleFree");
  call.handle = handle;
  call.type = type;
  if (!fake().release(handle, type)) return OCI_INVALID_HANDLE;
  return fake().next("OCIHandleFree");
}

sword OCILogon(OCIEnv *env, OCIError *error, OCISvcCtx **service, const OraText *user,
               ub4 userLength, const OraText *password, ub4 passwordLength,
               const OraText *database, ub4 databaseLength) {
  Call &call = record("OCILogon");
  call.handle = env;
  call.error = error;
  call.service = *service;
  call.text = textOf(user, static_cast<sb4>(userLength));
  call.length = static_cast<sb4>(userLength);
  call.password = textOf(password, static_cast<sb4>(passwordLength));
  call.passwordLength = passwordLength;
  call.database = textOf(database, static_cast<sb4>(databaseLength));
  call.databaseLength = databaseLength;
  sword result = fake().next("OCILogon");
  if (result == OCI_SUCCESS || result == OCI_SUCCESS_WITH_INFO) {
    // Like the vendor's library: a service context of its own.
    *service = static_cast<OCISvcCtx *>(fake().allocate(OCI_HTYPE_SVCCTX));
    fake().calls.back().produced = *service;
  }
  return result;
}

sword OCILogoff(OCISvcCtx *service, OCIError *error) {
  Call &call = record("OCILogoff");
  call.service = service;
  call.error = error;
  sword result = fake().next("OCILogoff");
  if (result == OCI_SUCCESS && !fake().release(service, OCI_HTYPE_SVCCTX))
    return OCI_INVALID_HANDLE;
  return result;
}

sword OCITransStart(OCISvcCtx *service, OCIError *error, uword timeout, ub4 flags) {
  Call &call = record("OCITransStart");
  call.service = service;
  call.error = error;
  call.number = timeout;
  call.mode = flags;
  return fake().next("OCITransStart");
}

sword OCITransCommit(OCISvcCtx *service, OCIError *error, ub4 flags) {
  Call &call = record("OCITransCommit");
  call.service = service;
  call.error = error;
  call.mode = flags;
  return fake().next("OCITransCommit");
}

sword OCITransRollback(OCISvcCtx *service, OCIError *error, ub4 flags) {
  Call &call = record("OCITransRollback");
  call.service = service;
  call.error = error;
  call.mode = flags;
  return fake().next("OCITransRollback");
}

sword OCIStmtPrepare(OCIStmt *statement, OCIError *error, const OraText *text, ub4 length,
                     ub4 language, ub4 mode) {
  Call &call = record("OCIStmtPrepare");
  call.handle = statement;
  call.error = error;
  call.text = textOf(text, static_cast<sb4>(length));
  call.length = static_cast<sb4>(length);
  call.number = language;
  call.mode = mode;
  return fake().next("OCIStmtPrepare");
}

sword OCIStmtExecute(OCISvcCtx *service, OCIStmt *statement, OCIError *error, ub4 iterations,
                     ub4 rowOffset, const OCISnapshot *snapIn, OCISnapshot *snapOut, ub4 mode) {
  Call &call = record("OCIStmtExecute");
  call.service = service;
  call.handle = statement;
  call.error = error;
  call.number = iterations;
  call.rowOffset = rowOffset;
  call.snapIn = snapIn;
  call.snapOut = snapOut;
  call.mode = mode;
  sword result = fake().next("OCIStmtExecute");
  // A service context that is gone is a broken handle, as with the vendor.
  if (result == OCI_SUCCESS && !fake().isLive(service)) return OCI_INVALID_HANDLE;
  return result;
}

sword OCIStmtFetch(OCIStmt *statement, OCIError *error, ub4 rows, ub2 orientation, ub4 mode) {
  Call &call = record("OCIStmtFetch");
  call.handle = statement;
  call.error = error;
  call.number = rows;
  call.orientation = orientation;
  call.mode = mode;
  return fake().next("OCIStmtFetch");
}

sword OCIDefineByPos(OCIStmt *statement, OCIDefine **define, OCIError *error, ub4 position,
                     void *value, sb4 size, ub2 dataType, void *indicators, ub2 *lengths,
                     ub2 *returnCodes, ub4 mode) {
  Call &call = record("OCIDefineByPos");
  call.handle = statement;
  call.error = error;
  call.number = position;
  call.value = value;
  call.size = size;
  call.dataType = dataType;
  call.indicators = indicators;
  call.lengths = lengths;
  call.returnCodes = returnCodes;
  call.mode = mode;
  sword result = fake().next("OCIDefineByPos");
  if (result == OCI_SUCCESS) {
    *define = static_cast<OCIDefine *>(fake().allocate(OCI_HTYPE_DEFINE));
    fake().calls.back().produced = *define;
  }
  return result;
}

sword OCIBindByName(OCIStmt *statement, OCIBind **bind, OCIError *error,
                    const OraText *placeholder, sb4 placeholderLength, void *value, sb4 size,
                    ub2 dataType, void *indicators, ub2 *lengths, ub2 *returnCodes,
                    ub4 maxArray, ub4 *currentElements, ub4 mode) {
  Call &call = record("OCIBindByName");
  call.handle = statement;
  call.error = error;
  call.text = textOf(placeholder, placeholderLength);
  call.length = placeholderLength;
  call.value = value;
  call.size = size;
  call.dataType = dataType;
  call.indicators = indicators;
  call.lengths = lengths;
  call.returnCodes = returnCodes;
  call.maxArray = maxArray;
  call.currentElements = currentElements;
  call.mode = mode;
  sword result = fake().next("OCIBindByName");
  if (result == OCI_SUCCESS) {
    *bind = static_cast<OCIBind *>(fake().allocate(OCI_HTYPE_BIND));
    fake().calls.back().produced = *bind;
  }
  return result;
}

sword OCIParamGet(const void *handle, ub4 type, OCIError *error, void **parameter, ub4 position) {
  Call &call = record("OCIParamGet");
  call.handle = handle;
  call.type = type;
  call.error = error;
  call.number = position;
  sword result = fake().next("OCIParamGet");
  if (result != OCI_SUCCESS) return result;
  if (position < 1 || position > fake().columns.size()) return OCI_ERROR;
  void *descriptor = fake().allocate(OCI_DTYPE_PARAM);
  fake().paramIndex[descriptor] = static_cast<int>(position) - 1;
  *parameter = descriptor;
  fake().calls.back().produced = descriptor;
  return OCI_SUCCESS;
}

sword OCIAttrGet(const void *handle, ub4 type, void *value, ub4 *size, ub4 attr, OCIError *error) {
  Call &call = record("OCIAttrGet");
  call.handle = handle;
  call.type = type;
  call.attr = attr;
  call.error = error;
  call.sizePointer = size != nullptr;
  sword result = fake().next("OCIAttrGet");
  if (result != OCI_SUCCESS) return result;
  if (type == OCI_HTYPE_STMT && attr == OCI_ATTR_ROW_COUNT) {
    *static_cast<ub4 *>(value) = fake().rowCount;
    return OCI_SUCCESS;
  }
  auto found = fake().paramIndex.find(handle);
  if (type != OCI_DTYPE_PARAM || found == fake().paramIndex.end()) return OCI_INVALID_HANDLE;
  const fakeoci::Column &column = fake().columns[static_cast<std::size_t>(found->second)];
  switch (attr) {
    case OCI_ATTR_DATA_TYPE:
      *static_cast<ub2 *>(value) = column.type;
      return OCI_SUCCESS;
    case OCI_ATTR_DATA_SIZE:
      *static_cast<ub2 *>(value) = column.size;
      return OCI_SUCCESS;
    case OCI_ATTR_NAME:
      *static_cast<const OraText **>(value) =
          reinterpret_cast<const OraText *>(column.name.data());
      if (size) *size = static_cast<ub4>(column.name.size());
      return OCI_SUCCESS;
    default:
      return OCI_ERROR;
  }
}

sword OCIAttrSet(void *handle, ub4 type, void *value, ub4 size, ub4 attr, OCIError *error) {
  Call &call = record("OCIAttrSet");
  call.handle = handle;
  call.type = type;
  call.attr = attr;
  call.error = error;
  call.size = static_cast<sb4>(size);
  // The character-set id is a ub2; other attributes read here are ub4.
  if (value && attr == OCI_ATTR_CHARSET_ID) {
    ub2 id;
    std::memcpy(&id, value, sizeof id);
    call.attrValue = id;
  } else if (value) {
    std::memcpy(&call.attrValue, value, sizeof call.attrValue);
  }
  return fake().next("OCIAttrSet");
}

sword OCIErrorGet(void *handle, ub4 recordNumber, OraText *sqlState, sb4 *code, OraText *buffer,
                  ub4 bufferSize, ub4 type) {
  Call &call = record("OCIErrorGet");
  call.handle = handle;
  call.number = recordNumber;
  call.nullSqlState = sqlState == nullptr;
  call.bufferSize = bufferSize;
  call.type = type;
  if (!fake().isLive(handle)) return OCI_INVALID_HANDLE;
  const auto &records = type == OCI_HTYPE_ENV ? fake().envRecords : fake().records;
  if (recordNumber >= 1 && recordNumber <= records.size()) {
    const fakeoci::ErrorRecord &found = records[recordNumber - 1];
    *code = found.code;
    std::size_t length = std::min<std::size_t>(found.text.size(), bufferSize - 1);
    std::memcpy(buffer, found.text.data(), length);
    buffer[length] = '\0';
    return OCI_SUCCESS;
  }
  if (fake().endWithCode100) {
    *code = 100;
    buffer[0] = '\0';
    return OCI_SUCCESS;
  }
  return OCI_NO_DATA;
}

sword OCIBindDynamic(OCIBind *bind, OCIError *error, void *inContext, OCICallbackInBind in,
                     void *outContext, OCICallbackOutBind out) {
  Call &call = record("OCIBindDynamic");
  call.handle = bind;
  call.error = error;
  call.value = inContext;  // the callbacks themselves are not kept
  (void)in;
  (void)outContext;
  (void)out;
  return fake().next("OCIBindDynamic");
}

sword OCIDefineDynamic(OCIDefine *define, OCIError *error, void *context,
                       OCICallbackDefine callback) {
  Call &call = record("OCIDefineDynamic");
  call.handle = define;
  call.error = error;
  call.value = context;  // the callback itself is not kept
  (void)callback;
  return fake().next("OCIDefineDynamic");
}

sword OCIDescriptorFree(void *descriptor, const ub4 type) {
  Call &call = record("OCIDescriptorFree");
  call.handle = descriptor;
  call.type = type;
  if (!fake().release(descriptor, type)) return OCI_INVALID_HANDLE;
  return OCI_SUCCESS;
}

}  // extern "C"
