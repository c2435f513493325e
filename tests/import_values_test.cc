// indrift end to end: what the server receives for each kind of dbf value.  The
// dbf files are made with dbftool and filled through the engine (exact field
// bytes) or written by python3-dbf; the rows are read back with sqlite3.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e_support.h"
#include "tests/import_fixture.h"

namespace {

class ImportValues : public ImportTest {};

// A text of `length` bytes that shows where it would have been cut.
std::string patterned(int length) {
  std::string text;
  for (int i = 0; i < length; ++i) text += static_cast<char>('a' + (i * 7 + i / 26) % 26);
  return text;
}

TEST_F(ImportValues, FieldTextsRecordNumbersAndFileNames) {
  sql("CREATE TABLE T (NAME VARCHAR2(10), AMOUNT NUMBER(8,2), AMOUNT_TEXT VARCHAR2(20),"
      " BORN DATE, CITY VARCHAR2(6), FLAG NUMBER(1), RN NUMBER(6), FN VARCHAR2(20));"
      "CREATE TABLE T2 (RN NUMBER(6), FN VARCHAR2(20));");
  // The file sits where the path C:/DATA/CLIENTS.DBF leads on this platform.
  std::filesystem::create_directories(dir.path("C:/DATA"));
  dbf("C:/DATA/clients.dbf",
      {"NAME:C:10", "AMOUNT:N:8:2", "BORN:D", "CITY:C:6", "FLAG:L"});
  append("C:/DATA/clients.dbf",
         {{{"  ABC     ", "   12.50", "20240131", "Omsk", "T"}},
          {{"GONE", "    1.00", "", "", "T"}, true},
          {{"", "   -3.25", "", "", "t"}},
          {{"Y-rec", "", "19991231", "", "Y"}},
          {{"y-rec", "0.5", "", "", "y"}},
          {{"blank", "", "", "", " "}},
          {{"F-rec", "", "", "", "F"}},
          {{"N-rec", "", "", "", "N"}},
          {{"?-rec", "", "", "", "?"}}});
  dbf("clients.dbf", {"A:C:1"});
  append("clients.dbf", {{{"a"}}, {{"b"}}});

  // ':' separates in a configuration line, so the path comes from the command line.
  config("%TABLE_NAME=T\n"
         "NAME=NAME\nAMOUNT=AMOUNT\nAMOUNT_TEXT=AMOUNT\nborn=born\nCITY=CITY\nFLAG=FLAG\n"
         "RN=%RECNUM\nFN=%file_name\n");
  e2e::RunResult r = indrift({"-D:C:/DATA/CLIENTS.DBF"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "T", "C:/DATA/CLIENTS.DBF", 8) +
                       counted(9) + success(1));
  config("%BEGIN_SECTION SHORT\n%TABLE_NAME=T2\n%DBF_NAME=CLIENTS\nRN=%RECNUM\nFN=%FILE_NAME\n"
         "%END_SECTION\n");
  r = indrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, opening() + section("SHORT", "T2", "CLIENTS", 2) + counted(2) + "\n" +
                       success(1));

  // Leading blanks stay, trailing blanks go; blank texts and dates are NULL; the
  // number text keeps its leading blanks; T, t, Y and y are true; the deleted
  // second record is skipped but keeps its number.
  EXPECT_EQ(rows("SELECT quote(NAME), quote(AMOUNT), quote(AMOUNT_TEXT), quote(BORN),"
                 " quote(CITY), FLAG, RN, FN FROM T ORDER BY RN"),
            "'  ABC'|12.5|'   12.50'|'2024-01-31 00:00:00'|'Omsk'|1|1|CLIENTS.DBF\n"
            "NULL|-3.25|'   -3.25'|NULL|NULL|1|3|CLIENTS.DBF\n"
            "'Y-rec'|NULL|NULL|'1999-12-31 00:00:00'|NULL|1|4|CLIENTS.DBF\n"
            "'y-rec'|0.5|'0.5'|NULL|NULL|1|5|CLIENTS.DBF\n"
            "'blank'|NULL|NULL|NULL|NULL|0|6|CLIENTS.DBF\n"
            "'F-rec'|NULL|NULL|NULL|NULL|0|7|CLIENTS.DBF\n"
            "'N-rec'|NULL|NULL|NULL|NULL|0|8|CLIENTS.DBF\n"
            "'?-rec'|NULL|NULL|NULL|NULL|0|9|CLIENTS.DBF\n");
  EXPECT_EQ(rows("SELECT RN, FN FROM T2 ORDER BY RN"), "1|CLIENTS\n2|CLIENTS\n");
}

TEST_F(ImportValues, CodePage866TextArrivesAsUtf8UnlessMarked) {
  // python3-dbf writes the file in code page 866.
  python("t = dbf.Table('people.dbf', 'NAME C(20); CODE C(6); NOTE M', codepage='cp866',"
         " dbf_type='db3')\n"
         "t.open(dbf.READ_WRITE)\n"
         "t.append(('Привет, мир', 'AB', 'Заметка в мемо'))\n"
         "t.append(('Ёжик', 'A B   ', ''))\n"
         "t.close()\n");
  sql("CREATE TABLE P (NAME VARCHAR2(40), NAME_AS_IS VARCHAR2(20), NAME_KEPT VARCHAR2(20),"
      " BIN RAW(6), NOTE CLOB);");
  config("%TABLE_NAME=P\n%DBF_NAME=people\n"
         "NAME=NAME\nNAME_AS_IS=!NAME\n!NAME_KEPT=NAME\nBIN=!CODE\nNOTE=NOTE\n");
  e2e::RunResult r = indrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "P", "people", 5) + counted(2) +
                       success(1));

  // Converted: UTF-8 in the database.  Marked with '!' on either side: the code
  // page 866 bytes as they are.  RAW: exactly the trimmed bytes, no terminator.
  EXPECT_EQ(rows("SELECT NAME, hex(NAME_AS_IS), hex(NAME_KEPT), hex(BIN), quote(NOTE) FROM P"
                 " ORDER BY rowid"),
            "Привет, мир|8FE0A8A2A5E22C20ACA8E0|8FE0A8A2A5E22C20ACA8E0|4142|'Заметка в мемо'\n"
            "Ёжик|F0A6A8AA|F0A6A8AA|412042|NULL\n");
}

TEST_F(ImportValues, MemosAndLongCharacterFieldsArriveWhole) {
  dbf("notes.dbf", {"ID:N:3", "NOTE:M"});
  const std::string m10 = patterned(10), m600 = patterned(600), m3000 = patterned(3000);
  append("notes.dbf", {{{"1", ""}}, {{"2", m10}}, {{"3", m600}}, {{"4", m3000}},
                       {{"5", "  memo with blanks  "}}});
  // A character field of 300 bytes, beyond the 256 bytes of a field's short text.
  python("t = dbf.Table('wide.dbf', 'TXT C(300)', dbf_type='clp', codepage='cp866')\n"
         "t.open(dbf.READ_WRITE)\n"
         "t.append(('" + patterned(299) + "Z',))\n"
         "t.close()\n");
  sql("CREATE TABLE N (ID NUMBER(3), NOTE CLOB, NOTE_TEXT VARCHAR2(4000));"
      "CREATE TABLE W (TXT VARCHAR2(400));");
  config("%BEGIN_SECTION NOTES\n%TABLE_NAME=N\n%DBF_NAME=notes.dbf\n"
         "ID=ID\nNOTE=NOTE\nNOTE_TEXT=NOTE\n%END_SECTION\n"
         "%BEGIN_SECTION WIDE\n%TABLE_NAME=W\n%DBF_NAME=wide.dbf\nTXT=TXT\n%END_SECTION\n");
  e2e::RunResult r = indrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, opening() + section("NOTES", "N", "notes.dbf", 3) + counted(5) +
                       section("WIDE", "W", "wide.dbf", 1) + counted(1) + "\n" + success(2));

  EXPECT_EQ(rows("SELECT ID, length(NOTE), quote(NOTE), NOTE = NOTE_TEXT FROM N ORDER BY ID"),
            "1|NULL|NULL|NULL\n"
            "2|10|'" + m10 + "'|1\n"
            "3|600|'" + m600 + "'|1\n"
            "4|3000|'" + m3000 + "'|1\n"
            "5|20|'  memo with blanks  '|1\n");
  EXPECT_EQ(rows("SELECT length(TXT), TXT FROM W"), "300|" + patterned(299) + "Z\n");
}

TEST_F(ImportValues, MemoLongerThanItsColumnEndsTheRunWithTheRecord) {
  dbf("notes.dbf", {"ID:N:3", "NOTE:M"});
  append("notes.dbf", {{{"1", "short"}}, {{"2", patterned(600)}}, {{"3", "never"}}});
  sql("CREATE TABLE N (ID NUMBER(3), NOTE VARCHAR2(100));");
  config("%TABLE_NAME=N\n%DBF_NAME=notes\nID=ID\nNOTE=NOTE\n");
  e2e::RunResult r = indrift();
  EXPECT_EQ(r.exitCode, 2);
  // Nothing is cut silently: the run stops at the record, and the dump shows as
  // much of the memo as the column takes.
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "N", "notes", 2) +
                       "Processing line:         "
                       "\nMemo of dbf-field 'NOTE' in record 2 is longer than 100 bytes of oracle "
                       "field 'NOTE'.\n"
                       "\nBreak proccess in block at line 2\n"
                       "\nData dump:\n"
                       "Oracle field 'ID', \tdbf-field 'ID' \t: 2\n"
                       "Oracle field 'NOTE', \tdbf-field 'NOTE' \t: " +
                       patterned(100) + "\n" + failure(0));
  EXPECT_EQ(rows("SELECT count(*) FROM N"), "0\n");
}

TEST_F(ImportValues, MemoBlockBeyondTheMemoFileIsAClearError) {
  dbf("notes.dbf", {"ID:N:3", "NOTE:M"});
  append("notes.dbf", {{{"1", "first"}}, {{"2", "second"}}});
  // Point the second record's memo reference far past the end of notes.dbt.
  std::string image = e2e::readFile(dir.path("notes.dbf"));
  const std::size_t header = static_cast<unsigned char>(image[8]) |
                             static_cast<std::size_t>(static_cast<unsigned char>(image[9])) << 8;
  const std::size_t record = static_cast<unsigned char>(image[10]) |
                             static_cast<std::size_t>(static_cast<unsigned char>(image[11])) << 8;
  image.replace(header + record + 1 + 3, 10, "      9999");
  e2e::writeFile(dir.path("notes.dbf"), image);
  sql("CREATE TABLE N (ID NUMBER(3), NOTE VARCHAR2(100));");
  config("%TABLE_NAME=N\n%DBF_NAME=notes\nID=ID\nNOTE=NOTE\n");
  e2e::RunResult r = indrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "N", "notes", 2) +
                       "Processing line:         "
                       "\nCan't read memo of field 'NOTE' in record 2.\n"
                       "\nBreak proccess in block at line 2\n"
                       "\nData dump:\n"
                       "Oracle field 'ID', \tdbf-field 'ID' \t: 2\n"
                       "Oracle field 'NOTE', \tdbf-field 'NOTE' \t: \n" +
                       failure(0));
  EXPECT_EQ(rows("SELECT count(*) FROM N"), "0\n");
}

}  // namespace
