// The waits around a job, on a simulated printer and clock.
#include "hwcheck_test_support.h"

#include "hwcheck/snmp_text.h"
#include "hwcheck/snmp_wait.h"

namespace {

using sw_test::counter;
using sw_test::FakeAgent;
using sw_test::integer;
using sw_test::MARKER;
using sw_test::PRINTER_ERROR;
using sw_test::PRINTER_STATUS;
using sw_test::octets;

class Waits : public sw_test::HwcheckTest {
 protected:
  // The settings of a plain printer (the defaults unless a test changes
  // the configuration first).
  SnmpSnapshotConfig configure(long pages = 100) {
    if (agent_.objects.empty()) sw_test::idle_printer(agent_, "Acme Laser", 99999, pages);
    session_.reset(agent_.open());
    SnmpSnapshotConfig config{};
    EXPECT_EQ(snmp_init_snapshot_config(session_.get(), &config), 1);
    agent_.requests = 0;
    return config;
  }
  SnmpSessionPtr session_;
};

TEST_F(Waits, DefaultsWithAPrinterThatNeverPrints) {
  const SnmpSnapshotConfig config = configure();
  const std::int64_t start = agent_.now_millis;
  EXPECT_EQ(snmp_wait_for_printing(session_.get(), &config, nullptr, nullptr), 1);
  EXPECT_TRUE(logged("give up on waiting for printing state. Have already waited over: 41 secs"));
  EXPECT_EQ(agent_.now_millis - start, 41000);
  PageCounts before{};
  before.total_page_count = 100;
  PageCounts after{};
  agent_.requests = 0;
  EXPECT_EQ(snmp_wait_for_idle(session_.get(), 1, &config, nullptr, nullptr, &before, &after), 1);
  // The count must exceed 5, then the 60 extra loops: 66 idle polls.
  EXPECT_EQ(agent_.requests, 66);
  EXPECT_TRUE(logged("we have reached idle state (with stabilization) and no counter changes"));
  EXPECT_EQ(after.abandoned, 0);
}

// A job of 5 pages: printing after two polls, the counter rises, idle again.
TEST_F(Waits, AJobIsCountedFromIdleToIdle) {
  const SnmpSnapshotConfig config = configure(100);
  PageCounts before{};
  ASSERT_EQ(snmp_wait_for_idle_before_print(session_.get(), &config, nullptr, nullptr, &before), 1);
  EXPECT_EQ(before.total_page_count, 100u);
  agent_.on_request = [](FakeAgent& a, int n) {
    if (n == 2) a.set(PRINTER_STATUS, integer(4));
    if (n == 4) a.set(MARKER, counter(105));
    if (n == 6) a.set(PRINTER_STATUS, integer(3));
  };
  PageCountDiff diff{};
  ASSERT_EQ(snmp_wait_for_idle_after_print(session_.get(), &config, nullptr, nullptr, &before, &diff),
            1);
  EXPECT_EQ(diff.total, 5);
  EXPECT_EQ(diff.abandoned, 0);
  EXPECT_TRUE(logged("we have reached printing state"));
  EXPECT_TRUE(logged("we have reached idle state (with stabilization)"));
}

TEST_F(Waits, FailuresEndTheWait) {
  struct Case {
    const char* name;
    std::function<void(FakeAgent&, int)> printer;
    const char* logged;
  };
  const Case cases[] = {
      {"a counter drops", [](FakeAgent& a, int n) { if (n == 3) a.set(MARKER, counter(90)); },
       "A page counter detected as decreasing."},
      {"the marker disappears", [](FakeAgent& a, int n) { if (n == 3) a.erase(MARKER); },
       "snmp_get_printer_data failed to receive the marker count"},
      {"the printer stops answering", [](FakeAgent& a, int n) { if (n == 3) a.timeout = true; },
       "snmp_get_printer_data_retry failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    agent_ = FakeAgent{};
    global_ctx.hwcheck_wait_retries_after = 2;
    const SnmpSnapshotConfig config = configure(100);
    agent_.on_request = c.printer;
    PageCounts before{};
    before.total_page_count = 100;
    PageCounts after{};
    EXPECT_EQ(snmp_wait_for_idle(session_.get(), 1, &config, nullptr, nullptr, &before, &after), 0);
    EXPECT_TRUE(logged(c.logged)) << log_text();
  }
}

// A wait that gives up has counts of a job that may still be printing: they
// are marked, so that they are reported as partial, not as the job's.
TEST_F(Waits, GivingUpMarksTheCountsAbandoned) {
  global_ctx.hwcheck_wait_idle_error_max_secs = 5;
  global_ctx.hwcheck_wait_printing_noerror_max_secs = 2;
  const SnmpSnapshotConfig config = configure(100);
  // Jammed after two pages, for good.
  agent_.on_request = [](FakeAgent& a, int n) {
    if (n == 1) a.set(PRINTER_STATUS, integer(4));
    if (n == 2) {
      a.set(MARKER, counter(102));
      a.set(PRINTER_STATUS, integer(1));
      a.set(PRINTER_ERROR, octets(std::string("\x04\x00", 2)));
    }
  };
  PageCounts before{};
  before.total_page_count = 100;
  PageCountDiff diff{};
  ASSERT_EQ(snmp_wait_for_idle_after_print(session_.get(), &config, nullptr, nullptr, &before, &diff),
            1);
  EXPECT_TRUE(logged("give up on waiting for idle state in error"));
  EXPECT_EQ(diff.abandoned, 1);
  EXPECT_EQ(diff.total, 2);
  // The interval grew by the error increment while in error.
  EXPECT_TRUE(logged("increased the delay on error to: 3000"));
}

TEST_F(Waits, ACallbackCanEndAWait) {
  const SnmpSnapshotConfig config = configure();
  int calls = 0;
  auto stop_at_third = [](const SnmpSnapshotConfig*, const PrinterData*, void* data, int) {
    return ++*static_cast<int*>(data) < 3 ? 1 : 0;
  };
  EXPECT_EQ(snmp_wait_for_printing(session_.get(), &config, stop_at_third, &calls), 0);
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(logged("snmp loop callback failed"));
}

TEST_F(Waits, InErrorRules) {
  SnmpSnapshotConfig config{};
  snmp_convert_str_to_printerror(global_ctx.hwcheck_ignore_errors, config.ignore_errors);
  struct Case {
    const char* name;
    std::uint8_t error[2];
    int tray_mode = TRAY_PAUSE_OFF;
    int auto_trays = 0;
    int empty_trays = 0;
    bool maker_check = false;
    int maker_valid = 0;
    int in_error = 0;
  };
  const Case cases[] = {
      {.name = "no error", .error = {0, 0}},
      {.name = "No Toner is ignored by default", .error = {0x10, 0}},
      {.name = "Jammed", .error = {0x04, 0}, .in_error = 1},
      {.name = "Output Full", .error = {0, 0x08}, .in_error = 1},
      {.name = "an empty tray, AnyTray", .error = {0, 0}, .tray_mode = TRAY_PAUSE_ANY_TRAY,
       .auto_trays = 2, .empty_trays = 1, .in_error = 1},
      {.name = "an empty tray, AllTrays", .error = {0, 0}, .tray_mode = TRAY_PAUSE_ALL_TRAYS,
       .auto_trays = 2, .empty_trays = 1},
      {.name = "all trays empty, AllTrays", .error = {0, 0}, .tray_mode = TRAY_PAUSE_ALL_TRAYS,
       .auto_trays = 2, .empty_trays = 2, .in_error = 1},
      // Without automatic trays no tray can run empty: no error for ever.
      {.name = "no automatic trays, AllTrays", .error = {0, 0},
       .tray_mode = TRAY_PAUSE_ALL_TRAYS},
      {.name = "the maker's check says no", .error = {0x04, 0}, .maker_check = true,
       .maker_valid = 1},
      {.name = "the maker's check could not be made", .error = {0x04, 0}, .maker_check = true,
       .in_error = 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    config.tray_pause_mode = c.tray_mode;
    config.num_auto_trays = c.auto_trays;
    config.custom_error = nullptr;
    if (c.maker_check) config.custom_error = [](SnmpSession*, int*) { return 0; };
    PrinterData data{};
    data.printer_error[0] = c.error[0];
    data.printer_error[1] = c.error[1];
    data.num_empty_trays = c.empty_trays;
    data.custom_error_valid = c.maker_valid;
    EXPECT_EQ(snmp_in_error(&config, &data), c.in_error);
  }
}

TEST_F(Waits, LargePagesCountedTwice) {
  struct Case {
    std::uint64_t total, color, large;
    int doubled;
    std::int64_t want_total, want_color;
  };
  const Case cases[] = {
      {20, 6, 10, 0, 10, 3},  // twice the large pages: halved
      {20, 7, 10, 0, 10, 7},  // an odd colour count is left
      {8, 0, 8, 1, 4, 0},     // a printer known to double, even: halved
      {7, 0, 7, 1, 7, 0},     // ... odd: left, with a warning
      {7, 0, 7, 0, 7, 0},     // as many as the large pages: left
      {9, 0, 3, 0, 9, 0},     // not consistent: left
      {9, 0, 0, 0, 9, 0},     // no large pages
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.total << "/" << c.large << " doubled " << c.doubled);
    SnmpSnapshotConfig config{};
    config.large_counter_doubled = c.doubled;
    const PageCounts before{1000, 1, 500, 1, 300, 0};
    const PageCounts after{1000 + c.total, 1, 500 + c.color, 1, 300 + c.large, 0};
    PageCountDiff diff{};
    ASSERT_EQ(snmp_page_count_diff(&config, &before, &after, &diff), 1);
    EXPECT_EQ(diff.total, c.want_total);
    EXPECT_EQ(diff.color, c.want_color);
  }
  EXPECT_TRUE(logged("We have flagged printer as doubling large counter but counter is not even!"));
  SnmpSnapshotConfig config{};
  const PageCounts before{1000, 1, 500, 0, 0, 0};
  const PageCounts fell{999, 1, 500, 0, 0, 0};
  PageCountDiff diff{};
  EXPECT_EQ(snmp_page_count_diff(&config, &before, &fell, &diff), 0);
  EXPECT_TRUE(logged("page counter decreased: before 1000, after 999"));
}

}  // namespace
