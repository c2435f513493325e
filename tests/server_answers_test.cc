// What a real server answers beyond plain success, through both programs: a
// logon whose password is about to expire succeeds with the server's warning on
// the console and in the report; an expired one and a missing database fail
// with the server's text naming what is wrong.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "tests/e2e_support.h"
#include "tests/import_fixture.h"

namespace {

using ServerAnswers = ImportTest;

// Local time `hours` from now as the database keeps dates.
std::string hoursFromNow(long hours) {
  const time_t when = time(nullptr) + hours * 3600;
  struct tm local;
  localtime_r(&when, &local);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

TEST_F(ServerAnswers, APasswordAboutToExpireLogsOnWithAWarningAndTheRunGoesOn) {
  sql("CREATE TABLE ocilite_users (name TEXT PRIMARY KEY, password TEXT, expires TEXT);"
      "INSERT INTO ocilite_users VALUES ('scott', 'tiger', '" + hoursFromNow(47) + "');"
      "CREATE TABLE NUMS (N NUMBER(4)); INSERT INTO NUMS VALUES (7);");
  dbf("nums.dbf", {"N:N:4"});
  config("%TABLE_NAME=NUMS\n%DBF_NAME=nums\nN=N\n");
  const std::string warned =
      "\nConnecting... Done\nWarning: ORA-28002: the password will expire within 2 days\n";
  for (const char* program : {"exdrift", "indrift"}) {
    e2e::RunResult r = runDrift(program, {"-R:report.txt"});
    EXPECT_EQ(r.exitCode, 0) << program << r.out;
    EXPECT_NE(r.out.find(warned), std::string::npos) << program << r.out;
    EXPECT_NE(r.out.find("Process successfully complited, 1 section(s) transfered.\n"),
              std::string::npos)
        << program << r.out;
    EXPECT_NE(e2e::readFile(dir.path("report.txt"))
                  .find(" Warning: ORA-28002: the password will expire within 2 days\n"),
              std::string::npos)
        << program;
  }
  // Exported once, imported back once.
  EXPECT_EQ(rows("SELECT N FROM NUMS"), "7\n7\n");

  // Expired: no logon.
  sql("UPDATE ocilite_users SET expires = '" + hoursFromNow(-1) + "';");
  e2e::RunResult r = runDrift("exdrift", {});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("\nCan't logon to database.\nORA-28001: the password has expired\n"),
            std::string::npos)
      << r.out;
}

TEST_F(ServerAnswers, AMissingDatabaseIsNamedInTheLogonFailure) {
  config("%TABLE_NAME=NUMS\n%DBF_NAME=nums\nN=N\n");
  e2e::RunOptions options;
  options.cwd = dir.path();
  e2e::RunResult r = e2e::runProgram(
      "indrift", {"-S:gone.db", "-U:scott", "-P:tiger", "-F:run.cfg"}, options);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("\nCan't logon to database.\nORA-12154: TNS:could not resolve the connect "
                       "identifier specified: \"gone.db\" \n"),
            std::string::npos)
      << r.out;
}

}  // namespace
