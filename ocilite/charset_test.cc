// The single-byte character sets, checked against Python's codecs (an independent
// table): every byte both ways, and what a set lacks.
#include "ocilite/charset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using ocilite::singleByteSet;

struct Known {
  ub2 id;
  const char *codec;
};

// Every Oracle id the sets convert, with Python's name for the code page.
constexpr Known kKnown[] = {
    {4, "cp437"},     {10, "cp850"},    {150, "cp852"},   {156, "cp857"},   {152, "cp866"},
    {382, "cp737"},   {170, "cp1250"},  {171, "cp1251"},  {178, "cp1252"},  {174, "cp1253"},
    {177, "cp1254"},  {175, "cp1255"},  {560, "cp1256"},  {179, "cp1257"},  {45, "cp1258"},
    {196, "koi8_r"},  {51, "koi8_u"},   {31, "latin_1"},  {35, "iso8859_5"}, {1, "ascii"},
};

// The code points of bytes 0 to 255 in Python's codec, a byte it leaves undefined
// as U+FFFD.
std::vector<unsigned> pythonTable(const char *codec) {
  std::string command = std::string("/usr/bin/python3 -c \"print(' '.join('%x' % ord(bytes([b]).decode('") +
                        codec + "', errors='replace')) for b in range(256)))\"";
  std::vector<unsigned> out;
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  unsigned cp;
  while (fscanf(pipe, "%x", &cp) == 1) out.push_back(cp);
  pclose(pipe);
  return out;
}

std::string utf8(unsigned cp) {
  std::string s;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

TEST(SingleByteSets, EveryByteBothWaysAsPythonsCodecs) {
  for (const Known &known : kKnown) {
    SCOPED_TRACE(known.codec);
    const ocilite::SingleByteSet *set = singleByteSet(known.id);
    ASSERT_NE(set, nullptr);
    std::vector<unsigned> expected = pythonTable(known.codec);
    ASSERT_EQ(expected.size(), 256u) << "python3 gave no table";
    for (unsigned b = 0; b < 256; ++b) {
      const std::string want = utf8(expected[b]);
      const unsigned char byte = static_cast<unsigned char>(b);
      std::string got;
      ocilite::singleByteToUtf8(*set, &byte, 1, got);
      EXPECT_EQ(got, want) << "byte " << b;
      if (expected[b] == 0xFFFD) continue;  // undefined: nothing maps back to it
      unsigned char back = 0xEE;
      EXPECT_EQ(ocilite::utf8ToSingleByte(*set, reinterpret_cast<const unsigned char *>(want.data()),
                                          want.size(), &back, 1),
                1u);
      EXPECT_EQ(back, byte) << "byte " << b;
    }
  }
}

TEST(SingleByteSets, MissingCharactersBecomeQuestionMarksAndUnknownIdsHaveNoSet) {
  // "Ж€ü": Windows-1251 has Ж and €, not ü; code page 437 has only ü.
  const std::string text = "\xD0\x96\xE2\x82\xAC\xC3\xBC";
  const auto *in = reinterpret_cast<const unsigned char *>(text.data());
  unsigned char out[8] = {};
  ASSERT_EQ(ocilite::utf8ToSingleByte(*singleByteSet(171), in, text.size(), out, sizeof out), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 3), "\xC6\x88?");
  ASSERT_EQ(ocilite::utf8ToSingleByte(*singleByteSet(4), in, text.size(), out, sizeof out), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 3), "??\x81");
  // A cut output still reports the full length.
  EXPECT_EQ(ocilite::utf8ToSingleByte(*singleByteSet(171), in, text.size(), out, 1), 3u);
  // Multi-byte and unknown sets are not converted here.
  for (ub2 id : {0, 832, 852, 871, 873, 9999}) EXPECT_EQ(singleByteSet(id), nullptr) << id;
}

TEST(SingleByteSets, ATextConvertsAsItsCharactersOneByOneAndACutKeepsItsStart) {
  // ASCII runs shorter and longer than a word, two- and three-byte characters,
  // a lone continuation byte, a lead byte without its continuation, and a
  // sequence cut by the end of the text.
  const std::vector<std::string> pieces = {
      "abcdefg", "\xD0\x96", "abcdefgh", "\xD1\x8F", "\xE2\x82\xAC", "abcdefghijklmnopq",
      "\x80",    "\xD0",     "x",        "\xC3\xBC", "0123456789",    "\xD0\x9F\xD1\x80",
      "\xE2\x82"};
  const ocilite::SingleByteSet &set = *singleByteSet(152);
  std::string text, expected;
  for (const std::string &piece : pieces) {
    text += piece;
    unsigned char one[32];
    const size_t n = ocilite::utf8ToSingleByte(set, reinterpret_cast<const unsigned char *>(piece.data()),
                                               piece.size(), one, sizeof one);
    expected.append(reinterpret_cast<char *>(one), n);
  }
  const auto *in = reinterpret_cast<const unsigned char *>(text.data());
  for (size_t cap = 0; cap <= expected.size() + 1; ++cap) {
    SCOPED_TRACE(cap);
    std::vector<unsigned char> out(expected.size() + 8, 0xEE);
    ASSERT_EQ(ocilite::utf8ToSingleByte(set, in, text.size(), out.data(), cap), expected.size());
    const size_t kept = std::min(cap, expected.size());
    EXPECT_EQ(std::string(out.begin(), out.begin() + kept), expected.substr(0, kept));
    for (size_t k = kept; k < out.size(); ++k) ASSERT_EQ(out[k], 0xEE) << "written past the cut";
  }
  // And back: the single-byte text becomes the UTF-8 of its bytes one by one, after
  // what the output string already held.
  std::string back = "kept", bytewise = "kept";
  ocilite::singleByteToUtf8(set, reinterpret_cast<const unsigned char *>(expected.data()), expected.size(),
                            back);
  for (char c : expected) {
    const auto byte = static_cast<unsigned char>(c);
    ocilite::singleByteToUtf8(set, &byte, 1, bytewise);
  }
  EXPECT_EQ(back, bytewise);
}

}  // namespace
