// Held jobs: the markers that the event process writes and the waiting job
// reads, their clean-up, and the wait itself.
#include "job/held_job_manager.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <chrono>
#include <string>
#include <thread>

#include "job_test_support.h"
#include "server/events_manager.h"

namespace {


class HeldJobTest : public job_test::JobTest {
 protected:
  void SetUp() override {
    job_test::configure(dir_, 1);
    events_manager_clear_subscriptions();
  }
  void TearDown() override { events_manager_clear_subscriptions(); }
  std::string marker(const std::string& name) { return dir_ / ("heldjobs/" + name); }
  std::string log() { return job_test::log_text(dir_); }
};

TEST_F(HeldJobTest, EventsThroughTheSubscriptionsCreateAndRemoveMarkers) {
  ASSERT_EQ(held_job_manager_subscribe(&global_ctx), 1);
  process_event_callback("HoldJob", "17");
  EXPECT_TRUE(sw_test::exists(marker("17.hold")));
  EXPECT_EQ(held_job_manager_is_job_held("17"), 1);
  process_event_callback("UnholdJob", "17");
  EXPECT_FALSE(sw_test::exists(marker("17.hold")));
  EXPECT_EQ(held_job_manager_is_job_held("17"), 0);
}

TEST_F(HeldJobTest, EventChecks) {
  struct Case {
    const char* name;
    void (*callback)(const char*, const char*);
    const char* type;
    const char* id;
    bool marker_before;
    bool marker_after;
    const char* logged;
  };
  const Case cases[] = {
      {"hold", process_hold_event, "HoldJob", "5", false, true, "Processing event HoldJob => 5"},
      {"hold again", process_hold_event, "HoldJob", "5", true, true,
       "Job 5 seems to already be held!"},
      {"hold with wrong type", process_hold_event, "UnholdJob", "5", false, false,
       "Unexpected event! Expected HoldJob."},
      {"hold without id", process_hold_event, "HoldJob", "", false, false, nullptr},
      {"unhold", process_unhold_event, "UnholdJob", "5", true, false, nullptr},
      {"unhold with wrong type", process_unhold_event, "HoldJob", "5", true, true,
       "Unexpected event! Expected UnholdJob."},
      {"unhold of no marker", process_unhold_event, "UnholdJob", "5", false, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(marker("5.hold"));
    if (c.marker_before) sw_test::write_file(marker("5.hold"), "");
    c.callback(c.type, c.id);
    EXPECT_EQ(sw_test::exists(marker("5.hold")), c.marker_after);
    if (c.logged != nullptr) { EXPECT_NE(log().find(c.logged), std::string::npos); }
  }
}

// Job ids come from the server: a separator must never lead outside the
// directory.
TEST_F(HeldJobTest, MarkerNamesAreMadeFileSafeAndCut) {
  struct Case {
    const char* id;
    std::string name;
  };
  const Case cases[] = {
      {"../../escape", ".._.._escape.hold"},
      {"a/b\\c:d", "a_b_c_d.hold"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    process_hold_event("HoldJob", c.id);
    if (!c.name.empty()) {
      EXPECT_TRUE(sw_test::exists(marker(c.name)));
      EXPECT_EQ(held_job_manager_is_job_held(c.id), 1);
    }
  }
  EXPECT_FALSE(sw_test::exists(dir_ / "escape.hold"));
  const std::string long_id(400, '7');
  process_hold_event("HoldJob", long_id.c_str());
  EXPECT_TRUE(sw_test::exists(marker((long_id + ".hold").substr(0, 254))));
  EXPECT_EQ(held_job_manager_completejob(long_id.c_str()), 1);
  EXPECT_EQ(held_job_manager_is_job_held(long_id.c_str()), 0);
}

TEST_F(HeldJobTest, NewAndCompletedJobsLoseTheirMarkers) {
  for (auto clean : {held_job_manager_newjob, held_job_manager_completejob}) {
    sw_test::write_file(marker("9.hold"), "");
    EXPECT_EQ(clean("9"), 1);
    EXPECT_FALSE(sw_test::exists(marker("9.hold")));
    EXPECT_EQ(clean("9"), 1);
  }
}

TEST_F(HeldJobTest, StartUpDeletesOnlyMarkersOlderThanSevenDays) {
  struct Case {
    const char* name;
    int age_days;
    bool kept;
  };
  const Case cases[] = {{"old.hold", 8, false},   {"recent.hold", 6, true},
                        {"old.txt", 8, true},     {"x.hold.bak", 8, false},
                        {"fresh.hold", 0, true}};
  const time_t now = time(nullptr);
  for (const Case& c : cases) {
    sw_test::write_file(marker(c.name), "");
    const timeval times[2] = {{now - c.age_days * 86400L, 0}, {now - c.age_days * 86400L, 0}};
    ASSERT_EQ(utimes(marker(c.name).c_str(), times), 0);
  }
  std::filesystem::create_directories(marker("dir.hold"));
  ASSERT_EQ(held_job_manager_subscribe(&global_ctx), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(sw_test::exists(marker(c.name)), c.kept);
  }
  EXPECT_TRUE(sw_test::exists(marker("dir.hold")));
}

TEST_F(HeldJobTest, SubscribeCreatesTheDirectory) {
  job_test::copy_text(global_ctx.heldjobs_spool_dir_path, CONFIG_TEXT_SIZE, dir_ / "newheld");
  ASSERT_EQ(held_job_manager_subscribe(&global_ctx), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "newheld"));
}

TEST_F(HeldJobTest, WaitsSleepOrPollTheMarker) {
  struct Case {
    const char* name;
    std::int64_t hold;
    std::int64_t long_hold;
    bool marker;
    const char* logged;
  };
  const Case cases[] = {
      {"no long hold", 100, 0, true, "No configuration to support long polling"},
      {"hold not below long hold", 300, 300, true, "No configuration to support long polling"},
      {"no marker", 100, 60000, false, "No held job file for 3, sleep for 100 millis"},
      {"long hold expires", 100, 1500, true, "The long time on JobId: 3 has expired."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(marker("3.hold"));
    if (c.marker) sw_test::write_file(marker("3.hold"), "");
    held_job_manager_sleep_with_job_event_check("3", c.hold, c.long_hold);
    EXPECT_NE(log().find(c.logged), std::string::npos);
  }
}

TEST_F(HeldJobTest, LongHoldEndsWhenTheMarkerIsRemoved) {
  sw_test::write_file(marker("4.hold"), "");
  int polls = 0;
  std::thread release([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    process_unhold_event("UnholdJob", "4");
  });
  held_job_manager_sleep_with_job_event_check_cb(
      "4", 100, 600000, &polls, [](void* p) { ++*static_cast<int*>(p); });
  release.join();
  EXPECT_NE(log().find("The hold on JobId: 4 has been notified as released."), std::string::npos);
  EXPECT_GE(polls, 1);
}

}  // namespace
