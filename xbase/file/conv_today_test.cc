// Today's date and time of day come from a local time kept per second: each
// call must still give the clock's local values.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "xbase/file/conv.h"

namespace {

std::string formatted(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, format, &local);
  return buf;
}

TEST(TodayFromTheClock, RepeatedCallsMatchLocalTime) {
  for (int i = 0; i < 1000; ++i) {
    std::string before = formatted("%Y%m%d");
    char date[8];
    todayDate(date);
    uint8_t header[3];
    todayHeaderDate(header);
    std::string after = formatted("%Y%m%d");
    if (before != after) continue;  // midnight passed during the call
    EXPECT_EQ(std::string(date, 8), before);
    std::tm local{};
    std::time_t now = std::time(nullptr);
    localtime_r(&now, &local);
    EXPECT_EQ(header[0], local.tm_year);
    EXPECT_EQ(header[1], local.tm_mon + 1);
    EXPECT_EQ(header[2], local.tm_mday);
  }
}

TEST(TodayFromTheClock, TimeOfDayFollowsTheSeconds) {
  char first[8];
  timeOfDay(first);
  // The kept value must move on with the clock, not stay at the first call.
  std::time_t start = std::time(nullptr);
  while (std::time(nullptr) == start) {
  }
  for (;;) {
    std::string before = formatted("%H:%M:%S");
    char now[8];
    timeOfDay(now);
    if (formatted("%H:%M:%S") != before) continue;  // a second passed during the call
    EXPECT_EQ(std::string(now, 8), before);
    EXPECT_NE(std::string(first, 8), before);
    break;
  }
}

}  // namespace
