// indrift end to end on dbf files whose header count and length disagree: a warning
// that says which count is used, a file cut short inside a record refused, padding
// after the end mark taken as no disagreement at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "tests/import_fixture.h"

namespace {

class ImportCount : public ImportTest {
 protected:
  // nums.dbf with 10 records numbered from 1 (record length 7), the table NUMS and
  // a section that fills it.
  void SetUp() override {
    dbf("nums.dbf", {"N:N:6"});
    std::vector<DbfRecord> records;
    for (int i = 1; i <= 10; ++i) records.push_back({{std::to_string(i)}});
    append("nums.dbf", records);
    sql("CREATE TABLE NUMS (N NUMBER(6));");
    config("%TABLE_NAME=NUMS\n%DBF_NAME=nums\n%TRUNCATE=ON\nN=N\n");
    file = e2e::readFile(dir.path("nums.dbf"));
    headerLength = static_cast<unsigned char>(file[8]) | static_cast<unsigned char>(file[9]) << 8;
  }
  void write(std::string bytes, uint32_t headerCount) {
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<char>(headerCount >> (8 * i));
    e2e::writeFile(dir.path("nums.dbf"), bytes);
  }
  std::string head() {
    return opening() + section("DEFAULT_SECTION_0", "NUMS", "nums", 1);
  }

  std::string file;
  size_t headerLength = 0;
};

TEST_F(ImportCount, DisagreeingCountsAreWarnedAboutAndTheRecordsInTheFileImported) {
  const std::string cutShort =
      "Warning: dbf-file 'nums': its header counts 1000 records, the file holds 10; "
      "importing the 10 records in the file.\n";
  write(file, 1000);
  e2e::RunResult r = indrift({"-R:rep.txt"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, head() + cutShort + "Truncating table...Done\n" + counted(10) + success(1));
  EXPECT_NE(e2e::readFile(dir.path("rep.txt")).find(" " + cutShort), std::string::npos);
  EXPECT_EQ(rows("SELECT count(*), max(N) FROM NUMS"), "10|10\n");

  // Records the header does not count yet are imported with the same warning.
  write(file, 7);
  r = indrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("Warning: dbf-file 'nums': its header counts 7 records, the file "
                       "holds 10; importing the 10 records in the file.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(rows("SELECT count(*) FROM NUMS"), "10\n");

  // Padding after the end mark: the header's count, and no warning.
  std::string padded = file;
  padded.resize(headerLength + 4 * 7);
  padded.append(300, '\x1A');
  write(padded, 4);
  r = indrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, head() + "Truncating table...Done\n" + counted(4) + success(1));
  EXPECT_EQ(rows("SELECT group_concat(N) FROM NUMS"), "1,2,3,4\n");
}

TEST_F(ImportCount, AFileCutShortInsideARecordIsRefused) {
  sql("INSERT INTO NUMS VALUES (99);");
  std::string cut = file.substr(0, headerLength + 6 * 7 + 3);  // 6 records and 3 bytes
  write(cut, 10);
  e2e::RunResult r = indrift({"-R:rep.txt"});
  EXPECT_EQ(r.exitCode, 2);
  const std::string message =
      "Dbf-file 'nums' is cut short inside a record: its header counts 10 records, the file "
      "holds 6 and part of one more.\n";
  EXPECT_EQ(r.out, head() + "\n" + message + failure(0));
  EXPECT_NE(e2e::readFile(dir.path("rep.txt")).find(" " + message), std::string::npos);
  // Refused before anything was done: the table was not emptied.
  EXPECT_EQ(rows("SELECT N FROM NUMS"), "99\n");

  // A partial record after as many whole ones as the header counts is a write
  // that never finished (a writer killed): it is not counted and not refused.
  write(file.substr(0, headerLength + 10 * 7) + " 11", 10);
  r = indrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(rows("SELECT count(*) FROM NUMS"), "10\n");
}

}  // namespace
