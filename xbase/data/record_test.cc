// Records: append, zap, navigation rules, deletion flags, write-back, counts shared
// between two openers, and a fault loop over appends.
#include "xbase/data/record.h"

#include <gtest/gtest.h>

#include "xbase/data/dbf_image_test_util.h"
#include "xbase/file/conv.h"
#include "xbase/file/os_fault.h"

using namespace dbftest;

namespace {

// A file of n records "NNN" (record numbers as 3 digits) in one C(3) field.
Image numbered(int n) {
  Image img;
  img.fields = {{"ID", 'C', 3}};
  for (int i = 1; i <= n; ++i) {
    char rec[16];
    std::snprintf(rec, sizeof rec, " %03d", i);
    img.records.push_back(rec);
  }
  return img;
}

class RecordTest : public ::testing::Test {
 protected:
  TempDir dir;
  Engine e;
  std::string path = dir.file("t.dbf");

  DataFile* openWith(const Image& img) {
    writeFile(path, img.bytes());
    DataFile* d = e.open(path);
    EXPECT_NE(d, nullptr) << e.code();
    return d;
  }
  std::string id(DataFile* d) { return fieldBytes(dataField(d, 1)); }
  // The ids of the records on disk, in file order.
  std::string ids() {
    Bytes b = readFile(path);
    std::string out;
    int h = le16(b, 8);
    for (size_t at = h; at + 4 <= b.size(); at += 4) out += std::string(b.begin() + at + 1, b.begin() + at + 4) + " ";
    return out;
  }
  bool appendId(DataFile* d, const char* text) {
    if (dataAppendStart(d, 0) != 0) return false;
    dataBlank(d);
    fieldAssignText(dataField(d, 1), text, 3);
    return dataAppend(d) == 0;
  }
};

TEST_F(RecordTest, AppendWritesRecordEndByteCountAndDate) {
  Image img = numbered(2);
  DataFile* d = openWith(img);
  const int h = img.headerLength(), r = img.recordLength();
  ASSERT_TRUE(appendId(d, "new"));
  EXPECT_EQ(dataRecordNumber(d), 3);
  Bytes b = readFile(path);
  ASSERT_EQ(b.size(), static_cast<size_t>(h + 3 * r + 1));
  EXPECT_EQ(b.back(), 0x1A);
  EXPECT_EQ(le32(b, 4), 3u);
  uint8_t today[3];
  todayHeaderDate(today);
  EXPECT_EQ(Bytes(b.begin() + 1, b.begin() + 4), Bytes(today, today + 3));
  EXPECT_EQ(ids(), "001 002 new ");

  // Three more on a file of ten.
  DataFile* ten = openWith(numbered(10));
  for (const char* t : {"aaa", "bbb", "ccc"}) ASSERT_TRUE(appendId(ten, t));
  b = readFile(path);
  EXPECT_EQ(le32(b, 4), 13u);
  EXPECT_EQ(b.size(), static_cast<size_t>(h + 13 * r + 1));
  EXPECT_EQ(dataRecordCount(ten), 13);
}

TEST_F(RecordTest, AppendStartWithoutAppendAddsNothing) {
  Bytes before = numbered(2).bytes();
  DataFile* d = openWith(numbered(2));
  ASSERT_EQ(dataAppendStart(d, 0), 0);
  EXPECT_EQ(dataRecordNumber(d), 0);
  dataBlank(d);
  fieldAssignText(dataField(d, 1), "zzz", 3);
  ASSERT_EQ(dataGo(d, 1), 0);
  EXPECT_EQ(id(d), "001");
  EXPECT_EQ(dataClose(d), 0);
  EXPECT_EQ(readFile(path), before);
}

TEST_F(RecordTest, AppendToEmptyFileAfterTrailingGarbage) {
  Image img = numbered(0);
  img.endByte = false;
  Bytes b = img.bytes();
  b.push_back('x');  // a stray byte where the first record will go
  writeFile(path, b);
  DataFile* d = e.open(path);
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(appendId(d, "one"));
  b = readFile(path);
  EXPECT_EQ(b.size(), static_cast<size_t>(img.headerLength() + 4 + 1));
  EXPECT_EQ(ids(), "one ");
}

TEST_F(RecordTest, ZapRemovesRangesAndRewritesHeader) {
  Image img = numbered(5);
  const int h = img.headerLength(), r = img.recordLength();

  DataFile* d = openWith(img);
  ASSERT_EQ(dataZap(d, 2, 3), 0);
  EXPECT_EQ(ids(), "001 004 005 ");
  Bytes b = readFile(path);
  EXPECT_EQ(b.size(), static_cast<size_t>(h + 3 * r + 1));
  EXPECT_EQ(b.back(), 0x1A);
  EXPECT_EQ(le32(b, 4), 3u);
  EXPECT_EQ(dataRecordNumber(d), -1);
  EXPECT_EQ(dataClose(d), 0);

  d = openWith(img);
  ASSERT_EQ(dataZap(d, 1, kZapThroughLast), 0);
  b = readFile(path);
  EXPECT_EQ(b.size(), static_cast<size_t>(h + 1));
  EXPECT_EQ(le32(b, 4), 0u);
  const Bytes original = img.bytes();
  EXPECT_EQ(Bytes(b.begin() + 8, b.end() - 1), Bytes(original.begin() + 8, original.begin() + h));
  EXPECT_EQ(dataBof(d), 1);
  EXPECT_EQ(dataEof(d), 1);
  EXPECT_EQ(dataClose(d), 0);

  // Beyond the end: nothing removed, but the header date is rewritten.
  d = openWith(img);
  ASSERT_EQ(dataZap(d, 6, 9), 0);
  b = readFile(path);
  EXPECT_EQ(ids(), "001 002 003 004 005 ");
  uint8_t today[3];
  todayHeaderDate(today);
  EXPECT_EQ(b[1], today[0]);
  EXPECT_EQ(dataZap(d, -1, 3), -1);
}

TEST_F(RecordTest, ZapCopiesThroughSmallAndNoBuffers) {
  // 600 records of 4 bytes: several refills of a 2048-byte buffer; then unbuffered.
  for (int32_t size : {2048, 100}) {
    DataFile* d = openWith(numbered(600));
    e.c.zapBufferSize = size;
    ASSERT_EQ(dataZap(d, 1, 10), 0);
    EXPECT_EQ(dataRecordCount(d), 590);
    ASSERT_EQ(dataGo(d, 1), 0);
    EXPECT_EQ(id(d), "011");
    ASSERT_EQ(dataGo(d, 590), 0);
    EXPECT_EQ(id(d), "600");
    EXPECT_EQ(dataClose(d), 0);
  }
}

TEST_F(RecordTest, TopBottomAndSkipOnAnEmptyFile) {
  DataFile* d = openWith(numbered(0));
  EXPECT_EQ(dataSkip(d, 1), -1) << "no current record yet";
  EXPECT_EQ(e.code(), errorInfo);
  e.clear();
  EXPECT_EQ(dataTop(d), resultAtEnd);
  EXPECT_EQ(dataBof(d), 1);
  EXPECT_EQ(dataEof(d), 1);
  EXPECT_EQ(dataRecordNumber(d), 1);
  EXPECT_EQ(e.code(), 0) << "the quiet first read left no error";
  EXPECT_EQ(dataBottom(d), resultAtEnd);
  EXPECT_EQ(dataRecordNumber(d), 1);
}

TEST_F(RecordTest, SkipStopsAtBothEnds) {
  DataFile* d = openWith(numbered(3));
  ASSERT_EQ(dataTop(d), 0);
  EXPECT_EQ(id(d), "001");
  EXPECT_EQ(dataBof(d), 0);
  EXPECT_EQ(dataSkip(d, -1), resultAtBeginning);
  EXPECT_EQ(dataRecordNumber(d), 1);
  EXPECT_EQ(dataBof(d), 1);
  EXPECT_EQ(dataSkip(d, 2), 0);
  EXPECT_EQ(id(d), "003");
  EXPECT_EQ(dataSkip(d, 1), resultAtEnd);
  EXPECT_EQ(dataRecordNumber(d), 4);
  EXPECT_EQ(dataEof(d), 1);
  EXPECT_EQ(id(d), "   ") << "the buffer is blank at end of file";
  EXPECT_EQ(e.code(), 0);
  EXPECT_EQ(dataSkip(d, -1), 0) << "back from end of file";
  EXPECT_EQ(id(d), "003");
  EXPECT_EQ(dataSkip(d, -10), resultAtBeginning);
  EXPECT_EQ(id(d), "001");
  EXPECT_EQ(dataBottom(d), 0);
  EXPECT_EQ(id(d), "003");
  EXPECT_EQ(dataGoEof(d), resultAtEnd);
  EXPECT_EQ(dataRecordNumber(d), 4);
  EXPECT_EQ(dataBof(d), 0);
}

TEST_F(RecordTest, GoPastTheEndIsAnErrorOrResultFive) {
  DataFile* d = openWith(numbered(2));
  EXPECT_EQ(dataGo(d, 3), errorRead);
  EXPECT_EQ(dataRecordNumber(d), -1);
  e.clear();
  e.c.errRecordRead = 0;
  EXPECT_EQ(dataGo(d, 3), resultNoRecord);
  EXPECT_EQ(dataGo(d, 0), resultNoRecord);
  EXPECT_EQ(e.code(), 0);
}

TEST_F(RecordTest, DeletionFlagsAndWriteBack) {
  Image img = numbered(3);
  img.records[1][0] = '*';
  img.records[2][0] = 'x';  // any non-blank byte counts as deleted
  DataFile* d = openWith(img);
  ASSERT_EQ(dataGo(d, 1), 0);
  EXPECT_EQ(dataDeleted(d), 0);
  ASSERT_EQ(dataGo(d, 2), 0);
  EXPECT_EQ(dataDeleted(d), 1);
  ASSERT_EQ(dataGo(d, 3), 0);
  EXPECT_EQ(dataDeleted(d), 1);

  dataRecall(d);
  EXPECT_EQ(dataChanged(d, -1), 1);
  fieldAssignText(dataField(d, 1), "new", 3);
  ASSERT_EQ(dataGo(d, 1), 0);  // the move writes record 3 back
  dataDelete(d);
  ASSERT_EQ(dataFlush(d), 0);
  Bytes b = readFile(path);
  int h = img.headerLength();
  EXPECT_EQ(b[h], '*');
  EXPECT_EQ(std::string(b.begin() + h + 8, b.begin() + h + 12), " new");
  EXPECT_EQ(b.size(), img.bytes().size()) << "a rewrite adds nothing";

  EXPECT_EQ(dataChanged(d, 5), 0);
  EXPECT_EQ(dataChanged(d, 0), 1);
}

TEST_F(RecordTest, SharedOpenersSeeEachOthersAppends) {
  writeFile(path, numbered(2).bytes());
  DataFile* a = e.open(path);
  Engine other;
  DataFile* b = other.open(path);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  ASSERT_TRUE(appendId(a, "aaa"));
  EXPECT_EQ(dataRecordCount(b), 3) << "a shared opener measures the file each time";
  ASSERT_TRUE(appendId(b, "bbb"));
  EXPECT_EQ(dataRecordNumber(b), 4);
  EXPECT_EQ(ids(), "001 002 aaa bbb ");
  EXPECT_EQ(le32(readFile(path), 4), 4u);
}

TEST_F(RecordTest, RecordLockHeldByAnotherOpenerGivesResultLocked) {
  writeFile(path, numbered(2).bytes());
  DataFile* a = e.open(path);
  Engine other;
  other.c.lockTries = 1;
  DataFile* b = other.open(path);
  ASSERT_EQ(dataLockRecord(a, 2), 0);
  EXPECT_EQ(dataLockRecord(b, 2), resultLocked);
  EXPECT_EQ(dataLockRecord(b, 1), 0);
  EXPECT_EQ(dataLockAppend(a), 0);
  EXPECT_EQ(dataLockFile(b), resultLocked);
  EXPECT_EQ(dataUnlock(a), 0);
  EXPECT_EQ(dataLockFile(b), 0);
  EXPECT_EQ(dataRecordLocked(b, 7), 1);
  EXPECT_EQ(other.code(), 0);
}

// Every write of an append failing in turn: the append reports an error or succeeds,
// and the file always opens again with 2 or 3 whole records.
TEST_F(RecordTest, FaultLoopOverAppend) {
  for (int n = 1;; ++n) {
    writeFile(path, numbered(2).bytes());
    bool fired;
    {
      Engine local;
      DataFile* d = local.open(path);
      ASSERT_NE(d, nullptr);
      OsFaultScope faults;
      faults->failNth(OsCall::write, n, ENOSPC);
      bool ok = dataAppendStart(d, 0) == 0;
      if (ok) {
        dataBlank(d);
        fieldAssignText(dataField(d, 1), "new", 3);
        ok = dataAppend(d) == 0;
      }
      fired = faults->fired();
      EXPECT_EQ(ok, !fired) << "write " << n;
      if (fired) {
        EXPECT_EQ(local.code(), errorWrite);
      }
    }
    Engine check;
    DataFile* d = check.open(path);
    ASSERT_NE(d, nullptr) << "write " << n;
    int32_t count = dataRecordCount(d);
    EXPECT_TRUE(count == 2 || count == 3) << count;
    if (!fired) break;
    ASSERT_LT(n, 20);
  }
}

// Every write and every length change of a zap failing in turn (with a small copy
// buffer so that the copy takes several writes): the zap reports the error, and no
// surviving record is lost; a failure part-way may leave copies of moved records
// behind them, never a gap.
TEST_F(RecordTest, FaultLoopOverZapLosesNoSurvivingRecord) {
  Image img;
  img.fields = {{"ID", 'C', 1023}};
  for (int i = 1; i <= 6; ++i) img.records.push_back(" " + std::string(1023, static_cast<char>('0' + i)));
  for (OsCall kind : {OsCall::write, OsCall::truncate}) {
    for (int n = 1;; ++n) {
      writeFile(path, img.bytes());
      bool fired;
      {
        Engine local;
        local.c.zapBufferSize = 2048;
        DataFile* d = local.open(path);
        ASSERT_NE(d, nullptr);
        OsFaultScope faults;
        faults->failNth(kind, n, EIO);
        int rc = dataZap(d, 2, 3);
        fired = faults->fired();
        EXPECT_EQ(rc == 0, !fired) << "call " << n;
        if (fired) {
          EXPECT_LT(local.code(), 0);
        }
      }
      Engine check;
      DataFile* d = check.open(path);
      ASSERT_NE(d, nullptr) << "call " << n;
      std::string seen;
      for (int32_t r = 1; r <= dataRecordCount(d); ++r) {
        ASSERT_EQ(dataGo(d, r), 0);
        seen += fieldPtr(dataField(d, 1))[0];
      }
      EXPECT_EQ(seen.substr(0, 1), "1") << seen;
      for (char survivor : std::string("456"))
        EXPECT_NE(seen.find(survivor), std::string::npos) << "call " << n << ": " << seen;
      if (!fired) {
        EXPECT_EQ(seen, "1456");
        break;
      }
      ASSERT_LT(n, 30);
    }
  }
}

}  // namespace
