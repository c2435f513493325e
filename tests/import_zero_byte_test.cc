// indrift end to end: values travel to the server as zero-terminated texts, so a
// zero byte with data after it is refused, never cut there; zero bytes that only
// pad a field are dropped like trailing blanks.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/import_fixture.h"

namespace {

using ImportZeroByte = ImportTest;

TEST_F(ImportZeroByte, ZeroByteInsideACharacterFieldStopsTheRun) {
  dbf("people.dbf", {"ID:N:4", "NAME:C:6"});
  append("people.dbf", {{{"1", "Ann"}},
                        {{"2", std::string("A\0BCD", 5)}},
                        {{"3", "Cid"}}});
  sql("CREATE TABLE PEOPLE (ID NUMBER(4), NAME VARCHAR2(10));");
  config("%TABLE_NAME=PEOPLE\n%DBF_NAME=people\nID=ID\nNAME=NAME\n");
  e2e::RunResult r = indrift({"-N:1"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening(1) + section("DEFAULT_SECTION_0", "PEOPLE", "people", 2) +
                       "Processing line:         "
                       "\nDbf-field 'NAME' in record 2 holds a zero byte inside its value.\n"
                       "\nBreak proccess in block at line 2\n"
                       "\nData dump:\n"
                       "Oracle field 'ID', \tdbf-field 'ID' \t: 2\n"
                       "Oracle field 'NAME', \tdbf-field 'NAME' \t: A\n" +
                       failure(0));
  // The record before it stays committed; no shortened value arrives.
  EXPECT_EQ(rows("SELECT ID, NAME FROM PEOPLE ORDER BY ID"), "1|Ann\n");
}

TEST_F(ImportZeroByte, ZeroBytesThatOnlyPadAFieldAreDropped) {
  dbf("people.dbf", {"ID:N:4", "NAME:C:6"});
  append("people.dbf", {{{"1", std::string("Ann\0\0\0", 6)}},
                        {{"2", std::string("Bo\0 \0 ", 6)}},
                        {{"3", std::string(6, '\0')}}});
  sql("CREATE TABLE PEOPLE (ID NUMBER(4), NAME VARCHAR2(10));");
  config("%TABLE_NAME=PEOPLE\n%DBF_NAME=people\nID=ID\nNAME=NAME\n");
  e2e::RunResult r = indrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(rows("SELECT ID, quote(NAME) FROM PEOPLE ORDER BY ID"),
            "1|'Ann'\n2|'Bo'\n3|NULL\n");
}

TEST_F(ImportZeroByte, ZeroByteInsideAMemoStopsTheRun) {
  dbf("notes.dbf", {"ID:N:4", "BODY:M"});
  append("notes.dbf", {{{"1", "whole text"}}, {{"2", std::string("ab\0cd", 5)}}});
  sql("CREATE TABLE NOTES (ID NUMBER(4), BODY VARCHAR2(100));");
  config("%TABLE_NAME=NOTES\n%DBF_NAME=notes\nID=ID\nBODY=BODY\n");
  e2e::RunResult r = indrift({"-N:1"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("\nDbf-field 'BODY' in record 2 holds a zero byte inside its value.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(rows("SELECT ID, BODY FROM NOTES ORDER BY ID"), "1|whole text\n");
}

}  // namespace
