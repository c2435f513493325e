// exdrift end to end: a value that cannot be stored as it is ends the run, naming
// the line and the field, instead of reaching the file changed: a value holding a
// zero byte (which would cut it there), and text in numeric or date fields that
// other readers cannot read as a number or a date.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/e2e_support.h"
#include "tests/export_fixture.h"

namespace {

using ExportRefusedValues = ExportTest;

TEST_F(ExportRefusedValues, ZeroByteInsideAValueStopsTheRun) {
  sql("CREATE TABLE T (ID NUMBER(3), S VARCHAR2(10), M VARCHAR2(50), R RAW(4));"
      "INSERT INTO T VALUES (1, 'ab', 'whole', X'4142');"
      "INSERT INTO T VALUES (2, 'ab' || char(0) || 'cd', 'x', NULL);"
      "INSERT INTO T VALUES (3, 'c', 'ab' || char(0) || 'cd', NULL);"
      "INSERT INTO T VALUES (4, 'd', 'y', X'41004243');");
  dbf("t.dbf", {"ID:N:3", "S:C:10", "M:M", "R:C:4"});
  config("%TABLE_NAME=T\n%DBF_NAME=t.dbf\n%ORDER_BY=\"ID\"\nID=ID\nS=S\nM=M\nR=R\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "T", "t.dbf", 4) +
                       "Processing line:         "
                       "\nOracle field 'S' in line 2 holds a zero byte inside its value.\n"
                       "\nBreak proccess in line 2\n"
                       "\nData dump:\n"
                       "Oracle field 'ID', \tdbf-field 'ID' \t: 2\n"
                       "Oracle field 'S', \tdbf-field 'S' \t: ab\n"
                       "Oracle field 'M', \tdbf-field 'M' \t: x\n"
                       "Oracle field 'R', \tdbf-field 'R' \t: \n"
                       "\nError in oracle field 'S', dbf-field 'S' : ab\n" +
                       failure(0));
  EXPECT_EQ(readBack("t.dbf"), "count 1\n[1, 'ab', 'whole', 'AB']\n");

  // The same for a memo text and for raw bytes.
  for (const auto& [id, field] : std::vector<std::pair<int, std::string>>{{3, "M"}, {4, "R"}}) {
    config("%TABLE_NAME=T\n%DBF_NAME=t.dbf\n%WHERE=\"ID = " + std::to_string(id) +
           "\"\nID=ID\nS=S\nM=M\nR=R\n");
    r = exdrift();
    EXPECT_EQ(r.exitCode, 2) << field;
    EXPECT_NE(r.out.find("\nOracle field '" + field +
                         "' in line 1 holds a zero byte inside its value.\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(readBack("t.dbf"), "count 1\n[1, 'ab', 'whole', 'AB']\n") << field;
  }
}

TEST_F(ExportRefusedValues, NumericAndDateFieldsTakeOnlyNumbersAndDates) {
  // Texts as numbers and dates arrive: from TO_CHAR, and from character columns
  // (blank-padded CHAR, signs, exponents, blank dates).
  sql("CREATE TABLE V (ID NUMBER(3), N VARCHAR2(12), C CHAR(6), D VARCHAR2(10), DT DATE);"
      "INSERT INTO V VALUES (1, '12.5', '7', '20240229', '2024-02-29 13:00:00');"
      "INSERT INTO V VALUES (2, '.5', '-.25', '        ', NULL);"
      "INSERT INTO V VALUES (3, '-3', '+4', NULL, '0999-12-31 00:00:00');"
      "INSERT INTO V VALUES (4, ' 1.5E+10 ', '6.', '19000101', NULL);");
  dbf("v.dbf", {"ID:N:3", "N:N:12:2", "C:F:6:2", "D:D", "DT:D"});
  config("%TABLE_NAME=V\n%DBF_NAME=v.dbf\n%ORDER_BY=\"ID\"\nID=ID\nN=N\nC=C\nD=D\nDT=DT\n");
  e2e::RunResult r = exdrift();
  ASSERT_EQ(r.exitCode, 0) << r.out;
  const std::string good = readBack("v.dbf");
  EXPECT_EQ(good,
            "count 4\n"
            "[1, 12.5, 7.0, datetime.date(2024, 2, 29), datetime.date(2024, 2, 29)]\n"
            "[2, 0.5, -0.25, None, None]\n"
            "[3, -3, 4.0, None, datetime.date(999, 12, 31)]\n"
            "[4, 15000000000.0, 6.0, datetime.date(1900, 1, 1), None]\n");

  // Each bad text fails the run at its line, naming the field; nothing of it is
  // stored.
  auto notNumber = [](const char* field) {
    return std::string("Oracle field '") + field + "' in line 1 is not a number for dbf-field '" +
           field + "'.";
  };
  auto notDate = [](const char* field) {
    return std::string("Oracle field '") + field +
           "' in line 1 is not a date YYYYMMDD for dbf-field '" + field + "'.";
  };
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"'abc', '1', NULL", notNumber("N")},      {"'1,5', '1', NULL", notNumber("N")},
      {"'1 2', '1', NULL", notNumber("N")},      {"'-', '1', NULL", notNumber("N")},
      {"'1e', '1', NULL", notNumber("N")},       {"'Inf', '1', NULL", notNumber("N")},
      {"'1', '.', NULL", notNumber("C")},        {"'1', '1', 'hello'", notDate("D")},
      {"'1', '1', '20240230'", notDate("D")},    {"'1', '1', '2024-1-5'", notDate("D")},
      {"'1', '1', '2024015'", notDate("D")},
  };
  config("%TABLE_NAME=V\n%DBF_NAME=v.dbf\n%WHERE=\"ID = 9\"\nID=ID\nN=N\nC=C\nD=D\n");
  for (const auto& [values, message] : bad) {
    sql("DELETE FROM V WHERE ID = 9; INSERT INTO V VALUES (9, " + values + ", NULL);");
    r = exdrift();
    EXPECT_EQ(r.exitCode, 2) << values;
    const std::string expected =
        "Processing line:         \n" + message + "\n\nBreak proccess in line 1\n";
    EXPECT_NE(r.out.find(expected), std::string::npos)
        << values << "\n" << r.out;
  }
  EXPECT_EQ(readBack("v.dbf"), good);

  // A text longer than its field still fails as before.
  sql("DELETE FROM V WHERE ID = 9; INSERT INTO V VALUES (9, '1', '1', '2024-01-05', NULL);");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("\nData was truncated\n"), std::string::npos) << r.out;
}

}  // namespace
