#include "foundation/timeout.h"

#include <gtest/gtest.h>
#include <time.h>

#include <memory>

namespace {

// The clock a time limit must run on: one that never steps. On the wall
// clock, a clock set back by an hour would keep an analysis running an hour
// past its limit, and one set forward would end it at once.
std::int64_t now_millis() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

TEST(Timeout, StartsEmptyAndStartsNow) {
  TimeoutPtr timeout(TimeoutNew());
  ASSERT_NE(timeout, nullptr);
  EXPECT_EQ(timeout->start, 0);
  EXPECT_EQ(timeout->limit, 0);
  const std::int64_t before = now_millis();
  TimeoutStart(timeout.get());
  TimeoutSetLimit(timeout.get(), 30);
  EXPECT_GE(timeout->start, before);
  EXPECT_LE(timeout->start, now_millis());
  EXPECT_EQ(timeout->limit, 30);
  EXPECT_EQ(TimeoutIsTimeUp(timeout.get()), 0);
}

TEST(Timeout, UpOnlyStrictlyAfterTheLimit) {
  struct Case {
    std::int64_t started_ago_ms;  // negative: starts in the future
    int limit;
    int expected;
  };
  const Case cases[] = {
      {1, 0, 1},        // limit 0: up one millisecond later
      {-60000, 0, 0},   // not yet at the start
      {2500, 2, 1},
      {500, 2, 0},
      {-1000, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.started_ago_ms);
    Timeout timeout;
    timeout.start = now_millis() - c.started_ago_ms;
    timeout.limit = c.limit;
    EXPECT_EQ(TimeoutIsTimeUp(&timeout), c.expected);
  }
}

TEST(Timeout, NullIsNeverUp) {
  EXPECT_EQ(TimeoutIsTimeUp(nullptr), 0);
  TimeoutStart(nullptr);
  TimeoutSetLimit(nullptr, 1);
  TimeoutFree(nullptr);
}

}  // namespace
