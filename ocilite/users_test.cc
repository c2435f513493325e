// The users table: how logon finds and reads it, the two forms of a password,
// and that the users' own SQL cannot reach it.
#include "ocilite/password_hash.h"
#include "ocilite/testing/oci_client.h"

namespace ocilite_test {
namespace {

TEST(Users, TheTableIsFoundAsSqliteFindsNames) {
  TempDb upper;
  upper.admin("CREATE TABLE OCILITE_USERS (name TEXT PRIMARY KEY, password TEXT);"
              "INSERT INTO OCILITE_USERS VALUES ('scott', 'tiger')");
  TempDb view;
  view.admin("CREATE TABLE creds (n TEXT, p TEXT); INSERT INTO creds VALUES ('scott', 'tiger');"
             "CREATE VIEW Ocilite_Users AS SELECT n AS name, p AS password FROM creds");
  for (const TempDb *db : {&upper, &view}) {
    Client c;
    EXPECT_EQ(c.logon(db->path(), "scott", "lion"), OCI_ERROR);
    EXPECT_EQ(c.code(), 1017);
    EXPECT_EQ(c.logon(db->path(), "intruder", "x"), OCI_ERROR);
    EXPECT_EQ(c.code(), 1017);
    EXPECT_EQ(c.logon(db->path(), "scott", "tiger"), OCI_SUCCESS) << c.errors();
  }
}

TEST(Users, ATableThatCannotBeReadFailsEveryLogon) {
  TempDb noPassword;
  noPassword.admin("CREATE TABLE ocilite_users (name TEXT PRIMARY KEY, secret TEXT);"
                   "INSERT INTO ocilite_users VALUES ('scott', 'tiger')");
  TempDb brokenView;
  brokenView.admin("CREATE TABLE creds (n TEXT, p TEXT);"
                   "CREATE VIEW ocilite_users AS SELECT n AS name, p AS password FROM creds;"
                   "DROP TABLE creds");
  const std::pair<const TempDb *, std::string> cases[] = {
      {&noPassword, "ORA-00904: \"PASSWORD\": invalid identifier\n"},
      {&brokenView, "ORA-00942: table or view does not exist\n"}};
  for (const auto &[db, cause] : cases) {
    Client c;
    EXPECT_EQ(c.logon(db->path(), "scott", "tiger"), OCI_ERROR);
    EXPECT_EQ(c.errors(), "ORA-00604: error occurred at recursive SQL level 1\n" + cause);
    EXPECT_EQ(c.svc, nullptr);
  }
}

TEST(Users, PasswordsAreHashedOrInPlainText) {
  const std::string hash = ocilite::hashPassword("tiger");
  EXPECT_EQ(hash.rfind("$argon2id$v=19$", 0), 0u) << hash;
  EXPECT_NE(ocilite::hashPassword("tiger"), hash);  // a fresh salt each time
  EXPECT_TRUE(ocilite::passwordMatches(hash, "tiger"));
  EXPECT_FALSE(ocilite::passwordMatches(hash, "Tiger"));
  EXPECT_FALSE(ocilite::passwordMatches(hash, ""));
  EXPECT_FALSE(ocilite::passwordMatches(hash + std::string(1, '\0'), "tiger"));

  TempDb db;
  db.admin("CREATE TABLE ocilite_users (name TEXT PRIMARY KEY, password TEXT);"
           "INSERT INTO ocilite_users VALUES ('scott', '" + hash + "');"
           "INSERT INTO ocilite_users VALUES ('adams', 'wood');"
           "INSERT INTO ocilite_users VALUES ('blake', NULL);"
           "INSERT INTO ocilite_users VALUES ('clark', '$argon2id$v=19$broken')");
  Client c;
  EXPECT_EQ(c.logon(db.path(), "SCOTT", "tiger"), OCI_SUCCESS) << c.errors();
  c.logoff();
  EXPECT_EQ(c.logon(db.path(), "adams", "wood"), OCI_SUCCESS) << c.errors();
  c.logoff();
  const std::pair<const char *, std::string> refused[] = {
      {"scott", "Tiger"}, {"scott", hash}, {"adams", "Wood"}, {"blake", ""}, {"clark", "$argon2id$v=19$broken"}};
  for (const auto &[user, password] : refused) {
    EXPECT_EQ(c.logon(db.path(), user, password.c_str()), OCI_ERROR) << user << " " << password;
    EXPECT_EQ(c.code(), 1017);
  }
}

TEST(Users, UsersOwnSqlCannotReachTheTable) {
  TempDb db;
  db.admin("CREATE TABLE ocilite_users (name TEXT PRIMARY KEY, password TEXT);"
           "INSERT INTO ocilite_users VALUES ('scott', 'tiger');"
           "CREATE TABLE t (a NUMBER); INSERT INTO t VALUES (1)");
  Client c;
  ASSERT_EQ(c.logon(db.path(), "scott", "tiger"), OCI_SUCCESS) << c.errors();
  const char *refused[] = {
      "SELECT * FROM ocilite_users",
      "SELECT password FROM OCILITE_USERS WHERE name = 'scott'",
      "SELECT a FROM t UNION SELECT password FROM ocilite_users",
      "SELECT a FROM t WHERE EXISTS (SELECT 1 FROM scott.ocilite_users)",
      "SELECT COUNT(*) FROM main.ocilite_users",
      "INSERT INTO ocilite_users VALUES ('eve', 'x')",
      "UPDATE ocilite_users SET password = 'x'",
      "DELETE FROM ocilite_users",
      "TRUNCATE TABLE ocilite_users",
      "ALTER TABLE ocilite_users DEALLOCATE UNUSED",
      "DROP TABLE ocilite_users",
      "ALTER TABLE ocilite_users RENAME TO old_users",
      "ALTER TABLE ocilite_users ADD COLUMN x TEXT",
      "CREATE INDEX i ON ocilite_users (password)",
      "CREATE TRIGGER tr AFTER INSERT ON ocilite_users BEGIN SELECT 1; END",
      "CREATE TEMP TABLE ocilite_users (name TEXT, password TEXT)",
      "PRAGMA table_info(ocilite_users)",
  };
  for (const char *sql : refused) {
    EXPECT_EQ(c.run(sql), OCI_ERROR) << sql;
    EXPECT_EQ(c.errors(), "ORA-00942: table or view does not exist\n") << sql;
  }
  // Views and triggers of the user's own that would read or write it for him.
  c.run("CREATE VIEW peek AS SELECT name, password FROM ocilite_users");
  EXPECT_EQ(c.run("SELECT * FROM peek"), OCI_ERROR);
  EXPECT_EQ(c.code(), 942);
  c.ok("CREATE TRIGGER reset AFTER INSERT ON t BEGIN UPDATE ocilite_users SET password = 'x'; END");
  EXPECT_EQ(c.run("INSERT INTO t VALUES (2)"), OCI_ERROR);
  EXPECT_EQ(c.code(), 942);
  c.ok("DROP TRIGGER reset");
  // Nor through the schema table.
  c.run("PRAGMA writable_schema = ON");
  EXPECT_EQ(c.run("UPDATE sqlite_master SET name = 'x' WHERE name = 'ocilite_users'"), OCI_ERROR);
  // The user's own tables are as before, and so is the users table.
  EXPECT_EQ(c.value("SELECT a FROM t"), "1");
  c.logoff();
  Client after;
  EXPECT_EQ(after.logon(db.path(), "eve", "x"), OCI_ERROR);
  EXPECT_EQ(after.code(), 1017);
  EXPECT_EQ(after.logon(db.path(), "scott", "x"), OCI_ERROR);
  EXPECT_EQ(after.logon(db.path(), "scott", "tiger"), OCI_SUCCESS) << after.errors();

  // Where there is no users table, none can be made through a session.
  TempDb open;
  Client anyone;
  ASSERT_EQ(anyone.logon(open.path(), "anyone", ""), OCI_SUCCESS);
  EXPECT_EQ(anyone.run("CREATE TABLE Ocilite_Users (name TEXT, password TEXT)"), OCI_ERROR);
  EXPECT_EQ(anyone.code(), 942);
}

}  // namespace
}  // namespace ocilite_test
