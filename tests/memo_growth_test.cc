// Emptying a data file with memo fields, again and again: exdrift with %TRUNCATE=ON
// and dbftool zap leave the memo file no larger than one filling needs, however
// many times the same rows go in.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/export_fixture.h"

namespace {

using MemoGrowth = ExportTest;

TEST_F(MemoGrowth, EmptyingTheDataFileEmptiesItsMemoFile) {
  sql("CREATE TABLE NOTES (ID NUMBER(4), BODY VARCHAR2(2000));"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)"
      " INSERT INTO NOTES SELECT i, printf('%.*c', 300 + i * 5, 'm') FROM n;");
  dbf("notes.dbf", {"ID:N:4", "BODY:M"});
  config("%TABLE_NAME=NOTES\n%DBF_NAME=notes.dbf\n%TRUNCATE=ON\n%ORDER_BY=\"ID\"\n"
         "ID=ID\nBODY=BODY\n");
  const std::string memo = dir.path("notes.dbt");

  ASSERT_EQ(exdrift().exitCode, 0);
  const size_t once = e2e::readFile(memo).size();
  ASSERT_GT(once, 200u * 512);
  for (int run = 2; run <= 5; ++run) {
    e2e::RunResult r = exdrift();
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(e2e::readFile(memo).size(), once) << "run " << run;
  }
  const std::string text = readBack("notes.dbf");
  EXPECT_EQ(text.substr(0, 10), "count 200\n");
  EXPECT_NE(text.find("[200, '" + std::string(1300, 'm') + "']"), std::string::npos);

  // dbftool zap: the memo file keeps only its header block, next free block 1.
  e2e::RunResult z = e2e::runProgram("dbftool", {"zap", dir.path("notes.dbf")});
  ASSERT_EQ(z.exitCode, 0) << z.err;
  const std::string emptied = e2e::readFile(memo);
  ASSERT_EQ(emptied.size(), 512u);
  EXPECT_EQ(emptied.substr(0, 4), std::string("\x01\0\0\0", 4));
  ASSERT_EQ(exdrift().exitCode, 0);
  EXPECT_EQ(e2e::readFile(memo).size(), once);
  EXPECT_EQ(readBack("notes.dbf"), text);
}

}  // namespace
