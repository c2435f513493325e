// decimalFromDouble: the quick path for values of at most 15 digits must give
// exactly the decimal that printing with 15, 16 or 17 digits gives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

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

}  // namespace
}  // namespace ocilite
