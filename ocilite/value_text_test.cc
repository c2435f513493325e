// Whole numbers and dates written as text by hand (no printf per row) must
// read exactly as printf writes them.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdlib>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ocilite/coltype.h"
#include "ocilite/charset.h"
#include "ocilite/datefmt.h"
#include "ocilite/handles.h"
#include "ocilite/values.h"

namespace ocilite {
namespace {

std::string printedInteger(int64_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%" PRId64, v);
  return buf;
}

TEST(IntegerText, MatchesPrintfAtTheEdges) {
  const int64_t edges[] = {0, 1, -1, 9, 10, -10, 99, 100, 1000000000, -999999999999,
                           std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min(),
                           std::numeric_limits<int64_t>::min() + 1};
  for (int64_t v : edges) {
    char buf[24];
    size_t n = integerText(v, buf);
    EXPECT_EQ(std::string(buf, n), printedInteger(v));
    EXPECT_EQ(buf[n], '\0') << v;
  }
  std::mt19937_64 rng(5);
  for (int i = 0; i < 10000; ++i) {
    int64_t v = static_cast<int64_t>(rng()) >> (rng() % 63);
    char buf[24];
    EXPECT_EQ(std::string(buf, integerText(v, buf)), printedInteger(v));
  }
}

TEST(StoredDate, PadsEveryPartAndReusesTheBuffer) {
  Date d;
  d.year = 7;
  d.month = 3;
  d.day = 9;
  d.hour = 0;
  d.minute = 5;
  d.second = 59;
  EXPECT_EQ(storedDate(d), "0007-03-09 00:05:59");
  std::string out = "left over from an earlier, longer value";
  d.year = 2026;
  d.month = 12;
  d.day = 31;
  d.hour = 23;
  storedDate(d, out);
  EXPECT_EQ(out, "2026-12-31 23:05:59");
  Date back;
  ASSERT_TRUE(readStoredDate(out, back));
  EXPECT_EQ(back.year, 2026);
  EXPECT_EQ(back.second, 59);
  // Beyond four digits the year keeps all of them.
  d.year = 12345;
  EXPECT_EQ(storedDate(d), "12345-12-31 23:05:59");
}

TEST(DateFormatText, NumericElementsArePaddedToTheirWidth) {
  DateFormat f;
  ASSERT_EQ(f.compile("YYYYMMDD"), 0);
  Date d;
  d.year = 999;
  d.month = 1;
  d.day = 2;
  EXPECT_EQ(f.format(d), "09990102");
  ASSERT_EQ(f.compile("DD.MM.YY HH24:MI:SS DDD Y"), 0);
  d.year = 2005;
  d.month = 2;
  d.day = 3;
  d.hour = 4;
  d.minute = 0;
  d.second = 7;
  EXPECT_EQ(f.format(d), "03.02.05 04:00:07 034 5");
}

// A date text without year or month takes the current ones, read from a local
// time kept per second: many calls in a row must all give the clock's values.
TEST(DateFormatText, MissingYearAndMonthAreTodays) {
  DateFormat f;
  ASSERT_EQ(f.compile("DD"), 0);
  for (int i = 0; i < 1000; ++i) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    Date d;
    ASSERT_EQ(f.parse("15", d), 0);
    if (std::time(nullptr) != now) continue;  // a second passed during the call
    EXPECT_EQ(d.year, local.tm_year + 1900);
    EXPECT_EQ(d.month, local.tm_mon + 1);
    EXPECT_EQ(d.day, 15);
  }
}

// A bound number text of at most 15 digits is stored as the double that strtod
// reads from it, also when it is computed without strtod.
TEST(NumberStorage, RealsEqualWhatStrtodReads) {
  Nls nls;
  ColumnType number = columnTypeFromDeclared("NUMBER");
  Target names{"S", "T", "C"};
  std::string buffer;
  Decimal scratch;
  std::mt19937_64 rng(3);
  char text[64];
  int reals = 0;
  for (int i = 0; i < 30000; ++i) {
    int digits = 1 + static_cast<int>(rng() % 15);
    uint64_t mantissa = rng() % 1000000000000000ull;
    for (int k = digits; k < 15; ++k) mantissa /= 10;
    int exponent = static_cast<int>(rng() % 60) - 40;
    std::snprintf(text, sizeof text, "%s%" PRIu64 "e%d", rng() % 2 ? "-" : "", mantissa, exponent);
    Stored out;
    ASSERT_FALSE(textToStored(text, number, nls, names, buffer, scratch, out).failed()) << text;
    if (out.type != Stored::Type::Real) continue;
    ++reals;
    EXPECT_EQ(out.d, std::strtod(text, nullptr)) << text;
  }
  EXPECT_GT(reals, 10000);
  for (const char *t : {"-9408158.56", "0.1", "-.5", "  12.50", "4642438.12", "1e-22", "123456789012345e-22"}) {
    Stored out;
    ASSERT_FALSE(textToStored(t, number, nls, names, buffer, scratch, out).failed()) << t;
    ASSERT_EQ(out.type, Stored::Type::Real) << t;
    EXPECT_EQ(out.d, std::strtod(t, nullptr)) << t;
  }
}

// The fixed-point way of a bound number text against the general decimal way
// (parse, fit to the column, store), over columns of every kind of scale and
// texts at the edges (18 and 19 digits, rounding carries, precision limits,
// blanks, signs, zeros) and random ones: where it answers, the stored value
// is the same, bit for bit; where the general way refuses, it never answers.
TEST(NumberStorage, FixedPointTextsMatchTheGeneralWay) {
  Target names{"S", "T", "C"};
  std::vector<ColumnType> columns;
  for (const char *decl : {"NUMBER", "NUMBER(10)", "NUMBER(12,2)", "NUMBER(5,3)", "NUMBER(1)", "NUMBER(18,0)",
                           "NUMBER(38,10)", "NUMBER(3,-2)", "FLOAT(10)", "FLOAT", "NUMBER(15,15)"})
    columns.push_back(columnTypeFromDeclared(decl));
  std::vector<std::string> texts = {"0", "-0", "+0.000", "5", "-5", " 12.50 ", "\t7\t", ".5", "-.5", "5.", ".",
                                    "", "-", "1e5", "1.2.3", "12x", "999999999999999999", "9999999999999999999",
                                    "0.999", "9.995", "-9.995", "99999.995", "123456789012345.6",
                                    "0.000000000000000001", "0.0000000000000000001", "100", "1000000000000000000",
                                    "99.5", "0.05", "-0.05", "12345678901.125", "1234567890123456.78"};
  std::mt19937_64 rng(5);
  char text[64];
  for (int i = 0; i < 20000; ++i) {
    int whole = static_cast<int>(rng() % 12), decimals = static_cast<int>(rng() % 8);
    std::string s = rng() % 3 == 0 ? "-" : "";
    for (int k = 0; k < whole; ++k) s += static_cast<char>('0' + rng() % 10);
    if (decimals) s += '.';
    for (int k = 0; k < decimals; ++k) s += static_cast<char>('0' + rng() % 10);
    std::snprintf(text, sizeof text, "%s", s.c_str());
    texts.push_back(text);
  }
  int answered = 0;
  for (char decimal : {'.', ','}) {
    for (const ColumnType &t : columns) {
      for (std::string s : texts) {
        if (decimal == ',')
          for (char &ch : s)
            if (ch == '.') ch = ',';
        Stored fast;
        if (!fixedTextToStored(s, decimal, t, fast)) continue;
        ++answered;
        Decimal d;
        ASSERT_TRUE(parseDecimal(s, decimal, d)) << s;
        ASSERT_FALSE(fitNumber(d, t).failed()) << s << " " << t.precision << "," << t.scale;
        Nls nls;
        nls.decimal = decimal;
        std::string buffer;
        Decimal scratch;
        Stored general;
        ASSERT_FALSE(numberToStored(d, t, nls, names, buffer, scratch, general).failed()) << s;
        ASSERT_EQ(static_cast<int>(fast.type), static_cast<int>(general.type)) << s << " " << t.scale;
        if (fast.type == Stored::Type::Int) {
          EXPECT_EQ(fast.i, general.i) << s;
        } else if (fast.type == Stored::Type::Real) {
          EXPECT_EQ(std::memcmp(&fast.d, &general.d, sizeof fast.d), 0) << s;
        }
      }
    }
  }
  EXPECT_GT(answered, 200000);
}

// Every byte of code page 866 becomes UTF-8 after what `out` held, and back.
TEST(Cp866Text, EveryByteRoundTripsAfterAPrefix) {
  unsigned char all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
  const SingleByteSet &cp866 = *singleByteSet(kCharsetCp866);
  std::string out = "prefix:";
  singleByteToUtf8(cp866, all + 1, 255, out);
  ASSERT_EQ(out.compare(0, 7, "prefix:"), 0);
  unsigned char back[256];
  size_t n = utf8ToSingleByte(cp866, reinterpret_cast<const unsigned char *>(out.data()) + 7, out.size() - 7, back,
                              sizeof back);
  ASSERT_EQ(n, 255u);
  for (int i = 1; i < 256; ++i) EXPECT_EQ(back[i - 1], i);
  std::string cyr;
  const unsigned char word[] = {0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2, 0x20, 0xF1};
  singleByteToUtf8(cp866, word, sizeof word, cyr);
  EXPECT_EQ(cyr, "\u041f\u0440\u0438\u0432\u0435\u0442 \u0451");
}

}  // namespace
}  // namespace ocilite
