#include "foundation/os_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <regex>

namespace {

std::int64_t wall_millis() {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  return duration_cast<milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

TEST(OsTime, TimestampLayoutAndBufferLimit) {
  char buffer[64];
  ASSERT_EQ(os_current_timestamp(buffer, sizeof buffer), 0);
  EXPECT_TRUE(std::regex_match(buffer, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,\d{3})")))
      << buffer;
  EXPECT_EQ(os_current_timestamp(buffer, 24), 0);
  EXPECT_EQ(os_current_timestamp(buffer, 23), -1);
}

TEST(OsTime, ClockReadings) {
  // The bracket is read from the same fine clock: time() follows a coarser
  // one that can still show the last second just after the turn.
  std::int64_t before = wall_millis();
  std::int64_t millis = os_current_time_millis();
  std::int64_t after = wall_millis() + 1;
  EXPECT_GE(millis, before);
  EXPECT_LT(millis, after);

  struct tm now {};
  EXPECT_EQ(os_get_current_time(&now), 1);
  EXPECT_GE(now.tm_year, 120);
  EXPECT_EQ(os_get_current_time(nullptr), 0);
  os_sleep_millis_random(1, 1);  // an empty range must not divide by zero
  os_sleep_millis_random(5, 1);
}
