// Column set-up, fetch marking and value conversion of the export, against real
// data files made in a temporary directory.
#include "export/export_column.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "export/export_error.h"
#include "export/export_value_check.h"
#include "front/run_settings.h"
#include "tests/scratch_dir.h"
#include "xbase/data/data.h"
#include "xbase/file/conv.h"

namespace {

TEST(ExportLogical, FalseWordsInAnyCaseAndEverythingElseTrue) {
  for (const char* value : {"0", "f", "F", "false", "FALSE", "False", "n", "N", "no", "NO", "No"})
    EXPECT_STREQ(logicalText(value), "F") << value;
  for (const char* value : {"1", "t", "T", "Y", "y", "YES", "TRUE", "true", "2", "x", "NONE",
                            "FALSEHOOD", "00", "a very long value indeed"})
    EXPECT_STREQ(logicalText(value), "T") << value;
  EXPECT_STREQ(logicalText(""), "");
}

// A date field takes exactly the eight-digit texts the engine reads as a date:
// every month and day number (00 to 99) of years around each leap-year rule.
TEST(ExportDateText, EightDigitsAreADateExactlyWhenTheEngineReadsOne) {
  int dates = 0;
  for (int year : {0, 1, 4, 100, 400, 999, 1582, 1900, 1999, 2000, 2023, 2024, 2100, 9996, 9999}) {
    for (int month = 0; month <= 99; ++month) {
      for (int day = 0; day <= 99; ++day) {
        char text[16];
        std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
        const bool engine = dateToJulian(text) > 0;
        ASSERT_EQ(isDateText(text), engine) << text;
        dates += engine;
      }
    }
  }
  // 15 years of 365 days, and the leap days of 0, 4, 400, 2000, 2024 and 9996.
  EXPECT_EQ(dates, 15 * 365 + 6);
  EXPECT_TRUE(isDateText(""));
  EXPECT_TRUE(isDateText("        "));
  for (const char* text : {"2024 229", "2024-2-9", "202402290", "2024022", " 20240229", "+2024022"})
    EXPECT_FALSE(isDateText(text)) << text;
}

TEST(ExportColumnSetup, EachKindGetsItsSelectItemSlotAndDefineType) {
  struct Case {
    uint16_t type;
    uint16_t size;
    const char* select;
    int32_t elementSize;
    uint16_t defineType;
  };
  const Case cases[] = {
      {1, 20, "NAME", 22, 0},          {96, 4, "NAME", 6, 0},
      {9, 7, "NAME", 9, 0},            {2, 22, "TO_CHAR(NAME)", 64, 0},
      {3, 4, "TO_CHAR(NAME)", 64, 0},  {246, 4, "TO_CHAR(NAME)", 64, 0},
      {12, 7, "TO_CHAR(NAME)", 30, 0}, {23, 16, "NAME", 18, 23},
      {15, 5, "NAME", 7, 15},          {1, 65535, "NAME", 65537, 0},
  };
  for (const Case& c : cases) {
    ExportColumn column;
    ASSERT_TRUE(column.configure("NAME", c.type, c.size)) << c.type;
    EXPECT_EQ(column.selectExpr, c.select) << c.type;
    EXPECT_EQ(column.elementSize, c.elementSize) << c.type;
    EXPECT_EQ(column.defineType, c.defineType) << c.type;
    EXPECT_EQ(column.oraType, c.type);
  }
  for (uint16_t type : {8, 100, 101, 112, 113, 187}) {
    ExportColumn column;
    EXPECT_FALSE(column.configure("NAME", type, 10)) << type;
    EXPECT_EQ(column.elementSize, 0);
  }
}

TEST(ExportColumnBuffers, ZeroFilledAndFreedByReset) {
  ExportColumn column;
  ASSERT_TRUE(column.configure("RAWCOL", 23, 4));
  uint64_t budget = 1 << 20;
  std::string error;
  ASSERT_TRUE(column.allocateBuffers(3, budget, "RAWCOL", error)) << error;
  EXPECT_EQ(budget, (1u << 20) - 3 * 6 - 3 * 2 - 3 * 2);
  ASSERT_NE(column.valueBuffer, nullptr);
  ASSERT_NE(column.indicatorArray, nullptr);
  ASSERT_NE(column.lengthArray, nullptr);
  for (int i = 0; i < 3 * 6; ++i) EXPECT_EQ(column.valueBuffer[i], 0);
  column.reset();
  EXPECT_EQ(column.valueBuffer, nullptr);
  EXPECT_EQ(column.lengthArray, nullptr);
  EXPECT_EQ(column.indicatorArray, nullptr);
  EXPECT_EQ(column.dbfFieldNumber, -1);
  EXPECT_EQ(column.elementSize, 0);
  EXPECT_TRUE(column.selectExpr.empty());
  EXPECT_TRUE(column.text(0).empty());
}

TEST(ExportColumnBuffers, BlockBeyondMemoryIsRefusedNotWrapped) {
  // 2147483647 rows of 65537 bytes: about 140 TB, far beyond 32 bits.
  ExportColumn column;
  ASSERT_TRUE(column.configure("BIG", 1, 65535));
  uint64_t budget = uint64_t(1) << 40;
  std::string error;
  EXPECT_FALSE(column.allocateBuffers(2147483647, budget, "BIG", error));
  EXPECT_NE(error.find("Not enough memory for a block of 2147483647 lines of field 'BIG'"),
            std::string::npos)
      << error;
  EXPECT_NE(error.find("(140748225708027 bytes)"), std::string::npos) << error;
  EXPECT_EQ(column.valueBuffer, nullptr);
  column.reset();
}

TEST(ExportColumnMarking, NullsCutValuesAndRawLengths) {
  ExportColumn text;
  ASSERT_TRUE(text.configure("T", 1, 4));  // slots of 6 bytes
  uint64_t budget = 1 << 20;
  std::string error;
  ASSERT_TRUE(text.allocateBuffers(4, budget, "T", error));
  std::memcpy(text.slot(0), "abc\0\0\0", 6);
  std::memcpy(text.slot(1), "stale\0", 6);
  std::memcpy(text.slot(2), "abcdef", 6);  // cut by the server, no terminator
  std::memcpy(text.slot(3), "uvwxyz", 6);
  text.indicatorArray[0] = 0;
  text.indicatorArray[1] = -1;
  text.indicatorArray[2] = 9;
  text.indicatorArray[3] = -2;
  text.markFetched(4);
  EXPECT_EQ(text.text(0), "abc");
  EXPECT_EQ(text.text(1), "");
  EXPECT_EQ(text.text(2), "abcde");
  EXPECT_EQ(text.text(3), "uvwxy");
  EXPECT_TRUE(text.text(4).empty());
  text.clearSlots(4);
  EXPECT_EQ(text.text(0), "");
  EXPECT_EQ(text.text(2), "");

  ExportColumn raw;
  ASSERT_TRUE(raw.configure("R", 23, 3));  // slots of 5 bytes
  ASSERT_TRUE(raw.allocateBuffers(2, budget, "R", error));
  std::memcpy(raw.slot(0), "\x01\x02\x03\x04\x05", 5);
  std::memcpy(raw.slot(1), "\x41\x42\x43\x44\x45", 5);
  raw.indicatorArray[0] = 0;
  raw.lengthArray[0] = 2;
  raw.indicatorArray[1] = 0;
  raw.lengthArray[1] = 3;
  raw.markFetched(2);
  EXPECT_EQ(raw.text(0), "\x01\x02");
  EXPECT_EQ(raw.text(1), "ABC");
}

// A data file with one field of every type the export stores, made fresh for
// each test in its own directory.
class ExportConvert : public ::testing::Test {
 protected:
  void SetUp() override {
    engineInit(&context_);
    context_.errQuiet = 1;
    context_.openExclusive = 1;
    context_.autoOpen = 0;
    const FieldDef fields[] = {
        {"NAME", 'C', 5, 0}, {"QTY", 'N', 10, 2}, {"DAY", 'D', 0, 0},
        {"OK", 'L', 0, 0},   {"NOTE", 'M', 0, 0},
    };
    data_ = dataCreate(&context_, scratch_.path("t.dbf").c_str(), fields, 5);
    ASSERT_NE(data_, nullptr) << engineErrorCode(&context_);
  }
  void TearDown() override {
    engineRelease(&context_);
  }

  // A column holding `value` in slot 0, mapped to dbf field `number`.
  void column(ExportColumn& c, int32_t number, const char* value, int32_t elementSize = 64) {
    c.elementSize = elementSize;
    c.dbfFieldNumber = number;
    c.dbfType = static_cast<char>(fieldType(dataField(data_, number)));
    uint64_t budget = 1 << 20;
    std::string error;
    ASSERT_TRUE(c.allocateBuffers(2, budget, "X", error));
    std::strncpy(c.slot(0), value, static_cast<size_t>(elementSize) - 1);
  }

  std::string field(int32_t number) {
    FieldInfo* f = dataField(data_, number);
    return std::string(fieldPtr(f), static_cast<size_t>(fieldLength(f)));
  }

  ScratchDir scratch_{"export_convert"};
  CODE4 context_{};
  DataFile* data_ = nullptr;
};

TEST_F(ExportConvert, ValuesAreLeftAlignedAndBlankPadded) {
  ASSERT_EQ(dataAppendStart(data_, 0), 0);
  dataBlank(data_);
  ExportColumn name, qty, day, ok;
  column(name, 1, "abcde");  // exactly the field's length
  column(qty, 2, "12.5");
  column(day, 3, "20240131");
  column(ok, 4, "no");
  convertValue(data_, name, 0);
  convertValue(data_, qty, 0);
  convertValue(data_, day, 0);
  convertValue(data_, ok, 0);
  EXPECT_EQ(field(1), "abcde");
  EXPECT_EQ(field(2), "12.5      ");
  EXPECT_EQ(field(3), "20240131");
  EXPECT_EQ(field(4), "F");
  EXPECT_EQ(ok.text(0), "F");  // the converted letter is what a dump shows
  ASSERT_EQ(dataAppend(data_), 0);
  EXPECT_EQ(dataRecordCount(data_), 1);
}

TEST_F(ExportConvert, EmptyValuesLeaveBlanks) {
  ASSERT_EQ(dataAppendStart(data_, 0), 0);
  dataBlank(data_);
  for (int32_t number = 1; number <= 5; ++number) {
    ExportColumn c;
    column(c, number, "");
    convertValue(data_, c, 0);
    EXPECT_EQ(field(number), std::string(static_cast<size_t>(fieldLength(dataField(data_, number))), ' '))
        << number;
  }
}

TEST_F(ExportConvert, LongerThanTheFieldIsRefused) {
  ASSERT_EQ(dataAppendStart(data_, 0), 0);
  dataBlank(data_);
  ExportColumn name;
  column(name, 1, "abcdef");
  try {
    convertValue(data_, name, 0);
    FAIL() << "no error raised";
  } catch (const ExportError& error) {
    EXPECT_STREQ(error.what(), "Data was truncated");
  }
  EXPECT_EQ(field(1), "     ");  // nothing copied
}

TEST_F(ExportConvert, MemoTakesTheWholeValueIntoTheMemoFile) {
  const std::string longText(3000, 'x');
  ExportColumn note;
  column(note, 5, "", 4002);
  for (const std::string& value : {std::string("short"), longText, std::string()}) {
    ASSERT_EQ(dataAppendStart(data_, 0), 0);
    dataBlank(data_);
    std::memcpy(note.slot(0), value.c_str(), value.size() + 1);
    convertValue(data_, note, 0);
    ASSERT_EQ(dataAppend(data_), 0);
  }
  ASSERT_EQ(dataGo(data_, 1), 0);
  EXPECT_STREQ(memoText(dataField(data_, 5)), "short");
  ASSERT_EQ(dataGo(data_, 2), 0);
  EXPECT_EQ(std::string(memoText(dataField(data_, 5))), longText);
  ASSERT_EQ(dataGo(data_, 3), 0);
  EXPECT_STREQ(memoText(dataField(data_, 5)), "");
  EXPECT_EQ(field(5), std::string(10, ' '));
}

TEST_F(ExportConvert, UnknownFieldTypeEndsTheRunWithItsLetter) {
  ASSERT_EQ(dataAppendStart(data_, 0), 0);
  dataBlank(data_);
  ExportColumn picture;
  column(picture, 5, "x");
  picture.dbfType = 'G';
  try {
    convertValue(data_, picture, 0);
    FAIL() << "no error raised";
  } catch (const ExportError& error) {
    EXPECT_STREQ(error.what(), "Unknown type 'G', process aborted");
  }

  ExportColumn missing;
  column(missing, 1, "x");
  missing.dbfFieldNumber = 9;
  EXPECT_THROW(convertValue(data_, missing, 0), ExportError);
}

}  // namespace
