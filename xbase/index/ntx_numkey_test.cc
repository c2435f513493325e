// Numeric keys of zero written in its other forms: a blank numeric field and a negative
// zero ("-0.00", or a computed value that rounds to zero) must key as zero, so that a
// tag lists them with the zeros and a unique tag keeps one of them.
#include <cstring>
#include <string>
#include <vector>

#include "xbase/data/field.h"
#include "xbase/index/index_test_util.h"
#include "xbase/index/ntx.h"
#include "xbase/index/ntx_internal.h"

namespace {

class NumericKeyTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    data = create("amounts", {{"AMT", 'N', 8, 2}, {"QTY", 'N', 4, 0}});
    ASSERT_NE(data, nullptr);
  }
  // Appends one record holding exactly these field texts.
  void appendRaw(const char* amt, const char* qty) {
    ASSERT_EQ(dataAppendStart(data, 0), 0);
    dataBlank(data);
    std::memcpy(fieldPtrForWrite(dataFieldByName(data, "AMT")), amt, 8);
    std::memcpy(fieldPtrForWrite(dataFieldByName(data, "QTY")), qty, 4);
    ASSERT_EQ(dataAppend(data), 0);
  }
  IndexTag* makeTag(const char* name, const char* expr, int unique = 0) {
    TagCreateInfo info{name, expr, nullptr, unique, 0};
    return tagCreate(data, &info, nullptr);
  }
  std::vector<std::string> keys(IndexTag* tag) {
    std::vector<std::string> out;
    for (int rc = tagFirst(tag); rc == 0; rc = tagNext(tag))
      out.emplace_back(reinterpret_cast<const char*>(tagCurrentKey(tag)),
                       static_cast<size_t>(tag->keySize));
    return out;
  }

  DataFile* data = nullptr;
};

TEST_F(NumericKeyTest, BlankAndNegativeZeroFieldsKeyAsZero) {
  appendRaw("    1.00", "   1");  // 1
  appendRaw("    0.99", "  -1");  // 2
  appendRaw("        ", "    ");  // 3 blank
  appendRaw("   -0.00", "  -0");  // 4 negative zero
  appendRaw("    0.00", "   0");  // 5
  appendRaw("   -0.01", "  -2");  // 6
  IndexTag* amt = makeTag("A", "AMT");
  ASSERT_NE(amt, nullptr);
  EXPECT_EQ(tagRecnos(amt), (std::vector<int32_t>{6, 3, 4, 5, 2, 1}));
  std::vector<std::string> k = keys(amt);
  EXPECT_EQ(k[1], "00000.00");
  EXPECT_EQ(k[2], "00000.00");
  EXPECT_EQ(k[3], "00000.00");
  IndexTag* qty = makeTag("Q", "QTY");
  ASSERT_NE(qty, nullptr);
  EXPECT_EQ(tagRecnos(qty), (std::vector<int32_t>{6, 2, 3, 4, 5, 1}));
  EXPECT_EQ(keys(qty)[2], "0000");

  // A unique tag keeps one record for all the zeros, and seeking 0 finds it.
  IndexTag* unique = makeTag("U", "AMT", 1);
  ASSERT_NE(unique, nullptr);
  EXPECT_EQ(tagRecnos(unique), (std::vector<int32_t>{6, 3, 2, 1}));
  uint8_t key[8];
  ASSERT_EQ(tagKeyFromText(unique, "-0", key), 8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key), 8), "00000.00");
  char message[300];
  for (IndexTag* t : {amt, qty, unique})
    EXPECT_EQ(tagCheck(t, message, sizeof message), 0) << message;
}

TEST_F(NumericKeyTest, ComputedValueRoundingToZeroKeysAsZero) {
  appendRaw("   -0.01", "   1");  // AMT / 10 = -0.001: zero at two decimals
  appendRaw("    0.00", "   1");
  appendRaw("   -0.10", "   1");  // -0.01 stays negative
  IndexTag* tag = makeTag("C", "AMT / 10");
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->keyType, 'n');
  EXPECT_EQ(tagRecnos(tag), (std::vector<int32_t>{3, 1, 2}));
  std::vector<std::string> k = keys(tag);
  EXPECT_EQ(k[1], k[2]);
  EXPECT_NE(k[0], k[1]);
}

// Numbers written left-aligned or short of the field's decimals (as exdrift writes
// them) key as their values, beside right-aligned ones whose keys stay as they were.
TEST_F(NumericKeyTest, LeftAlignedNumbersKeyAsTheirValues) {
  appendRaw("10      ", "7   ");  // 1
  appendRaw("   -5.50", "  -3");  // 2
  appendRaw("2.5     ", "-12 ");  // 3
  appendRaw("    9.00", "   9");  // 4
  appendRaw(".5      ", "0   ");  // 5
  appendRaw("-.25    ", "10  ");  // 6
  appendRaw("1.234   ", "x1  ");  // 7: more decimals than the field, kept as written
  IndexTag* amt = makeTag("A", "AMT");
  ASSERT_NE(amt, nullptr);
  EXPECT_EQ(tagRecnos(amt), (std::vector<int32_t>{2, 6, 5, 3, 4, 1, 7}));
  EXPECT_EQ(keys(amt)[4], "00009.00");
  IndexTag* qty = makeTag("Q", "QTY");
  ASSERT_NE(qty, nullptr);
  EXPECT_EQ(tagRecnos(qty), (std::vector<int32_t>{3, 2, 5, 1, 4, 6, 7}));
  uint8_t key[8];
  ASSERT_EQ(tagKeyFromText(amt, "2.5", key), 8);
  ASSERT_EQ(tagSeek(amt, key, 8), 0);
  EXPECT_EQ(tagCurrentRecno(amt), 3);
  char message[300];
  for (IndexTag* t : {amt, qty}) EXPECT_EQ(tagCheck(t, message, sizeof message), 0) << message;
}

}  // namespace
