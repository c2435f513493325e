// The users of a database and their passwords: the table ocilite_users.
//
//   ocilite_users(name TEXT PRIMARY KEY, password TEXT)
//
//   name      the user name; a logon matches it ignoring case
//   password  the password, hashed or in plain text (password_hash.h); NULL
//             matches no password
//
// Other columns may follow and are not read here.  The table is found as
// SQLite finds names: ignoring case, a table or a view.  Without it, any
// user and password log on.  When it exists but cannot be read (a view that
// fails, a column missing), every logon fails: the check fails closed.
//
// The users' own SQL never reaches the table, as a server keeps its password
// store out of its users' reach: an authorizer refuses every statement that
// names it (reading, writing, creating, dropping, altering, a pragma on it, a
// view or trigger over it) with ORA-00942, as for a table that does not
// exist.  Only the reads below, made for the logon check, pass.
#ifndef DRIFT_OCILITE_USERS_H
#define DRIFT_OCILITE_USERS_H

#include "ocilite/handles.h"

#include <string>
#include <string_view>
#include <vector>

namespace ocilite {

// One row of the users table for the user logging on.
struct UserEntry {
  std::string password;
  bool passwordNull = false;
};

// True for the name of the users table, in any case.
bool isUsersTableName(std::string_view name);

// Reads every row whose name equals `user` ignoring case into `entries`.
// `tableFound` false: the database has no users table (entries empty).  A
// table that cannot be read is ORA-00604 with the cause as a second record
// (a busy database: ORA-30006 alone).
OraError lookUpUser(Connection &c, const std::string &user, bool &tableFound, std::vector<UserEntry> &entries);

// True when one of the entries holds `password`.
bool passwordAccepted(const std::vector<UserEntry> &entries, const std::string &password);

// The check of a logon: none without a users table; ORA-01017 when no entry
// of `user` holds `password`.
OraError checkLogon(Connection &c, const std::string &user, const std::string &password);

// Keeps the users table out of reach of every statement of the connection
// other than the reads above, and turns on SQLite's defensive mode (no
// writable schema, no raw page writes), which would reach it another way.
void guardUsersTable(Connection &c);

}  // namespace ocilite

#endif
