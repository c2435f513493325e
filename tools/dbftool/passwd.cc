// dbftool passwd DB USER: stores USER's password in the users table of the SQLite
// database DB (the embedded database's ocilite_users) as a salted hash.
//
// The password is read as the programs read theirs: on a terminal without echo,
// otherwise one line of standard input.  A user the table has (name ignoring case)
// gets the new password in every row of that name; another user gets a new row.  A
// database without the table gets one, which from then on admits only its users.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "front/password.h"
#include "front/run_settings.h"
#include "ocilite/password_hash.h"
#include "tools/dbftool/command.h"
#include "tools/dbftool/tool_util.h"

namespace dbftool {
namespace {

// The database and its statements, closed on every way out.
class Database {
 public:
  ~Database() {
    for (sqlite3_stmt* st : statements_) sqlite3_finalize(st);
    sqlite3_close(db_);
  }
  bool open(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return false;
    sqlite3_busy_timeout(db_, 10000);
    return true;
  }
  sqlite3_stmt* prepare(const char* sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK) return nullptr;
    statements_.push_back(st);
    return st;
  }
  bool exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
  std::string error() const { return db_ ? sqlite3_errmsg(db_) : "out of memory"; }
  int changes() const { return sqlite3_changes(db_); }

 private:
  sqlite3* db_ = nullptr;
  std::vector<sqlite3_stmt*> statements_;
};

// What the table is called in DB ("" when it has none), and whether it is a view.
bool findUsersTable(Database& db, std::string* name, bool* view) {
  sqlite3_stmt* st = db.prepare(
      "SELECT name, type FROM sqlite_master WHERE type IN ('table', 'view') AND name = 'ocilite_users' "
      "COLLATE NOCASE");
  if (!st) return false;
  int rc = sqlite3_step(st);
  name->clear();
  if (rc == SQLITE_ROW) {
    *name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    *view = std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))) == "view";
  }
  return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

int runPasswd(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dbftool passwd DB USER\n");
    return 1;
  }
  const std::string path = argv[0], user = argv[1];
  if (user.empty()) return fail(path, "the user name is empty");
  // As the logon: the database must exist, it is never created here.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return fail(path, "no such database");

  std::string password;
  if (!readPassword(password)) return 1;
  if (password == kCancelMarker) return fail(path, "cancelled, nothing changed");
  if (password.empty()) return fail(path, "an empty password is refused");
  const std::string hash = ocilite::hashPassword(password);
  if (hash.empty()) return fail(path, "the password could not be hashed");

  Database db;
  if (!db.open(path)) return fail(path, db.error());
  if (!db.exec("BEGIN IMMEDIATE")) return fail(path, db.error());
  std::string table;
  bool view = false;
  if (!findUsersTable(db, &table, &view)) return fail(path, db.error());
  if (view) return fail(path, table + " is a view: set the password in the table it shows");
  const bool created = table.empty();
  if (created && !db.exec("CREATE TABLE ocilite_users (name TEXT PRIMARY KEY, password TEXT)"))
    return fail(path, db.error());

  sqlite3_stmt* update = db.prepare("UPDATE ocilite_users SET password = ?1 WHERE name = ?2 COLLATE NOCASE");
  if (!update) return fail(path, db.error());
  sqlite3_bind_text(update, 1, hash.data(), static_cast<int>(hash.size()), SQLITE_STATIC);
  sqlite3_bind_text(update, 2, user.data(), static_cast<int>(user.size()), SQLITE_STATIC);
  if (sqlite3_step(update) != SQLITE_DONE) return fail(path, db.error());
  const bool added = db.changes() == 0;
  if (added) {
    sqlite3_stmt* insert = db.prepare("INSERT INTO ocilite_users (name, password) VALUES (?2, ?1)");
    if (!insert) return fail(path, db.error());
    sqlite3_bind_text(insert, 1, hash.data(), static_cast<int>(hash.size()), SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, user.data(), static_cast<int>(user.size()), SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) return fail(path, db.error());
  }
  if (!db.exec("COMMIT")) return fail(path, db.error());

  if (created) std::printf("created table ocilite_users: from now on only its users log on\n");
  std::printf(added ? "added user %s\n" : "changed the password of %s\n", user.c_str());
  return 0;
}

}  // namespace

DBFTOOL_COMMAND("passwd", "passwd DB USER", runPasswd);

}  // namespace dbftool
