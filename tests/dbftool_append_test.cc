// dbftool append with numbers the field cannot hold: refused with a message naming the
// field, nothing appended, instead of a record whose value became asterisks; a negative
// value that rounds to zero is stored, and keyed, as zero.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/dbftool_fixture.h"
#include "tests/e2e_support.h"

namespace {

class DbftoolAppendTest : public DbftoolFixture {
 protected:
  void SetUp() override {
    ASSERT_EQ(tool({"create", "t.dbf", "AMT:N:8:2", "QTY:N:3"}).exitCode, 0);
  }
};

TEST_F(DbftoolAppendTest, NumberThatDoesNotFitIsRefusedAndNothingAppended) {
  ASSERT_EQ(tool({"index", "t.dbf", "amt.ntx", "AMT", "--group", "t.cgp"}).exitCode, 0);
  e2e::RunResult ok = tool({"append", "t.dbf", "AMT=12345.67", "QTY=-99"});
  ASSERT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_EQ(ok.out, "1\n");
  for (std::vector<std::string> bad : {std::vector<std::string>{"AMT=123456"},  // 9 wide
                                       {"AMT=1", "QTY=1000"},
                                       {"QTY=-100"},  // no room for the sign
                                       {"AMT=1e300"},
                                       {"AMT=nan"},
                                       {"QTY=inf"}}) {
    std::vector<std::string> args{"append", "t.dbf"};
    args.insert(args.end(), bad.begin(), bad.end());
    e2e::RunResult r = tool(args);
    EXPECT_EQ(r.exitCode, 1) << bad.back();
    EXPECT_EQ(r.out, "") << bad.back();
    EXPECT_NE(r.err.find("dbftool: t.dbf: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(bad.back().substr(0, 3)), std::string::npos) << r.err;
  }
  e2e::RunResult dump = tool({"dump", "--json", "t.dbf"});
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_EQ(dump.out, "{\"recno\":1,\"deleted\":false,\"values\":[\"12345.67\",\"-99\"]}\n");
  e2e::RunResult check = tool({"check", "t.dbf", "amt.ntx"});
  EXPECT_EQ(check.exitCode, 0) << check.err;
}

TEST_F(DbftoolAppendTest, NegativeValueRoundingToZeroIsStoredAndKeyedAsZero) {
  ASSERT_EQ(tool({"index", "t.dbf", "amt.ntx", "AMT", "--unique", "--group", "t.cgp"}).exitCode, 0);
  for (const char* v : {"AMT=-0.001", "AMT=0", "AMT=-0.01"})
    ASSERT_EQ(tool({"append", "t.dbf", v}).exitCode, 0) << v;
  e2e::RunResult dump = tool({"dump", "t.dbf"});
  EXPECT_EQ(dump.out, "AMT,QTY\r\n    0.00,\r\n    0.00,\r\n   -0.01,\r\n");
  // One key for both zeros in the unique tag: record 1, after the negative one.
  e2e::RunResult list = tool({"list", "t.dbf", "amt.ntx"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  ASSERT_EQ(list.out.substr(0, 2), "3\t");
  EXPECT_EQ(list.out.substr(list.out.find('\n') + 1), "1\t00000.00\n");
}

}  // namespace
