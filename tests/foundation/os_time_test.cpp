#include "foundation/os_time.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>

TEST(OsTime, TimestampLayoutAndBufferLimit) {
  char buffer[64];
  ASSERT_EQ(os_current_timestamp(buffer, sizeof buffer), 0);
  EXPECT_TRUE(std::regex_match(buffer, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,\d{3})")))
      << buffer;
  EXPECT_EQ(os_current_timestamp(buffer, 24), 0);
  EXPECT_EQ(os_current_timestamp(buffer, 23), -1);
}

TEST(OsTime, ClockReadings) {
  std::int64_t before = static_cast<std::int64_t>(time(nullptr)) * 1000;
  std::int64_t millis = os_current_time_millis();
  std::int64_t after = static_cast<std::int64_t>(time(nullptr)) * 1000 + 1000;
  EXPECT_GE(millis, before);
  EXPECT_LT(millis, after);

  struct tm now {};
  EXPECT_EQ(os_get_current_time(&now), 1);
  EXPECT_GE(now.tm_year, 120);
  EXPECT_EQ(os_get_current_time(nullptr), 0);
  os_sleep_millis_random(1, 1);  // an empty range must not divide by zero
  os_sleep_millis_random(5, 1);
}
