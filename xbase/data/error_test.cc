#include "xbase/data/error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "xbase/data/code4.h"

namespace {

int keys = 0;
void countKey() { keys++; }

class ErrorReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engineInit(&context_);
    keys = 0;
    errorSetKeyWaiter(countKey);
  }
  void TearDown() override { errorSetKeyWaiter(nullptr); }

  std::string report(int32_t code, const char* t1 = nullptr, const char* t2 = nullptr,
                     const char* t3 = nullptr) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(errorReport(&context_, code, t1, t2, t3), code);
    return testing::internal::GetCapturedStdout();
  }
  CODE4 context_;
};

TEST_F(ErrorReportTest, PrintsCodeTableTextAndDetailsThenWaitsForAKey) {
  EXPECT_EQ(report(-60, "File Name:", "C:\\DATA\\T.DBF"),
            "\r\n\r\nError Number   -60\r\nOpening File\r\nFile Name:\r\nC:\\DATA\\T.DBF"
            "\r\nPress a key ...");
  EXPECT_EQ(context_.errorCode, -60);
  EXPECT_EQ(keys, 1);
}

TEST_F(ErrorReportTest, CodeMissingFromTheTableHasNoMessageLine) {
  EXPECT_EQ(report(-999), "\r\n\r\nError Number  -999\r\nPress a key ...");
  EXPECT_EQ(context_.errorCode, -999);
}

TEST_F(ErrorReportTest, DetailTextsStopAtTheFirstNull) {
  EXPECT_EQ(report(-920, nullptr, "never shown"),
            "\r\n\r\nError Number  -920\r\nOut of Memory\r\nPress a key ...");
  EXPECT_EQ(report(-910, "a", "b", "c"),
            "\r\n\r\nError Number  -910\r\nUnexpected Information\r\na\r\nb\r\nc\r\nPress a key ...");
  EXPECT_EQ(report(-1070),
            "\r\n\r\nError Number -1070\r\nFunction unsupported: library not compiled with "
            "S4ERROR_HOOK\r\nPress a key ...");
}

TEST_F(ErrorReportTest, QuietOnlyRecordsTheCode) {
  context_.errQuiet = 1;
  EXPECT_EQ(report(-60, "File Name:", "X"), "");
  EXPECT_EQ(context_.errorCode, -60);
  EXPECT_EQ(keys, 0);
  // The detail texts are kept for the caller, and only while their code is pending.
  EXPECT_STREQ(errorDetail(&context_), "File Name:\nX");
  engineErrorSet(&context_, -70);
  EXPECT_STREQ(errorDetail(&context_), "");
  engineErrorSet(&context_, -60);  // the same code set anew is not that report
  EXPECT_STREQ(errorDetail(&context_), "");
  report(-910);
  EXPECT_STREQ(errorDetail(&context_), "");
  report(-910, std::string(600, 'x').c_str());
  EXPECT_EQ(std::string(errorDetail(&context_)), std::string(511, 'x'));
  EXPECT_STREQ(errorDetail(nullptr), "");
}

TEST_F(ErrorReportTest, ErrorCodeGetAndSet) {
  EXPECT_EQ(engineErrorCode(&context_), 0);
  EXPECT_EQ(engineErrorSet(&context_, -120), 0);
  EXPECT_EQ(engineErrorSet(&context_, 0), -120);
  EXPECT_EQ(engineErrorCode(&context_), 0);
  EXPECT_EQ(engineErrorCode(nullptr), -1);
}

TEST(ErrorTable, TextsAndUniqueness) {
  EXPECT_STREQ(errorCodeText(-630), "Optimization File Flushing Failure");
  EXPECT_STREQ(errorCodeText(-200), "File is not a Data File");
  EXPECT_STREQ(errorCodeText(-823), "Error In Sending Report to Data File");
  EXPECT_STREQ(errorCodeText(-1010), "Function unsupported: library compiled with S4OFF_INDEX");
  EXPECT_EQ(errorCodeText(0), nullptr);
  EXPECT_EQ(errorCodeText(-999), nullptr);
  EXPECT_EQ(errorCodeText(70), nullptr);
  // Every code from -1 to -1100 that has a text has its own text.
  std::set<std::string> texts;
  int rows = 0;
  for (int32_t code = -1; code >= -1100; code--) {
    if (const char* text = errorCodeText(code)) {
      rows++;
      EXPECT_TRUE(texts.insert(text).second) << code;
    }
  }
  EXPECT_EQ(rows, 42 + 14 + 7);
}

TEST(ErrorExit, NegativeCodeEndsTheProcessWithItsLowByte) {
  CODE4 context;
  engineInit(&context);
  engineExitOnError(&context);  // nothing pending: returns
  context.errorCode = 70;
  engineExitOnError(&context);
  context.errorCode = -60;
  EXPECT_EXIT(engineExitOnError(&context), ::testing::ExitedWithCode(196), "");
}

TEST(ErrorExit, SevereErrorPrintsWaitsAndExitsWithOne) {
  std::string path = testing::TempDir() + "severe_out.txt";
  EXPECT_EXIT(
      {
        errorSetKeyWaiter(countKey);
        if (std::freopen(path.c_str(), "w", stdout) == nullptr) std::_Exit(9);
        errorSevere(-310, "Corrupt index file");
      },
      ::testing::ExitedWithCode(1), "");
  std::ifstream in(path, std::ios::binary);
  std::string printed((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(printed,
            "\r\n\r\nSevere Error Number  -310\r\nNot a Correct Index File\r\nCorrupt index file"
            "\r\nPress a key ...");
  std::remove(path.c_str());
}

}  // namespace
