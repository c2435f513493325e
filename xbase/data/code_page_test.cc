// The code page of a data file: language-driver byte, else .cpg file, else 866.
#include "xbase/data/code_page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "xbase/data/dbf_image_test_util.h"

using namespace dbftest;

namespace {

TEST(CodePage, LanguageDriverFirstThenCpgFileThenCodePage866) {
  TempDir dir;
  Engine e;
  Image img;
  img.fields = {{"A", 'C', 1}};
  struct Case {
    unsigned char ldid;
    const char* cpg;  // null: no .cpg file
    int expected;
  } cases[] = {
      {0x00, nullptr, 866},          {0x65, nullptr, 866},      {0x26, nullptr, 866},
      {0xC9, nullptr, 1251},         {0x57, nullptr, 1252},     {0x01, nullptr, 437},
      {0x7B, nullptr, 932},          {0x42, nullptr, 866},      // not in the table
      {0x00, "CP1251", 1251},        {0x00, "1252\r\n", 1252},  {0x00, "ansi 1250", 1250},
      {0x00, "UTF-8\n", kUtf8CodePage}, {0x00, "OEM 866", 866}, {0x00, "windows-1253", 1253},
      {0x00, "LATIN9", 866},         // a name not known here: the default
      {0xC9, "CP1252", 1251},        // the byte, when it names one, wins
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cpg ? c.cpg : "-") + " " + std::to_string(c.ldid));
    Bytes bytes = img.bytes();
    bytes[29] = c.ldid;
    writeFile(dir.file("t.dbf"), bytes);
    std::remove(dir.file("t.cpg").c_str());
    if (c.cpg) writeFile(dir.file("t.cpg"), Bytes(c.cpg, c.cpg + std::strlen(c.cpg)));
    DataFile* d = e.open(dir.file("t.dbf"));
    ASSERT_NE(d, nullptr) << e.code();
    EXPECT_EQ(dataCodePage(d), c.expected);
    dataClose(d);
  }
  EXPECT_TRUE(codePageIsMultiByte(kUtf8CodePage));
  EXPECT_EQ(languageDriverOfCodePage(866), 0x65);
  EXPECT_EQ(languageDriverOfCodePage(852), 0x64);
  EXPECT_EQ(languageDriverOfCodePage(1252), 0x03);
  EXPECT_EQ(languageDriverOfCodePage(932), -1);
  EXPECT_EQ(languageDriverOfCodePage(1258), -1);
}

}  // namespace
