// ImportColumn::fill on real records: the text and length a row slot takes from
// character fields of several lengths, for every count of trailing blanks.
#include "import/import_column.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "front/config_reader.h"
#include "ocilite/oci.h"
#include "tests/scratch_dir.h"
#include "xbase/data/data.h"

namespace {

// The value of `length` bytes whose last non-blank byte is number `kept`: a
// leading blank, inner blanks and bytes above 0x7F, as code page 866 text has.
std::string valueKeeping(std::size_t kept) {
  std::string text;
  for (std::size_t i = 0; i < kept; ++i) {
    if (i + 1 == kept) text += (i % 2 ? 'z' : '\xE0');
    else if (i % 5 == 0) text += ' ';
    else text += static_cast<char>(i % 3 ? 'a' + i % 26 : 0xA0 + i % 16);
  }
  return text;
}

class ImportColumnFill : public ::testing::Test {
 protected:
  void SetUp() override {
    engineInit(&context);
    context.autoOpen = 0;
    context.errQuiet = 1;
  }

  void TearDown() override {
    engineRelease(&context);
  }

  ScratchDir scratch{"drift-import-column"};
  const std::string dir = scratch.path();
  CODE4 context;
};

TEST_F(ImportColumnFill, CharacterFieldsLoseTheirTrailingBlanksAndNothingElse) {
  // Lengths around the eight-byte steps of the trim, and the longest field.
  const std::vector<int32_t> widths = {1, 7, 8, 9, 16, 17, 40, 254};
  std::vector<FieldDef> fields;
  std::vector<std::string> names;
  for (std::size_t j = 0; j < widths.size(); ++j) names.push_back("F" + std::to_string(j));
  for (std::size_t j = 0; j < widths.size(); ++j)
    fields.push_back({names[j].c_str(), 'C', widths[j], 0});

  // Record r holds in each field the value keeping min(r, width) bytes, so every
  // field sees every count of trailing blanks; the last records hold zero bytes
  // that only pad the field, and one with data after a zero byte.
  std::vector<std::vector<std::string>> expected;
  const std::string path = dir + "/values.dbf";
  DataFile* data = dataCreate(&context, path.c_str(), fields.data(),
                              static_cast<int32_t>(fields.size()));
  ASSERT_NE(data, nullptr) << engineErrorCode(&context);
  for (int32_t r = 0; r <= 254; ++r) {
    ASSERT_EQ(dataAppendStart(data, 0), 0);
    dataBlank(data);
    expected.emplace_back();
    for (std::size_t j = 0; j < widths.size(); ++j) {
      const std::string value = valueKeeping(std::min<std::size_t>(r, widths[j]));
      std::memcpy(fieldPtrForWrite(dataField(data, static_cast<int32_t>(j + 1))), value.data(),
                  value.size());
      expected.back().push_back(value);
    }
    ASSERT_EQ(dataAppend(data), 0);
  }
  const std::string padded("ab\0\0 \0 \0 ", 9);
  const std::string inside("ab\0c    ", 8);
  for (const std::string& raw : {padded, inside}) {
    ASSERT_EQ(dataAppendStart(data, 0), 0);
    dataBlank(data);
    for (std::size_t j = 0; j < widths.size(); ++j) {
      if (widths[j] < 16) continue;
      std::memcpy(fieldPtrForWrite(dataField(data, static_cast<int32_t>(j + 1))), raw.data(),
                  raw.size());
    }
    ASSERT_EQ(dataAppend(data), 0);
  }
  dataClose(data);

  context.openReadOnly = 1;
  data = dataOpen(&context, path.c_str());
  ASSERT_NE(data, nullptr) << engineErrorCode(&context);
  // A small block, so that slots are filled again over longer and shorter values;
  // a RAW bind, so that the slot's length is kept too.
  constexpr int32_t kBlock = 3;
  std::vector<ImportColumn> columns(widths.size());
  std::vector<FieldMapping> mappings(widths.size());
  uint64_t budget = UINT64_MAX;
  for (std::size_t j = 0; j < widths.size(); ++j) {
    mappings[j].dbfName = names[j];
    ASSERT_TRUE(columns[j].setUp(mappings[j], data, path, kBlock, budget));
    columns[j].setColumn(SQLT_BIN, 2000, kBlock, budget, mappings[j]);
  }

  ASSERT_EQ(dataTop(data), 0);
  for (int32_t r = 0; dataEof(data) == 0; ++r, dataSkip(data, 1)) {
    const int32_t row = r % kBlock;
    for (std::size_t j = 0; j < widths.size(); ++j) {
      ImportColumn& column = columns[j];
      const bool fits = column.fill(data, row);
      std::string want;
      bool wantFits = true;
      if (r < static_cast<int32_t>(expected.size())) {
        want = expected[static_cast<std::size_t>(r)][j];
      } else if (widths[j] >= 16) {
        want = "ab";
        wantFits = r == static_cast<int32_t>(expected.size());  // the padded record
      }
      SCOPED_TRACE("record " + std::to_string(r + 1) + ", field width " +
                   std::to_string(widths[j]));
      EXPECT_EQ(fits, wantFits);
      EXPECT_EQ(column.zeroInside, !wantFits);
      EXPECT_EQ(std::string(column.text(row)), want);
      EXPECT_EQ(column.lengths[row], want.size());
    }
  }
  EXPECT_EQ(dataRecordCount(data), static_cast<int32_t>(expected.size()) + 2);
  dataClose(data);
}

}  // namespace
