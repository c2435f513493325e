// What dbftool's index commands refuse and how they end: no tag is made over a file
// that is not a tag of the data file, no name is added to a file that is not a group;
// a build stopped by the file-size limit fails cleanly (status 1, no temporary file
// left, the group unchanged); a lock held by another process ends the wait after
// --wait seconds; output that cannot be written fails every command with status 1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/dbftool_fixture.h"
#include "tests/e2e_support.h"

namespace {

class DbftoolTagGuardTest : public DbftoolFixture {
 protected:
  // dbftool through the shell, for a redirection or a limit set first.
  e2e::RunResult shell(const std::string& prefix, const std::string& args,
                       const std::string& suffix = "") {
    e2e::RunOptions options;
    options.cwd = dir.path();
    return e2e::runProgram("/bin/sh", {"-c", prefix + " exec '" + e2e::programPath("dbftool") +
                                                 "' " + args + " " + suffix},
                           options);
  }
  void SetUp() override {
    ASSERT_EQ(tool({"create", "t.dbf", "NAME:C:40", "NOTE:M"}).exitCode, 0);
    ASSERT_EQ(tool({"append", "t.dbf", "NAME=first"}).exitCode, 0);
  }
};

TEST_F(DbftoolTagGuardTest, NoTagOverAFileThatIsNotOneAndNoNameIntoAFileThatIsNoGroup) {
  ASSERT_EQ(tool({"create", "o.dbf", "QTY:N:5"}).exitCode, 0);
  ASSERT_EQ(tool({"index", "o.dbf", "q.ntx", "QTY"}).exitCode, 0);
  ASSERT_EQ(tool({"index", "t.dbf", "n.ntx", "NAME"}).exitCode, 0);
  e2e::writeFile(dir.path("notes.txt"), "keep me\n");
  std::vector<std::string> files = {"t.dbf", "t.dbt", "notes.txt", "q.ntx", "n.ntx"};
  std::vector<std::string> before;
  for (const std::string& f : files) before.push_back(e2e::readFile(dir.path(f)));
  // Another data file's tag has a key over a field this file lacks.
  for (const char* target : {"t.dbf", "t.dbt", "notes.txt", "q.ntx"}) {
    e2e::RunResult r = tool({"index", "t.dbf", target, "NAME"});
    EXPECT_EQ(r.exitCode, 1) << target;
    EXPECT_NE(r.err.find("not an index tag of this data file"), std::string::npos) << r.err;
  }
  for (const char* group : {"t.dbf", "t.dbt", "notes.txt", "q.ntx"}) {
    e2e::RunResult r = tool({"index", "t.dbf", "g.ntx", "NAME", "--group", group});
    EXPECT_EQ(r.exitCode, 1) << group;
    EXPECT_NE(r.err.find("not an index group file of this data file"), std::string::npos) << r.err;
  }
  for (size_t i = 0; i < files.size(); ++i)
    EXPECT_EQ(e2e::readFile(dir.path(files[i])), before[i]) << files[i];
  EXPECT_FALSE(e2e::fileExists(dir.path("G.NTX")));
  // Its own tag, an empty file and a group of its own tags are written.
  e2e::writeFile(dir.path("e.ntx"), "");
  e2e::writeFile(dir.path("t.cgp"), "N.NTX\r\n");
  EXPECT_EQ(tool({"index", "t.dbf", "n.ntx", "UPPER(NAME)", "--group", "t.cgp"}).exitCode, 0);
  EXPECT_EQ(tool({"index", "t.dbf", "e.ntx", "NAME", "--group", "t.cgp"}).exitCode, 0);
  EXPECT_EQ(e2e::readFile(dir.path("t.cgp")), "N.NTX\r\nE.NTX\r\n");
}

TEST_F(DbftoolTagGuardTest, BuildStoppedByTheSizeLimitFailsCleanly) {
  // Enough records for the sort to spill to its temporary file.
  std::string image = e2e::readFile(dir.path("t.dbf"));
  size_t header = static_cast<uint8_t>(image[8]) | (static_cast<uint8_t>(image[9]) << 8);
  size_t length = static_cast<uint8_t>(image[10]) | (static_cast<uint8_t>(image[11]) << 8);
  image.resize(header);
  const int records = 20000;
  for (int i = 0; i < records; ++i) {
    std::string name = "name " + std::to_string((i * 7919) % records);
    std::string record = " " + name + std::string(length - 1 - name.size(), ' ');
    image += record;
  }
  image += '\x1a';
  for (int b = 0; b < 4; ++b) image[4 + b] = static_cast<char>((records >> (8 * b)) & 0xff);
  e2e::writeFile(dir.path("t.dbf"), image);
  ASSERT_EQ(tool({"index", "t.dbf", "a.ntx", "NAME", "--group", "t.cgp"}).exitCode, 0);
  std::string group = e2e::readFile(dir.path("t.cgp"));

  e2e::RunResult r = shell("ulimit -f 400;", "index t.dbf big.ntx NAME --group t.cgp");
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("dbftool: big.ntx: "), std::string::npos) << r.err;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().rfind("TEMP", 0), std::string::npos)
        << entry.path();
  EXPECT_EQ(e2e::readFile(dir.path("t.cgp")), group);
  e2e::RunResult append = tool({"append", "t.dbf", "NAME=after"});
  EXPECT_EQ(append.exitCode, 0) << append.err;
  EXPECT_EQ(tool({"check", "t.dbf", "a.ntx"}).out, "a.ntx: sound\n");
}

TEST_F(DbftoolTagGuardTest, LockHeldElsewhereEndsTheWaitWithAClearError) {
  ASSERT_EQ(tool({"index", "t.dbf", "n.ntx", "NAME", "--group", "t.cgp"}).exitCode, 0);
  int fd = ::open(dir.path("N.NTX").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 1000000000;
  lock.l_len = 1000000000;
  ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &lock), 0);
  for (std::vector<std::string> args : {std::vector<std::string>{"append", "t.dbf", "NAME=x"},
                                        {"zap", "t.dbf"}}) {
    args.insert(args.end(), {"--wait", "1"});
    e2e::RunResult r = tool(args);
    EXPECT_EQ(r.exitCode, 1) << args[0];
    EXPECT_EQ(r.err, "dbftool: t.dbf: Locked by another process (50); gave up after 1 s\n");
  }
  // The record edits wait as long and change nothing.
  const std::string before = e2e::readFile(dir.path("t.dbf"));
  for (std::vector<std::string> args : {std::vector<std::string>{"replace", "t.dbf", "1", "NAME=x"},
                                        {"delete", "t.dbf", "1"}}) {
    args.insert(args.end(), {"--wait", "1"});
    e2e::RunResult r = tool(args);
    EXPECT_EQ(r.exitCode, 1) << args[0];
    EXPECT_EQ(r.err, "dbftool: t.dbf: record 1 or a tag is locked by another process; nothing was "
                     "changed (gave up after 1 s)\n") << args[0];
  }
  EXPECT_EQ(e2e::readFile(dir.path("t.dbf")), before);
  ::close(fd);
  EXPECT_NE(tool({"info", "--json", "t.dbf"}).out.find("\"recordCount\":1"), std::string::npos);
  EXPECT_EQ(tool({"append", "t.dbf", "NAME=y", "--wait", "0"}).exitCode, 0);
  EXPECT_EQ(tool({"check", "t.dbf", "n.ntx"}).out, "n.ntx: sound\n");
}

TEST_F(DbftoolTagGuardTest, OutputThatCannotBeWrittenFailsTheCommand) {
  ASSERT_EQ(tool({"index", "t.dbf", "n.ntx", "NAME"}).exitCode, 0);
  for (const char* args : {"seek t.dbf n.ntx first", "eval t.dbf NAME", "dump t.dbf",
                           "list t.dbf n.ntx", "info t.dbf", "check t.dbf n.ntx",
                           "append t.dbf NAME=more", "index t.dbf m.ntx NAME", "--help"}) {
    e2e::RunResult r = shell("", args, ">/dev/full");
    EXPECT_EQ(r.exitCode, 1) << args;
    EXPECT_EQ(r.err, "dbftool: cannot write the output: No space left on device\n") << args;
  }
  // Closed from the start and never written to: no failure.
  EXPECT_EQ(shell("", "zap t.dbf", ">&-").exitCode, 0);
}

}  // namespace
