// dbftool replace, delete and recall end to end: the record changes in place, every
// tag of the group follows, a change a unique tag refuses leaves the files as they
// were, and the import sees what was deleted and recalled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/drift_fixture.h"
#include "tests/e2e_support.h"

namespace {

class DbftoolEditTest : public DriftTest {
 protected:
  e2e::RunResult tool(const std::vector<std::string>& args) {
    e2e::RunOptions options;
    options.cwd = dir.path();
    return e2e::runProgram("dbftool", args, options);
  }
  // The bytes of the data file and of its tags.
  std::string files() {
    std::string all;
    for (const char* name : {"t.dbf", "NAME.NTX", "CODE.NTX", "AMT.NTX"})
      all += e2e::readFile(dir.path(name)) + "|";
    return all;
  }
  // Checks that the tags are sound and returns what `list` prints for each.
  std::string tags() {
    e2e::RunResult check = tool({"check", "t.dbf", "name.ntx", "code.ntx", "amt.ntx"});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    std::string all;
    for (const char* tag : {"name.ntx", "code.ntx", "amt.ntx"}) {
      e2e::RunResult list = tool({"list", "t.dbf", tag});
      EXPECT_EQ(list.exitCode, 0) << list.err;
      all += list.out + "|";
    }
    return all;
  }
};

TEST_F(DbftoolEditTest, ReplaceKeepsEveryTagCurrentAndARefusedChangeLeavesAllAsItWas) {
  ASSERT_EQ(tool({"create", "t.dbf", "NAME:C:10", "CODE:C:4", "AMT:N:8:2", "DAY:D"}).exitCode, 0);
  for (std::vector<std::string> r : {std::vector<std::string>{"NAME=Анна", "CODE=A1", "AMT=1"},
                                     {"NAME=Bob", "CODE=B2", "AMT=2", "DAY=19990429"},
                                     {"NAME=Cid", "CODE=C3", "AMT=3"}}) {
    r.insert(r.begin(), {"append", "t.dbf"});
    ASSERT_EQ(tool(r).exitCode, 0);
  }
  for (std::vector<std::string> index :
       {std::vector<std::string>{"name.ntx", "UPPER(NAME)"}, {"code.ntx", "CODE", "--unique"},
        {"amt.ntx", "AMT", "--descending"}}) {
    index.insert(index.begin(), {"index", "t.dbf"});
    index.insert(index.end(), {"--group", "t.cgp"});
    ASSERT_EQ(tool(index).exitCode, 0);
  }

  // Record 2 takes record 3's code: the unique tag refuses, and neither the record nor
  // any tag changes, not even the tags read before the unique one.
  std::string before = files();
  e2e::RunResult clash = tool({"replace", "t.dbf", "2", "NAME=Zed", "CODE=C3", "AMT=9"});
  EXPECT_EQ(clash.exitCode, 1);
  EXPECT_EQ(clash.out, "");
  EXPECT_EQ(clash.err, "dbftool: t.dbf: a unique tag refused the key; record 2 was not changed\n");
  EXPECT_TRUE(files() == before) << "the data file or a tag changed";
  EXPECT_EQ(tags(), "2\tBOB\n3\tCID\n1\tАнна\n|1\tA1\n2\tB2\n3\tC3\n|"
                    "3\t00003.00\n2\t00002.00\n1\t00001.00\n|");

  // A change of all three keys, with text given as UTF-8.
  e2e::RunResult ok = tool({"replace", "t.dbf", "2", "NAME=Ёж", "CODE=D4", "AMT=-5"});
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_EQ(ok.out, "");
  EXPECT_EQ(ok.err, "");
  e2e::RunResult dump = tool({"dump", "--json", "t.dbf"});
  EXPECT_EQ(dump.out,
            "{\"recno\":1,\"deleted\":false,\"values\":[\"Анна      \",\"A1  \",\"    1.00\",\"        \"]}\n"
            "{\"recno\":2,\"deleted\":false,\"values\":[\"Ёж        \",\"D4  \",\"   -5.00\",\"19990429\"]}\n"
            "{\"recno\":3,\"deleted\":false,\"values\":[\"Cid       \",\"C3  \",\"    3.00\",\"        \"]}\n");
  EXPECT_EQ(tags(), "3\tCID\n1\tАнна\n2\tЁж\n|1\tA1\n3\tC3\n2\tD4\n|"
                    "3\t00003.00\n1\t00001.00\n2\t,,,,'.,,\n|");  // negative last

  // The value rules of append; a bad value anywhere keeps the earlier ones out too.
  before = files();
  for (std::vector<std::string> bad :
       {std::vector<std::string>{"3", "NAME=Dan", "AMT=1e9"}, {"3", "NAME=Dan", "DAY=20230229"},
        {"3", "NAME=Ивановский-Петров"}, {"3", "NOPE=1"}, {"3", "NAME"}, {"4", "NAME=Dan"},
        {"0", "NAME=Dan"}, {"x", "NAME=Dan"}, {"99999999999", "NAME=Dan"}}) {
    bad.insert(bad.begin(), {"replace", "t.dbf"});
    e2e::RunResult r = tool(bad);
    EXPECT_EQ(r.exitCode, 1) << bad[3];
    EXPECT_EQ(r.out, "") << bad[3];
    EXPECT_EQ(r.err.rfind("dbftool: t.dbf: ", 0), 0u) << r.err;
  }
  EXPECT_EQ(tool({"replace", "t.dbf", "4", "NAME=Dan"}).err,
            "dbftool: t.dbf: no record 4 (the file has 3)\n");
  EXPECT_TRUE(files() == before) << "the data file or a tag changed";
}

TEST_F(DbftoolEditTest, DeleteAndRecallAreSeenByDumpByTagsAndByTheImport) {
  ASSERT_EQ(tool({"create", "t.dbf", "N:N:4"}).exitCode, 0);
  for (const char* n : {"N=1", "N=2", "N=3"}) ASSERT_EQ(tool({"append", "t.dbf", n}).exitCode, 0);
  // A tag of the live records, in a group file of another name.
  ASSERT_EQ(tool({"index", "t.dbf", "live.ntx", "N", "--for", ".NOT. DELETED()", "--group",
                  "other.cgp"})
                .exitCode,
            0);
  sql("CREATE TABLE NUMS (N NUMBER(4), RN NUMBER(4));");
  config("%TABLE_NAME=NUMS\n%DBF_NAME=t.dbf\n%TRUNCATE=ON\nN=N\nRN=%RECNUM\n");
  auto imported = [&]() {
    e2e::RunResult r = runDrift("indrift", {});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    e2e::RunOptions options;
    options.stdinText = "SELECT N, RN FROM NUMS ORDER BY RN;\n";
    return e2e::runProgram("/usr/bin/sqlite3", {dir.path("shop.db")}, options).out;
  };
  auto deletedFlags = [&]() {
    std::string out = tool({"dump", "--json", "t.dbf"}).out, flags;
    for (size_t at = 0; (at = out.find("\"deleted\":", at)) != std::string::npos; ++at)
      flags += out[at + 10] == 't' ? 'D' : '-';
    return flags;
  };
  auto live = [&]() {
    EXPECT_EQ(tool({"check", "t.dbf", "live.ntx"}).exitCode, 0);
    return tool({"list", "t.dbf", "live.ntx"}).out;
  };

  for (const char* recno : {"2", "3"}) {
    e2e::RunResult r = tool({"delete", "t.dbf", recno, "--group", "other.cgp"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
  }
  EXPECT_EQ(deletedFlags(), "-DD");
  EXPECT_EQ(live(), "1\t0001\n");
  EXPECT_EQ(imported(), "1|1\n");

  e2e::RunResult r = tool({"recall", "t.dbf", "2", "--group", "other.cgp"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  // Deleting a deleted record again changes nothing.
  EXPECT_EQ(tool({"delete", "t.dbf", "3", "--group", "other.cgp"}).exitCode, 0);
  EXPECT_EQ(deletedFlags(), "--D");
  EXPECT_EQ(live(), "1\t0001\n2\t0002\n");
  EXPECT_EQ(imported(), "1|1\n2|2\n");

  for (const char* recno : {"4", "0", "-1"}) {
    e2e::RunResult bad = tool({"recall", "t.dbf", recno});
    EXPECT_EQ(bad.exitCode, 1) << recno;
    EXPECT_EQ(bad.out, "") << recno;
  }
  EXPECT_EQ(tool({"delete", "t.dbf"}).exitCode, 1);
  EXPECT_EQ(tool({"delete", "none.dbf", "1"}).err, "dbftool: none.dbf: Opening File (-60)\n");
  EXPECT_EQ(deletedFlags(), "--D");
}

}  // namespace
