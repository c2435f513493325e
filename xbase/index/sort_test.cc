#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "xbase/index/index_test_util.h"
#include "xbase/index/sort.h"

namespace {

class SortTest : public EngineTest {
 protected:
  using Item = std::tuple<std::string, int32_t, std::string>;  // key, record, extra

  int tempFiles() {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(scratch_.path()))
      n += e.path().extension() == ".TMP";
    return n;
  }
  // Delivers everything; checks that the end result is 1.
  std::vector<Item> drain(SortSession* s) {
    std::vector<Item> out;
    int32_t recno;
    char *key, *extra;
    int rc;
    while ((rc = sortGet(s, &recno, &key, &extra)) == 0)
      out.emplace_back(std::string(key, 4), recno, std::string(extra, s->extraLength));
    EXPECT_EQ(rc, 1);
    return out;
  }
};

TEST_F(SortTest, InMemoryOrderByKeyThenRecord) {
  SortSession s;
  ASSERT_EQ(sortInit(&s, &c4, 4, 2), 0);
  std::mt19937 rng(7);
  std::vector<Item> expect;
  for (int32_t r = 1; r <= 2000; r++) {
    char key[5];
    snprintf(key, sizeof key, "%04u", static_cast<unsigned>(rng() % 300));  // many equal keys
    std::string extra = {static_cast<char>('a' + r % 26), static_cast<char>('A' + r % 26)};
    // Put in a scrambled record order.
    int32_t recno = (r * 7919) % 2003;
    ASSERT_EQ(sortPut(&s, recno, key, extra.data()), 0);
    expect.emplace_back(key, recno, extra);
  }
  ASSERT_EQ(sortGetInit(&s), 0);
  EXPECT_EQ(s.runs, 0);
  EXPECT_EQ(tempFiles(), 0);  // never touched the disk
  std::sort(expect.begin(), expect.end(), [](const Item& a, const Item& b) {
    return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
  });
  EXPECT_EQ(drain(&s), expect);
}

TEST_F(SortTest, EqualKeysComeBackInRecordOrder) {
  SortSession s;
  ASSERT_EQ(sortInit(&s, &c4, 4, 0), 0);
  ASSERT_EQ(sortPut(&s, 9, "same", nullptr), 0);
  ASSERT_EQ(sortPut(&s, 4, "same", nullptr), 0);
  ASSERT_EQ(sortPut(&s, 6, "aaaa", nullptr), 0);
  ASSERT_EQ(sortGetInit(&s), 0);
  std::vector<Item> got = drain(&s);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(std::get<1>(got[0]), 6);
  EXPECT_EQ(std::get<1>(got[1]), 4);
  EXPECT_EQ(std::get<1>(got[2]), 9);
  // Released: a further call reports the end again without touching anything.
  int32_t recno;
  char *key, *extra;
  EXPECT_EQ(sortGet(&s, &recno, &key, &extra), 1);
}

TEST_F(SortTest, ThreeRunsThroughTheTemporaryFile) {
  SortSession s;
  ASSERT_EQ(sortInit(&s, &c4, 4, 1), 0);
  s.capacity = 3;  // a load of three slots
  const char* keys[] = {"gggg", "bbbb", "eeee", "aaaa", "ffff", "cccc", "dddd"};
  for (int32_t i = 0; i < 7; i++) {
    char extra = static_cast<char>('0' + i);
    ASSERT_EQ(sortPut(&s, 100 - i, keys[i], &extra), 0);
  }
  EXPECT_EQ(s.runs, 2);
  EXPECT_EQ(tempFiles(), 1);
  ASSERT_EQ(sortGetInit(&s), 0);
  EXPECT_EQ(s.runs, 3);
  EXPECT_EQ(s.runBytes, 3 * 9);
  std::string name = s.tempName;
  EXPECT_EQ(std::filesystem::file_size(name), 7u * 9);
  std::vector<Item> got = drain(&s);
  std::string order;
  for (const Item& it : got) order += std::get<0>(it)[0];
  EXPECT_EQ(order, "abcdefg");
  EXPECT_EQ(std::get<2>(got[0]), "3");  // the extra bytes travel with their item
  EXPECT_EQ(std::get<1>(got[6]), 100);
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_EQ(tempFiles(), 0);
}

TEST_F(SortTest, ManyRunsMergeLikeAFullSort) {
  SortSession s;
  ASSERT_EQ(sortInit(&s, &c4, 4, 0), 0);
  s.capacity = 97;
  std::mt19937 rng(11);
  std::vector<Item> expect;
  for (int32_t r = 1; r <= 3000; r++) {
    char key[5];
    snprintf(key, sizeof key, "%04u", static_cast<unsigned>(rng() % 500));
    ASSERT_EQ(sortPut(&s, r, key, nullptr), 0);
    expect.emplace_back(key, r, "");
  }
  ASSERT_EQ(sortGetInit(&s), 0);
  EXPECT_EQ(s.runs, (3000 + 96) / 97);
  std::sort(expect.begin(), expect.end());
  EXPECT_EQ(drain(&s), expect);
  EXPECT_EQ(tempFiles(), 0);
}

TEST_F(SortTest, FreeInTheMiddleRemovesTheTemporaryFile) {
  SortSession s;
  ASSERT_EQ(sortInit(&s, &c4, 4, 0), 0);
  s.capacity = 2;
  for (int32_t r = 1; r <= 5; r++) ASSERT_EQ(sortPut(&s, r, "kkkk", nullptr), 0);
  ASSERT_EQ(sortGetInit(&s), 0);
  int32_t recno;
  char *key, *extra;
  ASSERT_EQ(sortGet(&s, &recno, &key, &extra), 0);
  EXPECT_EQ(recno, 1);
  sortFree(&s);
  EXPECT_EQ(tempFiles(), 0);
}

TEST_F(SortTest, RefusedWhileInError) {
  engineErrorSet(&c4, errorRead);
  SortSession s;
  EXPECT_EQ(sortInit(&s, &c4, 4, 0), -1);
  engineErrorSet(&c4, 0);
}

}  // namespace
