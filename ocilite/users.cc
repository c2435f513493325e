#include "ocilite/users.h"

#include "ocilite/password_hash.h"

namespace ocilite {

namespace {

constexpr std::string_view kUsersTable = "ocilite_users";

// Lets libocilite's own reads of the users table past the authorizer for as
// long as it lives.
class TrustedSql {
 public:
  explicit TrustedSql(Connection &c) : c_(c), saved_(c.trustedSql) { c_.trustedSql = true; }
  ~TrustedSql() { c_.trustedSql = saved_; }
  TrustedSql(const TrustedSql &) = delete;
  TrustedSql &operator=(const TrustedSql &) = delete;

 private:
  Connection &c_;
  bool saved_;
};

bool namesUsersTable(const char *name) { return name && isUsersTableName(name); }

// SQLite asks this for every table, column, view and trigger a statement
// names, when it compiles the statement.  `a` and `b` depend on the action:
// the table for reads and writes (with the column in b), the index or
// trigger and then its table, the database and then the table for ALTER
// TABLE, the pragma and then its argument.  `inner` is the view or trigger
// whose body is being compiled.
int authorize(void *data, int action, const char *a, const char *b, const char *database, const char *inner) {
  const auto *c = static_cast<const Connection *>(data);
  if (c->trustedSql) return SQLITE_OK;
  const bool bIsColumn = action == SQLITE_READ || action == SQLITE_UPDATE;
  if (namesUsersTable(a) || (!bIsColumn && namesUsersTable(b)) || namesUsersTable(inner)) return SQLITE_DENY;
  return SQLITE_OK;
}

// A users table that exists but cannot be read fails the logon with the
// cause, as a server reports a failure of its own recursive SQL.
OraError unreadable(const OraError &cause) {
  if (cause.code() == 30006) return cause;
  OraError e = oraError(604);
  for (const ErrorRecord &r : cause.records()) e.records().push_back(r);
  return e;
}

}  // namespace

bool isUsersTableName(std::string_view name) {
  return name.size() == kUsersTable.size() &&
         sqlite3_strnicmp(name.data(), kUsersTable.data(), static_cast<int>(name.size())) == 0;
}

OraError lookUpUser(Connection &c, const std::string &user, bool &tableFound, std::vector<UserEntry> &entries) {
  TrustedSql trusted(c);
  tableFound = false;
  entries.clear();
  sqlite3_stmt *st = nullptr;
  int rc = sqlite3_prepare_v2(
      c.db, "SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') AND name = 'ocilite_users' COLLATE NOCASE",
      -1, &st, nullptr);
  // A database that cannot be read at all fails with its own error.
  if (rc != SQLITE_OK) return fromSqlite(c.db, rc, c.context());
  rc = sqlite3_step(st);
  OraError failure;
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) failure = fromSqlite(c.db, rc, c.context());
  sqlite3_finalize(st);
  if (rc != SQLITE_ROW) return failure;
  tableFound = true;

  rc = sqlite3_prepare_v2(c.db, "SELECT password FROM ocilite_users WHERE name = ?1 COLLATE NOCASE", -1, &st,
                          nullptr);
  if (rc != SQLITE_OK) return unreadable(fromSqlite(c.db, rc, c.context()));
  sqlite3_bind_text(st, 1, user.data(), static_cast<int>(user.size()), SQLITE_STATIC);
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    UserEntry entry;
    entry.passwordNull = sqlite3_column_type(st, 0) == SQLITE_NULL;
    const char *p = reinterpret_cast<const char *>(sqlite3_column_text(st, 0));
    if (p) entry.password.assign(p, static_cast<size_t>(sqlite3_column_bytes(st, 0)));
    entries.push_back(std::move(entry));
  }
  if (rc != SQLITE_DONE) failure = unreadable(fromSqlite(c.db, rc, c.context()));
  sqlite3_finalize(st);
  return failure;
}

bool passwordAccepted(const std::vector<UserEntry> &entries, const std::string &password) {
  for (const UserEntry &entry : entries)
    if (!entry.passwordNull && passwordMatches(entry.password, password)) return true;
  return false;
}

OraError checkLogon(Connection &c, const std::string &user, const std::string &password) {
  bool tableFound = false;
  std::vector<UserEntry> entries;
  OraError e = lookUpUser(c, user, tableFound, entries);
  if (e.failed() || !tableFound) return e;
  return passwordAccepted(entries, password) ? OraError{} : oraError(1017);
}

void guardUsersTable(Connection &c) {
  sqlite3_db_config(c.db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_set_authorizer(c.db, authorize, &c);
}

}  // namespace ocilite
