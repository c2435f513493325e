// Disk full: an export under a file-size limit (RLIMIT_FSIZE, set by the shell
// that starts exdrift) must end with the engine's append message, exit code 2,
// and a dbf file that holds exactly its whole records, in order, ending in 0x1A.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/export_fixture.h"
#include "xbase/data/data.h"

namespace {

class DiskFullTest : public ExportTest {
 protected:
  // exdrift with the file-size limit in KiB.
  e2e::RunResult exdriftLimited(int kib) {
    e2e::RunOptions options;
    options.cwd = dir.path();
    return e2e::runProgram(
        "/bin/bash",
        {"-c", "ulimit -f " + std::to_string(kib) + "; exec \"$0\" \"$@\"",
         e2e::programPath("exdrift"), "-S:shop.db", "-U:scott", "-P:tiger", "-F:run.cfg"},
        options);
  }

  // A table BENCH of `rows` rows and an empty dbf file with a section moving it there.
  void setUpBench(int rows) {
    sql("CREATE TABLE BENCH (ID NUMBER(10), NAME VARCHAR2(40), NOTE VARCHAR2(100));\n"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        std::to_string(rows) +
        ")\n"
        "INSERT INTO BENCH SELECT x, 'name ' || x, printf('%.*c', 40 + x % 60, 'n') FROM c;\n");
    dbf("out.dbf", {"ID:N:10", "NAME:C:40", "NOTE:C:100"});
    config("%TABLE_NAME=BENCH\n%DBF_NAME=out.dbf\nID=ID\nNAME=NAME\nNOTE=NOTE\n");
  }

  // The records out.dbf counts: exactly that many whole records and the end byte,
  // none cut, each the row of its number.  -1 when the file cannot be read.
  int32_t wholeRecords(const std::string& label) {
    std::string bytes = e2e::readFile(dir.path("out.dbf"));
    CODE4 c;
    engineInit(&c);
    c.errQuiet = 1;
    DataFile* d = dataOpen(&c, dir.path("out.dbf").c_str());
    EXPECT_NE(d, nullptr) << label << " " << engineErrorCode(&c);
    if (d == nullptr) return -1;
    int32_t count = dataRecordCount(d);
    int64_t body = static_cast<int64_t>(bytes.size()) - d->header.headerLength;
    EXPECT_EQ(body, static_cast<int64_t>(count) * d->recordLength + 1) << label;
    EXPECT_EQ(bytes.back(), '\x1a') << label;
    for (int32_t n = 1; n <= count; ++n) {
      if (dataGo(d, n) != 0 || fieldLong(dataFieldByName(d, "ID")) != n) {
        ADD_FAILURE() << label << ": record " << n << " is not row " << n;
        break;
      }
      std::string name(fieldPtr(dataFieldByName(d, "NAME")), 40);
      if (name.substr(0, name.find_last_not_of(' ') + 1) != "name " + std::to_string(n)) {
        ADD_FAILURE() << label << ": record " << n << " holds [" << name << "]";
        break;
      }
    }
    dataClose(d);
    engineRelease(&c);
    return count;
  }
};

TEST_F(DiskFullTest, ExportStopsWithTheAppendMessageAndLeavesWholeRecords) {
  setUpBench(3000);
  for (int kib : {16, 64, 101}) {
    std::string before = e2e::readFile(dir.path("out.dbf"));
    e2e::RunResult r = exdriftLimited(kib);
    EXPECT_EQ(r.exitCode, 2) << kib << r.out << r.err;
    bool named = r.out.find("Can't append record to dbf-file") != std::string::npos ||
                 r.out.find("Can't commit appended record in dbf-file") != std::string::npos;
    EXPECT_TRUE(named) << r.out;
    EXPECT_LE(static_cast<int64_t>(e2e::readFile(dir.path("out.dbf")).size()), kib * 1024) << kib;
    EXPECT_GT(wholeRecords(std::to_string(kib) + " KiB"), 0) << kib;
    // The next run starts again from the empty file.
    e2e::writeFile(dir.path("out.dbf"), before);
  }
}

// Every record fits the block the export gathers before writing: the one write at
// the end of the section is the one that meets the full disk, and it must still fail
// the run with the append message, keeping the whole records that reached the file.
TEST_F(DiskFullTest, TheLastBlockMeetingAFullDiskFailsTheRun) {
  setUpBench(300);
  e2e::RunResult r = exdriftLimited(16);
  EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
  EXPECT_NE(r.out.find("Can't commit appended record in dbf-file"), std::string::npos) << r.out;
  int32_t count = wholeRecords("16 KiB");
  EXPECT_GT(count, 0);
  EXPECT_LT(count, 300);
}

}  // namespace
