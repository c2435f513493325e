// Logon, logoff, transactions and the SQL functions of a connection.
#include "ocilite/handles.h"
#include "ocilite/users.h"
#include "ocilite/values.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace ocilite {

namespace {

// How long a statement waits for another connection's lock before it fails
// with ORA-30006.  OCILITE_BUSY_TIMEOUT_MS overrides it.
int busyTimeoutMs() {
  const char *env = std::getenv("OCILITE_BUSY_TIMEOUT_MS");
  if (env && *env) {
    long v = std::strtol(env, nullptr, 10);
    if (v >= 0 && v < 24L * 3600 * 1000) return static_cast<int>(v);
  }
  return 10000;
}

Connection *connectionOf(sqlite3_context *ctx) { return static_cast<Connection *>(sqlite3_user_data(ctx)); }

void resultText(sqlite3_context *ctx, const std::string &s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void resultOraError(sqlite3_context *ctx, int code) {
  OraError e = oraError(code);
  std::string text = e.records().front().text;
  text.pop_back();  // the newline
  sqlite3_result_error(ctx, text.c_str(), static_cast<int>(text.size()));
}

// ocl_number_to_char(x [, format]): TO_CHAR of a NUMBER column.
void numberToChar(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  sqlite3_value *v = argv[0];
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (type == SQLITE_INTEGER) {
    char buf[24];
    size_t n = integerText(sqlite3_value_int64(v), buf);
    return sqlite3_result_text(ctx, buf, static_cast<int>(n), SQLITE_TRANSIENT);
  }
  if (type == SQLITE_FLOAT) {
    // Amounts and the like: written without a decimal object in between.
    char buf[48];
    size_t n = doubleText(sqlite3_value_double(v), connectionOf(ctx)->nls.decimal, buf);
    if (n) return sqlite3_result_text(ctx, buf, static_cast<int>(n), SQLITE_TRANSIENT);
  }
  std::string out;
  ColumnType t;
  t.kind = ColumnKind::Number;
  storedToText(v, t, connectionOf(ctx)->nls, out);
  resultText(ctx, out);
}

void deleteFormat(void *format) { delete static_cast<DateFormat *>(format); }

// The date format of a TO_CHAR or TO_DATE call: its format argument when one is
// given (`custom`), compiled once and kept by SQLite between the rows of a
// statement while that argument stays the same, else the session's default.
// Null, with the error set as the call's result, when the format does not compile.
const DateFormat *formatArgument(sqlite3_context *ctx, int argc, sqlite3_value **argv, bool &custom) {
  custom = argc > 1 && sqlite3_value_type(argv[1]) != SQLITE_NULL;
  if (!custom) return &connectionOf(ctx)->nls.dateFormat;
  if (const auto *kept = static_cast<const DateFormat *>(sqlite3_get_auxdata(ctx, 1))) return kept;
  auto *fmt = new DateFormat;
  int rc = fmt->compile(reinterpret_cast<const char *>(sqlite3_value_text(argv[1])));
  if (rc) {
    delete fmt;
    resultOraError(ctx, rc);
    return nullptr;
  }
  // SQLite owns it from here, and frees it at once when it cannot keep it.
  sqlite3_set_auxdata(ctx, 1, fmt, deleteFormat);
  const auto *kept = static_cast<const DateFormat *>(sqlite3_get_auxdata(ctx, 1));
  if (!kept) sqlite3_result_error_nomem(ctx);
  return kept;
}

// ocl_date_to_char(x [, format]): TO_CHAR of a DATE column.
void dateToChar(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  sqlite3_value *v = argv[0];
  if (sqlite3_value_type(v) == SQLITE_NULL) return sqlite3_result_null(ctx);
  bool custom;
  const DateFormat *fmt = formatArgument(ctx, argc, argv, custom);
  if (!fmt) return;
  std::string_view text(reinterpret_cast<const char *>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
  Date d;
  // A DATE column holding something else (written by another program) is
  // an error, never text passed off as a formatted date.
  if (!readStoredDate(text, d)) return resultOraError(ctx, 1858);
  resultText(ctx, fmt->format(d));
}

// to_char(x [, format]) where the argument's column type is not known: the
// stored value decides (numbers as numbers, stored dates as dates).
void genericToChar(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  sqlite3_value *v = argv[0];
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return numberToChar(ctx, 1, argv);
  if (type == SQLITE_TEXT) {
    std::string_view text(reinterpret_cast<const char *>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
    Date d;
    if (text.size() >= 10 && readStoredDate(text, d)) return dateToChar(ctx, argc, argv);
  }
  sqlite3_result_value(ctx, v);
}

// to_date(text [, format]) -> the stored form of a DATE.
void toDate(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  sqlite3_value *v = argv[0];
  if (sqlite3_value_type(v) == SQLITE_NULL || sqlite3_value_bytes(v) == 0) return sqlite3_result_null(ctx);
  bool custom;
  const DateFormat *fmt = formatArgument(ctx, argc, argv, custom);
  if (!fmt) return;
  std::string_view text(reinterpret_cast<const char *>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
  Date d;
  if (!custom && readStoredDate(text, d)) return resultText(ctx, storedDate(d));
  int rc = fmt->parse(text, d);
  if (rc) return resultOraError(ctx, rc);
  resultText(ctx, storedDate(d));
}

// to_number(text): Oracle's text-to-number conversion.
void toNumber(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  sqlite3_value *v = argv[0];
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return sqlite3_result_value(ctx, v);
  std::string_view text(reinterpret_cast<const char *>(sqlite3_value_text(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
  if (text.empty()) return sqlite3_result_null(ctx);
  Decimal d;
  if (!parseDecimal(text, connectionOf(ctx)->nls.decimal, d)) return resultOraError(ctx, 1722);
  // A NUMBER's range and digits: beyond them ORA-01426, never an infinity.
  ColumnType number;
  number.kind = ColumnKind::Number;
  OraError fit = fitNumber(d, number);
  if (fit.failed()) return resultOraError(ctx, fit.code());
  int64_t i;
  if (toInt64(d, i)) return sqlite3_result_int64(ctx, i);
  sqlite3_result_double(ctx, std::strtod(toPlainText(d).c_str(), nullptr));
}

// ocl_divisor(x): the right operand of every "/" (sqltext.cc wraps it).
// SQLite divides by zero to NULL; Oracle raises ORA-01476, and ORA-01722 for
// text that is no number, which SQLite would take as zero.  Numeric text is
// converted as a bound text would be; other values pass unchanged.
void divisor(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  sqlite3_value *v = argv[0];
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL: return sqlite3_result_null(ctx);
    case SQLITE_INTEGER:
      if (sqlite3_value_int64(v) == 0) return resultOraError(ctx, 1476);
      return sqlite3_result_value(ctx, v);
    case SQLITE_FLOAT:
      if (sqlite3_value_double(v) == 0.0) return resultOraError(ctx, 1476);
      return sqlite3_result_value(ctx, v);
    case SQLITE_TEXT: {
      std::string_view text(reinterpret_cast<const char *>(sqlite3_value_text(v)),
                            static_cast<size_t>(sqlite3_value_bytes(v)));
      Decimal d;
      if (!parseDecimal(text, connectionOf(ctx)->nls.decimal, d)) return resultOraError(ctx, 1722);
      if (d.isZero()) return resultOraError(ctx, 1476);
      int64_t i;
      if (toInt64(d, i)) return sqlite3_result_int64(ctx, i);
      return sqlite3_result_double(ctx, std::strtod(toPlainText(d).c_str(), nullptr));
    }
    default: {
      // A NUMBER kept as exact decimal text (values.h), or bytes.
      Decimal d;
      if (storedNumber(v, d) && d.isZero()) return resultOraError(ctx, 1476);
      return sqlite3_result_value(ctx, v);
    }
  }
}

void nvl(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  sqlite3_result_value(ctx, sqlite3_value_type(argv[0]) == SQLITE_NULL ? argv[1] : argv[0]);
}

void sysdate(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  Date d{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
  resultText(ctx, storedDate(d));
}

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, Date &out) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  out.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  out.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out.year = static_cast<int>(yoe + era * 400 + (out.month <= 2));
}

// ocl_date_add(date, days): Oracle's DATE + number (days, fractions as
// seconds rounded to the second).
void dateAdd(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  std::string_view text(reinterpret_cast<const char *>(sqlite3_value_text(argv[0])),
                        static_cast<size_t>(sqlite3_value_bytes(argv[0])));
  Date d;
  if (!readStoredDate(text, d)) return resultOraError(ctx, 1858);
  double days = sqlite3_value_double(argv[1]);
  if (!(days > -4e6 && days < 4e6)) return resultOraError(ctx, 1841);
  int64_t seconds = daysFromCivil(d.year, d.month, d.day) * 86400 + d.hour * 3600 + d.minute * 60 + d.second +
                    static_cast<int64_t>(std::llround(days * 86400));
  int64_t day = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t rest = seconds - day * 86400;
  Date out;
  civilFromDays(day, out);
  if (out.year < 1 || out.year > 9999) return resultOraError(ctx, 1841);
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>(rest / 60 % 60);
  out.second = static_cast<int>(rest % 60);
  resultText(ctx, storedDate(out));
}

void registerFunctions(Connection *c) {
  struct Fn {
    const char *name;
    int args;
    void (*fn)(sqlite3_context *, int, sqlite3_value **);
    bool deterministic;
  };
  static const Fn fns[] = {
      {"ocl_number_to_char", 1, numberToChar, true}, {"ocl_number_to_char", 2, numberToChar, true},
      {"ocl_date_to_char", 1, dateToChar, true},     {"ocl_date_to_char", 2, dateToChar, true},
      {"to_char", 1, genericToChar, true},           {"to_char", 2, genericToChar, true},
      {"to_date", 1, toDate, true},                  {"to_date", 2, toDate, true},
      {"to_number", 1, toNumber, true},              {"nvl", 2, nvl, true},
      {"ocl_sysdate", 0, sysdate, false},            {"ocl_date_add", 2, dateAdd, true},
      {"ocl_divisor", 1, divisor, true},
  };
  for (const Fn &f : fns) {
    // Session settings change the results, so "deterministic" only within
    // one statement, which is what SQLite assumes.
    sqlite3_create_function_v2(c->db, f.name, f.args, SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0), c,
                               f.fn, nullptr, nullptr, nullptr);
  }
}

// Days a password stays valid after its expiry date before it expires for
// good: the server's default grace period, in which a logon succeeds with
// ORA-28002.
constexpr double kPasswordGraceDays = 7;

// The optional expiry of the user's password: ocilite_users may carry a
// column `expires`, a date as the store keeps dates ('YYYY-MM-DD' or
// 'YYYY-MM-DD HH:MM:SS', local time).  Within the grace period before that
// date the logon succeeds with the warning ORA-28002 in `warning`; from that
// date on it fails with ORA-28001.  Without the table, the column, the user's
// row or a date, nothing is said.
OraError checkPasswordExpiry(Connection &c, const std::string &user, OraError &warning) {
  sqlite3_stmt *st = nullptr;
  // A read of libocilite's own, past the guard of the users table (users.h),
  // which checks statements as they are compiled.
  const bool trusted = c.trustedSql;
  c.trustedSql = true;
  const int rc = sqlite3_prepare_v2(c.db,
                                    "SELECT julianday(expires) - julianday('now', 'localtime') FROM ocilite_users "
                                    "WHERE name = ?1 COLLATE NOCASE AND julianday(expires) IS NOT NULL",
                                    -1, &st, nullptr);
  c.trustedSql = trusted;
  if (rc != SQLITE_OK) {
    sqlite3_finalize(st);
    return {};  // no such table or column: passwords do not expire
  }
  sqlite3_bind_text(st, 1, user.data(), static_cast<int>(user.size()), SQLITE_STATIC);
  OraError result;
  if (sqlite3_step(st) == SQLITE_ROW) {
    double daysLeft = sqlite3_column_double(st, 0);
    if (daysLeft <= 0) {
      result = oraError(28001);
    } else if (daysLeft <= kPasswordGraceDays) {
      int days = static_cast<int>(std::ceil(daysLeft));
      warning = OraError(28002, "the password will expire within " + std::to_string(days) +
                                    (days == 1 ? " day" : " days"));
    }
  }
  sqlite3_finalize(st);
  return result;
}

}  // namespace

OraError Connection::commit() {
  if (!inTransaction) {
    readOnly = false;
    return {};
  }
  int rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return fromSqlite(db, rc, context());
  inTransaction = false;
  readOnly = false;
  releaseDirectPathPages();
  return {};
}

int64_t directPathCachedBytes = int64_t{256} << 20;

int Connection::fileDescriptor() {
  if (cacheFd_ < 0) {
    const char *path = sqlite3_db_filename(db, "main");
    // An in-memory or temporary database has no file to give hints on.
    if (path == nullptr || *path == '\0') return -1;
    cacheFd_ = open(path, O_RDONLY | O_CLOEXEC);
  }
  return cacheFd_;
}

void Connection::noteDirectPathLoad() {
  if (directPathPending_) return;
  struct stat st;
  int fd = fileDescriptor();
  if (fd < 0 || fstat(fd, &st) != 0) return;
  directPathPending_ = true;
  directPathFrom_ = st.st_size;
}

void Connection::releaseDirectPathPages() {
  if (!directPathPending_) return;
  directPathPending_ = false;
  struct stat st;
  if (fstat(cacheFd_, &st) != 0 || st.st_size <= directPathFrom_) return;
  directPathAdded_ += st.st_size - directPathFrom_;
  if (directPathAdded_ <= directPathCachedBytes) return;
  // This transaction's pages beyond the bytes kept.  The commit has written
  // them to the disk, so the hint lets them go at once.
  const int64_t beyond = directPathAdded_ - directPathCachedBytes;
  const int64_t from = st.st_size - beyond > directPathFrom_ ? st.st_size - beyond : directPathFrom_;
  posix_fadvise(cacheFd_, from, st.st_size - from, POSIX_FADV_DONTNEED);
}

OraError Connection::rollback() {
  readOnly = false;
  directPathPending_ = false;
  if (!inTransaction) return {};
  int rc = sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  inTransaction = false;
  if (rc != SQLITE_OK && sqlite3_get_autocommit(db) == 0) return fromSqlite(db, rc, context());
  return {};
}

OraError Connection::beginWrite() {
  if (readOnly) return oraError(1456);
  if (inTransaction) return {};
  // Take the write lock now, so a busy database fails here after the wait
  // rather than half-way through a block.
  int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return fromSqlite(db, rc, context());
  inTransaction = true;
  return {};
}

}  // namespace ocilite

using namespace ocilite;

extern "C" {

sword OCILogon(OCIEnv *envhp, OCIError *errhp, OCISvcCtx **svchp, const OraText *username, ub4 uname_len,
               const OraText *password, ub4 passwd_len, const OraText *dbname, ub4 dbname_len) {
  auto *env = live<EnvHandle>(envhp, OCI_HTYPE_ENV);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!env || !err || !svchp) return OCI_INVALID_HANDLE;
  err->records.clear();
  std::string user(username ? reinterpret_cast<const char *>(username) : "", username ? uname_len : 0);
  std::string pass(password ? reinterpret_cast<const char *>(password) : "", password ? passwd_len : 0);
  std::string path(dbname ? reinterpret_cast<const char *>(dbname) : "", dbname ? dbname_len : 0);
  if (path.empty()) path = "local.db";

  // The database must exist: a missing file is an unknown service, never a
  // new empty database.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return fail(err, unknownService(path));

  auto conn = std::make_shared<Connection>();
  conn->schema = upperAscii(user.empty() ? "LOCAL" : user);
  int rc = sqlite3_open_v2(path.c_str(), &conn->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) return fail(err, fromSqlite(conn->db, rc, conn->context()));
  sqlite3_extended_result_codes(conn->db, 1);
  sqlite3_busy_timeout(conn->db, busyTimeoutMs());
  // A double-quoted name is always a name, as in Oracle (no fallback to a
  // string literal that would hide ORA-00904).
  sqlite3_db_config(conn->db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(conn->db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  registerFunctions(conn.get());
  guardUsersTable(*conn);

  OraError check = checkLogon(*conn, user, pass);
  if (check.failed()) return fail(err, check);
  OraError expiryWarning;
  check = checkPasswordExpiry(*conn, user, expiryWarning);
  if (check.failed()) return fail(err, check);

  auto *svc = new SvcHandle;
  svc->conn = std::move(conn);
  svc->server = new ServerHandle;
  svc->session = new SessionHandle;
  svc->session->user = user;
  track(svc);
  track(svc->server);
  track(svc->session);
  *svchp = reinterpret_cast<OCISvcCtx *>(svc);
  if (expiryWarning.failed()) {
    // Logged on, with the server's warning in the error handle.
    setErrors(err, expiryWarning);
    return OCI_SUCCESS_WITH_INFO;
  }
  return OCI_SUCCESS;
}

sword OCILogoff(OCISvcCtx *svchp, OCIError *errhp) {
  auto *svc = live<SvcHandle>(svchp, OCI_HTYPE_SVCCTX);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !err) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (svc->conn) {
    // Queries still open end here, so that their read locks go with the
    // session even while their statement handles live on.
    for (sqlite3_stmt *p = sqlite3_next_stmt(svc->conn->db, nullptr); p; p = sqlite3_next_stmt(svc->conn->db, p))
      sqlite3_reset(p);
    // The end of a session commits its open work.
    OraError e = svc->conn->commit();
    if (e.failed()) {
      // The work is lost, and the session is over all the same.  The handles
      // stay live and the caller's to free: a caller that keeps them after a
      // failed logoff frees them later, never a handle given out anew.
      svc->conn->rollback();
      svc->conn->loggedOff = true;
      return fail(err, e);
    }
    svc->conn->loggedOff = true;
  }
  destroy(svc);
  return OCI_SUCCESS;
}

sword OCITransStart(OCISvcCtx *svchp, OCIError *errhp, uword timeout, ub4 flags) {
  auto *svc = live<SvcHandle>(svchp, OCI_HTYPE_SVCCTX);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !err) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (!svc->conn || svc->conn->loggedOff) return fail(err, oraError(3114));
  if (svc->conn->inTransaction) return fail(err, oraError(1453));
  svc->conn->readOnly = (flags & OCI_TRANS_READONLY) != 0;
  return OCI_SUCCESS;
}

sword OCITransCommit(OCISvcCtx *svchp, OCIError *errhp, ub4 flags) {
  auto *svc = live<SvcHandle>(svchp, OCI_HTYPE_SVCCTX);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !err) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (!svc->conn || svc->conn->loggedOff) return fail(err, oraError(3114));
  OraError e = svc->conn->commit();
  return e.failed() ? fail(err, e) : OCI_SUCCESS;
}

sword OCITransRollback(OCISvcCtx *svchp, OCIError *errhp, ub4 flags) {
  auto *svc = live<SvcHandle>(svchp, OCI_HTYPE_SVCCTX);
  auto *err = live<ErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (!svc || !err) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (!svc->conn || svc->conn->loggedOff) return fail(err, oraError(3114));
  OraError e = svc->conn->rollback();
  return e.failed() ? fail(err, e) : OCI_SUCCESS;
}

}  // extern "C"
