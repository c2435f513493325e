// Whole numbers and dates written as text by hand (no printf per row) must
// read exactly as printf writes them.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "ocilite/datefmt.h"
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

}  // namespace
}  // namespace ocilite
