// Fault loop over the file layer's seam around a tag build: the Nth system call of
// one kind fails (once, or from then on) while tagCreate sorts the keys (spilling
// runs to a temporary file) and writes the tag.  Every run ends with a tag that
// passes its check or with the engine's error code and printed text; the data file
// is never harmed, and a failed build leaves no tag file that opens as if whole.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "xbase/data/fault_test_util.h"
#include "xbase/file/os_fault.h"
#include "xbase/index/ntx.h"

namespace {

using faults::FaultTest;

constexpr int32_t kRecords = 60;

// Opens RUN.NTX over RUN.DBF with the real system calls.  Empty when the tag is
// refused cleanly or checks out; else what is wrong.
std::string checkLeftTag() {
  OsFiles* previous = osInstall(nullptr);
  CODE4 c;
  engineInit(&c);
  c.errQuiet = 1;
  c.autoOpen = 0;
  std::string problem;
  DataFile* d = dataOpen(&c, "RUN");
  if (d == nullptr) {
    problem = "data file does not open";
  } else if (i4open(d, "RUN.NTX") != nullptr) {
    char message[256] = {};
    IndexTag* tag = tagFind(d, "RUN");
    if (tag == nullptr || tagCheck(tag, message, sizeof message) != 0)
      problem = engineErrorCode(&c) < 0 ? "" : std::string("tag opens but: ") + message;
  }
  if (d != nullptr) dataClose(d);
  engineRelease(&c);
  osInstall(previous);
  return problem;
}

TEST_F(FaultTest, TagBuildFaultLoop) {
  makeBase(kRecords);
  int runs = 0;
  for (int k = 0; k < static_cast<int>(OsCall::count); ++k) {
    OsCall kind = static_cast<OsCall>(k);
    for (bool persistent : {false, true}) {
      for (int n = 1; n < 2000; ++n) {
        std::string where = "call kind " + std::to_string(k) + " #" + std::to_string(n) +
                            (persistent ? " on" : " once");
        freshRun();
        std::filesystem::remove("RUN.NTX");
        CODE4 c;
        engineInit(&c);
        c.autoOpen = 0;
        c.lockTries = 3;
        c.sortBlockSize = 512;  // the sort spills runs to its temporary file
        DataFile* d = dataOpen(&c, "RUN");
        ASSERT_NE(d, nullptr) << where;
        TagCreateInfo info{"RUN.NTX", "NAME", nullptr, 0, 0};
        IndexTag* tag = nullptr;
        bool fired = false;
        testing::internal::CaptureStdout();
        {
          OsFaultScope scope;
          scope->fakeClock(1'700'000'000'000);
          scope->failNth(kind, n, EIO, persistent);
          tag = tagCreate(d, &info, nullptr);
          fired = scope->fired();
        }
        std::string printed = testing::internal::GetCapturedStdout();
        int32_t code = c.errorCode;
        if (tag != nullptr && code == 0) {
          char message[256] = {};
          EXPECT_EQ(tagCheck(tag, message, sizeof message), 0) << where << ": " << message;
        }
        engineErrorSet(&c, 0);
        dataClose(d);
        engineRelease(&c);
        ++runs;

        if (tag == nullptr) {
          EXPECT_TRUE(fired) << where << " failed without a fault: " << code;
          EXPECT_TRUE(faults::reportedError(printed, code)) << where;
        } else {
          EXPECT_EQ(code, 0) << where << " printed [" << printed << "]";
        }
        EXPECT_EQ(checkFile("RUN", kRecords), "") << where;
        // Removing a failed build's file needs the name lookup and the removal
        // itself; while those calls keep failing, the file (a sound tree of only
        // some keys) stays behind.
        bool removalFails = persistent && (kind == OsCall::exists || kind == OsCall::listDir ||
                                           kind == OsCall::remove);
        if (!removalFails) {
          EXPECT_EQ(checkLeftTag(), "") << where;
        }
        if (!fired || HasFailure()) break;
      }
      if (HasFailure()) return;
    }
  }
  EXPECT_GT(runs, 20);
}

}  // namespace
