// Fault loops over the file layer's seam: the Nth system call of one kind fails
// (once, or from then on) inside dataAppend with memos, dataZap, memo writes and
// dataClose, for N = 1, 2, ... until a run meets no fault.  Every run must end in
// success or in the engine's error code with its printed text, and the file must
// afterwards open with a count equal to its complete records, each one whole.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "xbase/data/fault_test_util.h"
#include "xbase/file/os_fault.h"

namespace {

using faults::FaultTest;

const char* kindName(OsCall kind) {
  static const char* const names[] = {"open", "close", "read", "write", "size", "truncate",
                                      "sync", "shareLock", "rangeLock", "remove", "exists",
                                      "listDir", "writeback"};
  return names[static_cast<int>(kind)];
}

// The file-changing steps under test.  Each gets the open RUN file and returns the
// engine's result; `closed` is set when the step closed the file itself.
using Step = std::function<int(DataFile* d, bool* closed)>;

class FaultLoop : public FaultTest {
 protected:
  // Runs step for every kind of call and every N, once and persistently.
  // maxK: the highest record number the file may hold afterwards.
  // onSuccess: checks of the file after a run that reported success.
  void loop(int32_t baseCount, int32_t maxK, const Step& step,
            const std::function<void(const std::string& where)>& onSuccess) {
    makeBase(baseCount);
    int runs = 0;
    for (int k = 0; k < static_cast<int>(OsCall::count); ++k) {
      OsCall kind = static_cast<OsCall>(k);
      for (bool persistent : {false, true}) {
        for (int n = 1; n < 500; ++n) {
          std::string where = std::string(kindName(kind)) + " #" + std::to_string(n) +
                              (persistent ? " on" : " once");
          freshRun();
          CODE4 c;
          engineInit(&c);
          c.lockTries = 3;  // a refused lock is asked again, but not for ever
          DataFile* d = dataOpen(&c, "RUN");
          ASSERT_NE(d, nullptr) << where;
          bool closed = false;
          bool fired = false;
          int rc = 0;
          testing::internal::CaptureStdout();
          {
            OsFaultScope scope;
            scope->fakeClock(1'700'000'000'000);  // waits for a lock cost no time
            scope->failNth(kind, n, EIO, persistent);
            rc = step(d, &closed);
            fired = scope->fired();
          }
          std::string printed = testing::internal::GetCapturedStdout();
          int32_t code = c.errorCode;
          if (!closed) dataClose(d);
          engineRelease(&c);
          ++runs;

          if (fired && rc != 0) {
            EXPECT_LT(rc, 0) << where;
            EXPECT_TRUE(faults::reportedError(printed, code)) << where;
          } else {
            // No fault, or one the engine may pass over (a lock refused and asked
            // again, a descriptor whose close failed): the step did all its work.
            EXPECT_EQ(rc, 0) << where << " printed [" << printed << "]";
            EXPECT_EQ(code, 0) << where;
            if (rc == 0) onSuccess(where);
          }
          std::string problem = checkFile("RUN", maxK);
          EXPECT_EQ(problem, "") << where;
          if (!fired || HasFailure()) break;
        }
        if (HasFailure()) return;
      }
    }
    EXPECT_GT(runs, 20);
  }

  // Names of the records in file order.
  static std::vector<int32_t> recordKeys(const char* name) {
    OsFiles* previous = osInstall(nullptr);
    CODE4 c;
    engineInit(&c);
    c.errQuiet = 1;
    std::vector<int32_t> keys;
    if (DataFile* d = dataOpen(&c, name)) {
      for (int rc = dataTop(d); rc == 0 && !dataEof(d); rc = dataSkip(d, 1))
        keys.push_back(atoi(fieldPtr(dataFieldByName(d, "NAME")) + 1));
      dataClose(d);
    }
    engineRelease(&c);
    osInstall(previous);
    return keys;
  }
};

TEST_F(FaultLoop, AppendWithMemo) {
  loop(4, 5,
       [](DataFile* d, bool*) {
         int rc = dataAppendStart(d, 0);
         if (rc != 0) return rc;
         dataBlank(d);
         faults::fillRecord(d, 5);
         return dataAppend(d);
       },
       [](const std::string& where) {
         EXPECT_EQ(recordKeys("RUN"), (std::vector<int32_t>{1, 2, 3, 4, 5})) << where;
       });
}

TEST_F(FaultLoop, Zap) {
  loop(6, 6, [](DataFile* d, bool*) { return dataZap(d, 2, 3); },
       [](const std::string& where) {
         EXPECT_EQ(recordKeys("RUN"), (std::vector<int32_t>{1, 4, 5, 6})) << where;
       });
}

TEST_F(FaultLoop, ZapOfEveryRecordEmptiesTheMemoFile) {
  loop(4, 4, [](DataFile* d, bool*) { return dataZap(d, 1, kZapThroughLast); },
       [](const std::string& where) {
         EXPECT_EQ(recordKeys("RUN"), std::vector<int32_t>{}) << where;
         EXPECT_EQ(std::filesystem::file_size("RUN.DBT"), 512u) << where;
       });
}

TEST_F(FaultLoop, MemoWriteInPlaceAndMoved) {
  loop(4, 4,
       [](DataFile* d, bool*) {
         for (int32_t k : {2, 3}) {  // 2 fits its blocks, 3 moves to new ones
           int rc = dataGo(d, k);
           if (rc != 0) return rc;
           faults::fillRecord(d, k, true);
           rc = dataFlush(d);
           if (rc != 0) return rc;
         }
         return 0;
       },
       [](const std::string& where) {
         EXPECT_EQ(recordKeys("RUN"), (std::vector<int32_t>{1, 2, 3, 4})) << where;
       });
}

TEST_F(FaultLoop, CloseWritesTheChangedRecord) {
  loop(4, 4,
       [](DataFile* d, bool* closed) {
         int rc = dataGo(d, 3);
         if (rc != 0) return rc;
         faults::fillRecord(d, 3, true);
         *closed = true;
         return static_cast<int>(dataClose(d));
       },
       [](const std::string& where) {
         EXPECT_EQ(recordKeys("RUN"), (std::vector<int32_t>{1, 2, 3, 4})) << where;
       });
}

}  // namespace
