// dbftool's index commands and Cyrillic text: append stores command-line UTF-8 in
// code page 866 (the programs' code page, what dump reads by default), seek looks the
// value up in the same code page, and list shows the keys decoded from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/dbftool_fixture.h"
#include "tests/e2e_support.h"

namespace {

class DbftoolCyrillicTest : public DbftoolFixture {
 protected:
};

TEST_F(DbftoolCyrillicTest, AppendSeekAndListUseCodePage866) {
  ASSERT_EQ(tool({"create", "t.dbf", "NAME:C:5"}).exitCode, 0);
  ASSERT_EQ(tool({"index", "t.dbf", "n.ntx", "NAME", "--group", "t.cgp"}).exitCode, 0);
  // Five Cyrillic letters are ten bytes of UTF-8 but fit the five-byte field.
  for (const char* v : {"NAME=Борис", "NAME=Анна", "NAME=abc", "NAME=ё€"}) {
    e2e::RunResult r = tool({"append", "t.dbf", v});
    ASSERT_EQ(r.exitCode, 0) << v << ": " << r.err;
  }
  e2e::RunResult tooLong = tool({"append", "t.dbf", "NAME=Борисы"});
  EXPECT_EQ(tooLong.exitCode, 1);
  EXPECT_NE(tooLong.err.find("value longer than the field (5)"), std::string::npos) << tooLong.err;

  // The stored bytes are code page 866: Б is 0x81; € is not in the code page.
  std::string data = e2e::readFile(dir.path("t.dbf"));
  ASSERT_GE(data.size(), 4u * 6u + 1u);
  std::string first = data.substr(data.size() - 1 - 4 * 6 + 1, 5);
  EXPECT_EQ(first, "\x81\xAE\xE0\xA8\xE1");
  e2e::RunResult dump = tool({"dump", "t.dbf"});
  EXPECT_EQ(dump.out, "NAME\r\nБорис\r\nАнна\r\nabc\r\nё?\r\n");

  e2e::RunResult list = tool({"list", "t.dbf", "n.ntx"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  EXPECT_EQ(list.out, "3\tabc\n2\tАнна\n1\tБорис\n4\tё?\n");
  e2e::RunResult seek = tool({"seek", "t.dbf", "n.ntx", "Бо"});
  ASSERT_EQ(seek.exitCode, 0) << seek.err;
  EXPECT_EQ(seek.out, "{\"recno\":1,\"key\":\"Борис\",\"exact\":true}\n");
  EXPECT_EQ(tool({"check", "t.dbf", "n.ntx"}).exitCode, 0);
}

TEST_F(DbftoolCyrillicTest, ExpressionTextConstantsUseCodePage866) {
  ASSERT_EQ(tool({"create", "t.dbf", "NAME:C:5"}).exitCode, 0);
  for (const char* v : {"NAME=Борис", "NAME=Анна", "NAME=Борщ"})
    ASSERT_EQ(tool({"append", "t.dbf", v}).exitCode, 0) << v;
  e2e::RunResult eq = tool({"eval", "t.dbf", "NAME = 'Борис'"});
  ASSERT_EQ(eq.exitCode, 0) << eq.err;
  EXPECT_EQ(eq.out, "{\"type\":\"L\",\"length\":4,\"value\":\".T.\"}\n");
  e2e::RunResult plus = tool({"eval", "t.dbf", "'Ж' + NAME", "--recno", "2"});
  ASSERT_EQ(plus.exitCode, 0) << plus.err;
  EXPECT_EQ(plus.out, "{\"type\":\"C\",\"length\":6,\"value\":\"ЖАнна \"}\n");
  e2e::RunResult build = tool({"index", "t.dbf", "b.ntx", "NAME", "--for", "'Бор' $ NAME"});
  ASSERT_EQ(build.exitCode, 0) << build.err;
  EXPECT_EQ(build.out, "b.ntx: 2 keys of 5 bytes\n");
  EXPECT_EQ(tool({"list", "t.dbf", "b.ntx"}).out, "1\tБорис\n3\tБорщ\n");
  EXPECT_EQ(tool({"check", "t.dbf", "b.ntx"}).exitCode, 0);
}

}  // namespace
