// Handle registry, environment and handle allocation, error records.
#include "ocilite/handles.h"

#include <unistd.h>

#include <cstring>
#include <mutex>
#include <unordered_set>

namespace ocilite {

namespace {

std::mutex &registryMutex() {
  static std::mutex m;
  return m;
}

// Never destroyed: handles may be freed from other static destructors, and
// an environment the application keeps to the end of the process stays
// reachable rather than leaked.
std::unordered_set<const void *> &registry() {
  static auto *set = new std::unordered_set<const void *>;
  return *set;
}

}  // namespace

void track(HandleBase *h) {
  std::lock_guard<std::mutex> lock(registryMutex());
  registry().insert(h);
}

void untrack(HandleBase *h) {
  std::lock_guard<std::mutex> lock(registryMutex());
  registry().erase(h);
}

HandleBase *find(const void *p) {
  if (!p) return nullptr;
  std::lock_guard<std::mutex> lock(registryMutex());
  return registry().count(p) ? static_cast<HandleBase *>(const_cast<void *>(p)) : nullptr;
}

void destroy(HandleBase *h) {
  if (!h) return;
  untrack(h);
  if (h->type == OCI_HTYPE_SVCCTX) {
    auto *svc = static_cast<SvcHandle *>(h);
    destroy(svc->server);
    destroy(svc->session);
  }
  delete h;
}

Connection::~Connection() {
  if (db) sqlite3_close_v2(db);
  if (cacheFd_ >= 0) close(cacheFd_);
}

void StmtHandle::finalize() {
  if (sqlite) sqlite3_finalize(sqlite);
  sqlite = nullptr;
  if (multi) sqlite3_finalize(multi);
  multi = nullptr;
  multiRows = 0;
  multiTried = false;
  compiledFor = nullptr;
  bindForParam.clear();
  columns.clear();
  tableColumns.clear();
}

StmtHandle::~StmtHandle() {
  finalize();
  for (BindHandle *b : binds) destroy(b);
  for (DefineHandle *d : defines) destroy(d);
  for (ParamHandle *p : params) destroy(p);
}

void setErrors(ErrorHandle *e, const OraError &err) {
  if (e) e->records = err.records();
}

sword fail(ErrorHandle *e, const OraError &err) {
  setErrors(e, err);
  return OCI_ERROR;
}

}  // namespace ocilite

using namespace ocilite;

extern "C" {

sword OCIInitialize(ub4 mode, void *ctxp, void *(*malocfp)(void *, size_t),
                    void *(*ralocfp)(void *, void *, size_t), void (*mfreefp)(void *, void *)) {
  // Memory callbacks are accepted; the library uses its own allocator.
  return OCI_SUCCESS;
}

sword OCIEnvInit(OCIEnv **envp, ub4 mode, size_t xtramem_sz, void **usrmempp) {
  if (!envp) return OCI_INVALID_HANDLE;
  auto *env = new EnvHandle;
  track(env);
  *envp = reinterpret_cast<OCIEnv *>(env);
  if (usrmempp) *usrmempp = nullptr;
  return OCI_SUCCESS;
}

sword OCIHandleAlloc(const void *parenth, void **hndlpp, const ub4 type, const size_t xtramem_sz,
                     void **usrmempp) {
  auto *env = live<EnvHandle>(parenth, OCI_HTYPE_ENV);
  if (!env || !hndlpp) return OCI_INVALID_HANDLE;
  env->records.clear();
  HandleBase *h = nullptr;
  switch (type) {
    case OCI_HTYPE_ERROR: h = new ErrorHandle; break;
    case OCI_HTYPE_SVCCTX: h = new SvcHandle; break;
    case OCI_HTYPE_STMT: h = new StmtHandle; break;
    case OCI_HTYPE_SERVER: h = new ServerHandle; break;
    case OCI_HTYPE_SESSION: h = new SessionHandle; break;
    case OCI_HTYPE_TRANS: h = new TransHandle; break;
    default: {
      // Bind and define handles come from OCIBindByName / OCIDefineByPos.
      OraError err(24315, oraMessage(24315));
      env->records = err.records();
      return OCI_ERROR;
    }
  }
  track(h);
  *hndlpp = h;
  if (usrmempp) *usrmempp = nullptr;
  return OCI_SUCCESS;
}

sword OCIHandleFree(void *hndlp, const ub4 type) {
  HandleBase *h = find(hndlp);
  if (!h || h->type != type) return OCI_INVALID_HANDLE;
  switch (type) {
    case OCI_HTYPE_BIND:
    case OCI_HTYPE_DEFINE:
      // They belong to their statement and go with it.
      return OCI_INVALID_HANDLE;
    default: break;
  }
  destroy(h);
  return OCI_SUCCESS;
}

sword OCIDescriptorFree(void *descp, const ub4 type) {
  auto *p = live<ParamHandle>(descp, OCI_DTYPE_PARAM);
  if (!p || type != OCI_DTYPE_PARAM) return OCI_INVALID_HANDLE;
  if (p->stmt) {
    for (ParamHandle *&slot : p->stmt->params)
      if (slot == p) slot = nullptr;
  }
  destroy(p);
  return OCI_SUCCESS;
}

sword OCIErrorGet(void *hndlp, ub4 recordno, OraText *sqlstate, sb4 *errcodep, OraText *bufp, ub4 bufsiz,
                  ub4 type) {
  const std::vector<ErrorRecord> *records = nullptr;
  if (type == OCI_HTYPE_ERROR) {
    if (auto *e = live<ErrorHandle>(hndlp, OCI_HTYPE_ERROR)) records = &e->records;
  } else if (type == OCI_HTYPE_ENV) {
    if (auto *e = live<EnvHandle>(hndlp, OCI_HTYPE_ENV)) records = &e->records;
  }
  if (!records) return OCI_INVALID_HANDLE;
  if (recordno == 0 || recordno > records->size()) return OCI_NO_DATA;
  const ErrorRecord &r = (*records)[recordno - 1];
  if (errcodep) *errcodep = r.code;
  if (bufp && bufsiz > 0) {
    size_t n = r.text.size() < bufsiz - 1 ? r.text.size() : bufsiz - 1;
    std::memcpy(bufp, r.text.data(), n);
    bufp[n] = '\0';
  }
  return OCI_SUCCESS;
}

}  // extern "C"
