// The report file, the message patterns, the progress counter and the
// data dump.
#include "front/console.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "front/dump.h"
#include "front/front_test_support.h"
#include "front/password.h"

namespace {

class Console : public FrontTest {};

TEST_F(Console, MessagePatternsInNormalMode) {
  runSettings.reportFile = path("r.rep");
  messagePlain("plain\n");
  messageError("error\n");
  messageConsole("console\n");
  messageReport("report\n");
  messageAlways("always\n");
  EXPECT_EQ(output(), "plain\n\nerror\nconsole\nalways\n");
  EXPECT_EQ(maskTimes(readFile("r.rep")), "hh:mm:ss plain\nhh:mm:ss error\nhh:mm:ss report\n");
}

TEST_F(Console, MessagePatternsInCompactMode) {
  runSettings.compact = true;
  runSettings.reportFile = path("r.rep");
  messagePlain("plain\n");
  messageError("error\n");
  messageConsole("console\n");
  messageReport("Connect...");
  messageReport("Done\n");
  messageAlways("always\n");
  const std::string records = "hh:mm:ss plain\nhh:mm:ss error\nhh:mm:ss Connect...hh:mm:ss Done\n";
  EXPECT_EQ(maskTimes(output()), records + "always\n");
  EXPECT_EQ(maskTimes(readFile("r.rep")), records);
}

TEST_F(Console, ReportRecordsAreAppendedAndTextIsNotAFormat) {
  writeFile("r.rep", "earlier run\n");
  runSettings.reportFile = path("r.rep");
  reportLine("100% done %s\n");
  const std::string text = readFile("r.rep");
  EXPECT_EQ(maskTimes(text), "earlier run\nhh:mm:ss 100% done %s\n");
  EXPECT_EQ(output(), "");
}

TEST_F(Console, UnopenableReportCostsOnlyTheRecord) {
  runSettings.reportFile = path("missing/r.rep");
  messagePlain("one\n");
  reportLine("two\n");
  EXPECT_EQ(output(), "one\n!!! Can't open report file\n!!! Can't open report file\n");
}

TEST_F(Console, UnwritableReportIsSaidOnceAndTheRunGoesOn) {
  runSettings.reportFile = "/dev/full";  // every write fails with ENOSPC
  messagePlain("one\n");
  reportLine("two\n");
  messageError("three\n");
  EXPECT_EQ(output(), "one\n!!! Can't write report file\n\nthree\n");
  // Records that can be written again are written.
  runSettings.reportFile = path("r.rep");
  reportLine("four\n");
  EXPECT_EQ(maskTimes(readFile("r.rep")), "hh:mm:ss four\n");
  EXPECT_EQ(output(), "");

  runSettings = RunSettings{};
  runSettings.compact = true;
  runSettings.reportFile = "/dev/full";
  reportLine("five\n");
  reportLine("six\n");
  EXPECT_EQ(maskTimes(output()),
            "hh:mm:ss five\n!!! Can't write report file\nhh:mm:ss six\n");
}

TEST_F(Console, ReportFileIsPrivateAndFollowsOnlyTheUsersOwnLinks) {
  const mode_t saved = umask(0);
  runSettings.reportFile = path("new.rep");
  reportLine("dump\n");
  umask(saved);
  struct stat info {};
  ASSERT_EQ(stat(path("new.rep").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  // An existing report keeps the mode its owner gave it.
  writeFile("shared.rep", "");
  ASSERT_EQ(chmod(path("shared.rep").c_str(), 0644), 0);
  runSettings.reportFile = path("shared.rep");
  reportLine("x\n");
  ASSERT_EQ(stat(path("shared.rep").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);

  // The user's own link is followed.
  writeFile("target.txt", "kept\n");
  ASSERT_EQ(symlink(path("target.txt").c_str(), path("link.rep").c_str()), 0);
  runSettings.reportFile = path("link.rep");
  reportLine("through\n");
  EXPECT_EQ(maskTimes(readFile("target.txt")), "kept\nhh:mm:ss through\n");
  EXPECT_EQ(output(), "");

  // Another user's link is not (only root can make one to test with).
  if (geteuid() != 0) GTEST_SKIP() << "needs root to own a link as another user";
  ASSERT_EQ(lchown(path("link.rep").c_str(), 65534, 65534), 0);
  reportLine("planted\n");
  EXPECT_EQ(output(), "!!! Can't open report file\n");
  EXPECT_EQ(maskTimes(readFile("target.txt")), "kept\nhh:mm:ss through\n");
  // Nor is a dangling one, which would create the file it names.
  ASSERT_EQ(symlink(path("made.txt").c_str(), path("dangling.rep").c_str()), 0);
  ASSERT_EQ(lchown(path("dangling.rep").c_str(), 65534, 65534), 0);
  runSettings.reportFile = path("dangling.rep");
  reportLine("planted\n");
  EXPECT_EQ(output(), "!!! Can't open report file\n");
  EXPECT_NE(access(path("made.txt").c_str(), F_OK), 0);
}

TEST_F(Console, TimeAndDateTexts) {
  const std::string time = currentTimeStamp();
  ASSERT_EQ(time.size(), 8u);
  EXPECT_EQ(time[2], ':');
  EXPECT_EQ(time[5], ':');
  EXPECT_LT(std::stoi(time.substr(0, 2)), 24);
  const std::string date = currentDateText();
  ASSERT_EQ(date.size(), 8u);
  EXPECT_EQ(date[2], '/');
  EXPECT_GE(std::stoi(date.substr(0, 2)), 1);
  EXPECT_LE(std::stoi(date.substr(0, 2)), 12);
}

TEST_F(Console, ProgressCounterPrintsEightWideCounts) {
  messageConsole("Processing line:         ");
  progressUpdate(10000);
  progressDone(12345);
  // The backspaces go to the console device, not to standard output.
  EXPECT_EQ(output(), "Processing line:            10000   12345...Done\n");
  runSettings.compact = true;
  progressUpdate(5);
  progressDone(5);
  EXPECT_EQ(output(), "");
}

TEST_F(Console, CancelPath) {
  runSettings.reportFile = path("r.rep");
  runSettings.password = "'";
  EXPECT_TRUE(passwordCancelled());
  EXPECT_EQ(cancelRun(), 1);
  EXPECT_EQ(output(), "Process aborted\n");
  EXPECT_EQ(maskTimes(readFile("r.rep")), "hh:mm:ss Process canceled by user\n");
  runSettings.password = "''";
  EXPECT_FALSE(passwordCancelled());
}

class Dump : public FrontTest {
 protected:
  // Two fields; slot k of field f holds "f<f>s<k>".
  std::vector<FieldMapping> fields{{"NAME", "NAME", 152}, {"Price", "PRICE", 0}};
  FieldValueText values = [this](int field, int slot) -> std::string_view {
    texts.push_back("f" + std::to_string(field) + "s" + std::to_string(slot));
    return texts.back();
  };
  std::vector<std::string> texts = std::vector<std::string>();

  void SetUp() override {
    FrontTest::SetUp();
    texts.reserve(64);
    runSettings.reportFile = path("r.rep");
  }
};

TEST_F(Dump, ExportShowsTheFailingRow) {
  runSettings.program = ProgramKind::Export;
  dumpRow(41, 1, fields, values);
  const std::string dump =
      "Oracle field 'NAME', \tdbf-field 'NAME' \t: f0s1\n"
      "Oracle field 'Price', \tdbf-field 'PRICE' \t: f1s1\n";
  EXPECT_EQ(output(), "\nBreak proccess in line 42\n\nData dump:\n" + dump);
  EXPECT_EQ(maskTimes(readFile("r.rep")),
            "hh:mm:ss Break proccess in line 42\nhh:mm:ss Data dump:\n"
            "hh:mm:ss Oracle field 'NAME', \tdbf-field 'NAME' \t: f0s1\n"
            "hh:mm:ss Oracle field 'Price', \tdbf-field 'PRICE' \t: f1s1\n");
}

TEST_F(Dump, ImportShowsTheSlotOnlyInsideTheBlock) {
  runSettings.program = ProgramKind::Import;
  runSettings.blockSize = 3;
  dumpRow(7, 2, fields, values);
  EXPECT_EQ(output(),
            "\nBreak proccess in block at line 8\n\nData dump:\n"
            "Oracle field 'NAME', \tdbf-field 'NAME' \t: f0s2\n"
            "Oracle field 'Price', \tdbf-field 'PRICE' \t: f1s2\n");
  dumpRow(9, 3, fields, values);  // after the loop the slot is the block size
  EXPECT_EQ(output(), "\nBreak proccess in block at line 10\n");
}

TEST_F(Dump, CompactModeShowsOnlyRecords) {
  runSettings.compact = true;
  runSettings.reportFile.clear();
  dumpRow(0, 0, {fields[0]}, values);
  EXPECT_EQ(maskTimes(output()),
            "hh:mm:ss Break proccess in line 1\nhh:mm:ss Data dump:\n"
            "hh:mm:ss Oracle field 'NAME', \tdbf-field 'NAME' \t: f0s0\n");
}

}  // namespace
