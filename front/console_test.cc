// The report file, the message patterns, the progress counter and the
// data dump.
#include "front/console.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(runSettings.exitCode, 1);
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
