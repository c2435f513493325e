// OracleSession: logon state, transactions and the message of every failure
// of the layer.
#include "oracle/oracle_session.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Copies src into a fixed member of `size` bytes, cutting when too long.
void copyText(char *dst, std::size_t size, const char *src) {
  std::snprintf(dst, size, "%s", src ? src : "");
}

ub4 byteLength(const char *text) { return text ? static_cast<ub4>(std::strlen(text)) : 0; }

const OraText *oraText(const char *text) {
  return reinterpret_cast<const OraText *>(text ? text : "");
}

// Message formats by code.  With two %s the first is the session's detail,
// the second the reason; with one it is the reason.
struct MessageFormat {
  const char *format;
  bool withDetail;
};

constexpr MessageFormat kUnexpected = {"Unexpected error.\n%s", false};

#if DRIFT_IMPORT_BUILD
// The import program's table holds only what its operations raise.
constexpr int kMessageCount = 11;
#else
constexpr int kMessageCount = 20;
#endif

constexpr MessageFormat kMessages[20] = {
    {"Can't allocate environment variable.\n%s", false},
    {"Can't allocate handle variable.\n%s", false},
    {"Database yet not open.\n%s", false},
    {"Database already opened.\n%s", false},
    {"Can't logon to database.\n%s", false},
    {"Can't logoff from database.\n%s", false},
    {"Error while prepare SQL-statement.\n%s", false},
    {"Statement yet not created.\n%s", false},
    {"Error while execute SQL-statement.\n%s", false},
    {"Parametr list overflow.\n%s", false},
    {"Can't bind parametr '%s' to statement.\n%s", true},
    {"Can't get '%s' parameter description.\n%s", true},
    {"Can't get attribute %s.\n%s", true},
    {"Column list overflow.\n%s", false},
    {"Can't define column '%s' of statement.\n%s", true},
    {"Error while fetching SQL-statement.\n%s", false},
    {"Can't start transaction.\n%s", false},
    {"Can't commit transaction.\n%s", false},
    {"Can't rollback transaction.\n%s", false},
    {"Can't set attributes %s.\n%s", true},
};

MessageFormat messageFormat(int code) {
  if (code >= 1 && code <= kMessageCount) return kMessages[code - 1];
  if (code == OracleErrorCode::AttrSet) return kMessages[code - 1];  // both builds set charsets
  return kUnexpected;
}

// Length of the longest prefix of text that is at most `limit` bytes and
// does not end inside a UTF-8 sequence.  The step back is at most three
// bytes, so text in a single-byte code page loses nothing more.
std::size_t safeCut(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t cut = limit;
  // Step back over continuation bytes to the lead byte of the cut sequence.
  while (cut > 0 && limit - cut < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
    --cut;
  if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) cut = limit;  // not UTF-8
  return cut;
}

// The first error record of `error` as one line: line ends become blanks and
// trailing blanks go.
std::string logonWarningText(OCIError *error) {
  char buffer[OracleSession::kRecordBuffer];
  buffer[0] = '\0';
  sb4 code = 0;
  if (OCIErrorGet(error, 1, nullptr, &code, reinterpret_cast<OraText *>(buffer), sizeof buffer,
                  OCI_HTYPE_ERROR) != OCI_SUCCESS)
    return "Error - OCI_SUCCESS_WITH_INFO.";
  buffer[sizeof buffer - 1] = '\0';
  std::string text(buffer);
  for (char &c : text)
    if (c == '\r' || c == '\n') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

OracleSession::OracleSession()
    : status(OCI_SUCCESS),
      env(nullptr),
      error(nullptr),
      server(nullptr),
      serviceContext(nullptr),
      connected(false) {
  copyText(detail, sizeof detail, "<Empty>");
  serviceName[0] = '\0';
  userName[0] = '\0';
}

OracleSession::~OracleSession() {
  // The drivers close explicitly; a failure here has nowhere to go.
  try {
    close();
  } catch (...) {
  }
  // A successful logoff freed the service context it handed out (and the
  // session forgot it); what is left is still ours.
  if (serviceContext) OCIHandleFree(serviceContext, OCI_HTYPE_SVCCTX);
  if (server) OCIHandleFree(server, OCI_HTYPE_SERVER);
  if (error) OCIHandleFree(error, OCI_HTYPE_ERROR);
  // The environment ends with the process.
}

void OracleSession::open(const char *user, const char *password, const char *service) {
  if (connected) {
    status = OCI_SUCCESS;
    throw OracleErrorCode::AlreadyOpen;
  }
  // Handles left from an earlier open (a failed one, or one since closed)
  // are reused rather than allocated again over themselves.
  if (!env) {
    status = OCIEnvInit(&env, OCI_DEFAULT, 0, nullptr);
    if (status != OCI_SUCCESS) {
      env = nullptr;  // not usable; a later open starts over
      throw OracleErrorCode::EnvInit;
    }
  }
  if (!error) {
    status = OCIHandleAlloc(env, reinterpret_cast<void **>(&error), OCI_HTYPE_ERROR, 0, nullptr);
    if (status != OCI_SUCCESS) throw OracleErrorCode::HandleAlloc;
  }
  if (!server) {
    status = OCIHandleAlloc(env, reinterpret_cast<void **>(&server), OCI_HTYPE_SERVER, 0, nullptr);
    if (status != OCI_SUCCESS) throw OracleErrorCode::HandleAlloc;
  }
  if (!serviceContext) {
    status = OCIHandleAlloc(env, reinterpret_cast<void **>(&serviceContext), OCI_HTYPE_SVCCTX, 0,
                            nullptr);
    if (status != OCI_SUCCESS) throw OracleErrorCode::HandleAlloc;
  }
  copyText(userName, sizeof userName, user);
  copyText(serviceName, sizeof serviceName, service);

  // OCILogon returns a service context of its own in place of ours.  The
  // caller's texts go whole (the members may hold a cut copy).
  OCISvcCtx *allocated = serviceContext;
  warning.clear();
  status = OCILogon(env, error, &serviceContext, oraText(user), byteLength(user),
                    oraText(password), byteLength(password), oraText(service),
                    byteLength(service));
  if (status == OCI_SUCCESS_WITH_INFO) {
    // Logged on with a warning (ORA-28002 and the like): keep its text.
    warning = logonWarningText(error);
    status = OCI_SUCCESS;
  }
  if (status != OCI_SUCCESS) {
    // Keep the handle we know to be ours; the destructor frees it.
    serviceContext = allocated;
    throw OracleErrorCode::Logon;
  }
  if (allocated && allocated != serviceContext) OCIHandleFree(allocated, OCI_HTYPE_SVCCTX);
  connected = true;
}

void OracleSession::close() {
  if (!connected) return;
  connected = false;  // closed even if the logoff fails
  status = OCILogoff(serviceContext, error);
  if (status != OCI_SUCCESS) throw OracleErrorCode::Logoff;
  // The logoff freed the service context together with its server and
  // session handles; it is no longer ours to free.
  serviceContext = nullptr;
}

void OracleSession::startTransaction(ub4 flags) {
  if (!connected) {
    status = OCI_SUCCESS;
    throw OracleErrorCode::NotOpen;
  }
  status = OCITransStart(serviceContext, error, 60, flags);
  if (status == OCI_ERROR) throw OracleErrorCode::TransStart;
}

void OracleSession::commit(ub4 flags) {
  if (!connected) {
    status = OCI_SUCCESS;
    throw OracleErrorCode::NotOpen;
  }
  status = OCITransCommit(serviceContext, error, flags);
  if (status != OCI_SUCCESS) throw OracleErrorCode::TransCommit;
}

void OracleSession::setDetail(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(detail, sizeof detail, format, args);
  va_end(args);
}

std::string OracleSession::reasonText() const {
  std::string reason;
  switch (status) {
    case OCI_SUCCESS:
      break;
    case OCI_SUCCESS_WITH_INFO:
      reason = "Error - OCI_SUCCESS_WITH_INFO.";
      break;
    case OCI_NEED_DATA:
      reason = "Error - OCI_NEED_DATA.";
      break;
    case OCI_NO_DATA:
      reason = "Error - OCI_NODATA.";
      break;
    case OCI_INVALID_HANDLE:
      reason = "Error - OCI_INVALID_HANDLE.";
      break;
    case OCI_STILL_EXECUTING:
      reason = "Error - OCI_STILL_EXECUTE.";
      break;
    case OCI_CONTINUE:
      reason = "Error - OCI_CONTINUE.";
      break;
    case OCI_ERROR: {
      // Records are numbered from 1; the first call that yields none ends
      // the list.  Failures before the error handle existed are recorded in
      // the environment handle.
      void *source = error;
      ub4 sourceType = OCI_HTYPE_ERROR;
      if (!source && env) {
        source = env;
        sourceType = OCI_HTYPE_ENV;
      }
      if (!source) break;
      char buffer[kRecordBuffer];
      for (ub4 record = 1; reason.size() < kReasonMax; ++record) {
        sb4 code = 0;
        buffer[0] = '\0';
        sword got = OCIErrorGet(source, record, nullptr, &code, reinterpret_cast<OraText *>(buffer),
                                sizeof buffer, sourceType);
        // Any result but success (OCI_NO_DATA, or a broken handle) ends it.
        if (got != OCI_SUCCESS || code == 100) break;
        buffer[sizeof buffer - 1] = '\0';
        reason.append(buffer, strnlen(buffer, sizeof buffer));
      }
      reason.resize(safeCut(reason, kReasonMax));
      break;
    }
    default:
      reason = "Unexpected error.";
      break;
  }
#if DRIFT_IMPORT_BUILD
  // The import program reports on one line per failure.
  for (char &c : reason)
    if (c == '\r' || c == '\n') c = ' ';
#endif
  return reason;
}

void OracleSession::errorText(int code, char *out, std::size_t outSize) const {
  if (!out || outSize == 0) return;
  std::string reason;
  try {
    reason = reasonText();
  } catch (...) {
    reason.clear();  // out of memory: the message goes without its reason
  }
  MessageFormat message = messageFormat(code);
  char whole[kMessageMax];
  int written;
  if (message.withDetail)
    written = std::snprintf(whole, sizeof whole, message.format, detail, reason.c_str());
  else
    written = std::snprintf(whole, sizeof whole, message.format, reason.c_str());
  if (written < 0) written = 0;
  std::size_t length = std::min(static_cast<std::size_t>(written), sizeof whole - 1);
  // A small caller's buffer cuts the message, never inside a character.
  length = safeCut(std::string_view(whole, length), outSize - 1);
  std::memcpy(out, whole, length);
  out[length] = '\0';
}

std::string OracleSession::errorText(int code) const {
  char message[kMessageMax];
  errorText(code, message, sizeof message);
  return message;
}
