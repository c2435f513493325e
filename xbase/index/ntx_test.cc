// Tags: group files in both layouts, header and page damage, key conversions, seek,
// unique handling codes of appends and rewrites, FOR tags, the rollback of a refused
// append, building through a sort that spills, and two processes sharing a tag file.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "xbase/index/index_test_util.h"
#include "xbase/index/ntx.h"
#include "xbase/index/ntx_internal.h"

namespace {

class NtxTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    data = create("items", {{"NAME", 'C', 10, 0}, {"QTY", 'N', 3, 0}, {"PRICE", 'N', 8, 2},
                            {"DAY", 'D', 0, 0}, {"LONGNAME", 'C', 200, 0}});
    ASSERT_NE(data, nullptr);
  }
  IndexTag* makeTag(const char* name, const char* expr, const char* filter = nullptr,
                    int unique = 0, int descending = 0, const char* group = nullptr) {
    TagCreateInfo info{name, expr, filter, unique, descending};
    return tagCreate(data, &info, group);
  }
  // Record numbers in ascending key order, read straight from the tree.
  std::vector<int32_t> entries(IndexTag* tag) {
    std::vector<int32_t> out;
    for (int rc = tagFirst(tag); rc == 0; rc = tagNext(tag)) out.push_back(tagCurrentRecno(tag));
    return out;
  }
  std::string check(IndexTag* tag) {
    char message[300];
    return tagCheck(tag, message, sizeof message) == 0 ? "" : message;
  }
  // Closes the data file (and its tags) and opens it again without the group file.
  void reopen() {
    dataClose(data);
    c4.autoOpen = 0;
    data = dataOpen(&c4, "items");
    ASSERT_NE(data, nullptr);
  }
  void patch(const std::string& file, long offset, const std::vector<uint8_t>& bytes) {
    std::string image = slurp(file);
    ASSERT_LE(offset + bytes.size(), image.size());
    std::memcpy(image.data() + offset, bytes.data(), bytes.size());
    spit(file, image);
  }
  void addNames(int n) {
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(append(data, {"NAME=N" + std::to_string(i % 7), "QTY=" + std::to_string(i),
                              "LONGNAME=L" + std::to_string(1000 + i)}), 0);
  }

  DataFile* data = nullptr;
};

TEST_F(NtxTest, CountedGroupFileOpensExactlyItsTags) {
  addNames(3);
  ASSERT_NE(makeTag("A", "NAME"), nullptr);
  ASSERT_NE(makeTag("B", "QTY"), nullptr);
  ASSERT_NE(makeTag("C", "PRICE"), nullptr);
  reopen();
  std::string group("\x02\x00", 2);
  for (const char* n : {"A.NTX", "B"}) {
    uint8_t len[4];
    ntx::put32(len, static_cast<uint32_t>(std::strlen(n)));
    group.append(reinterpret_cast<char*>(len), 4);
    group += n;
  }
  spit("items.cgp", group);
  IndexFile* index = i4open(data, nullptr);
  ASSERT_NE(index, nullptr) << c4.errorCode;
  EXPECT_EQ(index->tags.count, 2);
  EXPECT_NE(tagFind(data, "A"), nullptr);
  EXPECT_NE(tagFind(data, "B"), nullptr);
  EXPECT_EQ(tagFind(data, "C"), nullptr);
  EXPECT_STREQ(index->name, "ITEMS");
  // A name that runs past the end of the file is refused.
  i4close(index);
  spit("items.cgp", std::string("\x01\x00\x20\x00\x00\x00" "A.NTX", 11));
  EXPECT_EQ(i4open(data, nullptr), nullptr);
  EXPECT_EQ(c4.errorCode, errorInfo);
}

TEST_F(NtxTest, TextGroupFileTakesTagsFromItsDirectory) {
  addNames(4);
  std::filesystem::create_directory("sub");
  ASSERT_NE(makeTag("sub/ONE", "NAME", nullptr, 0, 0, "sub/set.cgp"), nullptr) << c4.errorCode;
  ASSERT_NE(makeTag("sub/TWO", "QTY", nullptr, 0, 0, "sub/set.cgp"), nullptr) << c4.errorCode;
  EXPECT_EQ(slurp("sub/set.cgp"), "ONE.NTX\r\nTWO.NTX\r\n");
  // A tag outside the group's directory is refused.
  EXPECT_EQ(makeTag("THREE", "QTY", nullptr, 0, 0, "sub/set.cgp"), nullptr);
  engineErrorSet(&c4, 0);
  reopen();
  spit("sub/set.cgp", "ONE\n\n  TWO.NTX\x1a");
  IndexFile* index = i4open(data, "sub/set");
  ASSERT_NE(index, nullptr) << c4.errorCode;
  EXPECT_EQ(index->tags.count, 2);
  IndexTag* one = tagFind(data, "ONE");
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(entries(one).size(), 4u);
  // The NTX name alone opens that one tag without a group.
  i4close(index);
  IndexFile* single = i4open(data, "sub/TWO.NTX");
  ASSERT_NE(single, nullptr);
  EXPECT_EQ(single->tags.count, 1);
  EXPECT_STREQ(single->name, "TWO");
  EXPECT_EQ(data->indexes.count, 1);
}

TEST_F(NtxTest, MissingGroupFileLeavesDataFileWithoutIndexButBrokenOneFailsOpen) {
  addNames(2);
  reopen();
  c4.autoOpen = 1;
  dataClose(data);
  data = dataOpen(&c4, "items");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->indexes.count, 0);
  dataClose(data);
  spit("items.cgp", "NOSUCH.NTX\r\n");
  data = dataOpen(&c4, "items");
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(c4.errorCode, errorOpen);
}

TEST_F(NtxTest, DamagedHeadersAreRefused) {
  addNames(2);
  ASSERT_NE(makeTag("T", "NAME"), nullptr);
  reopen();
  std::string good = slurp("T.NTX");
  struct Case {
    long offset;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {ntx::kKeySize, {0x53, 0x01}},   // key size 339
      {ntx::kMaxKeys, {7, 0}},         // max keys not twice half
      {ntx::kSignature, {7, 0}},       // signature 7
      {ntx::kHalf, {0, 0}},            // half 0
      {ntx::kItemSize, {9, 0}},        // item size not key size + 8
  };
  for (const Case& k : cases) {
    spit("T.NTX", good);
    patch("T.NTX", k.offset, k.bytes);
    EXPECT_EQ(t4open(data, nullptr, "T"), nullptr) << k.offset;
    EXPECT_EQ(c4.errorCode, errorIndex) << k.offset;
    engineErrorSet(&c4, 0);
  }
  // Max keys and half that agree but do not fit a page.
  spit("T.NTX", good);
  patch("T.NTX", ntx::kMaxKeys, {200, 0, 100, 0});
  EXPECT_EQ(t4open(data, nullptr, "T"), nullptr);
  EXPECT_EQ(c4.errorCode, errorIndex);
  engineErrorSet(&c4, 0);
  // A file too short to hold a header.
  spit("T.NTX", good.substr(0, 100));
  EXPECT_EQ(t4open(data, nullptr, "T"), nullptr);
  EXPECT_EQ(c4.errorCode, errorIndex);
  engineErrorSet(&c4, 0);
  // A numeric FOR expression.
  spit("T.NTX", good);
  patch("T.NTX", ntx::kForExpr, {'Q', 'T', 'Y'});
  EXPECT_EQ(t4open(data, nullptr, "T"), nullptr);
  EXPECT_EQ(c4.errorCode, errorIndex);
  engineErrorSet(&c4, 0);
  // A key expression naming no field.
  spit("T.NTX", good);
  patch("T.NTX", ntx::kKeyExpr, {'N', 'O', 'P', 'E'});
  EXPECT_EQ(t4open(data, nullptr, "T"), nullptr);
  EXPECT_EQ(c4.errorCode, errorFieldName);
  engineErrorSet(&c4, 0);
  // A logical key.
  spit("T.NTX", good);
  patch("T.NTX", ntx::kKeyExpr, {'.', 'T', '.', ' '});
  EXPECT_EQ(t4open(data, nullptr, "T"), nullptr);
  EXPECT_EQ(c4.errorCode, errorInfo);
  engineErrorSet(&c4, 0);
}

TEST_F(NtxTest, DamagedPagesAreFoundNeverFollowed) {
  addNames(40);
  IndexTag* tag = makeTag("T", "LONGNAME");  // two keys a page: several levels
  ASSERT_NE(tag, nullptr);
  ASSERT_EQ(check(tag), "");
  reopen();
  std::string good = slurp("T.NTX");
  uint32_t root = ntx::get32(reinterpret_cast<const uint8_t*>(good.data()) + ntx::kRoot);
  auto expectDamaged = [&](const char* what) {
    IndexTag* t = t4open(data, nullptr, "T");
    ASSERT_NE(t, nullptr) << what;
    int rc = tagFirst(t);
    while (rc == 0) rc = tagNext(t);
    EXPECT_EQ(rc, errorIndex) << what;
    EXPECT_NE(check(t), "") << what;
    i4close(t->index);
    engineErrorSet(&c4, 0);
  };
  // Root offset past the end of the file, and back into the header.
  spit("T.NTX", good);
  patch("T.NTX", ntx::kRoot, {0, 0, 0x10, 0});
  expectDamaged("root past end");
  spit("T.NTX", good);
  patch("T.NTX", ntx::kRoot, {0x10, 0, 0, 0});
  expectDamaged("root in header");
  // A key count larger than a page holds.
  spit("T.NTX", good);
  patch("T.NTX", root, {9, 0});
  expectDamaged("count");
  // An item offset pointing outside the page.
  spit("T.NTX", good);
  patch("T.NTX", root + 2, {0xF0, 0x03});
  expectDamaged("item offset");
  // The root's first child pointing back at the root: a cycle.
  spit("T.NTX", good);
  {
    std::string image = slurp("T.NTX");
    const uint8_t* page = reinterpret_cast<const uint8_t*>(image.data()) + root;
    uint16_t slot = ntx::get16(page + 2);
    uint8_t self[4];
    ntx::put32(self, root);
    patch("T.NTX", root + slot, {self[0], self[1], self[2], self[3]});
  }
  expectDamaged("cycle");
  // A leaf key raised above the key that leads to it.
  spit("T.NTX", good);
  {
    IndexTag* t = t4open(data, nullptr, "T");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(tagFirst(t), 0);
    int64_t leaf = t->path[t->depth - 1]->offset;
    i4close(t->index);
    std::string image = slurp("T.NTX");
    uint8_t* page = reinterpret_cast<uint8_t*>(image.data()) + leaf;
    page[ntx::get16(page + 2) + 8] = 'z';
    spit("T.NTX", image);
  }
  expectDamaged("order");
}

// A page whose free item overlaps one in use (its offset a byte past the other's,
// distinct but not apart) is damaged: read as sound, the next insert would write
// its key over the key in use.
TEST_F(NtxTest, APageWhoseItemsOverlapIsDamaged) {
  addNames(3);
  IndexTag* tag = makeTag("T", "NAME");  // one leaf page: three keys, many free items
  ASSERT_NE(tag, nullptr);
  reopen();
  std::string image = slurp("T.NTX");
  const auto* header = reinterpret_cast<const uint8_t*>(image.data());
  const uint32_t root = ntx::get32(header + ntx::kRoot);
  const int32_t maxKeys = ntx::get16(header + ntx::kMaxKeys);
  ASSERT_GT(maxKeys, 4);
  const uint16_t used = ntx::get16(header + root + 2);  // the item of the first key
  uint8_t overlapping[2];
  ntx::put16(overlapping, static_cast<uint32_t>(used + 1));
  patch("T.NTX", root + 2 + 2 * maxKeys, {overlapping[0], overlapping[1]});  // the last, free

  IndexTag* t = t4open(data, nullptr, "T");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(tagFirst(t), errorIndex);
  EXPECT_NE(check(t), "");
  engineErrorSet(&c4, 0);
  // An append through it is refused and leaves the page as it was.
  const std::string page = slurp("T.NTX").substr(root, kNtxPageSize);
  EXPECT_NE(append(data, {"NAME=A"}), 0);
  engineErrorSet(&c4, 0);
  i4close(t->index);
  EXPECT_EQ(slurp("T.NTX").substr(root, kNtxPageSize), page);
}

// A computed date beyond the 32-bit day numbers is no date: its key is blank, as
// DTOS gives it, never a day the number wrapped to.
TEST_F(NtxTest, AComputedDateKeyPastTheCalendarIsBlank) {
  ASSERT_EQ(append(data, {"DAY=20200101"}), 0);
  IndexTag* tag = makeTag("D", "DAY+3000000000");
  ASSERT_NE(tag, nullptr);
  ASSERT_EQ(tagFirst(tag), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(tagCurrentKey(tag)), 8), "        ");
  EXPECT_EQ(check(tag), "");
}

TEST_F(NtxTest, NumericKeysSortNegativesFirst) {
  for (const char* q : {"5", "-5", "0", "-12", "7", "-1"})
    ASSERT_EQ(append(data, {std::string("QTY=") + q}), 0);
  IndexTag* tag = makeTag("Q", "QTY");
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->keySize, 3);
  ASSERT_EQ(tagSeek(tag, reinterpret_cast<const uint8_t*>(""), 0), 0);
  const uint8_t expect[3] = {92 - '0', 92 - '1', 92 - '2'};  // -12 comes first
  EXPECT_EQ(std::memcmp(tagCurrentKey(tag), expect, 3), 0);
  EXPECT_EQ(entries(tag), (std::vector<int32_t>{4, 2, 6, 3, 1, 5}));
  uint8_t key[3];
  ASSERT_EQ(tagKeyFromText(tag, "-5", key), 3);
  const uint8_t minusFive[3] = {92 - '0', 92 - '0', 92 - '5'};
  EXPECT_EQ(std::memcmp(key, minusFive, 3), 0);
  // Computed numbers: key size from the setting, two decimals, negatives inverted.
  IndexTag* computed = makeTag("QC", "QTY * 2");
  ASSERT_NE(computed, nullptr);
  EXPECT_EQ(computed->keySize, 17);
  EXPECT_EQ(computed->keyType, 'n');
  EXPECT_EQ(entries(computed), (std::vector<int32_t>{4, 2, 6, 3, 1, 5}));
  ASSERT_EQ(tagLast(computed), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(tagCurrentKey(computed)), 17),
            "00000000000014.00");
}

TEST_F(NtxTest, SeekFindsPresentAbsentFirstAndLast) {
  for (const char* n : {"pear", "apple", "fig", "plum", "fig"})
    ASSERT_EQ(append(data, {std::string("NAME=") + n}), 0);
  IndexTag* tag = makeTag("N", "NAME");
  ASSERT_NE(tag, nullptr);
  auto seek = [&](const char* text) -> std::pair<int, int32_t> {
    uint8_t key[10];
    int32_t len = tagKeyFromText(tag, text, key);
    int rc = tagSeek(tag, key, len);
    return {rc, rc == 0 ? tagCurrentRecno(tag) : 0};
  };
  EXPECT_EQ(seek("fig"), std::make_pair(0, 3));    // present: the first of the equal keys
  EXPECT_EQ(seek("b"), std::make_pair(0, 3));      // absent: the next key
  EXPECT_EQ(seek("a"), std::make_pair(0, 2));      // before the first
  EXPECT_EQ(seek("plum"), std::make_pair(0, 4));   // the last
  EXPECT_EQ(seek("q"), std::make_pair(static_cast<int>(resultAtEnd), 0));
  EXPECT_EQ(seek("pe"), std::make_pair(0, 1));     // a prefix
}

TEST_F(NtxTest, UniqueTagsFollowTheirHandlingCode) {
  addNames(3);  // N0 N1 N2
  IndexTag* other = makeTag("QTY", "QTY");
  IndexTag* unique = makeTag("U", "NAME", nullptr, 1);
  ASSERT_TRUE(other && unique);
  EXPECT_EQ(unique->uniqueCode, resultUniqueSkip);
  // 25: the key is left out and the append goes on.
  ASSERT_EQ(append(data, {"NAME=N1", "QTY=50"}), 0);
  EXPECT_EQ(dataRecordCount(data), 4);
  EXPECT_EQ(entries(unique), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(entries(other).size(), 4u);
  // 20: the append is refused and the other tag's key is taken out again.
  unique->uniqueCode = resultUniqueKey;
  EXPECT_EQ(append(data, {"NAME=N2", "QTY=60"}), resultUniqueKey);
  EXPECT_EQ(dataRecordCount(data), 4);
  EXPECT_EQ(entries(other).size(), 4u);
  EXPECT_EQ(check(other), "");
  EXPECT_EQ(c4.errorCode, 0);
  // -340: an error naming the group.
  unique->uniqueCode = errorUnique;
  EXPECT_LT(append(data, {"NAME=N0", "QTY=70"}), 0);
  EXPECT_EQ(c4.errorCode, errorUnique);
  engineErrorSet(&c4, 0);
  EXPECT_EQ(dataRecordCount(data), 4);
  EXPECT_EQ(entries(other).size(), 4u);
  // A new key is still taken.
  ASSERT_EQ(append(data, {"NAME=N9", "QTY=80"}), 0);
  EXPECT_EQ(entries(unique), (std::vector<int32_t>{1, 2, 3, 5}));
  EXPECT_EQ(check(unique), "");
  // Building a unique tag keeps the first record of each key.
  IndexTag* rebuilt = makeTag("U2", "NAME", nullptr, 1);
  ASSERT_NE(rebuilt, nullptr);
  EXPECT_EQ(entries(rebuilt), (std::vector<int32_t>{1, 2, 3, 5}));
}

TEST_F(NtxTest, UniqueTagsRefuseARewriteAsTheyRefuseAnAppend) {
  addNames(3);  // N0 N1 N2
  IndexTag* other = makeTag("QTY", "QTY");
  IndexTag* unique = makeTag("U", "NAME", nullptr, 1);
  ASSERT_TRUE(other && unique);
  auto rewrite = [&](const char* name, int qty = 99) {
    EXPECT_EQ(dataGo(data, 2), 0);
    fieldAssignText(dataFieldByName(data, "NAME"), name, static_cast<int32_t>(strlen(name)));
    fieldAssignDouble(dataFieldByName(data, "QTY"), qty);
    int rc = dataFlush(data);
    // What a refused change leaves in the record buffer is dropped.
    engineErrorSet(&c4, 0);
    dataChanged(data, 0);
    EXPECT_EQ(dataGo(data, 2), 0);
    return rc;
  };
  auto unchanged = [&]() {
    EXPECT_EQ(std::string(fieldPtr(dataFieldByName(data, "NAME")), 2), "N1");
    EXPECT_EQ(entries(unique), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(entries(other), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(check(other), "");
    EXPECT_EQ(check(unique), "");
  };
  // 20 and -340: record 2 taking N0 is refused, in the record and in both tags.
  unique->uniqueCode = resultUniqueKey;
  EXPECT_EQ(rewrite("N0"), resultUniqueKey);
  unchanged();
  unique->uniqueCode = errorUnique;
  EXPECT_EQ(rewrite("N0"), errorUnique);
  unchanged();
  // A key nobody holds is taken.
  EXPECT_EQ(rewrite("N7"), 0);
  EXPECT_EQ(entries(unique), (std::vector<int32_t>{1, 3, 2}));
  EXPECT_EQ(entries(other), (std::vector<int32_t>{1, 3, 2}));
  // 25: the record is written and the unique tag leaves it out.
  unique->uniqueCode = resultUniqueSkip;
  EXPECT_EQ(rewrite("N0"), 0);
  EXPECT_EQ(std::string(fieldPtr(dataFieldByName(data, "NAME")), 2), "N0");
  EXPECT_EQ(entries(unique), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(check(unique), "");
  EXPECT_EQ(check(other), "");
  // A record a unique tag left out can still leave the tag's FOR condition.
  IndexTag* some = makeTag("SOME", "NAME", "QTY < 100", 1);
  ASSERT_NE(some, nullptr);
  EXPECT_EQ(entries(some), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(rewrite("N0", 150), 0);
  EXPECT_EQ(fieldLong(dataFieldByName(data, "QTY")), 150);
  EXPECT_EQ(check(some), "");
  EXPECT_EQ(check(other), "");
}

TEST_F(NtxTest, ForTagHoldsOnlyMatchingRecords) {
  for (int i = 1; i <= 10; ++i)
    ASSERT_EQ(append(data, {"NAME=R" + std::to_string(10 - i), "QTY=" + std::to_string(i)}), 0);
  IndexTag* tag = makeTag("F", "NAME", "QTY > 6");
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(entries(tag), (std::vector<int32_t>{10, 9, 8, 7}));
  // A rewrite that moves a record into and out of the FOR range.
  ASSERT_EQ(dataGo(data, 2), 0);
  fieldAssignDouble(dataFieldByName(data, "QTY"), 99);
  ASSERT_EQ(dataGo(data, 9), 0);
  fieldAssignDouble(dataFieldByName(data, "QTY"), 1);
  ASSERT_EQ(dataGo(data, 1), 0);
  EXPECT_EQ(entries(tag), (std::vector<int32_t>{10, 8, 7, 2}));
  EXPECT_EQ(check(tag), "");
  // The tag order through the data file, forwards and back.
  tagSelect(data, tag);
  std::vector<int32_t> seen;
  for (int rc = dataTop(data); rc == 0; rc = dataSkip(data, 1)) seen.push_back(dataRecordNumber(data));
  EXPECT_EQ(seen, (std::vector<int32_t>{10, 8, 7, 2}));
  EXPECT_TRUE(dataEof(data));
  ASSERT_EQ(dataGo(data, 8), 0);
  EXPECT_EQ(dataSkip(data, -5), resultAtBeginning);
  EXPECT_EQ(dataRecordNumber(data), 10);
  EXPECT_TRUE(dataBof(data));
  // From a record the tag leaves out, a skip goes to the neighbouring key.
  ASSERT_EQ(dataGo(data, 4), 0);  // R6, QTY 4
  ASSERT_EQ(dataSkip(data, 1), 0);
  EXPECT_EQ(dataRecordNumber(data), 2);  // R8
  tagSelect(data, nullptr);
}

TEST_F(NtxTest, DescendingTagReadsBackwards) {
  for (const char* d : {"20200105", "20191231", "20210101", "20200105"})
    ASSERT_EQ(append(data, {std::string("DAY=") + d}), 0);
  IndexTag* tag = makeTag("D", "DAY", nullptr, 0, 1);
  ASSERT_NE(tag, nullptr);
  tagSelect(data, tag);
  std::vector<int32_t> seen;
  for (int rc = dataTop(data); rc == 0; rc = dataSkip(data, 1)) seen.push_back(dataRecordNumber(data));
  EXPECT_EQ(seen, (std::vector<int32_t>{3, 4, 1, 2}));
  ASSERT_EQ(dataBottom(data), 0);
  EXPECT_EQ(dataRecordNumber(data), 2);
  EXPECT_EQ(dataSkip(data, -1), 0);
  EXPECT_EQ(dataRecordNumber(data), 1);
  // An empty tag: top is at the end with both flags set.
  ASSERT_EQ(dataZap(data, 1, kZapThroughLast), 0);
  EXPECT_EQ(dataTop(data), resultAtEnd);
  EXPECT_TRUE(dataBof(data));
  EXPECT_TRUE(dataEof(data));
  tagSelect(data, nullptr);
  EXPECT_EQ(check(tag), "");
}

TEST_F(NtxTest, BuildThroughASortThatSpills) {
  c4.sortBlockSize = 2048;  // a few dozen items per load: many runs in the temporary file
  const int n = 3000;
  for (int i = 0; i < n; ++i)
    ASSERT_EQ(append(data, {"NAME=" + std::to_string((i * 7919) % 1009), "QTY=" + std::to_string(i % 100)}), 0);
  IndexTag* tag = makeTag("BIG", "NAME");
  ASSERT_NE(tag, nullptr) << c4.errorCode;
  EXPECT_EQ(check(tag), "");
  std::vector<int32_t> got = entries(tag);
  std::vector<int32_t> expect(n);
  for (int i = 0; i < n; ++i) expect[i] = i + 1;
  auto keyOf = [](int32_t r) {
    std::string s = std::to_string(((r - 1) * 7919) % 1009);
    s.resize(10, ' ');
    return s;
  };
  std::stable_sort(expect.begin(), expect.end(),
                   [&](int32_t a, int32_t b) { return keyOf(a) < keyOf(b); });
  EXPECT_EQ(got, expect);
  for (const auto& e : std::filesystem::directory_iterator("."))
    EXPECT_NE(e.path().extension(), ".TMP") << "temporary file left: " << e.path();
}

TEST_F(NtxTest, TwoProcessesShareATagFile) {
  ASSERT_NE(makeTag("N", "LONGNAME", nullptr, 0, 0, "items.cgp"), nullptr);
  dataClose(data);
  data = nullptr;
  const int kAppends = 150;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    CODE4 own;
    engineInit(&own);
    own.errQuiet = 1;
    DataFile* d = dataOpen(&own, "items");
    int bad = d == nullptr || d->indexes.count != 1;
    for (int i = 0; !bad && i < kAppends; ++i) {
      if (dataAppendStart(d, 0) != 0) bad = 1;
      dataBlank(d);
      std::string v = "V" + std::to_string((i * 37) % 1000);
      fieldAssignText(dataFieldByName(d, "LONGNAME"), v.data(), static_cast<int32_t>(v.size()));
      if (dataAppend(d) != 0) bad = 1;
      if (dataGo(d, 1) != 0) bad = 1;  // a move releases the index locks
    }
    if (d) dataClose(d);
    engineRelease(&own);
    _exit(bad);
  }
  // Meanwhile this process reads the tag under its lock; every pass sees a sound,
  // ordered tree of some prefix of the appends.
  c4.autoOpen = 1;
  data = dataOpen(&c4, "items");
  ASSERT_NE(data, nullptr);
  IndexTag* tag = tagFind(data, "N");
  ASSERT_NE(tag, nullptr);
  int passes = 0;
  size_t lastSeen = 0;
  bool done = false;
  while (!done) {
    int status = 0;
    done = waitpid(child, &status, WNOHANG) == child;
    if (done) {
      EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    ASSERT_EQ(indexLock(tag->index), 0);
    std::vector<int32_t> got = entries(tag);
    indexUnlock(tag->index);
    EXPECT_GE(got.size(), lastSeen);  // stale pages were dropped, never reused
    lastSeen = got.size();
    ++passes;
    usleep(3000);  // leave the writer room between passes
  }
  EXPECT_EQ(lastSeen, static_cast<size_t>(kAppends));
  EXPECT_EQ(check(tag), "");
  EXPECT_GT(passes, 0);
}


TEST_F(NtxTest, RemovingEveryKeyShrinksTheTreeAndVersionCountsChanges) {
  const int n = 300;
  for (int i = 0; i < n; ++i)
    ASSERT_EQ(append(data, {"LONGNAME=K" + std::to_string((i * 131) % 97), "QTY=1"}), 0);
  IndexTag* tag = makeTag("F", "LONGNAME", "QTY > 0");  // two keys a page
  ASSERT_NE(tag, nullptr);
  ASSERT_EQ(check(tag), "");
  auto version = [&]() {
    std::string head = slurp("F.NTX").substr(0, 8);
    return ntx::get16(reinterpret_cast<const uint8_t*>(head.data()) + ntx::kVersion);
  };
  uint16_t before = version();
  // Records leave the tag one by one, in a scattered order.
  std::vector<int32_t> order(n);
  for (int i = 0; i < n; ++i) order[i] = i + 1;
  std::mt19937 rng(3);
  std::shuffle(order.begin(), order.end(), rng);
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(dataGo(data, order[i]), 0);
    fieldAssignDouble(dataFieldByName(data, "QTY"), 0);
    ASSERT_EQ(dataFlushRecord(data, 0), 0);
    if (i % 37 == 0 || i > n - 5) {
      ASSERT_EQ(check(tag), "") << "after " << i + 1;
    }
  }
  EXPECT_EQ(version(), static_cast<uint16_t>(before + n));  // one change each
  EXPECT_EQ(tagFirst(tag), resultAtEnd);
  EXPECT_EQ(tag->root, tag->path[0]->offset);
  EXPECT_EQ(ntx::pageCount(tag->path[0]), 0);
  // And they come back.
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(dataGo(data, order[i]), 0);
    fieldAssignDouble(dataFieldByName(data, "QTY"), 2);
  }
  ASSERT_EQ(dataGo(data, 1), 0);
  EXPECT_EQ(check(tag), "");
  EXPECT_EQ(entries(tag).size(), static_cast<size_t>(n));
}

TEST_F(NtxTest, SeekAgreesWithASortedModel) {
  std::mt19937 rng(5);
  std::vector<std::pair<std::string, int32_t>> model;
  for (int i = 1; i <= 800; ++i) {
    std::string v = "S" + std::to_string(rng() % 400);
    ASSERT_EQ(append(data, {"LONGNAME=" + v}), 0);
    v.resize(200, ' ');
    model.emplace_back(v, i);
  }
  IndexTag* tag = makeTag("S", "LONGNAME");
  ASSERT_NE(tag, nullptr);
  std::stable_sort(model.begin(), model.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (int probe = 0; probe < 600; ++probe) {
    std::string v = "S" + std::to_string(rng() % 450);
    std::vector<uint8_t> key(200);
    int32_t len = tagKeyFromText(tag, v.c_str(), key.data());
    int rc = tagSeek(tag, key.data(), len);
    auto it = std::lower_bound(model.begin(), model.end(), v,
                               [&](const auto& e, const std::string& x) { return e.first.compare(0, x.size(), x) < 0; });
    if (it == model.end()) {
      EXPECT_EQ(rc, resultAtEnd) << v;
    } else {
      ASSERT_EQ(rc, 0) << v;
      EXPECT_EQ(tagCurrentRecno(tag), it->second) << v;
      // Stepping on from there gives the model's next entries.
      for (int k = 1; k < 4 && it + k != model.end(); ++k) {
        ASSERT_EQ(tagNext(tag), 0);
        EXPECT_EQ(tagCurrentRecno(tag), (it + k)->second);
      }
    }
  }
}


TEST_F(NtxTest, SkipsOfSeveralKeysBothWaysInBothOrders) {
  const int n = 40;
  for (int i = 0; i < n; ++i)
    ASSERT_EQ(append(data, {"NAME=" + std::to_string(100 + (i * 17) % n)}), 0);
  for (int descending : {0, 1}) {
    IndexTag* tag = makeTag(descending ? "D" : "A", "NAME", nullptr, 0, descending);
    ASSERT_NE(tag, nullptr);
    std::vector<int32_t> order = entries(tag);
    if (descending) std::reverse(order.begin(), order.end());
    tagSelect(data, tag);
    std::mt19937 rng(descending + 1);
    int at = 0;
    ASSERT_EQ(dataTop(data), 0);
    for (int step = 0; step < 200; ++step) {
      int by = static_cast<int>(rng() % 11) - 5;
      int rc = dataSkip(data, by);
      int want = at + by;
      if (want >= n) {
        EXPECT_EQ(rc, resultAtEnd);
        EXPECT_TRUE(dataEof(data));
        ASSERT_EQ(dataSkip(data, -1), 0);  // from the end back onto the last key
        at = n - 1;
      } else if (want < 0) {
        EXPECT_EQ(rc, resultAtBeginning);
        EXPECT_TRUE(dataBof(data));
        at = 0;
      } else {
        EXPECT_EQ(rc, 0);
        at = want;
      }
      ASSERT_EQ(dataRecordNumber(data), order[at]) << "step " << step << " by " << by;
    }
    tagSelect(data, nullptr);
  }
}

}  // namespace
