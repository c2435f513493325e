// indrift end to end: the run as a whole (sections, summary, exit codes, compact
// mode and report), the block loop's boundaries and counters, and every way a
// section can fail.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "tests/import_fixture.h"

namespace {

class ImportRun : public ImportTest {
 protected:
  // nums.dbf with `count` records numbered from 1; those listed are deleted.
  void numbers(int count, const std::vector<int>& deleted = {}) {
    dbf("nums.dbf", {"N:N:6"});
    std::vector<DbfRecord> records;
    for (int i = 1; i <= count; ++i) {
      bool gone = false;
      for (int d : deleted) gone = gone || d == i;
      records.push_back({{std::to_string(i)}, gone});
    }
    append("nums.dbf", records);
  }

  // The table NUMS and the one-section configuration that fills it from nums.dbf.
  void numsTable(const std::string& extra = "") {
    sql("CREATE TABLE NUMS (N NUMBER(6), RN NUMBER(6));");
    config("%TABLE_NAME=NUMS\n%DBF_NAME=nums\n" + extra + "N=N\nRN=%RECNUM\n");
  }

  std::string numsSection() { return section("DEFAULT_SECTION_0", "NUMS", "nums", 2); }
};

TEST_F(ImportRun, FileWithoutRecordsAndTruncation) {
  dbf("nums.dbf", {"N:N:6"});
  numsTable();
  sql("INSERT INTO NUMS VALUES (7, 7);");
  e2e::RunResult r = indrift();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, opening() + numsSection() + counted(0) + success(1));
  EXPECT_EQ(rows("SELECT N FROM NUMS"), "7\n");

  // %TRUNCATE=ON empties the table even though the file brings nothing.
  config("%TABLE_NAME=NUMS\n%DBF_NAME=nums\n%TRUNCATE=ON\nN=N\nRN=%RECNUM\n");
  r = indrift();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, opening() + numsSection() + "Truncating table...Done\n" + counted(0) +
                       success(1));
  EXPECT_EQ(rows("SELECT count(*) FROM NUMS"), "0\n");
}

TEST_F(ImportRun, SectionsNotSelectedAreSkippedAndOneWithoutFieldLinesIsAnError) {
  numbers(2);
  sql("CREATE TABLE A (N NUMBER(6)); CREATE TABLE B (N NUMBER(6));");
  config("%BEGIN_SECTION FIRST\n%TABLE_NAME=A\n%DBF_NAME=nums\nN=N\n%END_SECTION\n"
         "%BEGIN_SECTION SECOND\n%TABLE_NAME=B\n%DBF_NAME=nums\nN=N\n%END_SECTION\n"
         "%BEGIN_SECTION EMPTY\n%TABLE_NAME=A\n%DBF_NAME=nums\n%END_SECTION\n");
  e2e::RunResult r = indrift({"-L:empty,second"});
  // FIRST is read but not shown; SECOND is transferred and stays so when the
  // section without field lines then fails the run.
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, opening() + "\n" + section("SECOND", "B", "nums", 1) + counted(2) +
                       "\n\nNot defined fields of section 'EMPTY' in line 14.\n"
                       "\nIncorrect structure of configuration file\n" + failure(1));
  EXPECT_EQ(rows("SELECT (SELECT count(*) FROM A), (SELECT count(*) FROM B)"), "0|2\n");
}

TEST_F(ImportRun, BlockBoundariesAndDeletedRecords) {
  numbers(4, {2});
  numsTable("%TRUNCATE=ON\n");
  // Block size 3 and four records, the second deleted: exactly one full block.
  e2e::RunResult r = indrift({"-N:3", "-R:rep.txt"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "Configuration file: run.cfg\n        Block size: 3\n"
                   "           Service: shop.db\n              User: scott\n"
                   "\nConnecting... Done\n" +
                       numsSection() + "Truncating table...Done\n" + counted(4) + success(1));
  EXPECT_EQ(rows("SELECT N, RN FROM NUMS ORDER BY N"), "1|1\n3|3\n4|4\n");
  // Deleted records count as lines read.
  EXPECT_NE(e2e::readFile(dir.path("rep.txt")).find("Processed 4 lines\n"), std::string::npos);

  // One live record more than a block, and blocks of one record.
  for (const std::string blockSize : {"-N:2", "-N:1"}) {
    r = indrift({blockSize});
    EXPECT_EQ(r.exitCode, 0) << blockSize;
    EXPECT_EQ(rows("SELECT N, RN FROM NUMS ORDER BY N"), "1|1\n3|3\n4|4\n") << blockSize;
  }
}

TEST_F(ImportRun, ProgressCounterEveryTenThousandLines) {
  numbers(20001, {5, 10000, 20001});
  numsTable();
  e2e::RunResult r = indrift({"-N:7000"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, opening(7000) + numsSection() + counted(20001, {10000, 20000}) + success(1));
  EXPECT_EQ(rows("SELECT count(*), count(DISTINCT N), min(N), max(N), sum(N = RN) FROM NUMS"),
            "19998|19998|1|20000|19998\n");
}

TEST_F(ImportRun, BadFieldPairsStopTheRunWithoutTruncating) {
  numbers(2);
  // The second field's type byte says 'I', which the import does not know.
  dbf("odd.dbf", {"A:C:5", "B:C:4"});
  std::string image = e2e::readFile(dir.path("odd.dbf"));
  image[32 + 32 + 11] = 'I';
  e2e::writeFile(dir.path("odd.dbf"), image);
  sql("CREATE TABLE NUMS (N NUMBER(6), RN NUMBER(6)); INSERT INTO NUMS VALUES (9, 9);"
      "CREATE TABLE ODD (A VARCHAR2(5), B VARCHAR2(4));");
  config("%BEGIN_SECTION FIRST\n%TABLE_NAME=NUMS\n%DBF_NAME=nums\n%TRUNCATE=ON\n"
         "N=NOPE\nRN=%RECNUM\nX=n\nY=GONE\n%END_SECTION\n"
         "%BEGIN_SECTION SECOND\n%TABLE_NAME=ODD\n%DBF_NAME=odd\nA=A\nB=B\n%END_SECTION\n");
  e2e::RunResult r = indrift();
  EXPECT_EQ(r.exitCode, 1);
  // Every bad pair is named; the table keeps its row; later sections do not run.
  EXPECT_EQ(r.out, opening() + section("FIRST", "NUMS", "nums", 4) +
                       "Field 'NOPE' not found\nField 'GONE' not found\n" + failure(0));
  EXPECT_EQ(rows("SELECT N FROM NUMS"), "9\n");

  config("%TABLE_NAME=ODD\n%DBF_NAME=odd\nA=A\nB=B\n");
  r = indrift();
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "ODD", "odd", 2) +
                       "Uncknown type 'I'\n" + failure(0));

  // The closing COMMIT and DEALLOCATE still go to the server: here the table does
  // not exist, and the DEALLOCATE says so.
  config("%TABLE_NAME=MISSING\n%DBF_NAME=nums\nN=NOPE\n");
  r = indrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "MISSING", "nums", 1) +
                       "Field 'NOPE' not found\n"
                       "\nError while execute SQL-statement.\n"
                       "ORA-00942: table or view does not exist \n" +
                       failure(0));
}

TEST_F(ImportRun, ServerErrorsEndTheRunWithTheServerText) {
  numbers(6);
  // The table lacks the column RN: the describing SELECT fails.
  sql("CREATE TABLE NUMS (N NUMBER(6));");
  config("%TABLE_NAME=NUMS\n%DBF_NAME=nums\nN=N\nRN=%RECNUM\n");
  e2e::RunResult r = indrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening() + numsSection() +
                       "\nError while execute SQL-statement.\nORA-00904: \"RN\": invalid identifier \n" +
                       failure(0));

  // A value the column refuses, first of the third block: the run ends there and
  // the two blocks before it stay committed.
  dbf("seven.dbf", {"N:N:6"});
  append("seven.dbf",
         {{{"1"}}, {{"2"}}, {{"3"}}, {{"4"}}, {{"12345"}}, {{"6"}}, {{"7"}}});
  sql("DROP TABLE NUMS; CREATE TABLE NUMS (N NUMBER(4), RN NUMBER(6));");
  config("%TABLE_NAME=NUMS\n%DBF_NAME=seven\nN=N\nRN=%RECNUM\n");
  r = indrift({"-N:2"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening(2) + section("DEFAULT_SECTION_0", "NUMS", "seven", 2) +
                       "Processing line:         "
                   "\nError while execute SQL-statement.\n"
                   "ORA-01438: value larger than specified precision allowed for this column "
                   "(column \"SCOTT\".\"NUMS\".\"N\") \n"
                   "\nBreak proccess in block at line 6\n"
                   // The refused row by its record, not the last one gathered.
                   "Refused record 5 of dbf-file 'seven'\n"
                   "\nData dump:\n"
                   "Oracle field 'N', \tdbf-field 'N' \t: 12345\n"
                   "Oracle field 'RN', \tdbf-field '%RECNUM' \t: 5\n" +
                   failure(0));
  EXPECT_EQ(rows("SELECT N FROM NUMS ORDER BY N"), "1\n2\n3\n4\n");
}

TEST_F(ImportRun, FileHeldExclusivelyByAnotherProcess) {
  numbers(1);
  numsTable();
  const int fd = ::open(dir.path("nums.dbf").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  e2e::RunResult r = indrift();
  ::close(fd);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening() + numsSection() +
                       "\nCan't open dbf-file.\n'nums.dbf': held by another program\n" + failure(0));
  EXPECT_EQ(rows("SELECT count(*) FROM NUMS"), "0\n");
}

TEST_F(ImportRun, WrongPasswordAndUnallocatableBlock) {
  numbers(1);
  numsTable();
  sql("CREATE TABLE ocilite_users (name TEXT PRIMARY KEY, password TEXT);"
      "INSERT INTO ocilite_users VALUES ('scott', 'lion');");
  e2e::RunResult r = indrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "Configuration file: run.cfg\n        Block size: 10000\n"
                   "           Service: shop.db\n              User: scott\n"
                   "\nConnecting... "
                   "\nCan't logon to database.\nORA-01017: invalid username/password; logon "
                   "denied \n" +
                       failure(0));

  // A block whose buffers cannot be had is refused with a message, not wrapped
  // around or half allocated.
  sql("UPDATE ocilite_users SET password = 'tiger';");
  r = indrift({"-N:2147483647"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening(2147483647) + numsSection() +
                       "\nCan't allocate 137438953408 bytes for a block of 2147483647 lines of "
                       "field 'N'.\n" +
                       failure(0));
}

TEST_F(ImportRun, CompactModeAndTheReportOfAWholeRun) {
  numbers(3, {2});
  numsTable("%TRUNCATE=ON\n");
  e2e::RunResult r = indrift({"-C", "-R:rep.txt", "-N:1"});
  EXPECT_EQ(r.exitCode, 0);
  const std::string report =
      "hh:mm:ss Connect...hh:mm:ss Done\n"
      "hh:mm:ss mm/dd/yy Configuration file 'run.cfg',DBF File 'nums', Table 'NUMS'\n"
      "hh:mm:ss Truncating table... hh:mm:ss Done\n"
      "hh:mm:ss Begin transfering...\n"
      "hh:mm:ss Processed 3 lines\n"
      "hh:mm:ss Process successfully complited, 1 section(s) transfered.\n";
  // Compact: the console shows the report records and nothing else.
  EXPECT_EQ(e2e::maskTimes(r.out), report);
  EXPECT_EQ(e2e::maskTimes(e2e::readFile(dir.path("rep.txt"))), report);
  EXPECT_EQ(rows("SELECT N FROM NUMS ORDER BY N"), "1\n3\n");
}

}  // namespace
