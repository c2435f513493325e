// indrift end to end: a section whose configuration the server refuses, with
// %TRUNCATE=ON, fails before the table is emptied.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/import_fixture.h"

namespace {

class ImportSetUpFailure : public ImportTest {
 protected:
  // people.dbf with two records, and the table PEOPLE holding one old row.
  void people() {
    dbf("people.dbf", {"ID:N:4", "NAME:C:10"});
    append("people.dbf", {{{"1", "Ann"}}, {{"2", "Bob"}}});
    sql("CREATE TABLE PEOPLE (ID NUMBER(4), NAME VARCHAR2(10));"
        "INSERT INTO PEOPLE VALUES (9, 'old');");
  }
};

TEST_F(ImportSetUpFailure, MistypedColumnLeavesTheTableUntouched) {
  people();
  config("%TABLE_NAME=PEOPLE\n%DBF_NAME=people\n%TRUNCATE=ON\nID=ID\nNAMEX=NAME\n");
  e2e::RunResult r = indrift({"-R:report.txt"});
  EXPECT_EQ(r.exitCode, 2);
  // No truncation is announced, because none took place.
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "PEOPLE", "people", 2) +
                       "\nError while execute SQL-statement.\n"
                       "ORA-00904: \"NAMEX\": invalid identifier \n" +
                       failure(0));
  EXPECT_EQ(e2e::readFile(dir.path("report.txt")).find("Truncating"), std::string::npos);
  EXPECT_EQ(rows("SELECT ID, NAME FROM PEOPLE"), "9|old\n");

  // A table that does not exist fails the same way, before anything is sent
  // that changes data.
  config("%TABLE_NAME=PEOPLEX\n%DBF_NAME=people\n%TRUNCATE=ON\nID=ID\nNAME=NAME\n");
  r = indrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out.find("Truncating"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ORA-00942"), std::string::npos) << r.out;
  EXPECT_EQ(rows("SELECT ID, NAME FROM PEOPLE"), "9|old\n");

  // With the name put right the same section empties the table and fills it,
  // announcing the truncation where it always did.
  config("%TABLE_NAME=PEOPLE\n%DBF_NAME=people\n%TRUNCATE=ON\nID=ID\nNAME=NAME\n");
  r = indrift({"-R:report.txt"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "PEOPLE", "people", 2) +
                       "Truncating table...Done\n" + counted(2) + success(1));
  EXPECT_EQ(rows("SELECT ID, NAME FROM PEOPLE ORDER BY ID"), "1|Ann\n2|Bob\n");
  EXPECT_NE(e2e::maskTimes(e2e::readFile(dir.path("report.txt")))
                .find("hh:mm:ss Truncating table... hh:mm:ss Done\n"
                      "hh:mm:ss Begin transfering...\n"),
            std::string::npos);
}

}  // namespace
