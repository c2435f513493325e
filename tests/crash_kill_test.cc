// Kill -9 at deterministic pseudo-random moments (a fixed seed; the moments spread
// over the length of a whole run).  exdrift: the dbf file stays valid with all its
// complete records, in order.  indrift: the table holds exactly the blocks that
// were committed (SQLite's journal rolls back the rest), and the dbf file is not
// changed.  DRIFT_KILL_RUNS sets the number of runs (make stress: 100).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "tests/crash_support.h"
#include "tests/e2e_support.h"
#include "tests/export_fixture.h"

namespace {

constexpr int kRows = 8000;
constexpr int kBlock = 500;

class KillTest : public ExportTest {
 protected:
  void SetUp() override {
    sql("CREATE TABLE BENCH (ID NUMBER(10), NAME VARCHAR2(40), AMOUNT NUMBER(12,2),"
        " NOTE VARCHAR2(100));\n"
        "CREATE TABLE COPY (ID NUMBER(10), NAME VARCHAR2(40), AMOUNT NUMBER(12,2),"
        " NOTE VARCHAR2(100));\n"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        std::to_string(kRows) + ")\n"
        "INSERT INTO BENCH SELECT x, 'name ' || x, x * 1.25 - 900, printf('%.*c', x % 90, 'n')"
        " FROM c;\n");
    dbf("empty.dbf", {"ID:N:10", "NAME:C:40", "AMOUNT:N:12:2", "NOTE:C:100"});
    e2e::writeFile(dir.path("export.cfg"),
                   "%TABLE_NAME=BENCH\n%DBF_NAME=out.dbf\n%ORDER_BY=\"ID\"\n"
                   "ID=ID\nNAME=NAME\nAMOUNT=AMOUNT\nNOTE=NOTE\n");
    e2e::writeFile(dir.path("import.cfg"),
                   "%TABLE_NAME=COPY\n%TRUNCATE=ON\n%DBF_NAME=full.dbf\n"
                   "ID=ID\nNAME=NAME\nAMOUNT=AMOUNT\nNOTE=NOTE\n");
  }

  std::vector<std::string> args(const char* cfg, bool import) {
    std::vector<std::string> a = {"-S:shop.db", "-U:scott", "-P:tiger",
                                  std::string("-F:") + cfg, "-C"};
    if (import) a.push_back("-N:" + std::to_string(kBlock));
    return a;
  }

  // Seconds a whole run takes (at least 50 ms).
  double timeWholeRun(const char* program, const char* cfg, bool import) {
    auto start = std::chrono::steady_clock::now();
    crash::Background run(program, args(cfg, import), dir.path(), "whole");
    EXPECT_EQ(run.wait(), 0) << e2e::readFile(dir.path("whole.out"));
    return std::max(0.05, crash::secondsSince(start));
  }

  // Starts the program and kills it after `delay` seconds (if still running).
  // True when the kill came before the end.
  bool runAndKill(const char* program, const char* cfg, bool import, double delay) {
    crash::Background run(program, args(cfg, import), dir.path(), "killed");
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    bool killed = run.running();
    run.signal(SIGKILL);
    int code = run.wait();
    if (!killed) {
      EXPECT_EQ(code, 0) << e2e::readFile(dir.path("killed.out"));
    }
    return killed;
  }

  std::string query(const std::string& q) {
    e2e::RunOptions options;
    options.stdinText = q + ";\n";
    e2e::RunResult r = e2e::runProgram("/usr/bin/sqlite3", {dir.path("shop.db")}, options);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }
};

TEST_F(KillTest, ExdriftKilledLeavesOnlyWholeRecords) {
  std::string empty = e2e::readFile(dir.path("empty.dbf"));
  e2e::writeFile(dir.path("out.dbf"), empty);
  double whole = timeWholeRun("exdrift", "export.cfg", false);
  int32_t count = 0;
  ASSERT_EQ(crash::checkRecords(dir.path("out.dbf"), &count), "");
  ASSERT_EQ(count, kRows);

  std::mt19937 random(20261207);
  std::uniform_real_distribution<double> moment(0.0, whole * 1.1);
  int runs = crash::killRuns(8), killedMidway = 0;
  for (int i = 0; i < runs; ++i) {
    e2e::writeFile(dir.path("out.dbf"), empty);
    double delay = moment(random);
    bool killed = runAndKill("exdrift", "export.cfg", false, delay);
    std::string problem = crash::checkRecords(dir.path("out.dbf"), &count);
    EXPECT_EQ(problem, "") << "run " << i << " killed after " << delay << " s";
    if (!killed) {
      EXPECT_EQ(count, kRows);
    }
    if (killed && count > 0 && count < kRows) killedMidway++;
  }
  std::printf("exdrift: %d runs, %d killed while writing records\n", runs, killedMidway);
}

TEST_F(KillTest, IndriftKilledLeavesExactlyTheCommittedBlocks) {
  std::string empty = e2e::readFile(dir.path("empty.dbf"));
  e2e::writeFile(dir.path("out.dbf"), empty);
  timeWholeRun("exdrift", "export.cfg", false);
  std::filesystem::rename(dir.path("out.dbf"), dir.path("full.dbf"));
  std::string source = e2e::readFile(dir.path("full.dbf"));
  double whole = timeWholeRun("indrift", "import.cfg", true);
  ASSERT_EQ(query("SELECT COUNT(*), MIN(ID), MAX(ID) FROM COPY"),
            std::to_string(kRows) + "|1|" + std::to_string(kRows) + "\n");

  std::mt19937 random(7122026);
  std::uniform_real_distribution<double> moment(0.0, whole * 1.1);
  int runs = crash::killRuns(8), killedMidway = 0;
  for (int i = 0; i < runs; ++i) {
    double delay = moment(random);
    bool killed = runAndKill("indrift", "import.cfg", true, delay);
    std::string where = "run " + std::to_string(i) + " killed after " + std::to_string(delay) + " s";
    // Opening the database rolls back what the killed process left uncommitted.
    EXPECT_EQ(query("PRAGMA integrity_check"), "ok\n") << where;
    std::string counts = query("SELECT COUNT(*), COUNT(DISTINCT ID), IFNULL(MIN(ID), 0),"
                               " IFNULL(MAX(ID), 0), IFNULL(SUM(AMOUNT), 0) FROM COPY");
    int rows = std::atoi(counts.c_str());
    EXPECT_TRUE(rows % kBlock == 0 || rows == kRows) << where << ": " << counts;
    // The committed blocks are the first records of the file, each row whole.
    char expected[160];
    double sum = 1.25 * rows * (rows + 1) / 2 - 900.0 * rows;
    std::snprintf(expected, sizeof expected, "%d|%d|%d|%d|", rows, rows, rows ? 1 : 0, rows);
    EXPECT_EQ(counts.substr(0, std::strlen(expected)), expected) << where;
    EXPECT_NEAR(std::atof(counts.substr(std::strlen(expected)).c_str()), sum, 0.01) << where;
    if (!killed) {
      EXPECT_EQ(rows, kRows) << where;
    }
    if (killed && rows > 0 && rows < kRows) killedMidway++;
    EXPECT_EQ(e2e::readFile(dir.path("full.dbf")), source) << where;
  }
  std::printf("indrift: %d runs, %d killed between the first and the last block\n", runs,
              killedMidway);
}

}  // namespace
