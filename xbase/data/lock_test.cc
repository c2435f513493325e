// Data-file locks and share modes between two processes: a child holds a lock or an
// open file while this process tries the same.
#include <gtest/gtest.h>

#include "xbase/data/dbf_image_test_util.h"
#include "xbase/file/file_test_util.h"
#include "xbase/file/os_fault.h"

using namespace dbftest;

namespace {

Image threeRecords() {
  Image img;
  img.fields = {{"ID", 'C', 3}};
  img.records = {" 001", " 002", " 003"};
  return img;
}

class DataLockTest : public ::testing::Test {
 protected:
  TempDir dir;
  Engine e;
  std::string path = dir.file("shared.dbf");

  void SetUp() override { writeFile(path, threeRecords().bytes()); }

  // A child that opens the file with the given share settings and runs `take` on it;
  // it keeps everything until released.
  ChildHolder holder(int exclusive, int readOnly, const std::function<bool(DataFile*)>& take) {
    std::string name = path;
    return ChildHolder([=] {
      static Engine child;
      child.c.openExclusive = exclusive;
      child.c.openReadOnly = readOnly;
      DataFile* d = child.open(name);
      return d != nullptr && take(d);
    });
  }
  DataFile* open() {
    DataFile* d = e.open(path);
    EXPECT_NE(d, nullptr) << e.code();
    return d;
  }
  static bool appendOne(DataFile* d) {
    if (dataAppendStart(d, 0) != 0) return false;
    dataBlank(d);
    fieldAssignText(dataField(d, 1), "new", 3);
    return dataAppend(d) == 0;
  }
};

TEST_F(DataLockTest, AppendLockHeldElsewhereGives50AndChangesNothing) {
  ChildHolder child = holder(0, 0, [](DataFile* d) { return dataLockAppend(d) == 0; });
  ASSERT_TRUE(child.ready());
  Bytes before = readFile(path);
  DataFile* d = open();
  ASSERT_NE(d, nullptr);

  e.c.lockTries = 1;
  {
    OsFaultScope faults;
    faults->fakeClock(1000000);
    ASSERT_EQ(dataAppendStart(d, 0), 0);
    dataBlank(d);
    EXPECT_EQ(dataAppend(d), resultLocked);
    EXPECT_EQ(faults->sleeps(), 0);
  }
  EXPECT_EQ(e.code(), 0);  // a soft result records nothing

  e.c.lockTries = 3;
  {
    OsFaultScope faults;
    faults->fakeClock(1000000);
    EXPECT_EQ(dataAppend(d), resultLocked);
    EXPECT_EQ(faults->calls(OsCall::rangeLock), 3);
    EXPECT_GE(faults->sleeps(), 2);
  }
  EXPECT_EQ(readFile(path), before);

  child.release();
  e.c.lockTries = 1;
  ASSERT_TRUE(appendOne(d));
  EXPECT_EQ(dataRecordCount(d), 4);
}

TEST_F(DataLockTest, RecordLocksConflictOnlyOnTheSameRecord) {
  ChildHolder child = holder(0, 0, [](DataFile* d) { return dataLockRecord(d, 2) == 0; });
  ASSERT_TRUE(child.ready());
  DataFile* d = open();
  ASSERT_NE(d, nullptr);
  e.c.lockTries = 1;
  EXPECT_EQ(dataLockRecord(d, 2), resultLocked);
  EXPECT_EQ(dataRecordLocked(d, 2), 0);
  EXPECT_EQ(dataLockRecord(d, 3), 0);
  EXPECT_EQ(dataRecordLocked(d, 3), 1);

  // With lockOnRead a read of the held record stops at the lock.
  e.c.lockOnRead = 1;
  EXPECT_EQ(dataGo(d, 2), resultLocked);
  EXPECT_EQ(dataGo(d, 1), 0);
  EXPECT_EQ(fieldBytes(dataField(d, 1)), "001");

  // A changed record whose lock is held elsewhere is not written.
  e.c.lockOnRead = 0;
  ASSERT_EQ(dataGo(d, 2), 0);
  fieldAssignText(dataField(d, 1), "XXX", 3);
  EXPECT_EQ(dataFlush(d), resultLocked);
  EXPECT_EQ(readFile(path), threeRecords().bytes());
  dataChanged(d, 0);
}

TEST_F(DataLockTest, WholeFileLockKeepsAppendsAndZapsOut) {
  ChildHolder child = holder(0, 0, [](DataFile* d) { return dataLockFile(d) == 0; });
  ASSERT_TRUE(child.ready());
  DataFile* d = open();
  ASSERT_NE(d, nullptr);
  e.c.lockTries = 1;
  EXPECT_EQ(dataZap(d, 1, kZapThroughLast), resultLocked);
  EXPECT_EQ(dataLockRecord(d, 1), resultLocked);
  EXPECT_EQ(appendOne(d), false);
  EXPECT_EQ(readFile(path), threeRecords().bytes());
  EXPECT_EQ(e.code(), 0);
}

TEST_F(DataLockTest, AnExclusiveOpenerKeepsEveryOtherProcessOut) {
  // As exdrift holds the file it fills.
  ChildHolder child = holder(1, 0, [](DataFile*) { return true; });
  ASSERT_TRUE(child.ready());
  e.c.openReadOnly = 1;  // as indrift opens
  EXPECT_EQ(e.open(path), nullptr);
  EXPECT_EQ(e.code(), errorOpen);
  e.clear();
  e.c.errOpenFile = 0;
  EXPECT_EQ(e.open(path), nullptr);
  EXPECT_EQ(e.code(), resultNotOpened);
  child.release();
  EXPECT_NE(e.open(path), nullptr);
}

TEST_F(DataLockTest, SharedReadersMixButKeepAnExclusiveOpenerOut) {
  // As indrift reads the file.
  ChildHolder child = holder(0, 1, [](DataFile* d) { return dataTop(d) == 0; });
  ASSERT_TRUE(child.ready());
  e.c.openReadOnly = 1;
  DataFile* reader = open();
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(dataRecordCount(reader), 3);

  Engine writer;
  writer.c.openExclusive = 1;
  EXPECT_EQ(writer.open(path), nullptr);
  EXPECT_EQ(writer.code(), errorOpen);
  EXPECT_EQ(readFile(path), threeRecords().bytes());
}

TEST_F(DataLockTest, AppendsOfAnotherProcessAreCounted) {
  DataFile* d = open();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(dataRecordCount(d), 3);
  ChildHolder child = holder(0, 0, [](DataFile* c) { return appendOne(c) && appendOne(c); });
  ASSERT_TRUE(child.ready());
  EXPECT_EQ(dataRecordCount(d), 5);
  ASSERT_EQ(dataGo(d, 5), 0);
  EXPECT_EQ(fieldBytes(dataField(d, 1)), "new");
  // The appended records took the append lock and let it go: this process can append.
  e.c.lockTries = 1;
  EXPECT_TRUE(appendOne(d));
  EXPECT_EQ(dataRecordCount(d), 6);
}

}  // namespace
