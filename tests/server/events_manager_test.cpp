#include "server/events_manager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/os_stop.h"
#include "server/rpc_test_fixture.h"

namespace {

std::vector<std::pair<std::string, std::string>> g_received;
std::vector<std::string> g_log;

void record_event(const char* type, const char* value) { g_received.emplace_back(type, value); }
void row_a(const char* type, const char* value) { g_log.push_back(std::string("a:") + type + "=" + value); }
void row_b(const char* type, const char* value) { g_log.push_back(std::string("b:") + type + "=" + value); }
void row_c(const char* type, const char* value) { g_log.push_back(std::string("c:") + type + "=" + value); }

class Subscriptions : public ::testing::Test {
 protected:
  void SetUp() override {
    events_manager_clear_subscriptions();
    g_log.clear();
  }
  void TearDown() override { events_manager_clear_subscriptions(); }
};

TEST_F(Subscriptions, TwentyRowsThenFull) {
  for (int n = 0; n < 20; ++n) {
    ASSERT_EQ(events_manager_subscribe(("T" + std::to_string(n)).c_str(), row_a), 1);
  }
  EXPECT_EQ(events_manager_subscribe("T20", row_b), 0);
  process_event_callback("T19", "v");
  process_event_callback("T20", "v");
  EXPECT_EQ(g_log, (std::vector<std::string>{"a:T19=v"}));
}

TEST_F(Subscriptions, DispatchByExactTypeAndStar) {
  ASSERT_EQ(events_manager_subscribe("HoldJob", row_a), 1);
  ASSERT_EQ(events_manager_subscribe("*", row_b), 1);
  ASSERT_EQ(events_manager_subscribe("UnholdJob", row_c), 1);
  ASSERT_EQ(events_manager_subscribe("HoldJob", row_c), 1);
  const struct {
    const char* type;
    std::vector<std::string> calls;
  } rows[] = {
      {"HoldJob", {"a:HoldJob=1", "b:HoldJob=1", "c:HoldJob=1"}},
      {"UnholdJob", {"b:UnholdJob=1", "c:UnholdJob=1"}},
      {"holdjob", {"b:holdjob=1"}},  // types are case-sensitive
      {"Other", {"b:Other=1"}},
  };
  for (const auto& row : rows) {
    g_log.clear();
    process_event_callback(row.type, "1");
    EXPECT_EQ(g_log, row.calls) << row.type;
  }
}

TEST_F(Subscriptions, LongTypeIsCutAndFreeRowEndsTheTable) {
  const std::string long_type(300, 'x');
  ASSERT_EQ(events_manager_subscribe(long_type.c_str(), row_a), 1);
  EXPECT_EQ(std::string(global_subscriptions.rows[0].event_type), long_type.substr(0, 254));
  process_event_callback(long_type.substr(0, 254).c_str(), "v");
  EXPECT_EQ(g_log.size(), 1u);
}

using DrainEvents = StandinTest;

TEST_F(DrainEvents, RepliesAreScannedIntoEvents) {
  const struct {
    const char* name;
    std::string answer;  // JSON
    int count;
    std::vector<std::pair<std::string, std::string>> events;
  } rows[] = {
      {"hold then unhold", "\"HoldJob[\\\"17\\\"],UnholdJob[\\\"17\\\"]\"", 2,
       {{"HoldJob", "17"}, {"UnholdJob", "17"}}},
      {"text between items is skipped", "\"junk HoldJob[\\\"a,b\\\"] ;; A_1[\\\"\\\"]x\"", 2,
       {{"HoldJob", "a,b"}, {"A_1", ""}}},
      {"value across lines", "\"T[\\\"line1\\nline2\\\"]\"", 1, {{"T", "line1\nline2"}}},
      {"no items", "\"\"", 0, {}},
      {"not a string", "5", 0, {}},
      {"fault", "{\"fault\": [9, \"x\"]}", -1, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    g_received.clear();
    server_->answer("spoolwarden.drainEvents", row.answer);
    EXPECT_EQ(rpc_drain_events(2000, 5000, "srv", 0, record_event), row.count);
    EXPECT_EQ(g_received, row.events);
  }
}

TEST_F(DrainEvents, EventsFileIsDrainedOnce) {
  server_->append_event("HoldJob", "5");
  server_->append_event("UnholdJob", "5");
  g_received.clear();
  EXPECT_EQ(rpc_drain_events(2000, 5000, "srv", 0, record_event), 2);
  EXPECT_EQ(rpc_drain_events(2000, 5000, "srv", 0, record_event), 0);
  EXPECT_EQ(g_received.size(), 2u);
}

// Events queued while the event process was away come back in one reply far
// longer than a fixed reply buffer; none may be lost.
TEST_F(DrainEvents, LongReplyLosesNoEvent) {
  constexpr int EVENTS = 3000;
  for (int i = 0; i < EVENTS; ++i) {
    server_->append_event(i % 2 == 0 ? "HoldJob" : "UnholdJob", "job-" + std::to_string(i));
  }
  g_received.clear();
  ASSERT_EQ(rpc_drain_events(2000, 10000, "srv", 0, record_event), EVENTS);
  ASSERT_EQ(g_received.size(), static_cast<std::size_t>(EVENTS));
  EXPECT_EQ(g_received.front(), (std::pair<std::string, std::string>{"HoldJob", "job-0"}));
  EXPECT_EQ(g_received.back(),
            (std::pair<std::string, std::string>{"UnholdJob", "job-" + std::to_string(EVENTS - 1)}));
}

// A clock that only moves when asked to sleep, plus a fixed cost per reading.
struct FakeClock {
  static inline std::int64_t now = 0;
  static inline std::int64_t per_reading = 0;
  static inline std::vector<std::int64_t> sleeps;
  static std::int64_t read() {
    now += per_reading;
    return now;
  }
  static void sleep(std::int64_t ms) {
    sleeps.push_back(ms);
    now += ms;
  }
};

int g_calls_left = 0;
int stop_after_calls() { return --g_calls_left <= 0; }

class DrainLoop : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    FakeClock::now = 1000000;
    FakeClock::per_reading = 0;
    FakeClock::sleeps.clear();
    const EventsClock clock{FakeClock::read, FakeClock::sleep};
    events_manager_set_clock(&clock);
    global_ctx.server_events_disable = 0;
    // The stand-in answers at once (no long poll); the call's time-outs are
    // 1.2 times the wait.
    global_ctx.server_events_poll_timeout_ms = 2000;
    server_->write_script("{\"drain_wait_cap_ms\": 0}");
  }
  void TearDown() override {
    events_manager_set_clock(nullptr);
    StandinTest::TearDown();
  }
  int drain(int calls) {
    g_calls_left = calls;
    return events_manager_start_drain(stop_after_calls);
  }
};

TEST_F(DrainLoop, ImmediateAnswersKeepAMinimumIntervalFromTheCallStart) {
  // Each call appears to take 200 ms (the clock moves 200 ms per reading).
  FakeClock::per_reading = 200;
  EXPECT_EQ(drain(3), 1);
  EXPECT_EQ(FakeClock::sleeps, (std::vector<std::int64_t>{800, 800}));
  EXPECT_EQ(server_->calls().size(), 3u);
}

TEST_F(DrainLoop, SlowCallsAreNotDelayed) {
  FakeClock::per_reading = EVENTS_MIN_CALL_INTERVAL_MS;
  EXPECT_EQ(drain(3), 1);
  EXPECT_TRUE(FakeClock::sleeps.empty());
}

TEST_F(DrainLoop, FailuresBackOffAndASuccessResets) {
  const std::string fault = "{\"fault\": [5, \"busy\"]}";
  server_->write_script("{\"methods\": {\"spoolwarden.drainEvents\": {\"sequence\": [" + fault +
                        "," + fault + "," + fault + "," + fault + "," + fault + "," + fault +
                        ", \"\", " + fault + "]}}}");
  EXPECT_EQ(drain(8), 1);
  EXPECT_EQ(FakeClock::sleeps, (std::vector<std::int64_t>{2000, 2000, 2000, 2000, 25000, 30000,
                                                          1000}));
}

TEST_F(DrainLoop, ServerDownBacksOff) {
  server_->stop();
  EXPECT_EQ(drain(3), 1);
  EXPECT_EQ(FakeClock::sleeps, (std::vector<std::int64_t>{2000, 2000}));
}

TEST_F(DrainLoop, WaitAndServerNameAreSent) {
  util_safe_strncpy(global_ctx.server_name, "ps1", sizeof global_ctx.server_name);
  global_ctx.server_events_poll_timeout_ms = 90000;
  // The stand-in caps its long poll; the call's time-outs (108 s) outlast it.
  server_->write_script("{\"drain_wait_cap_ms\": 0}");
  EXPECT_EQ(drain(1), 1);
  const auto calls = server_->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].params, "[[\"string\", \"ps1\"], [\"int\", 90000]]");
}

// SIGTERM (a stop request) while the server holds the long poll: the call
// and the loop end at once, not when the call's 108 s time-out runs out.
TEST_F(DrainLoop, StopRequestEndsALongPollAtOnce) {
  global_ctx.server_events_poll_timeout_ms = 90000;
  server_->write_script("{\"drain_wait_cap_ms\": 90000}");
  std::thread stopper([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    os_request_stop();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(drain(1000), 1);
  const auto took = std::chrono::steady_clock::now() - start;
  stopper.join();
  os_clear_stop_request();
  EXPECT_LT(took, std::chrono::seconds(30));
  EXPECT_EQ(server_->calls().size(), 1u);
  EXPECT_TRUE(FakeClock::sleeps.empty());
}

TEST_F(DrainLoop, DisabledMakesNoCall) {
  global_ctx.server_events_disable = 1;
  EXPECT_EQ(drain(1), 0);
  EXPECT_TRUE(server_->calls().empty());
}

TEST(DrainBackoff, SleepAfterConsecutiveFailures) {
  const std::pair<int, std::int64_t> rows[] = {{1, 2000},   {4, 2000},    {5, 25000},
                                               {6, 30000},  {59, 295000}, {60, 300000},
                                               {61, 300000}, {INT32_MAX, 300000}};
  for (const auto& [failures, sleep] : rows) {
    EXPECT_EQ(events_manager_failure_sleep_ms(failures), sleep) << failures;
  }
}

}  // namespace
