// exdrift end to end: a value bound for a memo field that holds the byte 0x1A,
// which ends a memo text in the memo file, is refused instead of being cut.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/export_fixture.h"

namespace {

using ExportMemoEnd = ExportTest;

TEST_F(ExportMemoEnd, ValueHoldingTheMemoEndByteStopsTheRunKeepingEarlierRecords) {
  sql("CREATE TABLE NOTES (ID NUMBER(3), BODY VARCHAR2(100));"
      "INSERT INTO NOTES VALUES (1, 'first');"
      "INSERT INTO NOTES VALUES (2, 'ab' || char(26) || 'cd');"
      "INSERT INTO NOTES VALUES (3, 'last');");
  dbf("notes.dbf", {"ID:N:3", "BODY:M"});
  config("%TABLE_NAME=NOTES\n%DBF_NAME=notes.dbf\n%ORDER_BY=\"ID\"\nID=ID\nBODY=BODY\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  // The message, the row and the field that failed, and the value whole.
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "NOTES", "notes.dbf", 2) +
                       "Processing line:         "
                       "\nValue holds byte 0x1A, which ends a memo; it can't be stored whole\n"
                       "\nBreak proccess in line 2\n"
                       "\nData dump:\n"
                       "Oracle field 'ID', \tdbf-field 'ID' \t: 2\n"
                       "Oracle field 'BODY', \tdbf-field 'BODY' \t: ab\x1A" "cd\n"
                       "\nError in oracle field 'BODY', dbf-field 'BODY' : ab\x1A" "cd\n" +
                       failure(0));
  // Only the record before it was stored, never a shortened one.
  EXPECT_EQ(readBack("notes.dbf"), "count 1\n[1, 'first']\n");

  // A value ending in the byte is refused the same way; a text without it
  // goes through whole.
  sql("DELETE FROM NOTES; INSERT INTO NOTES VALUES (4, 'tail' || char(26));"
      "INSERT INTO NOTES VALUES (5, 'plain');");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("\nBreak proccess in line 1\n"), std::string::npos) << r.out;
  config("%TABLE_NAME=NOTES\n%DBF_NAME=notes.dbf\n%WHERE=\"ID = 5\"\nID=ID\nBODY=BODY\n"
         "%END_SECTION\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(readBack("notes.dbf"), "count 2\n[1, 'first']\n[5, 'plain']\n");
}

}  // namespace
