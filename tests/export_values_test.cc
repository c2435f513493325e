// exdrift end to end: what each column type becomes in each dbf field type, and
// the failures that a value or a field layout can cause.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/export_fixture.h"

namespace {

class ExportValues : public ExportTest {};

TEST_F(ExportValues, EveryColumnTypeIntoItsFieldsWithNullsBlank) {
  sql("CREATE TABLE ITEMS (ID NUMBER(10), NAME VARCHAR2(20), CODE CHAR(4),"
      " PRICE NUMBER(10,2), MADE DATE, TAG RAW(4));"
      "INSERT INTO ITEMS VALUES (1, 'Bolt', 'B1', 12.5, '2024-01-31 10:20:30', X'414243');"
      "INSERT INTO ITEMS VALUES (2, 'Nut', 'N22', 0.5, '1999-12-31 00:00:00', X'7A');"
      "INSERT INTO ITEMS VALUES (3, NULL, NULL, NULL, NULL, NULL);"
      "INSERT INTO ITEMS VALUES (4, 'Washer', 'W', -3, '2000-02-29 23:59:59', NULL);");
  dbf("items.dbf", {"ID:N:10", "NAME:C:20", "CODE:C:4", "PRICE:N:10:2", "MADE:D", "MADEC:C:8",
                    "TAG:C:4", "NOTE:M"});
  config("%BEGIN_SECTION items\n"
         "%TABLE_NAME=ITEMS\n"
         "%DBF_NAME=items.dbf\n"
         "id=ID\n"  // a column written in lower case matches
         "NAME=NAME\nCODE=CODE\nPRICE=PRICE\nMADE=MADE\nMADE=MADEC\nTAG=TAG\nNAME=NOTE\n"
         "%END_SECTION\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, opening() + section("ITEMS", "ITEMS", "items.dbf", 8) + counted(4) + success(1));

  // Numbers as the server writes them, left-aligned; dates as eight digits, also
  // in a character field; NULLs leave every field blank.
  EXPECT_EQ(readBack("items.dbf", true),
            "count 4\n"
            "[b'1         ', b'Bolt                ', b'B1  ', b'12.5      ', b'20240131', "
            "b'20240131', b'ABC ', b'         1']\n"
            "[b'2         ', b'Nut                 ', b'N22 ', b'.5        ', b'19991231', "
            "b'19991231', b'z   ', b'         2']\n"
            "[b'3         ', b'                    ', b'    ', b'          ', b'        ', "
            "b'        ', b'    ', b'          ']\n"
            "[b'4         ', b'Washer              ', b'W   ', b'-3        ', b'20000229', "
            "b'20000229', b'    ', b'         3']\n");
  EXPECT_EQ(readBack("items.dbf"),
            "count 4\n"
            "[1, 'Bolt', 'B1', 12.5, datetime.date(2024, 1, 31), '20240131', 'ABC', 'Bolt']\n"
            "[2, 'Nut', 'N22', 0.5, datetime.date(1999, 12, 31), '19991231', 'z', 'Nut']\n"
            "[3, '', '', None, None, '', '', None]\n"
            "[4, 'Washer', 'W', -3, datetime.date(2000, 2, 29), '20000229', '', 'Washer']\n");
  // The engine's own reader sees the same bytes, memo texts included.
  EXPECT_EQ(dump("items.dbf"),
            "{\"recno\":1,\"deleted\":false,\"values\":[\"1         \",\"Bolt                \","
            "\"B1  \",\"12.5      \",\"20240131\",\"20240131\",\"ABC \",\"Bolt\"]}\n"
            "{\"recno\":2,\"deleted\":false,\"values\":[\"2         \",\"Nut                 \","
            "\"N22 \",\".5        \",\"19991231\",\"19991231\",\"z   \",\"Nut\"]}\n"
            "{\"recno\":3,\"deleted\":false,\"values\":[\"3         \",\"                    \","
            "\"    \",\"          \",\"        \",\"        \",\"    \",\"\"]}\n"
            "{\"recno\":4,\"deleted\":false,\"values\":[\"4         \",\"Washer              \","
            "\"W   \",\"-3        \",\"20000229\",\"20000229\",\"    \",\"Washer\"]}\n");
}

TEST_F(ExportValues, CyrillicArrivesAsCodePage866UnlessMarked) {
  // Room for the UTF-8 bytes of the database as they are.
  sql("CREATE TABLE PEOPLE (NAME VARCHAR2(40));"
      "INSERT INTO PEOPLE VALUES ('Привет, мир');");
  dbf("people.dbf", {"NAME:C:12", "RAWNAME:C:24", "BOTH:C:24"});
  config("%TABLE_NAME=PEOPLE\n%DBF_NAME=people.dbf\n"
         "NAME=NAME\n!NAME=RAWNAME\n!NAME=!BOTH\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  // Code page 866 in the first field; the database's bytes in the marked ones.
  const std::string utf8 = "b'\\xd0\\x9f\\xd1\\x80\\xd0\\xb8\\xd0\\xb2\\xd0\\xb5\\xd1\\x82, "
                           "\\xd0\\xbc\\xd0\\xb8\\xd1\\x80    '";
  EXPECT_EQ(readBack("people.dbf", true),
            "count 1\n"
            "[b'\\x8f\\xe0\\xa8\\xa2\\xa5\\xe2, \\xac\\xa8\\xe0 ', " + utf8 + ", " + utf8 + "]\n");
  EXPECT_NE(dump("people.dbf").find("\"Привет, мир \""), std::string::npos);
  EXPECT_NE(dump("people.dbf", "utf8").find("\"Привет, мир    \""), std::string::npos);
}

TEST_F(ExportValues, LogicalFieldsFromAnyText) {
  sql("CREATE TABLE FLAGS (N NUMBER(3), V VARCHAR2(8));"
      "INSERT INTO FLAGS VALUES (1, '1'); INSERT INTO FLAGS VALUES (2, 'Y');"
      "INSERT INTO FLAGS VALUES (3, 'N'); INSERT INTO FLAGS VALUES (4, 'YES');"
      "INSERT INTO FLAGS VALUES (5, 'TRUE'); INSERT INTO FLAGS VALUES (6, '0');"
      "INSERT INTO FLAGS VALUES (7, 'f'); INSERT INTO FLAGS VALUES (8, 'false');"
      "INSERT INTO FLAGS VALUES (9, 'no'); INSERT INTO FLAGS VALUES (10, NULL);"
      "INSERT INTO FLAGS VALUES (11, 'x'); INSERT INTO FLAGS VALUES (12, 'F');");
  dbf("flags.dbf", {"N:N:3", "V:L", "NUM:L"});
  config("%TABLE_NAME=FLAGS\n%DBF_NAME=flags.dbf\n%ORDER_BY=\"N\"\nN=N\nV=V\nN=NUM\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(readBack("flags.dbf"),
            "count 12\n"
            "[1, True, True]\n[2, True, True]\n[3, False, True]\n[4, True, True]\n"
            "[5, True, True]\n[6, False, True]\n[7, False, True]\n[8, False, True]\n"
            "[9, False, True]\n[10, None, True]\n[11, True, True]\n[12, False, True]\n");
}

TEST_F(ExportValues, MemoFieldsCarryTheWholeText) {
  sql("CREATE TABLE NOTES (ID NUMBER(3), BODY VARCHAR2(4000));"
      "INSERT INTO NOTES VALUES (1, NULL);"
      "INSERT INTO NOTES VALUES (2, '0123456789');"
      "INSERT INTO NOTES VALUES (3, printf('%.600c', 'a'));"
      "INSERT INTO NOTES VALUES (4, printf('%.3000c', 'b'));"
      "INSERT INTO NOTES VALUES (5, 'last');");
  dbf("notes.dbf", {"ID:N:3", "BODY:M"});
  config("%TABLE_NAME=NOTES\n%DBF_NAME=notes.dbf\n%ORDER_BY=\"ID\"\nID=ID\nBODY=BODY\n");
  e2e::RunResult r = exdrift({"-N:2"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  const std::string a600(600, 'a'), b3000(3000, 'b');
  EXPECT_EQ(readBack("notes.dbf"),
            "count 5\n[1, None]\n[2, '0123456789']\n[3, '" + a600 + "']\n[4, '" + b3000 +
                "']\n[5, 'last']\n");
  // Blocks in the memo file: 0 header, 1 the 10 bytes, 2-3 the 600, 4-9 the 3000.
  const std::string raw = readBack("notes.dbf", true);
  EXPECT_NE(raw.find("[b'1  ', b'          ']"), std::string::npos) << raw;
  EXPECT_NE(raw.find("[b'2  ', b'         1']"), std::string::npos) << raw;
  EXPECT_NE(raw.find("[b'5  ', b'        10']"), std::string::npos) << raw;
  EXPECT_EQ(dump("notes.dbf"),
            "{\"recno\":1,\"deleted\":false,\"values\":[\"1  \",\"\"]}\n"
            "{\"recno\":2,\"deleted\":false,\"values\":[\"2  \",\"0123456789\"]}\n"
            "{\"recno\":3,\"deleted\":false,\"values\":[\"3  \",\"" + a600 + "\"]}\n"
            "{\"recno\":4,\"deleted\":false,\"values\":[\"4  \",\"" + b3000 + "\"]}\n"
            "{\"recno\":5,\"deleted\":false,\"values\":[\"5  \",\"last\"]}\n");
  // Header, then 1 + 2 + 6 + 1 blocks of 512 bytes.
  EXPECT_EQ(e2e::readFile(dir.path("notes.dbt")).size(), 11u * 512);
}

TEST_F(ExportValues, ValueLongerThanItsFieldStopsTheRunKeepingEarlierRecords) {
  sql("CREATE TABLE WORDS (ID NUMBER(3), W VARCHAR2(20));"
      "INSERT INTO WORDS VALUES (1, 'one'); INSERT INTO WORDS VALUES (2, 'two');"
      "INSERT INTO WORDS VALUES (3, 'exactly10!');"
      "INSERT INTO WORDS VALUES (4, 'twelve chars');"
      "INSERT INTO WORDS VALUES (5, 'five');");
  dbf("words.dbf", {"ID:N:3", "W:C:10"});
  config("%TABLE_NAME=WORDS\n%DBF_NAME=words.dbf\n%ORDER_BY=\"ID\"\nID=ID\nW=W\n%END_SECTION\n"
         "%BEGIN_SECTION NEXT\n%TABLE_NAME=WORDS\n%DBF_NAME=words.dbf\nID=ID\n%END_SECTION\n");
  e2e::RunResult r = exdrift({"-N:2"});
  EXPECT_EQ(r.exitCode, 2);
  // The failing row is the second of its block: the dump and the field line both
  // show its value.
  EXPECT_EQ(r.out, opening(2) + section("DEFAULT_SECTION_0", "WORDS", "words.dbf", 2) +
                       "Processing line:         "
                       "\nData was truncated\n"
                       "\nBreak proccess in line 4\n"
                       "\nData dump:\n"
                       "Oracle field 'ID', \tdbf-field 'ID' \t: 4\n"
                       "Oracle field 'W', \tdbf-field 'W' \t: twelve chars\n"
                       "\nError in oracle field 'W', dbf-field 'W' : twelve chars\n" +
                       failure(0));
  EXPECT_EQ(readBack("words.dbf"), "count 3\n[1, 'one']\n[2, 'two']\n[3, 'exactly10!']\n");
  EXPECT_EQ(dump("words.dbf"),
            "{\"recno\":1,\"deleted\":false,\"values\":[\"1  \",\"one       \"]}\n"
            "{\"recno\":2,\"deleted\":false,\"values\":[\"2  \",\"two       \"]}\n"
            "{\"recno\":3,\"deleted\":false,\"values\":[\"3  \",\"exactly10!\"]}\n");
  // Header length 97, record length 14: three records and the end byte.
  EXPECT_EQ(e2e::readFile(dir.path("words.dbf")).size(), 97u + 3 * 14 + 1);
}

TEST_F(ExportValues, UnknownFieldTypeFailsAtTheFirstRowOnly) {
  sql("CREATE TABLE PICS (ID NUMBER(3));"
      "INSERT INTO PICS VALUES (7);");
  dbf("pics.dbf", {"ID:N:3", "PIC:M"});
  // Turn the memo field into a G field: type letter of the second descriptor.
  std::string bytes = e2e::readFile(dir.path("pics.dbf"));
  ASSERT_EQ(bytes[32 + 32 + 11], 'M');
  bytes[32 + 32 + 11] = 'G';
  e2e::writeFile(dir.path("pics.dbf"), bytes);
  config("%TABLE_NAME=PICS\n%DBF_NAME=pics.dbf\n%WHERE=\"ID > 7\"\nID=ID\nID=PIC\n%END_SECTION\n"
         "%BEGIN_SECTION ROWS\n%TABLE_NAME=PICS\n%DBF_NAME=pics.dbf\n%WHERE=\"ID = 7\"\n"
         "ID=ID\nID=PIC\n%END_SECTION\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "PICS", "pics.dbf", 2) + counted(0) +
                       section("ROWS", "PICS", "pics.dbf", 2) +
                       "Processing line:         "
                       "\nUnknown type 'G', process aborted\n"
                       "\nBreak proccess in line 1\n"
                       "\nData dump:\n"
                       "Oracle field 'ID', \tdbf-field 'ID' \t: 7\n"
                       "Oracle field 'ID', \tdbf-field 'PIC' \t: 7\n"
                       "\nError in oracle field 'ID', dbf-field 'PIC' : 7\n" +
                       failure(1));
  EXPECT_EQ(readBack("pics.dbf", true).substr(0, 8), "count 0\n");
}

TEST_F(ExportValues, MissingFieldsAreAllNamedAndNothingIsSent) {
  sql("CREATE TABLE OTHER (A VARCHAR2(5), B VARCHAR2(5)); INSERT INTO OTHER VALUES ('a', 'b');");
  dbf("t.dbf", {"A:C:5", "B:C:5"});
  config("%TABLE_NAME=OTHER\n%DBF_NAME=t.dbf\nA=A\nB=B\n");
  ASSERT_EQ(exdrift().exitCode, 0);
  const std::string before = e2e::readFile(dir.path("t.dbf"));

  // No such table: a statement sent would fail with an Oracle error (exit 2).  The
  // truncation asked for does not happen either.
  config("%TABLE_NAME=NOSUCHTABLE\n%DBF_NAME=t.dbf\n%TRUNCATE=ON\n"
         "A=A\nX=MISSING1\nB=B\nY=MISSING2\n");
  e2e::RunResult r = exdrift({"-R:report.txt"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "NOSUCHTABLE", "t.dbf", 4) +
                       "Field 'MISSING1' not found in dbf-file\n"
                       "Field 'MISSING2' not found in dbf-file\n" +
                       failure(0));
  EXPECT_EQ(e2e::maskTimes(e2e::readFile(dir.path("report.txt"))),
            "hh:mm:ss Connect...hh:mm:ss Done\n"
            "hh:mm:ss mm/dd/yy Begin transfer file 'run.cfg' to table 'NOSUCHTABLE'\n"
            "hh:mm:ss Field 'MISSING1' not found in dbf-file\n"
            "hh:mm:ss Field 'MISSING2' not found in dbf-file\n"
            "hh:mm:ss Some error has occurred. Process terminated. 0 section(s) transfered.\n");
  EXPECT_EQ(e2e::readFile(dir.path("t.dbf")), before);
  EXPECT_EQ(readBack("t.dbf"), "count 1\n['a', 'b']\n");
}

TEST_F(ExportValues, ColumnSetUpErrorsAreAllNamedAndNothingIsTruncated) {
  sql("CREATE TABLE ORDERS (ID NUMBER(5), DOC BLOB);"
      "INSERT INTO ORDERS VALUES (1, 'text');");
  dbf("orders.dbf", {"ID:N:5", "DOC:C:10"});
  config("%TABLE_NAME=ORDERS\n%DBF_NAME=orders.dbf\nID=ID\n%END_SECTION\n");
  ASSERT_EQ(exdrift().exitCode, 0);
  ASSERT_EQ(readBack("orders.dbf"), "count 1\n[1, '']\n");

  config("%TABLE_NAME=ORDERS\n%DBF_NAME=orders.dbf\n%TRUNCATE=ON\n"
         "ORDERS.ID=ID\nDOC=DOC\nid=ID\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "ORDERS", "orders.dbf", 3) +
                       "Found field 'ID' instead of 'ORDERS.ID'.\n"
                       "Type '113' not supported, oracle field 'DOC'\n" +
                       failure(0));
  // The set-up failed, so the file keeps its records.
  EXPECT_EQ(readBack("orders.dbf"), "count 1\n[1, '']\n");
}

TEST_F(ExportValues, MissingDbfFileIsARunFailure) {
  sql("CREATE TABLE T (A NUMBER);");
  config("%TABLE_NAME=T\n%DBF_NAME=nothere.dbf\nA=A\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "T", "nothere.dbf", 1) +
                       "\nCan't open dbf-file\n'NOTHERE.DBF': No such file or directory\n" +
                       failure(0));

  // The line names the path as the program tried it, directory included, and
  // the system's reason.
  ASSERT_EQ(::mkdir(dir.path("sub").c_str(), 0755), 0);
  config("%TABLE_NAME=T\n%DBF_NAME=sub/nothere\nA=A\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("\nCan't open dbf-file\n'sub/NOTHERE.DBF': No such file or directory\n"),
            std::string::npos)
      << r.out;
  r = runDrift("indrift", {});
  EXPECT_NE(r.out.find("\nCan't open dbf-file.\n'sub/NOTHERE.DBF': No such file or directory\n"),
            std::string::npos)
      << r.out;
}

}  // namespace
