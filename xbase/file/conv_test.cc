#include "xbase/file/conv.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// Runs a fixed-width writer into a buffer with guard bytes on both sides and returns
// what it wrote; fails the test when a guard was touched.
template <class Writer>
std::string bounded(int width, Writer write) {
  char buffer[80];
  std::memset(buffer, '#', sizeof buffer);
  write(buffer + 8);
  for (int i = 0; i < 8; i++) EXPECT_EQ(buffer[i], '#') << "wrote before the destination";
  for (int i = 8 + width; i < static_cast<int>(sizeof buffer); i++) {
    EXPECT_EQ(buffer[i], '#') << "wrote past the destination at " << i - 8;
  }
  return std::string(buffer + 8, static_cast<size_t>(width));
}

std::string num(int32_t value, int32_t width) {
  return bounded(width < 0 ? -width : width, [&](char* d) { numToText(value, d, width); });
}

std::string dbl(double value, int32_t length, int32_t decimals) {
  return bounded(length, [&](char* d) { doubleToText(value, d, length, decimals); });
}

std::string fromJulian(int32_t day) {
  char date[8];
  julianToDate(day, date);
  return std::string(date, 8);
}

std::string format(const char* date, const char* pictureText) {
  char picture[40];
  std::strcpy(picture, pictureText);
  char out[40];
  std::memset(out, '#', sizeof out);
  dateFormat(date, out, picture);
  EXPECT_EQ(out[std::strlen(picture)], '\0');
  EXPECT_EQ(out[std::strlen(picture) + 1], '#');
  return out;
}

std::string parse(const char* source, const char* pictureText) {
  char picture[40];
  std::strcpy(picture, pictureText);
  char out[10];
  std::memset(out, '#', sizeof out);
  dateParse(out, source, picture);
  EXPECT_EQ(out[8], '#');
  return std::string(out, 8);
}

TEST(NumToText, WidthSignAndOverflow) {
  EXPECT_EQ(num(42, 5), "   42");
  EXPECT_EQ(num(42, -5), "00042");
  EXPECT_EQ(num(-42, 5), "  -42");
  EXPECT_EQ(num(-42, -5), "*****");
  EXPECT_EQ(num(123456, 4), "****");
  EXPECT_EQ(num(0, 3), "  0");
  EXPECT_EQ(num(0, -3), "000");
  EXPECT_EQ(num(-60, 6), "   -60");
  // A negative number that exactly fills the width has no room for its sign.
  EXPECT_EQ(num(-123, 3), "***");
  EXPECT_EQ(num(-123, 4), "-123");
  EXPECT_EQ(num(INT32_MIN, 11), "-2147483648");
  EXPECT_EQ(num(INT32_MAX, 10), "2147483647");
  EXPECT_EQ(num(INT32_MAX, 9), "*********");
  EXPECT_EQ(num(7, 0), "");
}

TEST(DoubleToText, Examples) {
  EXPECT_EQ(dbl(3.14159, 6, 2), "  3.14");
  EXPECT_EQ(dbl(-0.5, 5, 1), " -0.5");
  EXPECT_EQ(dbl(123456, 5, 0), "*****");
  EXPECT_EQ(dbl(0, 4, 0), "   0");
  EXPECT_EQ(dbl(0.004, 5, 2), " 0.00");
  EXPECT_EQ(dbl(0.05, 5, 2), " 0.05");
  EXPECT_EQ(dbl(1234.5, 7, 1), " 1234.5");
  EXPECT_EQ(dbl(-123.45, 7, 2), "-123.45");
  EXPECT_EQ(dbl(99.996, 6, 2), "100.00");
  EXPECT_EQ(dbl(12, 5, 0), "   12");
}

TEST(DoubleToText, NegativeValueRoundingToZeroHasNoSign) {
  EXPECT_EQ(dbl(-0.001, 6, 2), "  0.00");
  EXPECT_EQ(dbl(-0.4, 5, 0), "    0");
  EXPECT_EQ(dbl(-0.0, 4, 1), " 0.0");
  EXPECT_EQ(dbl(-0.4, 1, 0), "0");  // no room for a sign, and none needed
  EXPECT_EQ(dbl(-0.005, 5, 2), "-0.01");
  EXPECT_EQ(dbl(-0.05, 5, 1), " -0.1");
}

TEST(DoubleToText, FieldTooSmallOrValueUnwritable) {
  EXPECT_EQ(dbl(-123.45, 6, 2), "******");   // no room for the sign
  EXPECT_EQ(dbl(1e300, 10, 2), "**********");
  EXPECT_EQ(dbl(NAN, 6, 2), "******");
  EXPECT_EQ(dbl(INFINITY, 6, 2), "******");
  // Decimals are capped at length - 1: the point goes first and no '0' fits before it.
  EXPECT_EQ(dbl(0.5, 2, 5), ".5");
  // More than 15 decimals are cut to 15.
  EXPECT_EQ(dbl(0.25, 20, 18), "   0.250000000000000");
  EXPECT_EQ(dbl(5, 0, 0), "");
}

TEST(TextToNumber, ReadsOnlyTheGivenPrefix) {
  EXPECT_EQ(textToInt("  42abc", 7), 42);
  EXPECT_EQ(textToInt("12345", 3), 123);
  EXPECT_EQ(textToInt("-7", 2), -7);
  EXPECT_EQ(textToInt("abc", 3), 0);
  EXPECT_EQ(textToInt("99999999999", 11), INT32_MAX);
  EXPECT_EQ(textToLong("1999", 4), 1999L);
  EXPECT_EQ(textToLong("19990429", 4), 1999L);
  EXPECT_DOUBLE_EQ(textToDouble("  3.5e2x", 8), 350.0);
  EXPECT_DOUBLE_EQ(textToDouble(" -12.75   ", 10), -12.75);
  EXPECT_DOUBLE_EQ(textToDouble("1.5", 2), 1.0);
  // Only plain decimal text is a number: no special values, no hexadecimal.
  EXPECT_DOUBLE_EQ(textToDouble("inf", 3), 0.0);
  EXPECT_DOUBLE_EQ(textToDouble("nan", 3), 0.0);
  EXPECT_DOUBLE_EQ(textToDouble("0x10", 4), 0.0);
  EXPECT_DOUBLE_EQ(textToDouble("2e", 2), 2.0);
  // A text longer than the scratch limits is read from its first characters only.
  std::string longText(300, '1');
  EXPECT_EQ(textToLong(longText.c_str(), 300), LONG_MAX);
  EXPECT_GT(textToDouble(longText.c_str(), 300), 1e48);
}

TEST(CopyAndTrim, StayWithinTheirSizes) {
  char out[8];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(copyBounded(out, "abcdef", 4), 3);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(out[4], '#');
  EXPECT_EQ(copyBounded(out, "ab", 8), 2);
  EXPECT_STREQ(out, "ab");
  EXPECT_EQ(copyBounded(out, "xyz", 1), 0);
  EXPECT_STREQ(out, "");

  char text[] = "ab  \0zz";
  trimTrailing(text, 7);
  EXPECT_STREQ(text, "ab");
  char full[4] = {'a', 'b', 'c', 'd'};  // no terminator within the size
  trimTrailing(full, 3);
  EXPECT_STREQ(full, "ab");
  char blanks[] = "   ";
  trimTrailing(blanks, 4);
  EXPECT_STREQ(blanks, "");
}

TEST(Clock, TodayAgreesWithHeaderDateAndTimeHasItsForm) {
  uint8_t header[3];
  char today[8];
  todayHeaderDate(header);
  todayDate(today);
  EXPECT_EQ(textToInt(today, 4), header[0] + 1900);
  EXPECT_EQ(textToInt(today + 4, 2), header[1]);
  EXPECT_EQ(textToInt(today + 6, 2), header[2]);
  EXPECT_GT(dateToJulian(today), 0);
  char time[8];
  timeOfDay(time);
  EXPECT_EQ(time[2], ':');
  EXPECT_EQ(time[5], ':');
  EXPECT_LT(textToInt(time, 2), 24);
  EXPECT_LT(textToInt(time + 3, 2), 60);
  EXPECT_LT(textToInt(time + 6, 2), 61);
}

TEST(Julian, Examples) {
  EXPECT_EQ(dateToJulian("00010101"), 1721426);
  EXPECT_EQ(dateToJulian("19990429"), 2451298);
  EXPECT_EQ(dateToJulian("        "), 0);
  EXPECT_EQ(dateToJulian("19990230"), -1);
  EXPECT_EQ(fromJulian(2451298), "19990429");
  EXPECT_EQ(fromJulian(1721426), "00010101");
  EXPECT_EQ(fromJulian(0), "        ");
  EXPECT_EQ(fromJulian(-5), "        ");
}

TEST(Julian, LeapYearsAndInvalidDates) {
  EXPECT_GT(dateToJulian("20000229"), 0);
  EXPECT_EQ(dateToJulian("19000229"), -1);
  EXPECT_GT(dateToJulian("20240229"), 0);
  EXPECT_EQ(dateToJulian("20230229"), -1);
  EXPECT_EQ(dateToJulian("19991301"), -1);
  EXPECT_EQ(dateToJulian("19990100"), -1);
  EXPECT_EQ(dateToJulian("19990431"), -1);
  EXPECT_EQ(dateToJulian("1999AB01"), -1);
  EXPECT_EQ(dayOfYear(2000, 12, 31), 366);
  EXPECT_EQ(dayOfYear(1999, 12, 31), 365);
  EXPECT_EQ(dayOfYear(2000, 3, 1), 61);
  EXPECT_EQ(dayOfYear(-1, 1, 1), -1);
  EXPECT_EQ(daysBeforeYear(1), 0);
  EXPECT_EQ(daysBeforeYear(2000), dateToJulian("20000101") - dateToJulian("00010101"));
}

// Every day across the turns of 1900 (not leap) and 2000 (leap), and a sample over the
// whole four-digit range, goes to text and back unchanged, and consecutive days differ
// by exactly one calendar step.
TEST(Julian, RoundTripsDayByDay) {
  int32_t from = dateToJulian("18991220");
  int32_t to = dateToJulian("20010110");
  char previous[8];
  julianToDate(from - 1, previous);
  for (int32_t day = from; day <= to; day++) {
    char date[8];
    julianToDate(day, date);
    ASSERT_EQ(dateToJulian(date), day) << std::string(date, 8);
    int y = textToInt(date, 4), m = textToInt(date + 4, 2), d = textToInt(date + 6, 2);
    int py = textToInt(previous, 4), pm = textToInt(previous + 4, 2), pd = textToInt(previous + 6, 2);
    bool nextDay = y == py && m == pm && d == pd + 1;
    bool nextMonth = y == py && m == pm + 1 && d == 1;
    bool nextYear = y == py + 1 && m == 1 && d == 1 && pm == 12 && pd == 31;
    ASSERT_TRUE(nextDay || nextMonth || nextYear) << std::string(date, 8);
    std::memcpy(previous, date, 8);
  }
  for (int32_t day = dateToJulian("00010101"); day <= dateToJulian("99991231"); day += 997) {
    char date[8];
    julianToDate(day, date);
    ASSERT_EQ(dateToJulian(date), day) << std::string(date, 8);
  }
  EXPECT_EQ(fromJulian(dateToJulian("99991231")), "99991231");
  // Beyond year 9999 the year no longer fits its four characters.
  EXPECT_EQ(fromJulian(INT32_MAX).substr(0, 4), "****");
}

TEST(MonthNames, TenBytesPaddedWithBlanksAfterTheTerminator) {
  EXPECT_EQ(std::string(monthNames[5], 10), std::string("May\0      ", 10));
  EXPECT_EQ(std::string(monthNames[9], 10), std::string("September\0", 10));  // no room for padding
  EXPECT_STREQ(monthNames[12], "December");
  EXPECT_STREQ(monthNames[0], "");
}

TEST(DateFormat, Pictures) {
  EXPECT_EQ(format("19990429", "MM/DD/YY"), "04/29/99");
  EXPECT_EQ(format("19990429", "CCYYMMDD"), "19990429");
  EXPECT_EQ(format("19990429", "DD MMM CCYY"), "29 Apr 1999");
  EXPECT_EQ(format("19990429", "MMMMMMMMM"), "April    ");
  EXPECT_EQ(format("19990929", "MMMMMMMMMMM"), "September  ");
  EXPECT_EQ(format("19990429", "dd.mm.ccyy"), "29.04.1999");
  // Only the first run of each letter is filled.
  EXPECT_EQ(format("19990429", "DD/DD"), "29/DD");
  EXPECT_EQ(format("        ", "MM/DD/YY"), "  /  /  ");
  EXPECT_EQ(format("1999  29", "DD MMM YY"), "29     99");
  // Month numbers outside 1..12 are clamped for the name.
  EXPECT_EQ(format("19991729", "MMM"), "Dec");
  EXPECT_EQ(format("19990029", "MMM"), "Jan");
}

TEST(DateFormat, UpperCasesThePictureInPlace) {
  char picture[] = "mm/dd/yy";
  char out[16];
  dateFormat("19990429", out, picture);
  EXPECT_STREQ(picture, "MM/DD/YY");
  EXPECT_STREQ(out, "04/29/99");
}

TEST(DateParse, Pictures) {
  EXPECT_EQ(parse("04/29/99", "MM/DD/YY"), "19990429");
  EXPECT_EQ(parse("  /  /  ", "MM/DD/YY"), "        ");
  EXPECT_EQ(parse("29.04.2003", "DD.MM.CCYY"), "20030429");
  EXPECT_EQ(parse("29 Apr 1999", "DD MMM CCYY"), "19990429");
  EXPECT_EQ(parse("29 aPR 1999", "DD MMM CCYY"), "19990429");
  EXPECT_EQ(parse("29 Xyz 1999", "DD MMM CCYY"), "19990029");
  EXPECT_EQ(parse("29     1999", "DD MMM CCYY"), "19990029");
  EXPECT_EQ(parse("99", "YY"), "19990101");
  // A source shorter than the picture counts as blanks past its end.
  EXPECT_EQ(parse("04/2", "MM/DD/YY"), "19000420");
  EXPECT_EQ(dateToJulian(parse("02/30/99", "MM/DD/YY").c_str()), -1);
}

TEST(DateParse, FormatThenParseRoundTrips) {
  const char* pictures[] = {"MM/DD/YY", "DD.MM.CCYY", "CCYYMMDD", "DD MMM CCYY"};
  for (const char* picture : pictures) {
    for (int32_t day = dateToJulian("19000101"); day < dateToJulian("19991231"); day += 37) {
      char date[9] = {};
      julianToDate(day, date);
      std::string shown = format(date, picture);
      std::string back = parse(shown.c_str(), picture);
      ASSERT_EQ(back, std::string(date, 8)) << picture << " " << shown;
    }
  }
}

}  // namespace
