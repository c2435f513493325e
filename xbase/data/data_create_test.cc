// dataCreate: exact bytes of new files, the memo file, refused definitions, and files
// that already exist.
#include "xbase/data/data_create.h"

#include <gtest/gtest.h>

#include <ctime>

#include "xbase/data/dbf_image_test_util.h"
#include "xbase/file/os_fault.h"

using namespace dbftest;

namespace {

class CreateTest : public ::testing::Test {
 protected:
  TempDir dir;
  Engine e;

  DataFile* create(const std::string& name, std::vector<FieldDef> defs) {
    return dataCreate(&e.c, dir.file(name).c_str(), defs.data(),
                      static_cast<int32_t>(defs.size()));
  }
  bool exists(const std::string& name) { return access(dir.file(name).c_str(), F_OK) == 0; }
};

TEST_F(CreateTest, EmptyFileHasTheExactLayout) {
  DataFile* d = create("one.dbf", {{"date", 'd', 0, 0}});
  ASSERT_NE(d, nullptr) << e.code();
  EXPECT_EQ(dataRecordCount(d), 0);
  ASSERT_EQ(dataClose(d), 0);
  Bytes b = readFile(dir.file("one.dbf"));
  // 32 header bytes, one descriptor, 0x0D, 0x1A.
  ASSERT_EQ(b.size(), 66u);
  EXPECT_EQ(b[0], 0x03);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(b[1], local.tm_year);
  EXPECT_EQ(b[2], local.tm_mon + 1);
  EXPECT_EQ(b[3], local.tm_mday);
  EXPECT_EQ(le32(b, 4), 0u);
  EXPECT_EQ(le16(b, 8), 65);
  EXPECT_EQ(le16(b, 10), 9);
  EXPECT_EQ(std::string(b.begin() + 32, b.begin() + 43), std::string("DATE\0\0\0\0\0\0\0", 11));
  EXPECT_EQ(b[43], 'D');
  EXPECT_EQ(le32(b, 44), 1u);  // the field's offset in the record
  EXPECT_EQ(b[48], 8);
  EXPECT_EQ(b[49], 0);
  EXPECT_EQ(b[64], 0x0D);
  EXPECT_EQ(b[65], 0x1A);
  EXPECT_FALSE(exists("one.dbt"));
}

TEST_F(CreateTest, AppendingToACreatedFileGivesTheExpectedSizes) {
  // A date field of one record: 66 + 9 bytes; a field of width w: 66 + 1 + w... for
  // each record.
  DataFile* d = create("one.dbf", {{"D", 'D', 8, 0}});
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(dataAppendBlank(d), 0);
  ASSERT_EQ(dataClose(d), 0);
  Bytes b = readFile(dir.file("one.dbf"));
  EXPECT_EQ(b.size(), 66u + 9);
  EXPECT_EQ(le32(b, 4), 1u);
  EXPECT_EQ(b.back(), 0x1A);
}

TEST_F(CreateTest, MemoFieldMakesVersion83AndAnEmptyMemoFile) {
  DataFile* d = create("m.dbf", {{"NAME", 'C', 10, 0}, {"NOTE", 'M', 0, 0}, {"N", 'N', 6, 2},
                                 {"F", 'F', 12, 4}, {"L", 'L', 0, 0}, {"WIDE", 'C', 254, 0}});
  ASSERT_NE(d, nullptr) << e.code();
  EXPECT_GE(d->memoFile.handle, 0);
  EXPECT_EQ(d->recordLength, 1 + 10 + 10 + 6 + 12 + 1 + 254);
  EXPECT_EQ(dataField(d, 4)->type, 'F');
  EXPECT_EQ(fieldDecimals(dataField(d, 4)), 4);
  ASSERT_EQ(dataClose(d), 0);
  Bytes b = readFile(dir.file("m.dbf"));
  EXPECT_EQ(b[0], 0x83);
  EXPECT_EQ(b.size(), 32u + 6 * 32 + 2);
  Bytes m = readFile(dir.file("m.dbt"));
  ASSERT_EQ(m.size(), 512u);
  EXPECT_EQ(le32(m, 0), 1u);

  // Without an extension the name gets ".dbf".
  d = create("plain", {{"A", 'C', 1, 0}});
  ASSERT_NE(d, nullptr);
  dataClose(d);
  EXPECT_TRUE(exists("plain.dbf"));
}

TEST_F(CreateTest, BadDefinitionsAreRefusedBeforeAnythingIsCreated) {
  struct Case {
    std::vector<FieldDef> defs;
    int32_t code;
  } cases[] = {
      {{{"A", 'X', 5, 0}}, errorFieldType},
      {{{"A", 'C', 0, 0}}, errorParameter},
      {{{"A", 'C', 255, 0}}, errorParameter},
      {{{"A", 'N', 21, 0}}, errorParameter},
      {{{"A", 'N', 5, 4}}, errorParameter},    // no room for a digit and the point
      {{{"A", 'C', 5, 2}}, errorParameter},    // decimals only for N and F
      {{{"A", 'D', 9, 0}}, errorParameter},
      {{{"A", 'L', 2, 0}}, errorParameter},
      {{{"A", 'M', 4, 0}}, errorParameter},
      {{{"", 'C', 5, 0}}, errorParameter},
      {{{"ELEVENCHARS", 'C', 5, 0}}, errorParameter},
      {{{"1ST", 'C', 5, 0}}, errorParameter},
      {{{"A B", 'C', 5, 0}}, errorParameter},
      {{{"NAME", 'C', 5, 0}, {"name", 'N', 5, 0}}, errorParameter},  // used twice
      {{}, errorParameter},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(create("bad.dbf", c.defs), nullptr);
    EXPECT_EQ(e.code(), c.code) << (c.defs.empty() ? "none" : c.defs[0].name);
    e.clear();
    EXPECT_FALSE(exists("bad.dbf"));
    EXPECT_FALSE(exists("bad.dbt"));
  }
  // 300 fields of 254 bytes: the record length no longer fits 16 bits.
  std::vector<std::string> names;
  std::vector<FieldDef> many;
  for (int i = 0; i < 300; ++i) names.push_back("F" + std::to_string(i));
  for (int i = 0; i < 300; ++i) many.push_back({names[i].c_str(), 'C', 254, 0});
  EXPECT_EQ(create("big.dbf", many), nullptr);
  EXPECT_EQ(e.code(), errorRecordLength);
  EXPECT_FALSE(exists("big.dbf"));

  int32_t index = -1;
  FieldDef twice[] = {{"OK", 'C', 1, 0}, {"A", 'C', 1, 0}, {"A", 'N', 2, 0}};
  EXPECT_NE(fieldDefProblem(twice, 3, &index), nullptr);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(fieldDefProblem(twice, 2, &index), nullptr);
}

TEST_F(CreateTest, ExistingFilesAreNeverOverwritten) {
  writeFile(dir.file("taken.dbf"), Bytes{1, 2, 3});
  EXPECT_EQ(create("taken.dbf", {{"A", 'C', 1, 0}}), nullptr);
  EXPECT_EQ(e.code(), errorCreate);
  e.clear();
  EXPECT_EQ(readFile(dir.file("taken.dbf")), (Bytes{1, 2, 3}));

  // A memo file in the way: the data file is not made either.
  writeFile(dir.file("memo.dbt"), Bytes{9});
  EXPECT_EQ(create("memo.dbf", {{"N", 'M', 0, 0}}), nullptr);
  e.clear();
  EXPECT_FALSE(exists("memo.dbf"));
  EXPECT_EQ(readFile(dir.file("memo.dbt")), Bytes{9});

  // The data file in the way of a memo table: the new memo file is removed again.
  writeFile(dir.file("both.dbf"), Bytes{7});
  EXPECT_EQ(create("both.dbf", {{"N", 'M', 0, 0}}), nullptr);
  e.clear();
  EXPECT_FALSE(exists("both.dbt"));
  EXPECT_EQ(readFile(dir.file("both.dbf")), Bytes{7});
}

TEST_F(CreateTest, ANameTooLongToOpenIsRefusedBeforeAnythingIsWritten) {
  // 254 characters plus ".dbf" is more than an open takes (257).
  std::string base(254 - dir.file("").size(), 'n');
  EXPECT_EQ(create(base, {{"A", 'C', 1, 0}}), nullptr);
  EXPECT_EQ(e.code(), errorCreate);
  e.clear();
  EXPECT_FALSE(exists(base + ".dbf"));
  // One character less is exactly 257 with the extension: that fits.
  base.pop_back();
  DataFile* d = create(base, {{"A", 'C', 1, 0}});
  ASSERT_NE(d, nullptr) << e.code();
  dataClose(d);
  EXPECT_TRUE(exists(base + ".dbf"));
}

TEST_F(CreateTest, AFailedWriteLeavesNoHalfMadeFile) {
  {
    OsFaultScope faults;
    faults->failNth(OsCall::write, 1, ENOSPC);
    EXPECT_EQ(create("full.dbf", {{"A", 'C', 3, 0}}), nullptr);
  }
  EXPECT_EQ(e.code(), errorWrite);
  EXPECT_FALSE(exists("full.dbf"));
}

}  // namespace
