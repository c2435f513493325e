// dbftool's index commands end to end: tags built and kept current through append
// and zap, listed in an order computed here, sought, checked (also when damaged), and
// expressions evaluated.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/dbftool_fixture.h"
#include "tests/e2e_support.h"

namespace {

class DbftoolIndexTest : public DbftoolFixture {
 protected:
  void SetUp() override {
    ASSERT_EQ(tool({"create", "t.dbf", "NAME:C:12", "AMT:N:7:2", "DAY:D"}).exitCode, 0);
  }
  std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
      size_t nl = text.find('\n', at);
      out.push_back(text.substr(at, nl - at));
      at = nl + 1;
    }
    return out;
  }
  // Record numbers of `dbftool list`.
  std::vector<int> listed(const std::string& tag) {
    e2e::RunResult r = tool({"list", "t.dbf", tag});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<int> out;
    for (const std::string& l : lines(r.out)) out.push_back(std::stoi(l));
    return out;
  }

};

struct Rec {
  std::string name;
  double amt;
  std::string day;
};

TEST_F(DbftoolIndexTest, TagsFollowAppendsAndZapInTheirOrder) {
  for (auto [tag, expr, extra] : {std::tuple{"name.ntx", "NAME", ""}, {"amt.ntx", "AMT", ""},
                                  {"day.ntx", "DAY", "--descending"}}) {
    std::vector<std::string> args{"index", "t.dbf", tag, expr, "--group", "t.cgp"};
    if (*extra) args.push_back(extra);
    e2e::RunResult r = tool(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, std::string(tag) + ": 0 keys of " +
                         (std::string(expr) == "NAME" ? "12" : std::string(expr) == "AMT" ? "7" : "8") +
                         " bytes\n");
  }
  EXPECT_EQ(e2e::readFile(dir.path("t.cgp")), "NAME.NTX\r\nAMT.NTX\r\nDAY.NTX\r\n");
  std::mt19937 rng(7);
  std::vector<Rec> recs;
  for (int i = 0; i < 30; ++i) {
    if (i == 20) {
      ASSERT_EQ(tool({"zap", "t.dbf"}).exitCode, 0);
      recs.clear();
    }
    Rec r{"n" + std::to_string(rng() % 9), static_cast<int>(rng() % 2001 - 1000) / 10.0,
          "2020" + std::to_string(10 + rng() % 3) + std::to_string(10 + rng() % 19)};
    char amt[32];
    std::snprintf(amt, sizeof amt, "%.1f", r.amt);
    e2e::RunResult a = tool({"append", "t.dbf", "NAME=" + r.name, std::string("AMT=") + amt, "DAY=" + r.day});
    ASSERT_EQ(a.exitCode, 0) << a.err;
    recs.push_back(r);
    EXPECT_EQ(a.out, std::to_string(recs.size()) + "\n");
  }
  auto orderBy = [&](auto less) {
    std::vector<int> order(recs.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i) + 1;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return less(recs[a - 1], recs[b - 1]); });
    return order;
  };
  EXPECT_EQ(listed("name.ntx"), orderBy([](const Rec& a, const Rec& b) { return a.name < b.name; }));
  EXPECT_EQ(listed("amt.ntx"), orderBy([](const Rec& a, const Rec& b) { return a.amt < b.amt; }));
  std::vector<int> byDay = orderBy([](const Rec& a, const Rec& b) { return a.day < b.day; });
  std::reverse(byDay.begin(), byDay.end());
  EXPECT_EQ(listed("day.ntx"), byDay);
  e2e::RunResult c = tool({"check", "t.dbf", "name.ntx", "amt.ntx", "day.ntx"});
  EXPECT_EQ(c.exitCode, 0) << c.err;
  EXPECT_EQ(c.out, "name.ntx: sound\namt.ntx: sound\nday.ntx: sound\n");
}

TEST_F(DbftoolIndexTest, SeekListAndEvalShowKeys) {
  for (const char* n : {"pear", "apple", "fig"})
    ASSERT_EQ(tool({"append", "t.dbf", std::string("NAME=") + n, "AMT=-2.5", "DAY=20240229"}).exitCode, 0);
  ASSERT_EQ(tool({"index", "t.dbf", "n.ntx", "UPPER(NAME)"}).exitCode, 0);
  EXPECT_EQ(tool({"list", "t.dbf", "n.ntx"}).out, "2\tAPPLE\n3\tFIG\n1\tPEAR\n");
  EXPECT_EQ(tool({"seek", "t.dbf", "n.ntx", "FIG"}).out, "{\"recno\":3,\"key\":\"FIG\",\"exact\":true}\n");
  EXPECT_EQ(tool({"seek", "t.dbf", "n.ntx", "B"}).out, "{\"recno\":3,\"key\":\"FIG\",\"exact\":false}\n");
  e2e::RunResult none = tool({"seek", "t.dbf", "n.ntx", "Z"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(tool({"eval", "t.dbf", "UPPER(NAME)+DTOS(DAY)", "--recno", "2"}).out,
            "{\"type\":\"C\",\"length\":20,\"value\":\"APPLE       20240229\"}\n");
  EXPECT_EQ(tool({"eval", "t.dbf", "AMT*2"}).out, "{\"type\":\"n\",\"length\":8,\"value\":\"-5\"}\n");
  e2e::RunResult bad = tool({"eval", "t.dbf", "NAME+"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("Expression not Complete"), std::string::npos) << bad.err;
  e2e::RunResult badIndex = tool({"index", "t.dbf", "x.ntx", "\"open"});
  EXPECT_EQ(badIndex.exitCode, 1);
  EXPECT_NE(badIndex.err.find("Unterminated String"), std::string::npos) << badIndex.err;
}

TEST_F(DbftoolIndexTest, UniqueRefusalAppendsNothing) {
  ASSERT_EQ(tool({"append", "t.dbf", "NAME=a"}).exitCode, 0);
  ASSERT_EQ(tool({"index", "t.dbf", "u.ntx", "NAME", "--unique", "--group", "t.cgp"}).exitCode, 0);
  // The default handling leaves the equal key out and appends the record.
  ASSERT_EQ(tool({"append", "t.dbf", "NAME=a"}).exitCode, 0);
  EXPECT_EQ(tool({"list", "t.dbf", "u.ntx"}).out, "1\ta\n");
  EXPECT_EQ(tool({"check", "t.dbf", "u.ntx"}).exitCode, 0);
  e2e::RunResult wrong = tool({"append", "t.dbf", "NOPE=1"});
  EXPECT_EQ(wrong.exitCode, 1);
  EXPECT_NE(wrong.err.find("no field named NOPE"), std::string::npos);
  e2e::RunResult info = tool({"info", "--json", "t.dbf"});
  EXPECT_NE(info.out.find("\"recordCount\":2"), std::string::npos) << info.out;
}

TEST_F(DbftoolIndexTest, CheckNamesTheFirstFault) {
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(tool({"append", "t.dbf", "NAME=r" + std::to_string(i)}).exitCode, 0);
  ASSERT_EQ(tool({"index", "t.dbf", "n.ntx", "NAME"}).exitCode, 0);
  ASSERT_EQ(tool({"check", "t.dbf", "n.ntx"}).exitCode, 0);
  // A record appended without the tag open leaves the tag one record short.
  ASSERT_EQ(tool({"append", "t.dbf", "NAME=late"}).exitCode, 0);
  e2e::RunResult missing = tool({"check", "t.dbf", "n.ntx"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("record 6 is missing from the tag"), std::string::npos) << missing.err;
  // A page whose key count is more than a page holds.
  std::string image = e2e::readFile(dir.path("N.NTX"));
  ASSERT_EQ(image.size(), 2048u);  // the header and one root page
  image[1024] = '\x7f';
  e2e::writeFile(dir.path("N.NTX"), image);
  e2e::RunResult damaged = tool({"check", "t.dbf", "n.ntx"});
  EXPECT_EQ(damaged.exitCode, 1);
  EXPECT_NE(damaged.err.find("damaged"), std::string::npos) << damaged.err;
  e2e::RunResult list = tool({"list", "t.dbf", "n.ntx"});
  EXPECT_EQ(list.exitCode, 1);
  // A file that is no tag at all.
  e2e::writeFile(dir.path("N.NTX"), std::string(600, 'x'));
  e2e::RunResult notTag = tool({"check", "t.dbf", "n.ntx"});
  EXPECT_EQ(notTag.exitCode, 1);
  EXPECT_NE(notTag.err.find("Not a Correct Index File"), std::string::npos) << notTag.err;
}

}  // namespace
