// Concurrency between processes.  A program is frozen (SIGSTOP) once it holds the
// share lock of the dbf file (seen in /proc/locks), so the other one meets it for
// certain:
//   - exdrift writing a dbf file keeps indrift out ("Can't open dbf-file."), and
//     indrift reading one keeps exdrift out;
//   - two indrift runs read one file at once;
//   - a database held by another writer makes both programs wait a bounded time
//     and then fail with an ORA error.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "tests/crash_support.h"
#include "tests/e2e_support.h"
#include "tests/export_fixture.h"

namespace {

constexpr int kRows = 20000;

class ConcurrencyTest : public ExportTest {
 protected:
  void SetUp() override {
    for (const char* db : {"shop.db", "other.db"}) {
      e2e::RunOptions options;
      options.stdinText =
          "CREATE TABLE BENCH (ID NUMBER(10), NAME VARCHAR2(40), NOTE VARCHAR2(100));\n"
          "CREATE TABLE COPY (ID NUMBER(10), NAME VARCHAR2(40), NOTE VARCHAR2(100));\n"
          "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
          std::to_string(kRows) + ")\n"
          "INSERT INTO BENCH SELECT x, 'name ' || x, printf('%.*c', 50 + x % 50, 'n') FROM c;\n";
      ASSERT_EQ(e2e::runProgram("/usr/bin/sqlite3", {dir.path(db)}, options).exitCode, 0);
    }
    dbf("empty.dbf", {"ID:N:10", "NAME:C:40", "NOTE:C:100"});
    e2e::writeFile(dir.path("out.dbf"), e2e::readFile(dir.path("empty.dbf")));
    e2e::writeFile(dir.path("export.cfg"),
                   "%TABLE_NAME=BENCH\n%DBF_NAME=out.dbf\nID=ID\nNAME=NAME\nNOTE=NOTE\n");
    e2e::writeFile(dir.path("import.cfg"),
                   "%TABLE_NAME=COPY\n%DBF_NAME=out.dbf\nID=ID\nNAME=NAME\nNOTE=NOTE\n");
  }

  static std::vector<std::string> args(const std::string& db, const std::string& cfg) {
    return {"-S:" + db, "-U:scott", "-P:tiger", "-F:" + cfg, "-N:200"};
  }
  e2e::RunResult run(const char* program, const std::string& db, const std::string& cfg,
                     const std::vector<std::string>& env = {}) {
    e2e::RunOptions options;
    options.cwd = dir.path();
    options.env = env;
    return e2e::runProgram(program, args(db, cfg), options);
  }
  int rows(const std::string& db) {
    e2e::RunOptions options;
    options.stdinText = "SELECT COUNT(*) FROM COPY;\n";
    return std::atoi(e2e::runProgram("/usr/bin/sqlite3", {dir.path(db)}, options).out.c_str());
  }
  // Fills out.dbf with every row, so that an import has something to read.
  void fillDbf() {
    ASSERT_EQ(run("exdrift", "shop.db", "export.cfg").exitCode, 0);
    ASSERT_EQ(crash::checkRecords(dir.path("out.dbf")), "");
  }
};

TEST_F(ConcurrencyTest, ExdriftWritingKeepsIndriftOut) {
  // The export must hold the file long enough for the lock to be seen before it
  // ends: 20,000 rows take the writer a few tens of milliseconds, and a poller
  // kept off the processor that long missed the lock now and then.  Twenty
  // times the rows keep it busy for about a second.
  constexpr int kMany = 20 * kRows;
  e2e::RunOptions options;
  options.stdinText =
      "WITH RECURSIVE c(x) AS (SELECT " + std::to_string(kRows + 1) +
      " UNION ALL SELECT x + 1 FROM c WHERE x < " + std::to_string(kMany) + ")\n"
      "INSERT INTO BENCH SELECT x, 'name ' || x, printf('%.*c', 50 + x % 50, 'n') FROM c;\n";
  ASSERT_EQ(e2e::runProgram("/usr/bin/sqlite3", {dir.path("shop.db")}, options).exitCode, 0);
  crash::Background writer("exdrift", args("shop.db", "export.cfg"), dir.path(), "writer");
  ASSERT_TRUE(crash::waitForShareLock(writer.pid(), dir.path("out.dbf"), 20))
      << e2e::readFile(dir.path("writer.out"));
  writer.signal(SIGSTOP);
  e2e::RunResult r = run("indrift", "other.db", "import.cfg");
  writer.signal(SIGCONT);
  EXPECT_EQ(r.exitCode, 2) << r.out;
  EXPECT_NE(r.out.find("Can't open dbf-file."), std::string::npos) << r.out;
  EXPECT_EQ(rows("other.db"), 0);
  EXPECT_EQ(writer.wait(), 0) << e2e::readFile(dir.path("writer.out"));
  int32_t count = 0;
  EXPECT_EQ(crash::checkRecords(dir.path("out.dbf"), &count), "");
  EXPECT_EQ(count, kMany);
}

TEST_F(ConcurrencyTest, IndriftReadingKeepsExdriftOutButNotAnotherIndrift) {
  fillDbf();
  std::string before = e2e::readFile(dir.path("out.dbf"));
  crash::Background reader("indrift", args("shop.db", "import.cfg"), dir.path(), "reader");
  ASSERT_TRUE(crash::waitForShareLock(reader.pid(), dir.path("out.dbf"), 20));
  reader.signal(SIGSTOP);
  // The writer is refused and changes nothing.
  e2e::RunResult w = run("exdrift", "other.db", "export.cfg");
  EXPECT_NE(w.exitCode, 0) << w.out;
  EXPECT_NE(w.out.find("Can't open dbf-file"), std::string::npos) << w.out;
  EXPECT_EQ(e2e::readFile(dir.path("out.dbf")), before);
  // A second reader shares the file.
  e2e::RunResult second = run("indrift", "other.db", "import.cfg");
  EXPECT_EQ(second.exitCode, 0) << second.out;
  EXPECT_EQ(rows("other.db"), kRows);
  reader.signal(SIGCONT);
  EXPECT_EQ(reader.wait(), 0) << e2e::readFile(dir.path("reader.out"));
  EXPECT_EQ(rows("shop.db"), kRows);
}

TEST_F(ConcurrencyTest, ALockedDatabaseMeansABoundedWaitThenAnOraError) {
  fillDbf();
  // Another writer holds the database: python3's sqlite3 in an exclusive transaction
  // for 30 s, or until it is killed.
  crash::Background holder(
      "/usr/bin/python3",
      {"-c",
       "import sqlite3, sys, time\n"
       "db = sqlite3.connect('shop.db', isolation_level=None)\n"
       "db.execute('BEGIN EXCLUSIVE')\n"
       "open('held', 'w').close()\n"
       "time.sleep(30)\n"},
      dir.path(), "holder");
  for (int i = 0; i < 2000 && !e2e::fileExists(dir.path("held")); ++i) usleep(5000);
  ASSERT_TRUE(e2e::fileExists(dir.path("held")));
  std::vector<std::string> env = {"OCILITE_BUSY_TIMEOUT_MS=300"};
  auto start = std::chrono::steady_clock::now();
  e2e::RunResult imported = run("indrift", "shop.db", "import.cfg", env);
  e2e::RunResult exported = run("exdrift", "shop.db", "export.cfg", env);
  double seconds = crash::secondsSince(start);
  holder.signal(SIGKILL);
  holder.wait();
  for (const e2e::RunResult* r : {&imported, &exported}) {
    EXPECT_NE(r->exitCode, 0) << r->out;
    EXPECT_NE(r->out.find("ORA-"), std::string::npos) << r->out;
  }
  EXPECT_LT(seconds, 25);  // both gave up long before the holder let go
  EXPECT_EQ(rows("shop.db"), 0);
  // The dbf file the export was to fill is whole.
  EXPECT_EQ(crash::checkRecords(dir.path("out.dbf")), "");
}

}  // namespace
