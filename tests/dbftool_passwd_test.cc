// The users table of the embedded database from the outside: `dbftool passwd`
// writes a salted hash that the programs' logon accepts, and the programs'
// own SQL options (-T:, -W:) cannot read the table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/export_fixture.h"

namespace {

class UsersTable : public ExportTest {
 protected:
  void SetUp() override {
    sql("CREATE TABLE T (A VARCHAR2(200)); INSERT INTO T VALUES ('row');");
    dbf("x.dbf", {"A:C:200"});
    config("%TABLE_NAME=T\n%DBF_NAME=x.dbf\nA=A\n");
  }
  e2e::RunResult passwd(const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> all = {"passwd"};
    all.insert(all.end(), args.begin(), args.end());
    return e2e::runProgram("dbftool", all, {.stdinText = input, .cwd = dir.path(), .env = {}});
  }
  std::string query(const std::string& q) {
    e2e::RunResult r = e2e::runProgram("/usr/bin/sqlite3", {dir.path("shop.db"), q});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }
  // Whether exdrift logs on as user/password (the run goes on to the section).
  bool logsOn(const std::string& user, const std::string& password) {
    e2e::RunResult r = exdrift({"-U:" + user, "-P:" + password});
    EXPECT_EQ(r.exitCode == 0, r.out.find("Connecting... Done") != std::string::npos) << r.out;
    return r.exitCode == 0;
  }
};

TEST_F(UsersTable, PasswdStoresAHashThatTheLogonAccepts) {
  e2e::RunResult r = passwd({"shop.db", "scott"}, "tiger\n");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "created table ocilite_users: from now on only its users log on\nadded user scott\n");
  EXPECT_EQ(r.err, "          Password: \n");
  const std::string row = query("SELECT name, substr(password, 1, 15) FROM ocilite_users");
  EXPECT_EQ(row, "scott|$argon2id$v=19$\n");
  EXPECT_TRUE(logsOn("scott", "tiger"));
  EXPECT_FALSE(logsOn("scott", "lion"));

  // Another user's password in plain text, as older databases hold it, still works
  // beside the hashes; a new password replaces the old under either spelling.
  query("INSERT INTO ocilite_users VALUES ('adams', 'wood')");
  EXPECT_TRUE(logsOn("ADAMS", "wood"));
  r = passwd({"shop.db", "SCOTT"}, "lion\r\n");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "changed the password of SCOTT\n");
  EXPECT_EQ(query("SELECT COUNT(*) FROM ocilite_users WHERE name = 'scott'"), "1\n");
  EXPECT_TRUE(logsOn("scott", "lion"));
  EXPECT_FALSE(logsOn("scott", "tiger"));
}

TEST_F(UsersTable, PasswdReadsTheTerminalWithoutEcho) {
  e2e::RunResult r = e2e::runOnTerminal("dbftool", {"passwd", "shop.db", "blake"}, "Password: ", "s3cret\r",
                                        {.stdinText = "", .cwd = dir.path(), .env = {}});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.tty.find("          Password: XXXXXX"), std::string::npos) << r.tty;
  EXPECT_EQ(r.tty.find("s3cret"), std::string::npos) << r.tty;
  EXPECT_TRUE(logsOn("blake", "s3cret"));

  // Esc cancels and changes nothing.
  r = e2e::runOnTerminal("dbftool", {"passwd", "shop.db", "blake"}, "Password: ", "other\x1b",
                         {.stdinText = "", .cwd = dir.path(), .env = {}});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "dbftool: shop.db: cancelled, nothing changed\n");
  EXPECT_TRUE(logsOn("blake", "s3cret"));
}

TEST_F(UsersTable, PasswdRefusesWhatItCannotDo) {
  struct Case {
    std::vector<std::string> args;
    std::string input, err;
  } cases[] = {
      {{"none.db", "scott"}, "tiger\n", "dbftool: none.db: no such database\n"},
      {{"shop.db", "scott"}, "\n", "          Password: \ndbftool: shop.db: an empty password is refused\n"},
      {{"shop.db", ""}, "tiger\n", "dbftool: shop.db: the user name is empty\n"},
      {{"shop.db"}, "tiger\n", "usage: dbftool passwd DB USER\n"},
  };
  for (const Case& c : cases) {
    e2e::RunResult r = passwd(c.args, c.input);
    EXPECT_EQ(r.exitCode, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(e2e::fileExists(dir.path("none.db")));
  EXPECT_EQ(query("SELECT COUNT(*) FROM sqlite_master WHERE name LIKE 'ocilite%'"), "0\n");

  query("CREATE TABLE creds (n TEXT, p TEXT); CREATE VIEW OCILITE_USERS AS SELECT n AS name, p AS password FROM creds");
  e2e::RunResult view = passwd({"shop.db", "scott"}, "tiger\n");
  EXPECT_EQ(view.exitCode, 1);
  EXPECT_NE(view.err.find("dbftool: shop.db: OCILITE_USERS is a view: set the password in the table it shows\n"),
            std::string::npos)
      << view.err;
}

TEST_F(UsersTable, TheProgramsOwnSqlCannotReadIt) {
  ASSERT_EQ(passwd({"shop.db", "scott"}, "tiger\n").exitCode, 0);
  const std::string before = e2e::readFile(dir.path("x.dbf"));
  config("%DBF_NAME=x.dbf\nPASSWORD=A\n");
  e2e::RunResult table = exdrift({"-T:ocilite_users"});
  EXPECT_EQ(table.exitCode, 2);
  EXPECT_NE(table.out.find("ORA-00942: table or view does not exist"), std::string::npos) << table.out;

  config("%TABLE_NAME=T\n%DBF_NAME=x.dbf\nA=A\n");
  e2e::RunResult where = exdrift({"-W:1 = 0 UNION SELECT password FROM OCILITE_USERS"});
  EXPECT_EQ(where.exitCode, 2);
  EXPECT_NE(where.out.find("ORA-00942: table or view does not exist"), std::string::npos) << where.out;
  EXPECT_EQ(e2e::readFile(dir.path("x.dbf")), before);
}

}  // namespace
