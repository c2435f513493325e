// The tag tree driven through the data-file engine and checked against an
// independent model: random appends, rewrites and zaps on a data file with a text tag
// of tiny pages (one to two keys a page, so splits and merges happen all the time), a
// numeric tag, a descending date tag and a tag with a FOR expression.
#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "xbase/index/index_test_util.h"
#include "xbase/index/ntx.h"

namespace {

class NtxModelTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    c4.autoOpen = 1;
    data = create("people", {{"NAME", 'C', 200, 0}, {"CODE", 'C', 8, 0}, {"AMOUNT", 'N', 8, 2},
                             {"DAY", 'D', 0, 0}});
    ASSERT_NE(data, nullptr);
  }

  IndexTag* makeTag(const char* name, const char* expr, const char* filter = nullptr,
                    int unique = 0, int descending = 0, const char* group = "PEOPLE.CGP") {
    TagCreateInfo info{name, expr, filter, unique, descending};
    IndexTag* tag = tagCreate(data, &info, group);
    EXPECT_NE(tag, nullptr) << name << " error " << c4.errorCode;
    return tag;
  }

  // Record numbers in the selected tag's order, through dataTop and dataSkip.
  std::vector<int32_t> order(IndexTag* tag) {
    std::vector<int32_t> got;
    tagSelect(data, tag);
    for (int rc = dataTop(data); rc == 0; rc = dataSkip(data, 1)) got.push_back(dataRecordNumber(data));
    tagSelect(data, nullptr);
    return got;
  }
  // The same backwards, reversed again.
  std::vector<int32_t> orderBackwards(IndexTag* tag) {
    std::vector<int32_t> got;
    tagSelect(data, tag);
    for (int rc = dataBottom(data); rc == 0; rc = dataSkip(data, -1))
      got.insert(got.begin(), dataRecordNumber(data));
    tagSelect(data, nullptr);
    return got;
  }
  void expectSound(IndexTag* tag) {
    char message[300];
    EXPECT_EQ(tagCheck(tag, message, sizeof message), 0) << tag->name << ": " << message;
  }

  DataFile* data = nullptr;
};

struct Row {
  std::string name, code, day;
  double amount;
};

template <typename K>
std::vector<int32_t> modelOrder(const std::multimap<K, int32_t>& m, bool descending) {
  std::vector<int32_t> out;
  for (const auto& [k, r] : m) out.push_back(r);
  if (descending) std::reverse(out.begin(), out.end());
  return out;
}

TEST_F(NtxModelTest, RandomAppendsRewritesAndZapsFollowTheModel) {
  IndexTag* byName = makeTag("BYNAME", "NAME");
  IndexTag* byAmount = makeTag("BYAMOUNT", "AMOUNT");
  IndexTag* byDay = makeTag("BYDAY", "DAY", nullptr, 0, 1);
  IndexTag* positive = makeTag("POSCODE", "CODE", "AMOUNT > 0");
  ASSERT_TRUE(byName && byAmount && byDay && positive);
  EXPECT_EQ(byName->maxKeys, 2);

  std::mt19937 rng(20261207);
  std::vector<Row> rows(1);  // rows[recno]
  std::multimap<std::string, int32_t> mName, mDay, mPos;
  std::multimap<double, int32_t> mAmount;
  auto randomRow = [&]() {
    Row r;
    r.name = "K" + std::to_string(rng() % 300);
    r.code = "C" + std::to_string(rng() % 50);
    r.amount = static_cast<int>(rng() % 20001 - 10000) / 100.0;
    char day[9];
    std::snprintf(day, sizeof day, "20%02u%02u%02u", static_cast<unsigned>(rng() % 30),
                  static_cast<unsigned>(rng() % 12 + 1), static_cast<unsigned>(rng() % 28 + 1));
    r.day = day;
    return r;
  };
  auto pad = [](std::string s, size_t n) { s.resize(n, ' '); return s; };
  auto put = [&](const Row& r) {
    fieldAssignText(dataFieldByName(data, "NAME"), r.name.data(), static_cast<int32_t>(r.name.size()));
    fieldAssignText(dataFieldByName(data, "CODE"), r.code.data(), static_cast<int32_t>(r.code.size()));
    fieldAssignDouble(dataFieldByName(data, "AMOUNT"), r.amount);
    fieldAssignText(dataFieldByName(data, "DAY"), r.day.data(), 8);
  };
  auto eraseEntry = [](auto& m, const auto& key, int32_t recno) {
    auto [lo, hi] = m.equal_range(key);
    for (auto it = lo; it != hi; ++it)
      if (it->second == recno) { m.erase(it); return; }
    ADD_FAILURE() << "model lost record " << recno;
  };
  auto addModel = [&](const Row& r, int32_t recno) {
    mName.emplace(pad(r.name, 200), recno);
    mAmount.emplace(r.amount, recno);
    mDay.emplace(r.day, recno);
    if (r.amount > 0) mPos.emplace(pad(r.code, 8), recno);
  };
  auto rebuildModel = [&]() {
    mName.clear(); mAmount.clear(); mDay.clear(); mPos.clear();
    for (int32_t n = 1; n < static_cast<int32_t>(rows.size()); ++n) addModel(rows[static_cast<size_t>(n)], n);
  };

  const int kOps = 20000;
  for (int op = 0; op < kOps; ++op) {
    unsigned pick = rng() % 1000;
    int32_t count = static_cast<int32_t>(rows.size()) - 1;
    if (pick < 600 || count == 0) {
      Row r = randomRow();
      ASSERT_EQ(dataAppendStart(data, 0), 0);
      dataBlank(data);
      put(r);
      ASSERT_EQ(dataAppend(data), 0) << "op " << op;
      rows.push_back(r);
      addModel(r, count + 1);
    } else if (pick < 999) {
      int32_t n = static_cast<int32_t>(rng() % count) + 1;
      ASSERT_EQ(dataGo(data, n), 0);
      Row old = rows[static_cast<size_t>(n)];
      Row r = randomRow();
      if (rng() % 3 == 0) r.day = old.day;  // some rewrites keep a key as it was
      if (rng() % 3 == 0) r.name = old.name;
      if (rng() % 3 == 0) r.code = old.code;
      put(r);
      ASSERT_EQ(dataFlushRecord(data, 0), 0) << "op " << op;
      rows[static_cast<size_t>(n)] = r;
      // A key that did not change keeps its place; a changed one goes after its equals.
      auto move = [&](auto& m, const auto& oldKey, const auto& newKey, bool wasIn, bool isIn) {
        if (wasIn == isIn && (!isIn || oldKey == newKey)) return;
        if (wasIn) eraseEntry(m, oldKey, n);
        if (isIn) m.emplace(newKey, n);
      };
      move(mName, pad(old.name, 200), pad(r.name, 200), true, true);
      move(mAmount, old.amount, r.amount, true, true);
      move(mDay, old.day, r.day, true, true);
      move(mPos, pad(old.code, 8), pad(r.code, 8), old.amount > 0, r.amount > 0);
    } else {
      int32_t first = static_cast<int32_t>(rng() % count) + 1;
      int32_t last = first + static_cast<int32_t>(rng() % 5);
      ASSERT_EQ(dataZap(data, first, last), 0);
      if (last > count) last = count;
      rows.erase(rows.begin() + first, rows.begin() + last + 1);
      rebuildModel();
    }
  }
  expectSound(byName);
  expectSound(byAmount);
  expectSound(byDay);
  expectSound(positive);
  EXPECT_EQ(order(byName), modelOrder(mName, false));
  EXPECT_EQ(order(byAmount), modelOrder(mAmount, false));
  EXPECT_EQ(order(byDay), modelOrder(mDay, true));
  EXPECT_EQ(order(positive), modelOrder(mPos, false));
  EXPECT_EQ(orderBackwards(byName), modelOrder(mName, false));
  EXPECT_EQ(orderBackwards(byDay), modelOrder(mDay, true));
}

}  // namespace
