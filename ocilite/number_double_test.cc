// decimalFromDouble: the quick path for values of at most 15 digits must give
// exactly the decimal that printing with 15, 16 or 17 digits gives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ocilite/number.h"

namespace ocilite {
namespace {

// The reference: the shortest of 15, 16, 17 printed digits that reads back.
Decimal printed(double v) {
  char buf[40];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, v);
    if (digits == 17 || std::strtod(buf, nullptr) == v) break;
  }
  Decimal d;
  EXPECT_TRUE(parseDecimal(buf, '.', d)) << buf;
  return d;
}

void expectSame(double v) {
  Decimal want = printed(v), got = decimalFromDouble(v);
  EXPECT_EQ(got.negative, want.negative) << v;
  EXPECT_EQ(got.digits, want.digits) << v;
  EXPECT_EQ(got.point, want.point) << v;
}

TEST(DecimalFromDouble, AmountsWithTwoDecimals) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    int64_t cents = static_cast<int64_t>(rng() % 2000000000001ull) - 1000000000000;
    expectSame(static_cast<double>(cents) / 100.0);
  }
  for (double v : {0.01, -0.01, 0.5, -0.5, 12.5, 100.0, -3.0, 9999999999.99, -99999999.99})
    expectSame(v);
}

TEST(DecimalFromDouble, EveryScaleUpToFifteenDigits) {
  std::mt19937_64 rng(11);
  for (int k = 0; k <= 20; ++k) {
    for (int i = 0; i < 2000; ++i) {
      int64_t r = static_cast<int64_t>(rng() % 1000000000000000ull);
      if (i % 2) r = -r;
      expectSame(static_cast<double>(r) / std::pow(10.0, k));
    }
  }
}

TEST(DecimalFromDouble, ValuesNeedingSixteenOrSeventeenDigits) {
  std::mt19937_64 rng(13);
  for (double v : {0.1 + 0.2, 1.0 / 3.0, -2.0 / 3.0, 123456789012345.6, 999999999999999.0, 1e15, 1e16,
                   1e-20, 5e-324, 1.7976931348623157e308, 0.30000000000000004, 4503599627370497.0})
    expectSame(v);
  for (int i = 0; i < 20000; ++i) {
    double v;
    uint64_t bits = rng();
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v)) expectSame(v);
  }
}

TEST(DecimalFromDouble, ZeroHasNoDigits) {
  EXPECT_TRUE(decimalFromDouble(0.0).isZero());
  EXPECT_TRUE(decimalFromDouble(-0.0).isZero());
}

// doubleText, the text of a double written without a decimal object, against
// the general way (decimal, then Oracle's text) with both decimal characters:
// amounts, every scale, the edges of the fixed-point range, random bit
// patterns.  Where it declines, the general way must be the only one.
TEST(DoubleText, MatchesTheDecimalTextWheneverItAnswers) {
  std::vector<double> values = {0.0,    -0.0,   0.01,   -0.01,  0.5,     -0.5,    12.5,   100.0,  -3.0,
                                1e-15,  -1e-15, 1.5e-15, 5e-16, 1e14,    1e15,    1e15 - 1, -(1e15 - 1),
                                1e15 + 2, 999999999999999.9, 123456789012345.6, 0.1 + 0.2, 1.0 / 3.0,
                                1e300, 5e-324, 1.7976931348623157e308, 4503599627370497.0, 1000.0, 1e10};
  std::mt19937_64 rng(17);
  for (int k = 0; k <= 17; ++k)
    for (int i = 0; i < 1000; ++i) {
      int64_t r = static_cast<int64_t>(rng() % 1000000000000000ull);
      values.push_back((i % 2 ? -1.0 : 1.0) * static_cast<double>(r) / std::pow(10.0, k));
    }
  for (int i = 0; i < 20000; ++i) {
    double v;
    uint64_t bits = rng();
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
  }
  size_t answered = 0;
  for (double v : values) {
    for (char decimal : {'.', ','}) {
      char buf[48];
      size_t n = doubleText(v, decimal, buf);
      if (n == 0) continue;
      ++answered;
      EXPECT_EQ(std::string(buf, n), toOracleText(decimalFromDouble(v), decimal)) << v;
    }
  }
  // The fixed-point way covers every value of at most 15 digits and 15
  // decimals (scales 0 to 15 above).
  EXPECT_GE(answered, 2 * 16000u);
  char buf[48];
  EXPECT_EQ(std::string(buf, doubleText(-0.05, ',', buf)), "-,05");
  EXPECT_EQ(doubleText(0.1 + 0.2, '.', buf), 0u);
}

}  // namespace
}  // namespace ocilite
