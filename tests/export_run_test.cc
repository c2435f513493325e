// exdrift end to end: the run as a whole (sections, selection, logon, summary,
// exit codes, compact mode and report) and the block loop's boundaries.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/export_fixture.h"

namespace {

class ExportRun : public ExportTest {
 protected:
  // A table of `rows` numbered rows and a dbf file for it.
  void numbers(int rows) {
    std::string statements = "CREATE TABLE NUMS (N NUMBER(6), T VARCHAR2(10));";
    for (int i = 1; i <= rows; ++i)
      statements += "INSERT INTO NUMS VALUES (" + std::to_string(i) + ", 'row " +
                    std::to_string(i) + "');";
    sql(statements);
  }
};

TEST_F(ExportRun, TwoSectionsAndTheSectionList) {
  numbers(3);
  dbf("a.dbf", {"N:N:6", "T:C:10"});
  dbf("b.dbf", {"T:C:10"});
  config("// two sections of one table\n"
         "%BEGIN_SECTION first\n%TABLE_NAME=NUMS\n%DBF_NAME=a.dbf\nN=N\nT=T\n%END_SECTION\n"
         "\n"
         "%BEGIN_SECTION SECOND\n%TABLE_NAME=NUMS\n%DBF_NAME=b.dbf\nt=t\n%END_SECTION\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, opening() + section("FIRST", "NUMS", "a.dbf", 2) + counted(3) +
                       section("SECOND", "NUMS", "b.dbf", 1) + counted(3) + success(2));
  EXPECT_EQ(readBack("b.dbf"), "count 3\n['row 1']\n['row 2']\n['row 3']\n");

  // Only the second section, by its name in any case: the first file is left alone.
  r = exdrift({"-L:second"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, opening() + "\n" + section("SECOND", "NUMS", "b.dbf", 1) + counted(3) +
                       success(1));
  EXPECT_EQ(readBack("a.dbf").substr(0, 8), "count 3\n");
  EXPECT_EQ(readBack("b.dbf").substr(0, 8), "count 6\n");  // appended after the old ones
}

TEST_F(ExportRun, EmptyFilesTransferNothingAndASectionWithoutFieldLinesIsAnError) {
  sql("CREATE TABLE T (A NUMBER);");
  config("");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, opening() + "\nProcess successfully complited, 0 section(s) transfered.\n");

  config("// only a comment\n\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, opening() + "\nProcess successfully complited, 0 section(s) transfered.\n");

  // Nothing is opened for it, and the run fails as for any fault of structure.
  config("%BEGIN_SECTION EMPTY\n%TABLE_NAME=T\n%DBF_NAME=none.dbf\n%END_SECTION\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, opening() +
                       "\n\nNot defined fields of section 'EMPTY' in line 4.\n"
                       "\nIncorrect structure of configuration file\n" + failure(0));
}

TEST_F(ExportRun, WrongPasswordEndsTheRunBeforeAnySection) {
  sql("CREATE TABLE ocilite_users (name TEXT PRIMARY KEY, password TEXT);"
      "INSERT INTO ocilite_users VALUES ('scott', 'lion');");
  config("%TABLE_NAME=T\n%DBF_NAME=t.dbf\nA=A\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "Configuration file: run.cfg\n"
                   "        Block size: 10000\n"
                   "           Service: shop.db\n"
                   "              User: scott\n"
                   "\nConnecting... "
                   "\nCan't logon to database.\nORA-01017: invalid username/password; logon denied\n\n" +
                       failure(0));
}

TEST_F(ExportRun, UnreadableConfigurationIsAFailure) {
  e2e::RunResult r = exdrift({"-F:missing.cfg"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "Configuration file: missing.cfg\n"
                   "        Block size: 10000\n"
                   "           Service: shop.db\n"
                   "              User: scott\n"
                   "File 'missing.cfg' not found.\n");
}

TEST_F(ExportRun, BlockBoundariesGiveTheSameFile) {
  numbers(4);
  dbf("n.dbf", {"N:N:6", "T:C:10"});
  config("%TABLE_NAME=NUMS\n%DBF_NAME=n.dbf\n%TRUNCATE=ON\n%ORDER_BY=\"N\"\nN=N\nT=T\n");
  ASSERT_EQ(exdrift().exitCode, 0);
  const std::string reference = e2e::readFile(dir.path("n.dbf"));
  EXPECT_EQ(readBack("n.dbf"),
            "count 4\n[1, 'row 1']\n[2, 'row 2']\n[3, 'row 3']\n[4, 'row 4']\n");
  // Exactly one block, a block and one row, one row a block.
  for (const char* block : {"-N:4", "-N:3", "-N:1", "-N:2"}) {
    e2e::RunResult r = exdrift({block});
    EXPECT_EQ(r.exitCode, 0) << block << r.out;
    EXPECT_NE(r.out.find("Truncating dbf-file...Done\n" + counted(4)), std::string::npos)
        << block << r.out;
    EXPECT_EQ(e2e::readFile(dir.path("n.dbf")), reference) << block;
  }
}

TEST_F(ExportRun, WhereAndOrderByCarryOverToLaterSections) {
  numbers(6);
  for (const char* name : {"one.dbf", "two.dbf", "three.dbf", "four.dbf"}) dbf(name, {"N:N:6"});
  config("%BEGIN_SECTION ONE\n%TABLE_NAME=NUMS\n%DBF_NAME=one.dbf\nN=N\n%END_SECTION\n"
         "%BEGIN_SECTION TWO\n%TABLE_NAME=NUMS\n%DBF_NAME=two.dbf\n"
         "%WHERE=\"N <= 4 AND T <> 'row 1'\"\nN=N\n%END_SECTION\n"
         "%BEGIN_SECTION THREE\n%TABLE_NAME=NUMS\n%DBF_NAME=three.dbf\nN=N\n%END_SECTION\n"
         "%ORDER_BY=\"N\"\n"
         "%BEGIN_SECTION FOUR\n%TABLE_NAME=NUMS\n%DBF_NAME=four.dbf\nN=N\n%END_SECTION\n");
  e2e::RunResult r = exdrift({"-W:N > 2", "-O:N DESC"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(readBack("one.dbf"), "count 4\n[6]\n[5]\n[4]\n[3]\n");
  EXPECT_EQ(readBack("two.dbf"), "count 3\n[4]\n[3]\n[2]\n");
  EXPECT_EQ(readBack("three.dbf"), "count 3\n[4]\n[3]\n[2]\n");
  EXPECT_EQ(readBack("four.dbf"), "count 3\n[2]\n[3]\n[4]\n");
}

TEST_F(ExportRun, SelectWithoutRowsLeavesTheFileAsItWas) {
  numbers(2);
  dbf("n.dbf", {"N:N:6"});
  config("%TABLE_NAME=NUMS\n%DBF_NAME=n.dbf\nN=N\n%END_SECTION\n");
  ASSERT_EQ(exdrift().exitCode, 0);
  const std::string before = e2e::readFile(dir.path("n.dbf"));
  e2e::RunResult r = exdrift({"-W:N > 100", "-R:report.txt"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "NUMS", "n.dbf", 1) + counted(0) +
                       success(1));
  EXPECT_EQ(e2e::readFile(dir.path("n.dbf")), before);
  EXPECT_NE(e2e::readFile(dir.path("report.txt")).find("Processed 0 lines\n"), std::string::npos);
}

TEST_F(ExportRun, BlockTooLargeForMemoryIsAClearFailure) {
  sql("CREATE TABLE WIDE (W VARCHAR2(4000)); INSERT INTO WIDE VALUES ('x');");
  dbf("w.dbf", {"W:C:10"});
  config("%TABLE_NAME=WIDE\n%DBF_NAME=w.dbf\nW=W\n");
  e2e::RunResult r = exdrift({"-N:2000000000"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening(2000000000) + section("DEFAULT_SECTION_0", "WIDE", "w.dbf", 1) +
                       "\nNot enough memory for a block of 2000000000 lines of field 'W' "
                       "(8012000000000 bytes); choose a smaller block size (-N:)\n" +
                       failure(0));
  EXPECT_EQ(readBack("w.dbf"), "count 0\n");
}

TEST_F(ExportRun, StructureErrorKeepsEarlierSectionsAndEndsWithOne) {
  numbers(2);
  e2e::runProgram("/bin/mkdir", {dir.path("data")});
  dbf("data/orders.dbf", {"N:N:6"});
  // The dbf name is found through its directory whatever its case and extension.
  config("%BEGIN_SECTION ONE\n%TABLE_NAME=NUMS\n%DBF_NAME=data/Orders\nN=N\n%END_SECTION\n"
         "%BEGIN_SECTION TWO\n%TABLE_NAME=NUMS\n%TRUNCATE=MAYBE\n%DBF_NAME=data/orders.dbf\n"
         "N=N\n%END_SECTION\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, opening() + section("ONE", "NUMS", "data/Orders", 1) + counted(2) +
                       "\nUnknown option value in line 8.\n"
                       "\nIncorrect structure of configuration file\n" +
                       failure(1));
  EXPECT_EQ(readBack("data/orders.dbf"), "count 2\n[1]\n[2]\n");
}

TEST_F(ExportRun, ProgressCounterEveryTenThousandLines) {
  // Exactly one default block, then one block and one row.
  sql("CREATE TABLE NUMS (N NUMBER(6));"
      "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 10001)"
      " INSERT INTO NUMS SELECT i FROM c;");
  dbf("n.dbf", {"N:N:6"});
  config("%TABLE_NAME=NUMS\n%DBF_NAME=n.dbf\n%WHERE=\"N <= 10000\"\nN=N\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 0);
  // Without a terminal the backspaces go nowhere; the counts stay side by side.
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "NUMS", "n.dbf", 1) +
                       "Processing line:            10000   10000...Done\n"
                       "Process successfully complited, 1 section(s) transfered.\n");

  config("%TABLE_NAME=NUMS\n%DBF_NAME=n.dbf\n%TRUNCATE=ON\n%ORDER_BY=\"N DESC\"\nN=N\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "NUMS", "n.dbf", 1) +
                       "Truncating dbf-file...Done\n"
                       "Processing line:            10000   10001...Done\n"
                       "Process successfully complited, 1 section(s) transfered.\n");
  const std::string back = readBack("n.dbf");
  EXPECT_EQ(back.substr(0, 22), "count 10001\n[10001]\n[1");
  EXPECT_EQ(back.substr(back.size() - 8), "[2]\n[1]\n");

  // On a terminal each count first moves the cursor back over the previous one.
  e2e::RunOptions options;
  options.cwd = dir.path();
  r = e2e::runOnTerminal("exdrift", {"-S:shop.db", "-U:scott", "-P:tiger", "-F:run.cfg"}, "", "",
                         options);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.tty, std::string(16, '\b'));
  EXPECT_NE(r.out.find("Processing line:            10000   10001...Done\n"), std::string::npos);
}

TEST_F(ExportRun, ServerErrorsEndTheRunWithTheirText) {
  numbers(2);
  dbf("n.dbf", {"N:N:6", "T:C:10"});
  // An unknown column fails the describe, before the row loop: no dump.
  config("%TABLE_NAME=NUMS\n%DBF_NAME=n.dbf\nN=N\nNOPE=T\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "NUMS", "n.dbf", 2) +
                       "\nError while execute SQL-statement.\n"
                       "ORA-00904: \"NOPE\": invalid identifier\n\n" +
                       failure(0));

  // A bad WHERE text fails when the select runs, before the row loop: no row
  // was fetched, so there is no counter and no dump.
  config("%TABLE_NAME=NUMS\n%DBF_NAME=n.dbf\n%WHERE=\"BOGUS > 1\"\nN=N\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "NUMS", "n.dbf", 1) +
                       "\nError while execute SQL-statement.\n"
                       "ORA-00904: \"BOGUS\": invalid identifier\n\n" +
                       failure(0));
  EXPECT_EQ(readBack("n.dbf"), "count 0\n");
}

TEST_F(ExportRun, CompactModeShowsTheReportRecordsOfTheWholeRun) {
  numbers(2);
  dbf("n.dbf", {"N:N:6", "T:C:4"});
  config("%BEGIN_SECTION GOOD\n%TABLE_NAME=NUMS\n%DBF_NAME=n.dbf\n%TRUNCATE=ON\nN=N\n%END_SECTION\n"
         "%BEGIN_SECTION BAD\n%TABLE_NAME=NUMS\n%DBF_NAME=n.dbf\n%ORDER_BY=\"N\"\nN=N\nT=T\n"
         "%END_SECTION\n");
  e2e::RunResult r = exdrift({"-C", "-R:report.txt"});
  EXPECT_EQ(r.exitCode, 2);
  const std::string records =
      "hh:mm:ss Connect...hh:mm:ss Done\n"
      "hh:mm:ss mm/dd/yy Begin transfer file 'run.cfg' to table 'NUMS'\n"
      "hh:mm:ss Truncating dbf-file... hh:mm:ss Done\n"
      "hh:mm:ss Begin transfering...\n"
      "hh:mm:ss Processed 2 lines\n"
      "hh:mm:ss mm/dd/yy Begin transfer file 'run.cfg' to table 'NUMS'\n"
      "hh:mm:ss Truncating dbf-file... hh:mm:ss Done\n"
      "hh:mm:ss Begin transfering...\n"
      "hh:mm:ss Data was truncated\n"
      "hh:mm:ss Break proccess in line 1\n"
      "hh:mm:ss Data dump:\n"
      "hh:mm:ss Oracle field 'N', \tdbf-field 'N' \t: 1\n"
      "hh:mm:ss Oracle field 'T', \tdbf-field 'T' \t: row 1\n"
      "hh:mm:ss Error in oracle field 'T', dbf-field 'T' : row 1\n"
      "hh:mm:ss Some error has occurred. Process terminated. 1 section(s) transfered.\n";
  EXPECT_EQ(e2e::maskTimes(r.out), records);
  EXPECT_EQ(e2e::maskTimes(e2e::readFile(dir.path("report.txt"))), records);
  // The truncation carried over to the failing section, which left the file as the
  // first section made it.
  EXPECT_EQ(readBack("n.dbf"), "count 2\n[1, '']\n[2, '']\n");
}

}  // namespace
