// The record count when a data file's header and length disagree: padding after the
// end mark, records not yet counted, a file cut short; and appends to such files as
// independent readers (python3-dbfread, python3-dbf) then see them.
#include "xbase/data/record_count.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "xbase/data/dbf_image_test_util.h"

using namespace dbftest;

namespace {

// A file of n records " NNN" in one C(3) field, header count n, end mark after them.
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

void setHeaderCount(Bytes& b, uint32_t n) {
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<unsigned char>(n >> (8 * i));
}

std::string run(const std::string& command) {
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return "<no python3>";
  std::string out;
  char buffer[256];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
  if (pclose(p) != 0) out += "<failed>";
  return out;
}

class RecordCountTest : public ::testing::Test {
 protected:
  TempDir dir;
  Engine e;
  std::string path = dir.file("t.dbf");

  RecordCountFacts facts(const Bytes& b) {
    writeFile(path, b);
    DataFile* d = e.open(path);
    EXPECT_NE(d, nullptr) << e.code();
    RecordCountFacts f;
    if (d == nullptr) return f;
    EXPECT_EQ(dataCountFacts(d, &f), 0);
    EXPECT_EQ(dataRecordCount(d), f.count);
    dataClose(d);
    return f;
  }
  bool append(const char* id) {
    DataFile* d = e.open(path);
    if (d == nullptr || dataAppendStart(d, 0) != 0) return false;
    dataBlank(d);
    fieldAssignText(dataField(d, 1), id, 3);
    bool ok = dataAppend(d) == 0;
    return dataClose(d) == 0 && ok;
  }
  // The records as both independent readers list them, one line each.
  std::string independentReaders() {
    return run("/usr/bin/python3 -c \"import dbfread,sys\n"
               "print([r['ID'] for r in dbfread.DBF(sys.argv[1])])\" " + path) +
           run("/usr/bin/python3 -c \"import dbf,sys\n"
               "t = dbf.Table(sys.argv[1]); t.open()\n"
               "print([r.id.strip() for r in t]); t.close()\" " + path);
  }
};

TEST_F(RecordCountTest, PaddingAfterTheEndMarkIsNotCountedAndAppendsGoBeforeIt) {
  Image img = numbered(2);
  Bytes b = img.bytes();
  b.insert(b.end(), 111 * 4 + 2, 0x1A);  // as some writers pad a file to a block
  RecordCountFacts f = facts(b);
  EXPECT_EQ(f.headerCount, 2);
  EXPECT_EQ(f.wholeRecords, 113);
  EXPECT_EQ(f.count, 2);
  // A walk from the top ends after the counted records, not in the padding.
  DataFile* d = e.open(path);
  ASSERT_NE(d, nullptr);
  int walked = 0;
  for (int rc = dataTop(d); rc == 0 && dataEof(d) == 0; rc = dataSkip(d, 1)) ++walked;
  EXPECT_EQ(walked, 2);
  EXPECT_EQ(dataGo(d, 3), errorRead);
  e.clear();
  dataClose(d);

  ASSERT_TRUE(append("new"));
  ASSERT_TRUE(append("nxt"));
  Bytes after = readFile(path);
  EXPECT_EQ(le32(after, 4), 4u);
  EXPECT_EQ(after.size(), b.size());  // written over the padding
  EXPECT_EQ(std::string(after.begin() + img.headerLength(), after.begin() + img.headerLength() + 17),
            " 001 002 new nxt\x1A");
  EXPECT_EQ(facts(after).count, 4);
  EXPECT_EQ(independentReaders(),
            "['001', '002', 'new', 'nxt']\n['001', '002', 'new', 'nxt']\n");

  // A tail of zeros (a file zero-filled to a block, no end mark) is padding too.
  b = numbered(3).bytes();
  b.back() = 0;
  b.insert(b.end(), 40, 0);
  f = facts(b);
  EXPECT_EQ(f.wholeRecords, 13);
  EXPECT_EQ(f.count, 3);

  // Left-over records after the end mark (a writer that emptied the file by rewriting
  // its count and end mark only) stay as invisible as padding.
  b = numbered(5).bytes();
  setHeaderCount(b, 1);
  b[img.headerLength() + 4] = 0x1A;
  f = facts(b);
  EXPECT_EQ(f.wholeRecords, 5);
  EXPECT_EQ(f.count, 1);
}

TEST_F(RecordCountTest, RecordsTheHeaderDoesNotCountYetAndFilesCutShort) {
  // A record written, the header not yet updated (a writer killed between the two
  // writes): the record counts.
  Bytes b = numbered(3).bytes();
  setHeaderCount(b, 2);
  RecordCountFacts f = facts(b);
  EXPECT_EQ(f.headerCount, 2);
  EXPECT_EQ(f.count, 3);
  EXPECT_FALSE(f.partialRecord);

  // The header counts more than the file holds: the whole records, with the end
  // mark after them, or with the start of one more.
  setHeaderCount(b, 1000);
  f = facts(b);
  EXPECT_EQ(f.headerCount, 1000);
  EXPECT_EQ(f.wholeRecords, 3);
  EXPECT_EQ(f.count, 3);
  EXPECT_EQ(f.tailBytes, 1);
  EXPECT_FALSE(f.partialRecord);
  b.back() = ' ';
  b.push_back('0');
  f = facts(b);
  EXPECT_EQ(f.count, 3);
  EXPECT_EQ(f.tailBytes, 2);
  EXPECT_TRUE(f.partialRecord);
  // An append goes after the whole records, over the partial one.
  ASSERT_TRUE(append("new"));
  EXPECT_EQ(facts(readFile(path)).count, 4);
  EXPECT_EQ(le32(readFile(path), 4), 4u);
}

}  // namespace
