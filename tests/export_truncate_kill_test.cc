// Kill -9 of a truncating exdrift at deterministic pseudo-random moments (a fixed
// seed; the moments spread over a whole run): afterwards the data file and its
// memo file are either both the old ones or both the new ones, never a mixture or
// an emptied file, once the next run has put right what the killed one left.
// DRIFT_KILL_RUNS sets the number of runs (make stress: 100).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "tests/crash_support.h"
#include "tests/e2e_support.h"
#include "tests/export_fixture.h"

namespace {

constexpr int kRows = 6000;

class TruncateKillTest : public ExportTest {
 protected:
  std::vector<std::string> args(const char* cfg) {
    return {"-S:shop.db", "-U:scott", "-P:tiger", std::string("-F:") + cfg, "-C", "-N:500"};
  }
  int run(const char* cfg) {
    crash::Background program("exdrift", args(cfg), dir.path(), "run");
    return program.wait();
  }
  std::string pair() {
    return e2e::readFile(dir.path("out.dbf")) + "|" + e2e::readFile(dir.path("out.dbt"));
  }
};

TEST_F(TruncateKillTest, KilledRunLeavesTheOldOrTheNewPair) {
  sql("CREATE TABLE BENCH (ID NUMBER(10), NOTE VARCHAR2(100));\n"
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
      std::to_string(kRows) + ")\n"
      "INSERT INTO BENCH SELECT x, printf('%.*c', x % 90 + 1, 'n') FROM c;\n");
  dbf("out.dbf", {"ID:N:10", "NOTE:M"});
  const std::string fields = "%TRUNCATE=ON\n%ORDER_BY=\"ID\"\nID=ID\nNOTE=NOTE\n";
  e2e::writeFile(dir.path("old.cfg"),
                 "%TABLE_NAME=BENCH\n%DBF_NAME=out.dbf\n%WHERE=\"ID <= 40\"\n" + fields);
  e2e::writeFile(dir.path("new.cfg"), "%TABLE_NAME=BENCH\n%DBF_NAME=out.dbf\n" + fields);
  e2e::writeFile(dir.path("none.cfg"),
                 "%TABLE_NAME=BENCH\n%DBF_NAME=out.dbf\n%WHERE=\"ID < 0\"\nID=ID\n");
  ASSERT_EQ(run("old.cfg"), 0);
  const std::string oldData = e2e::readFile(dir.path("out.dbf"));
  const std::string oldMemo = e2e::readFile(dir.path("out.dbt"));
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(run("new.cfg"), 0);
  const double whole = std::max(0.05, crash::secondsSince(start));
  const std::string newPair = pair();
  ASSERT_NE(newPair, oldData + "|" + oldMemo);

  std::mt19937 random(8122026);
  std::uniform_real_distribution<double> moment(0.0, whole * 1.1);
  int runs = crash::killRuns(8), sawOld = 0, sawNew = 0;
  for (int i = 0; i < runs; ++i) {
    e2e::writeFile(dir.path("out.dbf"), oldData);
    e2e::writeFile(dir.path("out.dbt"), oldMemo);
    const double delay = moment(random);
    {
      crash::Background killed("exdrift", args("new.cfg"), dir.path(), "killed");
      std::this_thread::sleep_for(std::chrono::duration<double>(delay));
      killed.signal(SIGKILL);
      killed.wait();
    }
    // The next run mends and tidies up; it moves no row.
    ASSERT_EQ(run("none.cfg"), 0) << "run " << i << ": " << e2e::readFile(dir.path("run.out"));
    const std::string now = pair();
    const bool isOld = now == oldData + "|" + oldMemo, isNew = now == newPair;
    EXPECT_TRUE(isOld || isNew) << "run " << i << " killed after " << delay << " s";
    sawOld += isOld;
    sawNew += isNew;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      EXPECT_EQ(entry.path().string().find("exdrift-"), std::string::npos)
          << "run " << i << ": " << entry.path();
  }
  std::printf("truncating exdrift: %d runs, old pair %d, new pair %d\n", runs, sawOld, sawNew);
}

}  // namespace
