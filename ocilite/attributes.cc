// Describe (OCIParamGet) and attributes (OCIAttrGet / OCIAttrSet).
//
// Attribute numbers mean different things on different handle types, so
// every lookup goes by the pair (handle type, attribute).
#include "ocilite/handles.h"

#include <cstring>

#include "ocilite/charset.h"

namespace ocilite {

namespace {

template <class T>
void put(void *attributep, ub4 *sizep, T value) {
  std::memcpy(attributep, &value, sizeof value);
  if (sizep) *sizep = sizeof value;
}

sword badAttribute(ErrorHandle *err) { return fail(err, oraError(24315)); }

// The sets libocilite converts: the single-byte sets of charset.h, and the
// store's own UTF-8 whose bytes pass unchanged.
// Any other set would need a conversion it lacks, so it is refused rather than
// passed off as UTF-8.
bool storeCharset(ub2 id) { return id == kCharsetUtf8 || id == kCharsetAl32Utf8; }

bool validCharset(ub2 id) { return id == 0 || storeCharset(id) || singleByteSet(id) != nullptr; }

}  // namespace

}  // namespace ocilite

using namespace ocilite;

extern "C" {

sword OCIParamGet(const void *hndlp, ub4 htype, OCIError *errhp, void **parmdpp, ub4 pos) {
  auto *s = live<StmtHandle>(hndlp, OCI_HTYPE_STMT);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!s || !err || !parmdpp || htype != OCI_HTYPE_STMT) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (!s->described) return fail(err, oraError(24338));
  if (pos == 0 || pos > s->columns.size()) return fail(err, oraError(24334));
  if (s->params.size() < s->columns.size()) s->params.resize(s->columns.size(), nullptr);
  ParamHandle *&p = s->params[pos - 1];
  if (!p) {
    p = new ParamHandle;
    track(p);
  }
  const ResultColumn &c = s->columns[pos - 1];
  p->stmt = s;
  p->name = c.name;
  p->columnType = c.type;
  p->nullable = c.nullable;
  *parmdpp = p;
  return OCI_SUCCESS;
}

sword OCIAttrGet(const void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 *sizep, ub4 attrtype,
                 OCIError *errhp) {
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  HandleBase *h = find(trgthndlp);
  // A select-list parameter may be named with either descriptor type.
  bool typeOk = h && (h->type == trghndltyp || (h->type == OCI_DTYPE_PARAM && trghndltyp == OCI_HTYPE_DESCRIBE));
  if (!err || !typeOk || !attributep) return OCI_INVALID_HANDLE;
  err->records.clear();
  switch (h->type) {
    case OCI_HTYPE_STMT: {
      auto *s = static_cast<StmtHandle *>(h);
      switch (attrtype) {
        case OCI_ATTR_ROW_COUNT: put<ub4>(attributep, sizep, static_cast<ub4>(s->rowCount)); return OCI_SUCCESS;
        case OCI_ATTR_UB8_ROW_COUNT: put<ub8>(attributep, sizep, s->rowCount); return OCI_SUCCESS;
        case OCI_ATTR_ROWS_FETCHED: put<ub4>(attributep, sizep, s->rowsFetched); return OCI_SUCCESS;
        case OCI_ATTR_PARAM_COUNT:
          put<ub4>(attributep, sizep, static_cast<ub4>(s->described ? s->columns.size() : 0));
          return OCI_SUCCESS;
        case OCI_ATTR_STMT_TYPE: put<ub2>(attributep, sizep, s->parsed.ociType); return OCI_SUCCESS;
        case OCI_ATTR_PREFETCH_ROWS: put<ub4>(attributep, sizep, s->prefetchRows); return OCI_SUCCESS;
        case OCI_ATTR_PREFETCH_MEMORY: put<ub4>(attributep, sizep, s->prefetchMemory); return OCI_SUCCESS;
        case OCI_ATTR_PARSE_ERROR_OFFSET: put<ub2>(attributep, sizep, 0); return OCI_SUCCESS;
        default: return badAttribute(err);
      }
    }
    case OCI_DTYPE_PARAM: {
      auto *p = static_cast<ParamHandle *>(h);
      const ColumnType &t = p->columnType;
      switch (attrtype) {
        case OCI_ATTR_DATA_SIZE: put<ub2>(attributep, sizep, t.dataSize); return OCI_SUCCESS;
        case OCI_ATTR_DATA_TYPE: put<ub2>(attributep, sizep, t.oraType); return OCI_SUCCESS;
        case OCI_ATTR_NAME: {
          const char *name = p->name.c_str();
          std::memcpy(attributep, &name, sizeof name);
          if (sizep) *sizep = static_cast<ub4>(p->name.size());
          return OCI_SUCCESS;
        }
        case OCI_ATTR_PRECISION:
          put<sb2>(attributep, sizep, static_cast<sb2>(t.kind == ColumnKind::Number ? t.precision : 0));
          return OCI_SUCCESS;
        case OCI_ATTR_SCALE:
          put<sb1>(attributep, sizep, static_cast<sb1>(t.kind == ColumnKind::Number ? t.scale : 0));
          return OCI_SUCCESS;
        case OCI_ATTR_IS_NULL: put<ub1>(attributep, sizep, p->nullable ? 1 : 0); return OCI_SUCCESS;
        case OCI_ATTR_CHAR_USED: put<ub1>(attributep, sizep, t.charSemantics ? 1 : 0); return OCI_SUCCESS;
        case OCI_ATTR_CHAR_SIZE:
          put<ub2>(attributep, sizep,
                   static_cast<ub2>(t.kind == ColumnKind::Text || t.kind == ColumnKind::Char ? t.length : 0));
          return OCI_SUCCESS;
        case OCI_ATTR_CHARSET_FORM: put<ub1>(attributep, sizep, 1); return OCI_SUCCESS;
        default: return badAttribute(err);
      }
    }
    case OCI_HTYPE_BIND:
    case OCI_HTYPE_DEFINE: {
      ub2 charset = h->type == OCI_HTYPE_BIND ? static_cast<BindHandle *>(h)->charset
                                              : static_cast<DefineHandle *>(h)->charset;
      if (attrtype == OCI_ATTR_CHARSET_ID) {
        put<ub2>(attributep, sizep, charset);
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_CHARSET_FORM) {
        put<ub1>(attributep, sizep, 1);
        return OCI_SUCCESS;
      }
      return badAttribute(err);
    }
    case OCI_HTYPE_SVCCTX: {
      auto *svc = static_cast<SvcHandle *>(h);
      HandleBase *value = nullptr;
      if (attrtype == OCI_ATTR_SERVER)
        value = svc->server ? static_cast<HandleBase *>(svc->server) : svc->serverAttr;
      else if (attrtype == OCI_ATTR_SESSION)
        value = svc->session ? static_cast<HandleBase *>(svc->session) : svc->sessionAttr;
      else
        return badAttribute(err);
      put<void *>(attributep, sizep, value);
      return OCI_SUCCESS;
    }
    case OCI_HTYPE_SESSION: {
      auto *session = static_cast<SessionHandle *>(h);
      if (attrtype != OCI_ATTR_USERNAME) return badAttribute(err);
      const char *name = session->user.c_str();
      std::memcpy(attributep, &name, sizeof name);
      if (sizep) *sizep = static_cast<ub4>(session->user.size());
      return OCI_SUCCESS;
    }
    default: return badAttribute(err);
  }
}

sword OCIAttrSet(void *trgthndlp, ub4 trghndltyp, void *attributep, ub4 size, ub4 attrtype, OCIError *errhp) {
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  HandleBase *h = find(trgthndlp);
  if (!err || !h || h->type != trghndltyp) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (!attributep) return fail(err, oraError(24315));
  switch (h->type) {
    case OCI_HTYPE_STMT: {
      auto *s = static_cast<StmtHandle *>(h);
      ub4 value;
      std::memcpy(&value, attributep, sizeof value);
      // Prefetch only tunes round trips to a server; accepted and kept.
      if (attrtype == OCI_ATTR_PREFETCH_ROWS) {
        s->prefetchRows = value;
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_PREFETCH_MEMORY) {
        s->prefetchMemory = value;
        return OCI_SUCCESS;
      }
      return badAttribute(err);
    }
    case OCI_HTYPE_BIND:
    case OCI_HTYPE_DEFINE: {
      if (attrtype == OCI_ATTR_CHARSET_FORM || attrtype == OCI_ATTR_MAXDATA_SIZE) return OCI_SUCCESS;
      if (attrtype != OCI_ATTR_CHARSET_ID) return badAttribute(err);
      // The value is a ub2; a ub4 passed by the caller reads the same on a
      // little-endian machine.
      ub2 id;
      std::memcpy(&id, attributep, sizeof id);
      if (!validCharset(id)) return fail(err, oraError(12715));
      if (storeCharset(id)) id = 0;  // the store's own set: bytes pass unchanged
      if (h->type == OCI_HTYPE_BIND)
        static_cast<BindHandle *>(h)->charset = id;
      else
        static_cast<DefineHandle *>(h)->charset = id;
      return OCI_SUCCESS;
    }
    case OCI_HTYPE_SVCCTX: {
      auto *svc = static_cast<SvcHandle *>(h);
      HandleBase *value = find(*static_cast<void **>(attributep));
      if (attrtype == OCI_ATTR_SERVER) {
        svc->serverAttr = value;
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_SESSION) {
        svc->sessionAttr = value;
        return OCI_SUCCESS;
      }
      return badAttribute(err);
    }
    case OCI_HTYPE_SESSION: {
      auto *session = static_cast<SessionHandle *>(h);
      std::string value(static_cast<const char *>(attributep), size);
      if (attrtype == OCI_ATTR_USERNAME) {
        session->user = value;
        return OCI_SUCCESS;
      }
      if (attrtype == OCI_ATTR_PASSWORD) {
        session->password = value;
        return OCI_SUCCESS;
      }
      return badAttribute(err);
    }
    default: return badAttribute(err);
  }
}

}  // extern "C"
