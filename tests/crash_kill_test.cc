// Kill -9 at deterministic pseudo-random moments (a fixed seed; the moments spread
// over the length of a whole run).  exdrift: the dbf file holds whole records, in
// order, that the engine counts; the header's count is not above them; a kill may
// cut the last write short and leave less than a record after them, which the
// next append overwrites.  indrift: the table holds exactly the blocks that
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

int32_t littleEndian(const std::string& bytes, size_t at, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return static_cast<int32_t>(value);
}

// The state an export killed at any moment may leave: the records the engine
// counts are every whole record of the file, record n holds ID n and NAME
// "name n"; the header's count (written after the records it counts) is not
// above them; less than one record follows them (a write cut short, the end
// byte).  Then one record appended through the engine lands right after them
// and leaves a file of whole records.  Empty when so; else what is wrong.
std::string checkKilledExport(const std::string& path, int32_t* countOut) {
  const std::string bytes = e2e::readFile(path);
  if (bytes.size() < 32) return "only " + std::to_string(bytes.size()) + " bytes";
  const int32_t headerCount = littleEndian(bytes, 4, 4);
  const int64_t headerLength = littleEndian(bytes, 8, 2);
  const int64_t recordLength = littleEndian(bytes, 10, 2);
  const int64_t body = static_cast<int64_t>(bytes.size()) - headerLength;
  const int64_t whole = body < 0 ? 0 : body / recordLength;

  CODE4 c;
  engineInit(&c);
  c.errQuiet = 1;
  c.autoOpen = 0;
  DataFile* d = dataOpen(&c, path.c_str());
  if (d == nullptr) return "does not open: " + std::to_string(engineErrorCode(&c));
  const int32_t count = dataRecordCount(d);
  *countOut = count;
  std::string problem;
  if (count != whole || headerCount < 0 || headerCount > whole)
    problem = "count " + std::to_string(count) + ", header count " + std::to_string(headerCount) +
              ", body " + std::to_string(body);
  for (int32_t n = 1; problem.empty() && n <= count; ++n) {
    if (dataGo(d, n) != 0) {
      problem = "record " + std::to_string(n) + " unreadable";
      break;
    }
    std::string name(fieldPtr(dataFieldByName(d, "NAME")), dataFieldByName(d, "NAME")->length);
    name.erase(name.find_last_not_of(' ') + 1);
    if (d->record[0] != ' ' || fieldLong(dataFieldByName(d, "ID")) != n || name != "name " + std::to_string(n))
      problem = "record " + std::to_string(n) + " is [" + std::string(d->record, d->recordLength) + "]";
  }
  if (problem.empty()) {
    const std::string name = "name " + std::to_string(count + 1);
    if (dataAppendStart(d, 0) != 0) {
      problem = "append does not start";
    } else {
      dataBlank(d);
      fieldAssignLong(dataFieldByName(d, "ID"), count + 1);
      fieldAssignText(dataFieldByName(d, "NAME"), name.data(), static_cast<int32_t>(name.size()));
      if (dataAppend(d) != 0) problem = "append fails: " + std::to_string(engineErrorCode(&c));
    }
  }
  if (dataClose(d) != 0 && problem.empty()) problem = "close fails";
  engineRelease(&c);
  if (!problem.empty()) return problem;

  int32_t after = 0;
  problem = crash::checkRecords(path, &after);
  if (problem.empty() && after != count + 1) problem = "after the append: " + std::to_string(after);
  return problem.empty() ? "" : "after the append: " + problem;
}

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
    std::string problem = checkKilledExport(dir.path("out.dbf"), &count);
    EXPECT_EQ(problem, "") << "run " << i << " killed after " << delay << " s";
    if (!killed) {
      EXPECT_EQ(count, kRows);
    }
    if (killed && count > 0 && count < kRows) killedMidway++;
  }
  std::printf("exdrift: %d runs, %d killed while writing records\n", runs, killedMidway);
}

// The file a kill in the middle of a record's write leaves, made on purpose:
// the header counts fewer records than the file holds, and half a record
// follows the last whole one.
TEST_F(KillTest, WriteCutShortLeavesAPartialRecordThatTheNextAppendOverwrites) {
  e2e::writeFile(dir.path("out.dbf"), e2e::readFile(dir.path("empty.dbf")));
  timeWholeRun("exdrift", "export.cfg", false);
  std::string bytes = e2e::readFile(dir.path("out.dbf"));
  const int64_t headerLength = littleEndian(bytes, 8, 2);
  const int64_t recordLength = littleEndian(bytes, 10, 2);
  for (int32_t kept : {0, 1, 651}) {
    SCOPED_TRACE(kept);
    std::string cut = bytes.substr(0, headerLength + (kept + 1) * recordLength - recordLength / 2);
    const int32_t headerCount = kept > 3 ? kept - 3 : 0;
    for (int i = 0; i < 4; ++i) cut[4 + i] = static_cast<char>(headerCount >> (8 * i) & 0xFF);
    e2e::writeFile(dir.path("cut.dbf"), cut);
    int32_t count = -1;
    EXPECT_EQ(checkKilledExport(dir.path("cut.dbf"), &count), "");
    EXPECT_EQ(count, kept);
  }
  // A header that counts more records than the file holds is what a kill
  // must never leave.
  std::string ahead = bytes.substr(0, headerLength + 10 * recordLength);
  ahead[4] = 11;
  e2e::writeFile(dir.path("ahead.dbf"), ahead);
  int32_t count = -1;
  EXPECT_NE(checkKilledExport(dir.path("ahead.dbf"), &count), "");
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
