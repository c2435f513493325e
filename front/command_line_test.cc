// What parseCommandLine stores; the texts it prints are checked end to end
// in tests/front_cli_test.cc.
#include "front/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "front/front_test_support.h"

namespace {

class CommandLine : public FrontTest {
 protected:
  // Parses "prog" + args; a password is always given so no prompt comes.
  bool parse(std::vector<std::string> args, ProgramKind kind = ProgramKind::Export) {
    runSettings = RunSettings{};
    runSettings.program = kind;
    args.insert(args.begin(), "prog");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return parseCommandLine(static_cast<int>(args.size()), argv.data());
  }
};

TEST_F(CommandLine, DefaultsAndValuesKeepTheirCase) {
  ASSERT_TRUE(parse({"-u:Scott", "-P:Tiger", "-F:My.cfg"}));
  EXPECT_EQ(runSettings.user, "Scott");
  EXPECT_EQ(runSettings.password, "Tiger");
  EXPECT_TRUE(runSettings.passwordGiven);
  EXPECT_EQ(runSettings.configFile, "My.cfg");
  EXPECT_EQ(runSettings.blockSize, 10000);
  EXPECT_FALSE(runSettings.compact);
  EXPECT_TRUE(runSettings.sectionFilter.empty());
}

TEST_F(CommandLine, EveryOptionLandsInItsField) {
  ASSERT_TRUE(parse({"R:rep.txt", "/S:orcl", "\\U:u", "-P:", "-T:Orders", "-F:c", "-W:a = 1",
                     "-O:b desc", "-D:data/x", "-N:+7", "-C", "-L:x y"}));
  EXPECT_EQ(runSettings.reportFile, "rep.txt");
  EXPECT_EQ(runSettings.service, "orcl");
  EXPECT_EQ(runSettings.password, "");
  EXPECT_TRUE(runSettings.passwordGiven);
  EXPECT_EQ(runSettings.tableName, "Orders");
  EXPECT_EQ(runSettings.whereClause, "a = 1");
  EXPECT_EQ(runSettings.orderByClause, "b desc");
  EXPECT_EQ(runSettings.dbfPath, "data/x");
  EXPECT_EQ(runSettings.blockSize, 7);
  EXPECT_TRUE(runSettings.compact);
  EXPECT_EQ(runSettings.sectionFilter, std::vector<std::string>{"X Y"});
}

TEST_F(CommandLine, RepeatedOptionsOverwriteExceptSectionLists) {
  ASSERT_TRUE(parse({"-U:a", "-U:b", "-T:one", "-T:", "-P:p", "-F:c", "-L:a,b,", "-L:Mixed_9"}));
  EXPECT_EQ(runSettings.user, "b");
  EXPECT_EQ(runSettings.tableName, "one");  // the empty -T: changed nothing
  EXPECT_EQ(runSettings.sectionFilter, (std::vector<std::string>{"A", "B", "MIXED_9"}));
  EXPECT_TRUE(isSectionSelected("MIXED_9"));
  EXPECT_FALSE(isSectionSelected("mixed_9"));
  EXPECT_FALSE(isSectionSelected("C"));
  runSettings.sectionFilter.clear();
  EXPECT_TRUE(isSectionSelected("ANYTHING"));
}

TEST_F(CommandLine, FailuresAreRefused) {
  EXPECT_FALSE(parse({"-U:u", "-P:p", "-F:c", "-N:0"}));
  EXPECT_FALSE(parse({"-U:u", "-P:p", "-F:c", "-W:x"}, ProgramKind::Import));
  EXPECT_FALSE(parse({"-U:u", "-P:p", "-F:c", "-L:a,,b"}));
  EXPECT_FALSE(parse({"-U:u", "-P:p"}));
}

TEST_F(CommandLine, DbfPathFromFirstLineOfAFile) {
  writeFile("p1.txt", "data\\orders.dbf\r\nignored\n");
  ASSERT_TRUE(parse({"-U:u", "-P:p", "-F:c", "-D:@" + path("p1.txt")}));
  EXPECT_EQ(runSettings.dbfPath, "data\\orders.dbf");
  writeFile("p2.txt", "no line feed");
  ASSERT_TRUE(parse({"-U:u", "-P:p", "-F:c", "-D:@" + path("p2.txt")}));
  EXPECT_EQ(runSettings.dbfPath, "no line feed");
  writeFile("p3.txt", std::string(254, 'p') + "\n");
  ASSERT_TRUE(parse({"-U:u", "-P:p", "-F:c", "-D:@" + path("p3.txt")}));
  EXPECT_EQ(runSettings.dbfPath, std::string(254, 'p'));
  writeFile("p4.txt", std::string(255, 'p') + "\n");
  EXPECT_FALSE(parse({"-U:u", "-P:p", "-F:c", "-D:@" + path("p4.txt")}));
  // A directory is no file to read the path from.
  output();
  EXPECT_FALSE(parse({"-U:u", "-P:p", "-F:c", "-D:@" + path("")}));
  EXPECT_EQ(output(), "Error opening file '" + path("") + "'.\n");
  // A later -D: replaces the path from the file.
  ASSERT_TRUE(parse({"-U:u", "-P:p", "-F:c", "-D:@" + path("p1.txt"), "-D:other"}));
  EXPECT_EQ(runSettings.dbfPath, "other");
}

TEST_F(CommandLine, BlockSizeTakesTheLeadingNumber) {
  const std::pair<std::string, int> cases[] = {
      {"25rows", 25}, {"1", 1}, {"+3x", 3}, {"2147483647", 2147483647}, {"007", 7}};
  for (const auto& [text, expected] : cases) {
    ASSERT_TRUE(parse({"-U:u", "-P:p", "-F:c", "-N:" + text})) << text;
    EXPECT_EQ(runSettings.blockSize, expected) << text;
  }
  for (const std::string bad : {"0", "-5", "x", "-", "2147483648", "-2147483649",
                                "18446744073709551617"})
    EXPECT_FALSE(parse({"-U:u", "-P:p", "-F:c", "-N:" + bad})) << bad;
}

}  // namespace
