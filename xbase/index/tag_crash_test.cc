// A process killed at any write of an append, a rewrite, a zap or a tag build,
// simulated by failing that write and every later change of a file (crashAtWrite):
// whatever it left, the next writer that opens the data file with its group appends
// a record, and every tag then holds exactly the records' keys.  Before the writes
// were ordered and marked, a kill between an append's keys and its record left a key
// that the next append doubled.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "xbase/data/fault_test_util.h"
#include "xbase/file/os_fault.h"
#include "xbase/index/ntx.h"

namespace {

using faults::FaultTest;

constexpr int32_t kRecords = 30;

class TagCrashTest : public FaultTest {
 protected:
  // RUN.DBF from the base, with the tags NAME.NTX and AMT.NTX listed in RUN.CGP
  // (only AMT.NTX when withName is false).
  void freshIndexed(bool withName = true) {
    freshRun();
    for (const char* f : {"RUN.CGP", "NAME.NTX", "AMT.NTX"}) std::filesystem::remove(f);
    CODE4 c;
    engineInit(&c);
    c.errQuiet = 1;
    c.autoOpen = 0;
    DataFile* d = dataOpen(&c, "RUN");
    ASSERT_NE(d, nullptr);
    TagCreateInfo amt{"AMT.NTX", "AMOUNT", nullptr, 0, 0};
    TagCreateInfo name{"NAME.NTX", "NAME", nullptr, 0, 0};
    ASSERT_NE(tagCreate(d, &amt, "RUN.CGP"), nullptr) << c.errorCode;
    if (withName) {
      ASSERT_NE(tagCreate(d, &name, "RUN.CGP"), nullptr) << c.errorCode;
    }
    dataClose(d);
    engineRelease(&c);
  }

  // After the crash: opens RUN with its group, appends the next record and checks
  // every tag.  Empty when sound; else what is wrong.
  static std::string appendAndCheck(int32_t* tagsSeen = nullptr) {
    CODE4 c;
    engineInit(&c);
    c.errQuiet = 1;
    c.lockTries = 3;
    DataFile* d = dataOpen(&c, "RUN");
    if (d == nullptr) return "does not open: " + std::to_string(c.errorCode);
    std::string problem;
    int32_t next = dataRecordCount(d) + 1;
    if (dataAppendStart(d, 0) != 0) problem = "append start: " + std::to_string(c.errorCode);
    if (problem.empty()) {
      dataBlank(d);
      faults::fillRecord(d, next);
      if (dataAppend(d) != 0) problem = "append: " + std::to_string(c.errorCode);
    }
    int32_t tags = 0;
    for (void* i = listFirst(&d->indexes); problem.empty() && i; i = listNext(&d->indexes, i)) {
      IndexFile* index = static_cast<IndexFile*>(i);
      for (void* t = listFirst(&index->tags); problem.empty() && t; t = listNext(&index->tags, t)) {
        char message[256] = {};
        ++tags;
        if (tagCheck(static_cast<IndexTag*>(t), message, sizeof message) != 0)
          problem = std::string(static_cast<IndexTag*>(t)->name) + ": " + message;
      }
    }
    if (tagsSeen) *tagsSeen = tags;
    dataClose(d);
    engineRelease(&c);
    return problem;
  }

  // Runs op on RUN (opened with its group) with a crash at write n.  True when the
  // crash came before op ended.
  template <typename Op>
  static bool crashDuring(int n, Op op) {
    CODE4 c;
    engineInit(&c);
    c.errQuiet = 1;
    c.lockTries = 3;
    c.sortBlockSize = 512;  // a build spills runs to its temporary file
    DataFile* d = dataOpen(&c, "RUN");
    EXPECT_NE(d, nullptr) << c.errorCode;
    if (d == nullptr) return false;
    bool crashed = false;
    {
      OsFaultScope scope;
      scope->fakeClock(1'700'000'000'000);
      scope->crashAtWrite(n);
      op(d);
      crashed = scope->crashed();
      // Whatever closing still tries to write is lost with the process.
      engineErrorSet(&c, 0);
      dataClose(d);
    }
    engineRelease(&c);
    return crashed;
  }
};

TEST_F(TagCrashTest, AppendKilledAtAnyWriteLeavesTagsTheNextAppendMends) {
  makeBase(kRecords);
  int crashes = 0;
  for (int n = 1; n < 200; ++n) {
    freshIndexed();
    bool crashed = crashDuring(n, [](DataFile* d) {
      if (dataAppendStart(d, 0) != 0) return;
      dataBlank(d);
      faults::fillRecord(d, kRecords + 1);
      dataAppend(d);
    });
    int32_t tags = 0;
    EXPECT_EQ(appendAndCheck(&tags), "") << "crash at write " << n;
    EXPECT_EQ(tags, 2);
    EXPECT_EQ(checkFile("RUN", kRecords + 2), "") << "crash at write " << n;
    if (!crashed || HasFailure()) break;
    ++crashes;
  }
  EXPECT_GT(crashes, 5);
}

TEST_F(TagCrashTest, RewriteKilledAtAnyWriteLeavesTagsTheNextAppendMends) {
  makeBase(kRecords);
  int crashes = 0;
  for (int n = 1; n < 200; ++n) {
    freshIndexed();
    bool crashed = crashDuring(n, [](DataFile* d) {
      // The amount (AMT.NTX's key) and the memo change; the name stays.
      if (dataGo(d, 5) != 0) return;
      faults::fillRecord(d, 5, true);
      dataFlush(d);
    });
    EXPECT_EQ(appendAndCheck(), "") << "crash at write " << n;
    EXPECT_EQ(checkFile("RUN", kRecords + 1), "") << "crash at write " << n;
    if (!crashed || HasFailure()) break;
    ++crashes;
  }
  EXPECT_GT(crashes, 3);
}

TEST_F(TagCrashTest, ZapKilledAtAnyWriteLeavesTagsTheNextAppendRebuilds) {
  makeBase(kRecords);
  int crashes = 0;
  for (int n = 1; n < 400; ++n) {
    freshIndexed();
    bool crashed = crashDuring(n, [](DataFile* d) { dataZap(d, 3, 12); });
    EXPECT_EQ(appendAndCheck(), "") << "crash at write " << n;
    if (!crashed || HasFailure()) break;
    ++crashes;
  }
  EXPECT_GT(crashes, 5);
}

TEST_F(TagCrashTest, BuildKilledAtAnyWriteNeverLeavesAGroupNamingAPartialTag) {
  makeBase(kRecords);
  int crashes = 0;
  for (int n = 1; n < 400; ++n) {
    freshIndexed(false);
    bool crashed = crashDuring(n, [](DataFile* d) {
      TagCreateInfo name{"NAME.NTX", "NAME", nullptr, 0, 0};
      tagCreate(d, &name, "RUN.CGP");
    });
    // A reader that opens the file alone is refused or finds it whole.
    if (std::filesystem::exists("NAME.NTX")) {
      CODE4 c;
      engineInit(&c);
      c.errQuiet = 1;
      c.autoOpen = 0;
      c.openReadOnly = 1;
      DataFile* d = dataOpen(&c, "RUN");
      ASSERT_NE(d, nullptr);
      if (i4open(d, "NAME.NTX") != nullptr) {
        char message[256] = {};
        EXPECT_EQ(tagCheck(tagFind(d, "NAME"), message, sizeof message), 0)
            << "crash at write " << n << ": " << message;
      } else {
        EXPECT_EQ(c.errorCode, errorIndex) << "crash at write " << n;
      }
      dataClose(d);
      engineRelease(&c);
    }
    // The group lists the new tag only when it is whole: the next append goes
    // through and every listed tag checks.
    int32_t tags = 0;
    EXPECT_EQ(appendAndCheck(&tags), "") << "crash at write " << n;
    if (!crashed) {
      EXPECT_EQ(tags, 2);
    }
    if (!crashed || HasFailure()) break;
    ++crashes;
  }
  EXPECT_GT(crashes, 5);
}

}  // namespace
