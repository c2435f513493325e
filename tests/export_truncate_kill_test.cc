// Kill -9 of a truncating exdrift at deterministic pseudo-random moments (a fixed
// seed; the moments spread over a whole run): afterwards the data file and its
// memo file are either both the old ones or both the new ones, never a mixture or
// an emptied file, once the next run has put right what the killed one left.
// DRIFT_KILL_RUNS sets the number of runs (make stress: 100).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
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
  // Names in the directory that a truncating run writes beside out.dbf.
  std::string leftovers() {
    std::string found;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (entry.path().string().find("exdrift-") != std::string::npos)
        found += entry.path().string() + " ";
    return found;
  }
  // BENCH with `rows` rows, out.dbf + out.dbt exported from its first 40 (oldData,
  // oldMemo), the configurations old.cfg, new.cfg (all rows) and none.cfg (no row);
  // a whole run of new.cfg is timed (whole) and its pair kept (newPair).
  void prepare(int rows) {
    sql("CREATE TABLE BENCH (ID NUMBER(10), NOTE VARCHAR2(100));\n"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
        std::to_string(rows) +
        ")\n"
        "INSERT INTO BENCH SELECT x, printf('%.*c', x % 90 + 1, 'n') FROM c;\n");
    dbf("out.dbf", {"ID:N:10", "NOTE:M"});
    const std::string fields = "%TRUNCATE=ON\n%ORDER_BY=\"ID\"\nID=ID\nNOTE=NOTE\n";
    e2e::writeFile(dir.path("old.cfg"),
                   "%TABLE_NAME=BENCH\n%DBF_NAME=out.dbf\n%WHERE=\"ID <= 40\"\n" + fields);
    e2e::writeFile(dir.path("new.cfg"), "%TABLE_NAME=BENCH\n%DBF_NAME=out.dbf\n" + fields);
    e2e::writeFile(dir.path("none.cfg"),
                   "%TABLE_NAME=BENCH\n%DBF_NAME=out.dbf\n%WHERE=\"ID < 0\"\nID=ID\n");
    ASSERT_EQ(run("old.cfg"), 0);
    oldData = e2e::readFile(dir.path("out.dbf"));
    oldMemo = e2e::readFile(dir.path("out.dbt"));
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(run("new.cfg"), 0);
    whole = std::max(0.05, crash::secondsSince(start));
    newPair = pair();
    ASSERT_NE(newPair, oldData + "|" + oldMemo);
  }
  void putOldPairBack() {
    e2e::writeFile(dir.path("out.dbf"), oldData);
    e2e::writeFile(dir.path("out.dbt"), oldMemo);
  }

  std::string oldData, oldMemo, newPair;
  double whole = 0;
};

TEST_F(TruncateKillTest, KilledRunLeavesTheOldOrTheNewPair) {
  ASSERT_NO_FATAL_FAILURE(prepare(kRows));

  std::mt19937 random(8122026);
  std::uniform_real_distribution<double> moment(0.0, whole * 1.1);
  int runs = crash::killRuns(8), sawOld = 0, sawNew = 0;
  for (int i = 0; i < runs; ++i) {
    putOldPairBack();
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
    EXPECT_EQ(leftovers(), "") << "run " << i;
  }
  std::printf("truncating exdrift: %d runs, old pair %d, new pair %d\n", runs, sawOld, sawNew);
}

// A run ended by a signal that can be caught (a hang-up, a kill) tidies up by itself:
// while the new pair is written the signal removes it, while the pairs are exchanged
// it waits for the exchange to end.  Either way no next run is needed: the old or
// the new pair, and nothing beside them.
TEST_F(TruncateKillTest, EndingSignalLeavesNothingBehind) {
  ASSERT_NO_FATAL_FAILURE(prepare(kRows * 4));
  std::mt19937 random(9122026);
  std::uniform_real_distribution<double> moment(0.0, whole * 0.6);
  int runs = crash::killRuns(8), removed = 0;
  for (int i = 0; i < runs; ++i) {
    putOldPairBack();
    const int sig = i % 2 ? SIGHUP : SIGTERM;
    int status = 0;
    {
      crash::Background ended("exdrift", args("new.cfg"), dir.path(), "ended");
      // Mostly while the new pair is being written: from the moment it exists.
      for (int wait = 0; wait < 5000 && ended.running() &&
                         !std::filesystem::exists(dir.path("out.exdrift-new.tmp"));
           ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::duration<double>(moment(random)));
      ended.signal(sig);
      status = ended.wait();
    }
    const std::string now = pair();
    const bool isOld = now == oldData + "|" + oldMemo, isNew = now == newPair;
    EXPECT_TRUE(status == 128 + sig || (status == 0 && isNew)) << "run " << i << ": " << status;
    EXPECT_TRUE(isOld || isNew) << "run " << i;
    EXPECT_EQ(leftovers(), "") << "run " << i;
    removed += status == 128 + sig && isOld;
  }
  std::printf("truncating exdrift ended by a signal: %d runs, %d while writing\n", runs, removed);
}

// A signal in the middle of the exchange (raised by a preloaded rename, once the data
// file is under its backup name) waits for the exchange to end: the new pair, in
// place, and no backup left.
TEST_F(TruncateKillTest, SignalDuringTheExchangeWaitsForItsEnd) {
  ASSERT_NO_FATAL_FAILURE(prepare(100));
  putOldPairBack();
  const char* asan = std::getenv("ASAN_OPTIONS");
  crash::Background ended(
      "exdrift", args("new.cfg"), dir.path(), "ended",
      {std::string("LD_PRELOAD=") + DRIFT_SIGNAL_AT_RENAME,
       // The preloaded shim comes before the sanitizer's runtime.
       std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0"});
  EXPECT_EQ(ended.wait(), 128 + SIGTERM) << e2e::readFile(dir.path("ended.out"));
  EXPECT_TRUE(pair() == newPair) << "not the new pair";
  EXPECT_EQ(leftovers(), "");
}

}  // namespace
