// indrift reading a dbf file that another program empties meanwhile (dbftool zap):
// the section fails naming the file, never a success with part of the rows.
//
// No timing is involved.  A writer holding the database keeps indrift's first INSERT
// waiting; the zap comes once indrift's report shows that the record walk has begun
// (the file was opened and measured before), and the database is let go after it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/crash_support.h"
#include "tests/e2e_support.h"
#include "tests/import_fixture.h"

namespace {

constexpr int kRecords = 3000;

class ImportConcurrency : public ImportTest {
 protected:
  void SetUp() override {
    dbf("nums.dbf", {"N:N:6", "NOTE:M"});
    sql("CREATE TABLE NUMS (N NUMBER(6), NOTE VARCHAR2(20));");
    config("%TABLE_NAME=NUMS\n%DBF_NAME=nums\nN=N\nNOTE=NOTE\n");
  }
  // Fills the (empty) dbf file and empties the table.
  void fill() {
    std::vector<DbfRecord> records;
    for (int i = 1; i <= kRecords; ++i)
      records.push_back({{std::to_string(i), "note " + std::to_string(i)}});
    append("nums.dbf", records);
    sql("DELETE FROM NUMS;");
  }
  void zapDuringTheImport();
};

void ImportConcurrency::zapDuringTheImport() {
  fill();
  e2e::writeFile(dir.path("rep.txt"), "");
  std::remove(dir.path("held").c_str());
  // python3's sqlite3 takes the write lock and keeps it until it is killed.
  crash::Background holder(
      "/usr/bin/python3",
      {"-c",
       "import sqlite3, time\n"
       "db = sqlite3.connect('shop.db', isolation_level=None)\n"
       "db.execute('BEGIN IMMEDIATE')\n"
       "open('held', 'w').close()\n"
       "time.sleep(120)\n"},
      dir.path(), "holder");
  for (int i = 0; i < 4000 && !e2e::fileExists(dir.path("held")); ++i) usleep(5000);
  ASSERT_TRUE(e2e::fileExists(dir.path("held")));

  crash::Background reader("indrift",
                           {"-S:shop.db", "-U:scott", "-P:tiger", "-F:run.cfg", "-N:1000",
                            "-R:rep.txt"},
                           dir.path(), "reader", {"OCILITE_BUSY_TIMEOUT_MS=100000"});
  bool walking = false;
  for (int i = 0; i < 4000 && !walking && reader.running(); ++i) {
    walking = e2e::readFile(dir.path("rep.txt")).find("Begin transfering") != std::string::npos;
    if (!walking) usleep(5000);
  }
  ASSERT_TRUE(walking) << e2e::readFile(dir.path("reader.out"));

  e2e::RunResult zap = e2e::runProgram("dbftool", {"zap", dir.path("nums.dbf")});
  EXPECT_EQ(zap.exitCode, 0) << zap.err;
  holder.signal(SIGKILL);
  holder.wait();

  EXPECT_EQ(reader.wait(), 2);
  const std::string out = e2e::readFile(dir.path("reader.out"));
  EXPECT_NE(out.find("\nDbf-file 'nums' changed during the import (emptied, packed or cut "
                     "short): it held " + std::to_string(kRecords) + " records, now 0.\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Some error has occurred. Process terminated. 0 section(s) transfered."),
            std::string::npos)
      << out;
  // At most the block gathered before the zap went in; never the whole file.
  const int inserted = std::stoi(rows("SELECT count(*) FROM NUMS"));
  EXPECT_TRUE(inserted == 0 || inserted == 1000) << inserted;
}

// Once in the suite; make stress runs it as often as the kill tests.
TEST_F(ImportConcurrency, AZapDuringTheImportFailsTheSection) {
  for (int run = crash::killRuns(1); run > 0 && !HasFailure(); --run) zapDuringTheImport();
}

}  // namespace
