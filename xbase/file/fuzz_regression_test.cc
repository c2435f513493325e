// Cases found by the fuzz targets (fuzz/) in the conversions, kept as tests.
#include <gtest/gtest.h>

#include <string>

#include "xbase/file/conv.h"

namespace {

std::string dateOf(int32_t day) {
  char text[8];
  julianToDate(day, text);
  return std::string(text, 8);
}

// Year 0 is a leap year: its last day used to get the number of 0001-01-01, so
// two dates shared one day number and 0000-12-31 came back as 0001-01-01.
TEST(ConvFuzzRegression, YearZeroDatesHaveTheirOwnDayNumbers) {
  EXPECT_EQ(dateToJulian("00010101"), 1721426);
  EXPECT_EQ(dateToJulian("00001231"), 1721425);
  EXPECT_EQ(dateToJulian("00000101"), 1721060);
  for (const char* date : {"00000101", "00000229", "00001231", "00010101", "00011231"})
    EXPECT_EQ(dateOf(dateToJulian(date)), date) << date;
  EXPECT_EQ(dateToJulian("00000230"), -1);
}

}  // namespace
