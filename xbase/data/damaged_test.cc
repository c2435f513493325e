// Damaged files: a good data file and memo file with bytes overwritten at random
// (a fixed seed, so every run sees the same files) are opened, walked and read
// through every field and memo.  Each must end in a result or an engine error code,
// never a crash or a read outside a buffer (run under the sanitizers to see those),
// and a read-only walk must leave both files exactly as they were.
#include <gtest/gtest.h>

#include <random>

#include "xbase/data/data_create.h"
#include "xbase/data/dbf_image_test_util.h"

using namespace dbftest;

namespace {

class DamagedTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.file("good.dbf");
  std::string memoPath = dir.file("good.dbt");

  // Five records with short and long memos, written by the engine.
  void SetUp() override {
    Engine e;
    FieldDef defs[] = {{"NAME", 'C', 12, 0}, {"QTY", 'N', 7, 2}, {"BORN", 'D', 0, 0},
                       {"OK", 'L', 0, 0},    {"NOTE", 'M', 0, 0}};
    DataFile* d = dataCreate(&e.c, path.c_str(), defs, 5);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 5; ++i) {
      ASSERT_EQ(dataAppendStart(d, 0), 0);
      dataBlank(d);
      fieldAssignText(dataField(d, 1), "name", 4);
      fieldAssignDouble(dataField(d, 2), i * 1.5);
      fieldAssignLong(dataField(d, 3), 2451298 + i);
      std::string memo(300 * i, static_cast<char>('a' + i));
      ASSERT_EQ(memoAssign(dataField(d, 5), memo.data(), static_cast<int32_t>(memo.size())), 0);
      ASSERT_EQ(dataAppend(d), 0);
    }
    ASSERT_EQ(dataClose(d), 0);
  }

  // Opens read-only and reads everything; returns a short account of what happened.
  static std::string walk(const std::string& name) {
    Engine e;
    e.c.openReadOnly = 1;
    e.c.lockTries = 1;
    DataFile* d = e.open(name);
    if (d == nullptr) return "refused " + std::to_string(e.code());
    int32_t count = dataRecordCount(d);
    for (int32_t n = 1; n <= count && n <= 50; ++n) {
      if (dataGo(d, n) != 0) break;
      for (int32_t j = 1; j <= dataFieldCount(d); ++j) {
        FieldInfo* f = dataField(d, j);
        fieldText(f);
        fieldLong(f);
        fieldDouble(f);
        if (memoLength(f) < 0 || memoText(f) == nullptr) e.clear();
      }
    }
    for (int rc = dataTop(d); rc == 0; rc = dataSkip(d, 1)) {
    }
    e.clear();
    return "opened";
  }
};

TEST_F(DamagedTest, RandomDamageEndsInResultsOrErrorsAndChangesNothing) {
  const Bytes good = readFile(path), goodMemo = readFile(memoPath);
  ASSERT_EQ(walk(path), "opened");
  std::mt19937 random(20261207);
  int refused = 0;
  constexpr int kRounds = 300;
  for (int round = 0; round < kRounds; ++round) {
    Bytes b = good, m = goodMemo;
    int hits = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < hits; ++k) {
      // Mostly the header and descriptors, sometimes records or the memo file.
      switch (random() % 4) {
        case 0:
        case 1:
          b[random() % 200] = static_cast<unsigned char>(random());
          break;
        case 2:
          b[random() % b.size()] = static_cast<unsigned char>(random());
          break;
        default:
          m[random() % m.size()] = static_cast<unsigned char>(random());
      }
    }
    if (random() % 8 == 0) b.resize(random() % b.size());
    if (random() % 8 == 0) m.resize(random() % m.size());
    writeFile(path, b);
    writeFile(memoPath, m);
    if (walk(path) != "opened") ++refused;
    ASSERT_EQ(readFile(path), b) << "round " << round;
    ASSERT_EQ(readFile(memoPath), m) << "round " << round;
  }
  // The damage is real: some files must have been refused, some still opened.
  EXPECT_GT(refused, 0);
  EXPECT_LT(refused, kRounds);
}

}  // namespace
