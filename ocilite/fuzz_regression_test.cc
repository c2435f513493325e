// Cases found by the fuzz targets (fuzz/) in libocilite's conversions.
#include <gtest/gtest.h>

#include "ocilite/number.h"

namespace {

using ocilite::Decimal;

Decimal parsed(const char* text) {
  Decimal d;
  EXPECT_TRUE(ocilite::parseDecimal(text, '.', d)) << text;
  return d;
}

// Exponent digits past the sixth were dropped, so 1E1000005 read as 1E100000 and
// the plain text of a value did not read back as the same value.
TEST(NumberFuzzRegression, LongExponentsKeepTheirDigitsOrSaturate) {
  EXPECT_EQ(parsed("1E1000005").point, 1000006);
  EXPECT_EQ(parsed("2.72844E+1000005").point, 1000006);
  EXPECT_EQ(parsed("1e-1000005").point, -1000004);
  Decimal big = parsed("2728440e9999994");
  Decimal again = parsed(ocilite::toPlainText(big).c_str());
  EXPECT_EQ(again.digits, big.digits);
  EXPECT_EQ(again.point, big.point);
  // Far beyond any NUMBER, the exponent saturates instead of wrapping.
  EXPECT_GT(parsed("1e2147483648").point, 1000000);
  EXPECT_LT(parsed("1e-2147483648").point, -1000000);
}

}  // namespace
