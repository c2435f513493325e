// Kill -9 of dbftool append, zap and index (with --group) at pseudo-random moments
// (a fixed seed, spread over the length of a whole run): whatever the killed process
// left, the next append through the group succeeds and every tag the group lists
// then holds exactly the records' keys.  A build ended by SIGTERM while its sort
// has a temporary file leaves no temporary file behind.  DRIFT_KILL_RUNS sets the number of runs
// (make stress: 100).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/crash_support.h"
#include "tests/dbftool_fixture.h"
#include "tests/e2e_support.h"

namespace {

constexpr int kRecords = 20000;

class TagKillTest : public DbftoolFixture {
 protected:
  // t.dbf with kRecords records, the tags N.NTX and I.NTX listed in t.cgp; a copy
  // of every file is kept to start each run from.
  void SetUp() override {
    ASSERT_EQ(tool({"create", "t.dbf", "NAME:C:30", "ID:N:8"}).exitCode, 0);
    std::string image = e2e::readFile(dir.path("t.dbf"));
    size_t header = static_cast<uint8_t>(image[8]) | (static_cast<uint8_t>(image[9]) << 8);
    image.resize(header);
    for (int i = 1; i <= kRecords; ++i) {
      std::string name = "name " + std::to_string((i * 7919) % kRecords);
      std::string id = std::to_string(i);
      image += " " + name + std::string(30 - name.size(), ' ') + std::string(8 - id.size(), ' ') + id;
    }
    image += '\x1a';
    for (int b = 0; b < 4; ++b) image[4 + b] = static_cast<char>((kRecords >> (8 * b)) & 0xff);
    e2e::writeFile(dir.path("t.dbf"), image);
    ASSERT_EQ(tool({"index", "t.dbf", "n.ntx", "NAME", "--group", "t.cgp"}).exitCode, 0);
    ASSERT_EQ(tool({"index", "t.dbf", "i.ntx", "ID", "--descending", "--group", "t.cgp"}).exitCode, 0);
    for (const char* f : {"t.dbf", "t.cgp", "N.NTX", "I.NTX"}) saved.emplace_back(f, e2e::readFile(dir.path(f)));
  }

  void restore() {
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      std::filesystem::remove(entry.path());
    for (const auto& [name, bytes] : saved) e2e::writeFile(dir.path(name), bytes);
  }

  // Seconds a whole run of args takes (at least 5 ms).
  double timeWholeRun(const std::vector<std::string>& args) {
    restore();
    auto start = std::chrono::steady_clock::now();
    crash::Background run("dbftool", args, dir.path(), "whole");
    EXPECT_EQ(run.wait(), 0) << e2e::readFile(dir.path("whole.err"));
    return std::max(0.005, crash::secondsSince(start));
  }

  // After the kill: one append through the group, then every listed tag checked.
  // Empty when sound; else what is wrong.
  std::string appendAndCheck() {
    e2e::RunResult a = tool({"append", "t.dbf", "NAME=after", "ID=1"});
    if (a.exitCode != 0) return "append: " + a.err;
    std::vector<std::string> args = {"check", "t.dbf"};
    std::string group = e2e::readFile(dir.path("t.cgp")), name;
    for (char ch : group + "\n") {
      if (ch == '\r' || ch == '\n') {
        if (!name.empty()) args.push_back(name);
        name.clear();
      } else {
        name += ch;
      }
    }
    e2e::RunResult c = tool(args);
    if (c.exitCode != 0) return "check: " + c.err;
    return "";
  }

  // Kills the command at moments spread over its whole run; each time the state it
  // left must pass appendAndCheck.
  void killAndCheck(const std::vector<std::string>& args, unsigned seed) {
    double whole = timeWholeRun(args);
    ASSERT_EQ(appendAndCheck(), "");
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> moment(0.0, whole * 1.1);
    int runs = crash::killRuns(8), killed = 0;
    for (int i = 0; i < runs; ++i) {
      restore();
      double delay = moment(random);
      {
        crash::Background run("dbftool", args, dir.path(), "killed");
        std::this_thread::sleep_for(std::chrono::duration<double>(delay));
        if (run.running()) ++killed;
        run.signal(SIGKILL);
        run.wait();
      }
      EXPECT_EQ(appendAndCheck(), "") << args[0] << " run " << i << " killed after " << delay << " s";
      if (HasFailure()) return;
    }
    std::printf("%s: %d runs, %d killed before the end\n", args[0].c_str(), runs, killed);
  }

  std::vector<std::pair<std::string, std::string>> saved;
};

TEST_F(TagKillTest, AppendKilledAnywhereLeavesTagsTheNextAppendMends) {
  killAndCheck({"append", "t.dbf", "NAME=killed", "ID=7"}, 20261207);
}

TEST_F(TagKillTest, ZapKilledAnywhereLeavesTagsTheNextAppendMends) {
  killAndCheck({"zap", "t.dbf"}, 7122026);
}

TEST_F(TagKillTest, BuildKilledAnywhereNeverLeavesTheGroupNamingAPartialTag) {
  killAndCheck({"index", "t.dbf", "u.ntx", "UPPER(NAME)", "--group", "t.cgp"}, 16);
}

// The name of the sort's temporary file in the directory, or empty.
std::string temporaryFile(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("TEMP", 0) == 0) return name;
  }
  return "";
}

TEST_F(TagKillTest, BuildTerminatedWhileSortingLeavesNoTemporaryFile) {
  int runs = crash::killRuns(3);
  for (int i = 0; i < runs; ++i) {
    restore();
    crash::Background run("dbftool", {"index", "t.dbf", "u.ntx", "UPPER(NAME)", "--group", "t.cgp"},
                          dir.path(), "ended");
    // Waits for the sort's temporary file (an event, not a moment), then ends the build.
    auto start = std::chrono::steady_clock::now();
    std::string seen;
    while (seen.empty() && run.running() && crash::secondsSince(start) < 30) {
      seen = temporaryFile(dir.path());
      if (seen.empty()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_NE(seen, "") << "run " << i << ": the build sorted without a temporary file";
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait(), 128 + SIGTERM) << "run " << i;
    EXPECT_EQ(temporaryFile(dir.path()), "") << "run " << i;
    EXPECT_EQ(appendAndCheck(), "") << "run " << i;
  }
}

}  // namespace
