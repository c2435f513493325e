// Byte-range locks and share modes, between handles of one process and between two
// processes.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "xbase/data/engine_file.h"
#include "xbase/file/file_test_util.h"
#include "xbase/file/os_fault.h"

namespace {

class FileLockTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    writeFile("SHARED.DBF", pattern(4096));
  }

  // A child that opens SHARED.DBF with the given settings and, when lockLength > 0,
  // locks that range; it holds both until released.
  static ChildHolder holder(int exclusive, int64_t lockOffset, int64_t lockLength) {
    return ChildHolder([=] {
      CODE4 child;
      engineInit(&child);
      child.errQuiet = 1;
      child.openExclusive = exclusive;
      static EngineFile file;  // stays open until the child ends
      if (fileOpen(&file, &child, "SHARED.DBF", 1) != 0) return false;
      return lockLength == 0 || fileLock(&file, lockOffset, lockLength) == 0;
    });
  }
};

TEST_F(FileLockTest, RangeHeldByAnotherProcessWithOneTryGives50AtOnce) {
  ChildHolder child = holder(0, 100, 50);
  ASSERT_TRUE(child.ready());
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "SHARED.DBF", 1), 0);
  context_.lockTries = 1;
  OsFaultScope faults;
  EXPECT_EQ(fileLock(&file, 120, 10), 50);
  EXPECT_EQ(faults->calls(OsCall::rangeLock), 1);
  EXPECT_EQ(faults->sleeps(), 0);
  EXPECT_EQ(context_.errorCode, 0);  // a soft result records nothing
  EXPECT_EQ(keys_, 0);
  // A range that does not overlap is free.
  EXPECT_EQ(fileLock(&file, 150, 10), 0);
  EXPECT_EQ(fileUnlock(&file, 150, 10), 0);
  // lockTries 0 counts as one try.
  context_.lockTries = 0;
  EXPECT_EQ(fileLock(&file, 100, 1), 50);
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileLockTest, RangeHeldByAnotherProcessWithThreeTriesWaitsTwice) {
  ChildHolder child = holder(0, 0, 1000000000);
  ASSERT_TRUE(child.ready());
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "SHARED.DBF", 1), 0);
  context_.lockTries = 3;
  OsFaultScope faults;
  faults->fakeClock(1700000000LL * 1000 + 250);
  EXPECT_EQ(fileLock(&file, 10, 10), 50);
  EXPECT_EQ(faults->calls(OsCall::rangeLock), 3);
  EXPECT_EQ(faults->fakeNow() / 1000, 1700000002LL);  // two waits for the next second
  EXPECT_EQ(context_.errorCode, 0);
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileLockTest, EndlessTriesWaitUntilTheHolderLetsGo) {
  auto child = std::make_unique<ChildHolder>([] {
    CODE4 c;
    engineInit(&c);
    static EngineFile file;
    if (fileOpen(&file, &c, "SHARED.DBF", 1) != 0 || fileLock(&file, 0, 10) != 0) return false;
    return true;
  });
  ASSERT_TRUE(child->ready());
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "SHARED.DBF", 1), 0);
  ASSERT_EQ(context_.lockTries, -1);
  // The first attempt fails; the holder ends during the wait for the next second.
  OsFaultScope faults;
  auto start = std::chrono::steady_clock::now();
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    child->release();
  });
  EXPECT_EQ(fileLock(&file, 5, 1), 0);
  releaser.join();
  EXPECT_GE(faults->calls(OsCall::rangeLock), 2);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileLockTest, LockAnswersTheSystemCannotServeCountAsGranted) {
  EngineFile file;
  ASSERT_EQ(fileOpen(&file, &context_, "SHARED.DBF", 1), 0);
  context_.errQuiet = 1;
  OsFaultScope faults;
  faults->lockBusy(1, EINVAL);
  EXPECT_EQ(fileLock(&file, 0, 10), 0);
  faults->failNth(OsCall::rangeLock, 1, EINVAL);
  EXPECT_EQ(fileUnlock(&file, 0, 10), 0);
  EXPECT_EQ(context_.errorCode, 0);
  // EACCES is "held by another" like EAGAIN.
  context_.lockTries = 2;
  faults->fakeClock(0);
  faults->lockBusy(2, EACCES);
  EXPECT_EQ(fileLock(&file, 0, 10), 50);
  faults->lockBusy(1, EAGAIN);
  EXPECT_EQ(fileLock(&file, 0, 10), 0);  // second try is granted
  EXPECT_EQ(fileUnlock(&file, 0, 10), 0);
  EXPECT_EQ(fileClose(&file), 0);
}

// Closing another handle of the same file must not drop this handle's locks (classic
// process-owned record locks would be dropped), and handles of one process conflict
// with each other.
TEST_F(FileLockTest, ClosingASecondHandleKeepsTheFirstHandlesLocks) {
  context_.lockTries = 1;
  EngineFile first, second, third;
  ASSERT_EQ(fileOpen(&first, &context_, "SHARED.DBF", 1), 0);
  ASSERT_EQ(fileOpen(&second, &context_, "SHARED.DBF", 1), 0);
  ASSERT_EQ(fileLock(&first, 200, 20), 0);
  EXPECT_EQ(fileLock(&second, 210, 1), 50);
  EXPECT_EQ(fileClose(&second), 0);

  ASSERT_EQ(fileOpen(&third, &context_, "SHARED.DBF", 1), 0);
  EXPECT_EQ(fileLock(&third, 210, 1), 50);
  // Still held as seen from another process too.
  ChildHolder child([] {
    CODE4 c;
    engineInit(&c);
    c.lockTries = 1;
    EngineFile f;
    return fileOpen(&f, &c, "SHARED.DBF", 1) == 0 && fileLock(&f, 215, 1) == 50;
  });
  EXPECT_TRUE(child.ready());
  child.release();

  EXPECT_EQ(fileUnlock(&first, 200, 20), 0);
  EXPECT_EQ(fileLock(&third, 210, 1), 0);
  EXPECT_EQ(fileClose(&third), 0);
  EXPECT_EQ(fileClose(&first), 0);
}

// ---- Share modes between processes ----

TEST_F(FileLockTest, ExclusiveUserKeepsOthersOutAsIfTheFileWereMissing) {
  ChildHolder child = holder(1, 0, 0);
  ASSERT_TRUE(child.ready());
  EngineFile file;
  context_.errOpenFile = 0;
  EXPECT_EQ(fileOpen(&file, &context_, "SHARED.DBF", 1), 70);
  context_.openReadOnly = 1;
  EXPECT_EQ(fileOpen(&file, &context_, "SHARED.DBF", 1), 70);
  context_.errOpenFile = 1;
  context_.errQuiet = 1;
  EXPECT_EQ(fileOpen(&file, &context_, "SHARED.DBF", 1), -60);
  child.release();
  context_.errorCode = 0;
  EXPECT_EQ(fileOpen(&file, &context_, "SHARED.DBF", 1), 0);
  EXPECT_EQ(fileClose(&file), 0);
}

TEST_F(FileLockTest, SharedUsersMixButAnExclusiveOpenIsRefused) {
  ChildHolder child = holder(0, 0, 0);
  ASSERT_TRUE(child.ready());
  EngineFile file;
  context_.openReadOnly = 1;
  ASSERT_EQ(fileOpen(&file, &context_, "SHARED.DBF", 1), 0);
  EXPECT_EQ(fileClose(&file), 0);
  context_.openReadOnly = 0;
  context_.openExclusive = 1;
  context_.errOpenFile = 0;
  EXPECT_EQ(fileOpen(&file, &context_, "SHARED.DBF", 1), 70);

  // A deny-write create is refused as well, and leaves the other user's file whole.
  context_.createFailsIfExists = 0;
  context_.errCreateFile = 0;
  EXPECT_EQ(fileCreate(&file, &context_, "SHARED.DBF", 1), 60);
  EXPECT_EQ(readFile("SHARED.DBF"), pattern(4096));
}

}  // namespace
