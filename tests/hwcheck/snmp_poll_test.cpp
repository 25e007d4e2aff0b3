// Polls and walks against a simulated printer: the answers that printers
// get wrong, and the retry rule.
#include "hwcheck_test_support.h"

#include "hwcheck/snmp_printer_data.h"
#include "hwcheck/snmp_text.h"
#include "hwcheck/snmp_wait.h"
#include "hwcheck/snmp_walk.h"

namespace {

using sw_test::counter;
using sw_test::FakeAgent;
using sw_test::gauge;
using sw_test::integer;
using sw_test::DEVICE_STATUS;
using sw_test::MARKER;
using sw_test::MARKER0;
using sw_test::PRINTER_ERROR;
using sw_test::PRINTER_STATUS;
using sw_test::octets;

class Polls : public sw_test::HwcheckTest {
 protected:
  int poll(FakeAgent& agent, PrinterData* data, int* timed_out) {
    SnmpSessionPtr session(agent.open());
    SnmpSnapshotConfig config{};
    (void)snmp_init_snapshot_config(session.get(), &config);
    return snmp_get_printer_data(session.get(), &config, data, timed_out);
  }
};

TEST_F(Polls, AnswersPrintersGetWrong) {
  struct Case {
    const char* name;
    std::function<void(FakeAgent&)> printer;
    int ok;
    std::uint64_t marker;
    std::uint8_t error0, error1;
  };
  const Case cases[] = {
      {"plain", [](FakeAgent&) {}, 1, 1234, 0, 0},
      // Only the marker is required: a printer without the Host Resources
      // device table is polled.
      {"no hrDeviceStatus", [](FakeAgent& a) { a.erase(DEVICE_STATUS); }, 1, 1234, 0, 0},
      {"no hrPrinterStatus", [](FakeAgent& a) { a.erase(PRINTER_STATUS); }, 1, 1234, 0, 0},
      {"only the second marker", [](FakeAgent& a) {
         a.erase(MARKER);
         a.set(MARKER0, counter(77));
       }, 1, 77, 0, 0},
      {"no marker", [](FakeAgent& a) { a.erase(MARKER); }, 0, 0, 0, 0},
      {"marker as a string", [](FakeAgent& a) { a.set(MARKER, octets("1234")); }, 0, 0, 0, 0},
      {"a negative marker counts 0", [](FakeAgent& a) { a.set(MARKER, integer(-5)); }, 1, 0, 0, 0},
      {"status as a gauge", [](FakeAgent& a) { a.set(PRINTER_STATUS, gauge(3)); }, 0, 0, 0, 0},
      {"error state of 0 bytes", [](FakeAgent& a) { a.set(PRINTER_ERROR, octets("")); }, 1, 1234,
       0, 0},
      {"error state of 100 bytes", [](FakeAgent& a) {
         a.set(PRINTER_ERROR, octets("\xC0\x08" + std::string(98, '\xFF')));
       }, 1, 1234, 0xC0, 0x08},
      {"error state of 1 byte", [](FakeAgent& a) { a.set(PRINTER_ERROR, octets("\x04")); }, 1,
       1234, 0x04, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeAgent agent;
    sw_test::idle_printer(agent, "Acme Laser", 99999, 1234);
    c.printer(agent);
    PrinterData data{};
    int timed_out = 0;
    EXPECT_EQ(poll(agent, &data, &timed_out), c.ok);
    EXPECT_EQ(data.data_error, c.ok ? 0 : 1);
    EXPECT_EQ(timed_out, 0);
    if (c.ok) {
      EXPECT_EQ(data.marker_count, c.marker);
      EXPECT_EQ(data.printer_error[0], c.error0);
      EXPECT_EQ(data.printer_error[1], c.error1);
    }
  }
}

TEST_F(Polls, ATotalCounterOfTheWrongTypeFailsThePoll) {
  // An ECOSYS printer: total counter 1347.42.2.1.1.1.6.1.1.
  sw_test::idle_printer(agent_, "ECOSYS P3045dn", 1347, 500);
  agent_.set("1.3.6.1.4.1.1347.42.2.1.1.1.6.1.1", counter(480));
  SnmpSessionPtr session(agent_.open());
  SnmpSnapshotConfig config{};
  ASSERT_EQ(snmp_init_snapshot_config(session.get(), &config), 1);
  ASSERT_EQ(config.total.any_usable, 1);
  PrinterData data{};
  int timed_out = 0;
  ASSERT_EQ(snmp_get_printer_data(session.get(), &config, &data, &timed_out), 1);
  EXPECT_EQ(data.total_count, 480u);
  agent_.set("1.3.6.1.4.1.1347.42.2.1.1.1.6.1.1", gauge(481));
  EXPECT_EQ(snmp_get_printer_data(session.get(), &config, &data, &timed_out), 0);
}

TEST_F(Polls, SnmpV1MissingObjectFailsTheWholeRequest) {
  FakeAgent agent;
  agent.version = 1;
  sw_test::idle_printer(agent, "Acme Laser", 99999, 1234);
  PrinterData data{};
  int timed_out = 0;
  EXPECT_EQ(poll(agent, &data, &timed_out), 1);
  agent.erase(DEVICE_STATUS);
  EXPECT_EQ(poll(agent, &data, &timed_out), 0);
  EXPECT_TRUE(logged("error in packet. Reason: (noSuchName)"));
}

TEST_F(Polls, RetryRule) {
  struct Case {
    const char* name;
    std::function<void(FakeAgent&, int)> printer;  // from the first poll on
    int ok;
    int attempts;
    std::int64_t slept;
    int callbacks;  // one after each attempt that is repeated
  };
  const Case cases[] = {
      {"time-outs use up the retries", [](FakeAgent& a, int) { a.timeout = true; }, 0, 6, 0, 6},
      {"a first failure of another kind ends at once",
       [](FakeAgent& a, int) { a.erase(MARKER); }, 0, 1, 0, 0},
      {"other failures after a time-out are repeated 2 s apart, 6 at most",
       [](FakeAgent& a, int n) {
         a.timeout = n == 0;
         if (n == 1) a.erase(MARKER);
       },
       0, 8, 12000, 7},
      {"a late answer", [](FakeAgent& a, int n) { a.timeout = n < 5; }, 1, 6, 0, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeAgent agent;
    sw_test::idle_printer(agent, "Acme Laser", 99999, 1234);
    SnmpSessionPtr session(agent.open());
    SnmpSnapshotConfig config{};
    ASSERT_EQ(snmp_init_snapshot_config(session.get(), &config), 1);
    agent.requests = 0;
    agent.on_request = [&c](FakeAgent& a, int n) { c.printer(a, n); };
    int callbacks = 0;
    auto count = [](const SnmpSnapshotConfig*, const PrinterData*, void* data, int error) {
      *static_cast<int*>(data) += error;
      return 1;
    };
    PrinterData data{};
    EXPECT_EQ(snmp_get_printer_data_retry(session.get(), &config, &data, 5, count, &callbacks),
              c.ok);
    EXPECT_EQ(agent.requests, c.attempts);
    EXPECT_EQ(agent.slept_millis, c.slept);
    EXPECT_EQ(callbacks, c.callbacks);
  }
}

struct Walked {
  std::vector<std::string> names;
};

int collect(void* context, const variable_list* var) {
  char text[SNMP_OID_TEXT_SIZE];
  snmp_format_oid(SnmpOidView(var->name, var->name_length), text, sizeof text);
  static_cast<Walked*>(context)->names.push_back(text);
  return 0;
}

TEST_F(Polls, WalksEndOnEveryKindOfEnd) {
  const std::string root = "1.3.6.1.2.1.43.8.2.1.2";
  struct Case {
    const char* name;
    int version;
    bool repeat;
    bool after_table;  // an object follows the table
    int result;
    std::size_t walked;
  };
  const Case cases[] = {
      {"v2c endOfMibView", 2, false, false, 1, 2},
      {"v1 noSuchName", 1, false, false, 1, 2},
      {"leaving the subtree", 2, false, true, 1, 2},
      // An agent that answers the same identifier again never ends by itself.
      {"a repeating agent", 2, true, true, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeAgent agent;
    agent.version = c.version;
    agent.repeat_next = c.repeat;
    agent.set(root + ".1.1", integer(4));
    agent.set(root + ".1.2", integer(3));
    if (c.after_table) agent.set("1.3.6.1.2.1.43.8.2.1.3.1.1", integer(0));
    SnmpSessionPtr session(agent.open());
    Walked walked;
    SnmpOid o{};
    ASSERT_EQ(snmp_parse_oid_text(root, &o), 1);
    EXPECT_EQ(snmp_walk(session.get(), &walked, collect, snmp_oid_view(o)), c.result);
    EXPECT_EQ(walked.names.size(), c.walked);
    EXPECT_LE(agent.requests, 4);
  }
}

TEST_F(Polls, EmptyTrayAlerts) {
  global_ctx.hwcheck_model[0][0] = '\0';
  std::snprintf(global_ctx.hwcheck_model[0], CONFIG_TEXT_SIZE, "%s",
                "make=\"Acme\" model=\"Laser\" PauseOnPaperTrayError=\"AnyTray\"");
  sw_test::idle_printer(agent_, "Acme Laser", 99999, 1234);
  // prtAlertTable, column by column: group (4), group index (5), code (7).
  const std::string alert = "1.3.6.1.2.1.43.18.1.1.";
  auto row = [&](int column, int index, long value) {
    agent_.set(alert + std::to_string(column) + ".1." + std::to_string(index), integer(value));
  };
  for (int i = 1; i <= 25; ++i) {
    row(2, i, 3);                   // severity: skipped
    row(4, i, i == 3 ? 13 : 8);     // 24 input alerts, one of another group
    row(5, i, i);                   // the tray
    row(7, i, i <= 2 || i == 3 || i == 24 ? 808 : 801);
    row(8, i, 0);                   // beyond the code: the walk stops
  }
  agent_.set(alert + "6.1.1", octets("not an integer"));
  SnmpSessionPtr session(agent_.open());
  SnmpSnapshotConfig config{};
  ASSERT_EQ(snmp_init_snapshot_config(session.get(), &config), 1);
  ASSERT_EQ(config.tray_pause_mode, TRAY_PAUSE_ANY_TRAY);
  PrinterData data{};
  int timed_out = 0;
  ASSERT_EQ(snmp_get_printer_data(session.get(), &config, &data, &timed_out), 1);
  // 20 input alerts kept (rows 1, 2, 4..21); of those rows 1 and 2 are empty.
  EXPECT_EQ(data.num_alert_trays, SNMP_MAX_ALERT_TRAYS);
  EXPECT_TRUE(logged("too many trays in alert data: 20"));
  EXPECT_EQ(data.num_empty_trays, 2);
  EXPECT_EQ(snmp_in_error(&config, &data), 1);
  char* text = nullptr;
  std::size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  snmp_output_printer_data(&config, &data, out);
  std::fclose(out);
  EXPECT_NE(std::string(text).find("  no paper in trays: 1 2 \n"), std::string::npos) << text;
  std::free(text);
}

}  // namespace
