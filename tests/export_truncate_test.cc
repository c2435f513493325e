// exdrift end to end: with %TRUNCATE=ON the new contents are written beside the
// dbf file and take its place only when the section succeeds, so a failed section
// leaves the data file and its memo file exactly as they were; a run killed while
// the two were being exchanged is put right by the next run; and a dbf file that
// has its own index group file is refused.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "tests/export_fixture.h"

namespace {

class ExportTruncate : public ExportTest {
 protected:
  // NOTES with three rows and notes.dbf holding them, their texts in the memo file.
  void notes() {
    sql("CREATE TABLE NOTES (ID NUMBER(3), BODY VARCHAR2(100), Q VARCHAR2(10));"
        "INSERT INTO NOTES VALUES (1, 'first text', '5');"
        "INSERT INTO NOTES VALUES (2, 'second text', '6');"
        "INSERT INTO NOTES VALUES (3, 'third text', '77');");
    dbf("notes.dbf", {"ID:N:3", "BODY:M", "Q:C:1"});
    config("%TABLE_NAME=NOTES\n%DBF_NAME=notes.dbf\n%WHERE=\"ID < 3\"\n%ORDER_BY=\"ID\"\n"
           "ID=ID\nBODY=BODY\nQ=Q\n");
    ASSERT_EQ(exdrift().exitCode, 0);
    ASSERT_EQ(readBack("notes.dbf"),
              "count 2\n[1, 'first text', '5']\n[2, 'second text', '6']\n");
  }

  // The names in the directory, sorted.
  std::vector<std::string> files() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  const std::vector<std::string> kOnlyOurs = {"notes.dbf", "notes.dbt", "run.cfg", "shop.db"};
};

TEST_F(ExportTruncate, FailedSectionLeavesDataAndMemoAsTheyWere) {
  notes();
  ASSERT_EQ(chmod(dir.path("notes.dbf").c_str(), 0640), 0);
  const std::string data = e2e::readFile(dir.path("notes.dbf"));
  const std::string memo = e2e::readFile(dir.path("notes.dbt"));

  // The server fails a row of the first block.
  config("%TABLE_NAME=NOTES\n%DBF_NAME=notes.dbf\n%TRUNCATE=ON\n%WHERE=\"TO_NUMBER(BODY) > 0\"\n"
         "ID=ID\nBODY=BODY\n");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("Truncating dbf-file...Done\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ORA-01722: invalid number"), std::string::npos) << r.out;
  EXPECT_EQ(e2e::readFile(dir.path("notes.dbf")), data);
  EXPECT_EQ(e2e::readFile(dir.path("notes.dbt")), memo);
  EXPECT_EQ(files(), kOnlyOurs);

  // A value too long for its field in the third block: two rows and their memo
  // texts were already written, and go with the failure.
  config("%TABLE_NAME=NOTES\n%DBF_NAME=notes.dbf\n%TRUNCATE=ON\n%ORDER_BY=\"ID\"\n"
         "ID=ID\nBODY=BODY\nQ=Q\n");
  r = exdrift({"-N:1"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("\nData was truncated\n\nBreak proccess in line 3\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(e2e::readFile(dir.path("notes.dbf")), data);
  EXPECT_EQ(e2e::readFile(dir.path("notes.dbt")), memo);
  EXPECT_EQ(files(), kOnlyOurs);

  // A section that succeeds prints what it always printed; the file then holds
  // only the new records, its memo file only their texts, and keeps its mode.
  config("%TABLE_NAME=NOTES\n%DBF_NAME=notes.dbf\n%TRUNCATE=ON\n%WHERE=\"ID > 1\"\n"
         "%ORDER_BY=\"ID\"\nID=ID\nBODY=BODY\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "NOTES", "notes.dbf", 2) +
                       "Truncating dbf-file...Done\n" + counted(2) +
                       "Process successfully complited, 1 section(s) transfered.\n");
  EXPECT_EQ(readBack("notes.dbf"), "count 2\n[2, 'second text', '']\n[3, 'third text', '']\n");
  EXPECT_EQ(e2e::readFile(dir.path("notes.dbt")).size(), 3u * 512);
  EXPECT_EQ(files(), kOnlyOurs);
  struct stat st {};
  ASSERT_EQ(stat(dir.path("notes.dbf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // Without truncation the records appended before a failure stay.
  config("%TABLE_NAME=NOTES\n%DBF_NAME=notes.dbf\n%ORDER_BY=\"ID\"\nID=ID\nQ=Q\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(readBack("notes.dbf").substr(0, 8), "count 4\n");
}

TEST_F(ExportTruncate, RunKilledWhileExchangingTheFilesIsPutRightByTheNext) {
  notes();
  const std::string data = e2e::readFile(dir.path("notes.dbf"));
  const std::string memo = e2e::readFile(dir.path("notes.dbt"));
  config("%TABLE_NAME=NOTES\n%DBF_NAME=notes.dbf\n%WHERE=\"ID = 3\"\nID=ID\nBODY=BODY\n");

  // Killed after the new memo file took its place, before the new data file did:
  // the old data file and memo file wait under their backup names.
  std::filesystem::rename(dir.path("notes.dbf"), dir.path("notes.dbf.exdrift-old"));
  std::filesystem::copy_file(dir.path("notes.dbt"), dir.path("notes.dbt.exdrift-old"));
  e2e::writeFile(dir.path("notes.dbt"), std::string(1024, 'x'));
  e2e::writeFile(dir.path("notes.exdrift-new.tmp"), "partly written");
  e2e::RunResult r = exdrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(readBack("notes.dbf"), "count 3\n[1, 'first text', '5']\n[2, 'second text', '6']\n"
                                   "[3, 'third text', '']\n");
  // The old texts are where the old records point (the header's next free block
  // moved on for the appended text).
  EXPECT_EQ(e2e::readFile(dir.path("notes.dbt")).substr(512, memo.size() - 512), memo.substr(512));
  EXPECT_EQ(files(), kOnlyOurs);

  // Killed after both took their places: the backups are only removed.
  const std::string current = e2e::readFile(dir.path("notes.dbf"));
  e2e::writeFile(dir.path("notes.dbf.exdrift-old"), data);
  e2e::writeFile(dir.path("notes.dbt.exdrift-old"), memo);
  config("%TABLE_NAME=NOTES\n%DBF_NAME=NOTES\n%WHERE=\"ID > 3\"\nID=ID\n");
  r = exdrift();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(e2e::readFile(dir.path("notes.dbf")).substr(32), current.substr(32));
  EXPECT_EQ(files(), kOnlyOurs);
}

TEST_F(ExportTruncate, FileWithItsOwnIndexGroupIsRefused) {
  sql("CREATE TABLE ORDERS (ID NUMBER(5)); INSERT INTO ORDERS VALUES (7);");
  dbf("orders.dbf", {"ID:N:5"});
  e2e::RunResult made = e2e::runProgram(
      "dbftool", {"index", dir.path("orders.dbf"), dir.path("byid.ntx"), "ID", "--group",
                  dir.path("orders.cgp")});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const std::string data = e2e::readFile(dir.path("orders.dbf"));
  for (const char* truncate : {"OFF", "ON"}) {
    config(std::string("%TABLE_NAME=ORDERS\n%DBF_NAME=orders.dbf\n%TRUNCATE=") + truncate +
           "\nID=ID\n");
    e2e::RunResult r = exdrift();
    EXPECT_EQ(r.exitCode, 1) << truncate;
    EXPECT_EQ(r.out, opening() + section("DEFAULT_SECTION_0", "ORDERS", "orders.dbf", 1) +
                         "Dbf-file has the index group file 'orders.cgp'; exdrift does not "
                         "keep index tags current\n" +
                         failure(0))
        << truncate;
    EXPECT_EQ(e2e::readFile(dir.path("orders.dbf")), data) << truncate;
  }
}

}  // namespace
