// exdrift end to end: a section that fails its set-up (a column the export does
// not take, a name the table does not know, a WHERE text the server refuses)
// leaves the dbf file untouched, also with %TRUNCATE=ON.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/export_fixture.h"

namespace {

class ExportSetUpFailure : public ExportTest {
 protected:
  // The table ORDERS and orders.dbf holding two earlier records.
  void orders() {
    sql("CREATE TABLE ORDERS (ID NUMBER(5), DOC BLOB);"
        "INSERT INTO ORDERS VALUES (1, 'text');");
    dbf("orders.dbf", {"ID:N:5", "DOC:C:10"});
    config("%TABLE_NAME=ORDERS\n%DBF_NAME=orders.dbf\nID=ID\n%END_SECTION\n");
    ASSERT_EQ(exdrift().exitCode, 0);
    ASSERT_EQ(exdrift().exitCode, 0);
    ASSERT_EQ(readBack("orders.dbf"), "count 2\n[1, '']\n[1, '']\n");
  }
};

TEST_F(ExportSetUpFailure, ColumnErrorsLeaveTheFileUntouched) {
  orders();
  const std::string before = e2e::readFile(dir.path("orders.dbf"));

  // An unsupported type alone.
  config("%TABLE_NAME=ORDERS\n%DBF_NAME=orders.dbf\n%TRUNCATE=ON\nID=ID\nDOC=DOC\n");
  e2e::RunResult r = exdrift({"-R:report.txt"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "ORDERS", "orders.dbf", 2) +
                       "Type '113' not supported, oracle field 'DOC'\n" + failure(0));
  EXPECT_EQ(e2e::readFile(dir.path("report.txt")).find("Truncating"), std::string::npos);
  EXPECT_EQ(e2e::readFile(dir.path("orders.dbf")), before);

  // A name with a table prefix alone.
  config("%TABLE_NAME=ORDERS\n%DBF_NAME=orders.dbf\n%TRUNCATE=ON\nORDERS.ID=ID\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "ORDERS", "orders.dbf", 1) +
                       "Found field 'ID' instead of 'ORDERS.ID'.\n" + failure(0));
  EXPECT_EQ(e2e::readFile(dir.path("orders.dbf")), before);
  EXPECT_EQ(readBack("orders.dbf"), "count 2\n[1, '']\n[1, '']\n");
}

TEST_F(ExportSetUpFailure, RefusedWhereTextLeavesTheFileUntouchedAndDumpsNoRow) {
  orders();
  const std::string before = e2e::readFile(dir.path("orders.dbf"));
  config("%TABLE_NAME=ORDERS\n%DBF_NAME=orders.dbf\n%TRUNCATE=ON\n%WHERE=\"BOGUS > 1\"\n"
         "ID=ID\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  // The failure comes before the first row: no truncation, no row counter, no
  // dump of a row that was never fetched.
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "ORDERS", "orders.dbf", 1) +
                       "\nError while execute SQL-statement.\n"
                       "ORA-00904: \"BOGUS\": invalid identifier\n\n" +
                       failure(0));
  EXPECT_EQ(e2e::readFile(dir.path("orders.dbf")), before);

  // An ORDER BY the server refuses is caught at the same point.
  config("%TABLE_NAME=ORDERS\n%DBF_NAME=orders.dbf\n%TRUNCATE=ON\n%ORDER_BY=\"NOSUCH\"\n"
         "ID=ID\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out.find("Truncating"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Break proccess"), std::string::npos) << r.out;
  EXPECT_EQ(e2e::readFile(dir.path("orders.dbf")), before);

  // Put right, the same section empties the file and fills it, printing the
  // truncation before the row counter as it always did.
  config("%TABLE_NAME=ORDERS\n%DBF_NAME=orders.dbf\n%TRUNCATE=ON\n%WHERE=\"ID > 0\"\nID=ID\n"
         "%END_SECTION\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "ORDERS", "orders.dbf", 1) +
                       "Truncating dbf-file...Done\n" + counted(1) + success(1));
  EXPECT_EQ(readBack("orders.dbf"), "count 1\n[1, '']\n");
  ASSERT_EQ(exdrift({"-R:report.txt"}).exitCode, 0);
  EXPECT_NE(e2e::maskTimes(e2e::readFile(dir.path("report.txt")))
                .find("hh:mm:ss Truncating dbf-file... hh:mm:ss Done\n"
                      "hh:mm:ss Begin transfering...\n"),
            std::string::npos);
}

}  // namespace
