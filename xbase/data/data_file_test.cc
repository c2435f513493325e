// Opening data files: the header checks, the field table, counts, memo files, share
// modes, read-only files, closing.
#include "xbase/data/data_file.h"

#include <gtest/gtest.h>

#include "xbase/data/dbf_image_test_util.h"
#include "xbase/data/record.h"
#include "xbase/file/conv.h"

using namespace dbftest;

namespace {

Image twoFieldImage() {
  Image img;
  img.fields = {{"NAME", 'C', 5}, {"QTY", 'N', 4, 1}};
  img.records = {" alpha12.5", " beta  3.0", "*gamma 1.0"};
  return img;
}

class OpenTest : public ::testing::Test {
 protected:
  TempDir dir;
  Engine e;
  std::string path = dir.file("table.dbf");

  // Writes bytes and expects the open to fail with code; the file must be unchanged.
  void expectRejected(const Bytes& bytes, int32_t code) {
    writeFile(path, bytes);
    EXPECT_EQ(e.open(path), nullptr);
    EXPECT_EQ(e.code(), code);
    EXPECT_EQ(readFile(path), bytes) << "a failed open must not change the file";
    EXPECT_EQ(e.c.dataFiles.count, 0);
    e.clear();
  }
};

TEST_F(OpenTest, BuildsTheFieldTableFromTheDescriptors) {
  Image img;
  img.fields = {{"name", 'c', 260}, {"PRICE", 'N', 8, 2}, {"OK", 'L', 1, 5}, {"F", 'F', 6, 3},
                {"TENCHARSXY", 'D', 8}};
  img.records = {std::string(1 + 260 + 8 + 1 + 6 + 8, ' ')};
  writeFile(path, img.bytes());
  DataFile* d = e.open(path);
  ASSERT_NE(d, nullptr) << e.code();
  ASSERT_EQ(dataFieldCount(d), 5);
  FieldInfo* c = dataField(d, 1);
  EXPECT_STREQ(fieldName(c), "name");  // kept as stored
  EXPECT_EQ(c->type, 'C');             // type letter upper-cased
  EXPECT_EQ(fieldLength(c), 260);      // byte 17 is the high byte of a C length
  EXPECT_EQ(c->offset, 1);
  EXPECT_EQ(fieldDecimals(dataField(d, 2)), 2);
  EXPECT_EQ(dataField(d, 2)->offset, 261);
  EXPECT_EQ(fieldDecimals(dataField(d, 3)), 0);  // byte 17 of an L field is ignored
  EXPECT_EQ(dataField(d, 4)->type, 'F');
  EXPECT_EQ(fieldType(dataField(d, 4)), 'N');
  EXPECT_STREQ(fieldName(dataField(d, 5)), "TENCHARSXY");
  EXPECT_EQ(d->recordLength, 284);
  EXPECT_EQ(d->recordNumber, -1);
  EXPECT_EQ(dataRecordCount(d), 1);
  EXPECT_EQ(dataField(d, 0), nullptr);
  EXPECT_EQ(dataField(d, 6), nullptr);
}

TEST_F(OpenTest, NameRulesAndAlias) {
  writeFile(dir.file("table.dbf"), twoFieldImage().bytes());
  writeFile(dir.file("table.dat"), twoFieldImage().bytes());
  writeFile(dir.file("averylongtablename.dbf"), twoFieldImage().bytes());
  DataFile* a = e.open(dir.file("table"));  // gets .DBF, found ignoring case
  ASSERT_NE(a, nullptr) << e.code();
  EXPECT_STREQ(dataAlias(a), "TABLE");
  DataFile* b = e.open(dir.file("table.dat"));  // an extension that is there is kept
  ASSERT_NE(b, nullptr) << e.code();
  EXPECT_STREQ(dataAlias(b), "TABLE");
  DataFile* c = e.open(dir.file("averylongtablename"));
  ASSERT_NE(c, nullptr) << e.code();
  EXPECT_STREQ(dataAlias(c), "AVERYLONGT");
  EXPECT_EQ(e.c.dataFiles.count, 3);
}

TEST_F(OpenTest, DescriptorAreaWithoutTerminatorTakesEverySlot) {
  Image img = twoFieldImage();
  img.terminator = false;
  writeFile(path, img.bytes());
  DataFile* d = e.open(path);
  ASSERT_NE(d, nullptr) << e.code();
  EXPECT_EQ(dataFieldCount(d), 2);
  EXPECT_EQ(d->header.headerLength, 96);
  ASSERT_EQ(dataGo(d, 2), 0);
  EXPECT_EQ(fieldBytes(dataField(d, 1)), "beta ");
}

TEST_F(OpenTest, CountComesFromTheFileLength) {
  Bytes b = twoFieldImage().bytes();
  b[4] = 200;  // stored count disagrees
  b.pop_back();                    // no end-of-file byte
  b.insert(b.end(), {' ', 'x', 'y'});  // a partial record
  writeFile(path, b);
  DataFile* d = e.open(path);
  ASSERT_NE(d, nullptr) << e.code();
  EXPECT_EQ(dataRecordCount(d), 3);
  EXPECT_EQ(dataGo(d, 4), errorRead);  // the partial record cannot be read
}

TEST_F(OpenTest, RejectsHeadersThatDoNotAddUp) {
  Bytes good = twoFieldImage().bytes();

  expectRejected(Bytes(good.begin(), good.begin() + 20), errorRead);  // truncated header

  Bytes b = good;
  b[8] = 32, b[9] = 0;  // header length 32
  expectRejected(b, errorData);

  b = good;
  b[8] = 0x00, b[9] = 0x10;  // header length 4096: past the end of the file
  expectRejected(b, errorData);

  b = good;
  b[10] = 11;  // record length one more than the fields
  expectRejected(b, errorData);

  b = good;
  b[32 + 16] = 0;  // a field of length 0 (record length adjusted to match)
  b[10] = 5;
  expectRejected(b, errorData);

  Image none;  // no field at all, but a record length that claims one byte of fields
  none.fields = {};
  Bytes wide = none.bytes();
  wide[10] = 2;
  expectRejected(wide, errorData);
  Bytes padded = none.bytes();  // no field, but a header longer than 34 bytes
  padded.insert(padded.begin() + 33, {0, 0});
  padded[8] = 35;
  expectRejected(padded, errorData);

  // No terminator and a descriptor area that is not whole slots.
  Image partial = twoFieldImage();
  partial.terminator = false;
  partial.records = {};
  partial.endByte = false;
  b = partial.bytes();
  b.insert(b.end(), 20, 'x');
  b[8] = 96 + 20;
  expectRejected(b, errorData);
}

TEST_F(OpenTest, MissingFileAndStickyError) {
  EXPECT_EQ(e.open(dir.file("nothere")), nullptr);
  EXPECT_EQ(e.code(), errorOpen);
  writeFile(path, twoFieldImage().bytes());
  EXPECT_EQ(e.open(path), nullptr) << "a context in error refuses without a new error";
  EXPECT_EQ(e.code(), errorOpen);
}

TEST_F(OpenTest, MemoFileGoesWithVersionBit7) {
  Image img;
  img.version = 0x83;
  img.fields = {{"NOTE", 'M', 10}};
  writeFile(path, img.bytes());
  EXPECT_EQ(e.open(path), nullptr);  // no TABLE.DBT
  EXPECT_EQ(e.code(), errorOpen);
  e.clear();

  Bytes memo(512, 0);
  memo[0] = 1;
  writeFile(dir.file("table.dbt"), memo);
  DataFile* d = e.open(path);
  ASSERT_NE(d, nullptr) << e.code();
  EXPECT_GE(d->memoFile.handle, 0);
  EXPECT_EQ(d->memoFieldCount, 1);
  EXPECT_EQ(dataField(d, 1)->memo, &d->memoFields[0]);

  writeFile(dir.file("short.dbf"), img.bytes());
  writeFile(dir.file("short.dbt"), Bytes{1, 0});  // next-free number cut short
  EXPECT_EQ(e.open(dir.file("short.dbf")), nullptr);
  EXPECT_EQ(e.code(), errorRead);
}

TEST_F(OpenTest, ExclusiveOpenKeepsOthersOut) {
  writeFile(path, twoFieldImage().bytes());
  e.c.openExclusive = 1;
  DataFile* d = e.open(path);
  ASSERT_NE(d, nullptr) << e.code();
  Engine other;
  EXPECT_EQ(other.open(path), nullptr);
  EXPECT_EQ(other.code(), errorOpen);
  dataClose(d);
  other.clear();
  EXPECT_NE(other.open(path), nullptr) << "released by the close";
}

TEST_F(OpenTest, ReadOnlyOpenRefusesEveryWrite) {
  Bytes bytes = twoFieldImage().bytes();
  writeFile(path, bytes);
  e.c.openReadOnly = 1;
  DataFile* d = e.open(path);
  ASSERT_NE(d, nullptr) << e.code();
  EXPECT_EQ(dataAppendBlank(d), errorParameter);
  e.clear();
  ASSERT_EQ(dataGo(d, 1), 0);
  dataDelete(d);
  EXPECT_EQ(dataGo(d, 2), errorParameter);
  e.clear();
  EXPECT_EQ(dataClose(d), 0);
  EXPECT_EQ(readFile(path), bytes);
}

TEST_F(OpenTest, FileWithoutWritePermissionDoesNotOpenForWriting) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
  writeFile(path, twoFieldImage().bytes());
  chmod(path.c_str(), 0444);
  EXPECT_EQ(e.open(path), nullptr);
  EXPECT_EQ(e.code(), errorOpen);
}

TEST_F(OpenTest, CloseUpdatesTheDateOnlyAfterWrites) {
  Bytes bytes = twoFieldImage().bytes();
  writeFile(path, bytes);
  DataFile* d = e.open(path);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(dataGo(d, 1), 0);
  ASSERT_EQ(dataClose(d), 0);
  EXPECT_EQ(readFile(path), bytes) << "reading changes nothing";

  d = e.open(path);
  ASSERT_EQ(dataGo(d, 2), 0);
  dataDelete(d);
  ASSERT_EQ(dataClose(d), 0);
  // Only the date (bytes 1 to 3) and the deletion flag of record 2 differ; the count
  // is not rewritten by close.
  Bytes expected = bytes;
  todayHeaderDate(&expected[1]);
  expected[97 + 10] = '*';
  EXPECT_EQ(readFile(path), expected);
}

TEST_F(OpenTest, CloseWithPendingUniqueKeyErrorDropsTheRecord) {
  Bytes bytes = twoFieldImage().bytes();
  writeFile(path, bytes);
  DataFile* d = e.open(path);
  ASSERT_EQ(dataGo(d, 1), 0);
  fieldAssignText(dataField(d, 1), "zzzzz", 5);
  engineErrorSet(&e.c, errorUnique);
  EXPECT_EQ(dataClose(d), errorUnique);
  EXPECT_EQ(e.code(), errorUnique);
  EXPECT_EQ(readFile(path), bytes);
}

TEST_F(OpenTest, ReleaseClosesEveryFileAndInitStartsAfresh) {
  writeFile(dir.file("a.dbf"), twoFieldImage().bytes());
  writeFile(dir.file("b.dbf"), twoFieldImage().bytes());
  ASSERT_NE(e.open(dir.file("a.dbf")), nullptr);
  ASSERT_NE(e.open(dir.file("b.dbf")), nullptr);
  EXPECT_EQ(e.c.dataFiles.count, 2);
  EXPECT_EQ(engineRelease(&e.c), 0);
  EXPECT_EQ(e.c.dataFiles.count, 0);
  EXPECT_EQ(e.c.dataPool, nullptr);
  engineInit(&e.c);
  e.c.errQuiet = 1;
  e.c.autoOpen = 0;
  EXPECT_NE(e.open(dir.file("a.dbf")), nullptr);
}

}  // namespace

// Files without fields (shapes without attributes): header 33 or 34 bytes, records
// that are the deletion flag alone.
TEST_F(OpenTest, FieldlessFileOpensAndWalksItsRecords) {
  Image none;
  none.fields = {};
  none.records = {" ", "*", " "};
  for (int variant = 0; variant < 3; ++variant) {
    Bytes bytes = none.bytes();
    if (variant == 1) {  // the byte after the terminator that some writers add
      bytes.insert(bytes.begin() + 33, 0);
      bytes[8] = 34;
    }
    if (variant == 2) bytes[4] = 1;  // a header count behind the records: the
                                     // closing 0x1A is still no record
    writeFile(path, bytes);
    DataFile* d = e.open(path);
    ASSERT_NE(d, nullptr) << e.code();
    EXPECT_EQ(dataFieldCount(d), 0);
    EXPECT_EQ(dataRecordCount(d), 3);
    ASSERT_EQ(dataGo(d, 2), 0);
    EXPECT_TRUE(dataDeleted(d));
    ASSERT_EQ(dataGo(d, 3), 0);
    EXPECT_FALSE(dataDeleted(d));
    EXPECT_EQ(dataClose(d), 0);
    EXPECT_EQ(readFile(path), bytes) << "reading must not change the file";
  }
}
