// Reads, walks and polls against simulated printers served by snmpsimd
// (data/*.snmprec); what the printers hold is read back with net-snmp's
// snmpget and snmpwalk.
#include "hwcheck/snmp_netsnmp.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "hwcheck/snmp_objects.h"
#include "hwcheck/snmp_printer_data.h"
#include "hwcheck/snmp_text.h"
#include "hwcheck/snmp_wait.h"
#include "hwcheck/snmp_walk.h"
#include "hwcheck_test_support.h"
#include "support/snmpsim.h"
#include "support/snmpsim_suite.h"

namespace {

using sw_test::command_output;

class Agent : public sw_test::HwcheckTest {
 protected:
  static void SetUpTestSuite() { sim_.start(SW_SOURCE_DIR "/tests/hwcheck/data", "printer"); }
  static void TearDownTestSuite() { sim_.stop(); }
  void SetUp() override {
    HwcheckTest::SetUp();
    if (!sw_test::SuiteSimulator::installed()) GTEST_SKIP() << "snmpsimd is not installed";
    ASSERT_TRUE(sim_.ready()) << "snmpsimd did not answer";
  }
  SnmpSession* open(const char* community, int version = 2) {
    return snmp_create_session_with(sim_->address().c_str(), version,
                                    SnmpSessionOptions{community, 0, 1});
  }
  // One value as snmpget prints it (-Oqv), without quotes and trailing blanks.
  static std::string snmpget(const std::string& community, const std::string& object) {
    std::string text = command_output(sim_->snmpget_command(community, object));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '"')) {
      text.pop_back();
    }
    if (!text.empty() && text.front() == '"') text.erase(0, 1);
    return text;
  }

  static sw_test::SuiteSimulator sim_;
};

sw_test::SuiteSimulator Agent::sim_;

TEST_F(Agent, ReadsAgreeWithSnmpget) {
  SnmpSessionPtr session(open("printer"));
  ASSERT_TRUE(session);
  char desc[SNMP_PRINTER_DESC_SIZE];
  ASSERT_EQ(snmp_get_printer_desc(session.get(), desc, sizeof desc), 1);
  EXPECT_EQ(std::string(desc), snmpget("printer", sw_test::DESCR));
  // Cut to the buffer, still terminated.
  char cut[8];
  ASSERT_EQ(snmp_get_printer_desc(session.get(), cut, sizeof cut), 1);
  EXPECT_EQ(std::string(cut), snmpget("printer", sw_test::DESCR).substr(0, 7));
  std::int64_t marker = 0;
  ASSERT_EQ(get_int_metric(session.get(), OID_PRT_MARKER_LIFE_COUNT_1, &marker), 1);
  EXPECT_EQ(std::to_string(marker), snmpget("printer", sw_test::MARKER));
  int enterprise = 0;
  ASSERT_EQ(snmp_get_enterprise_id(session.get(), &enterprise), 1);
  EXPECT_EQ(".1.3.6.1.4.1." + std::to_string(enterprise) + ".2.3.9.1",
            snmpget("printer", sw_test::SYS_OBJECT_ID));
  std::uint8_t error[2] = {};
  int timed_out = 1;
  ASSERT_EQ(snmp_get_printer_error(session.get(), error, &timed_out), 1);
  EXPECT_EQ(timed_out, 0);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%02X %02X", error[0], error[1]);
  EXPECT_EQ(std::string(hex), snmpget("printer", sw_test::PRINTER_ERROR));
  char text[SNMP_ERROR_TEXT_SIZE];
  snmp_convert_printererror_to_str(text, sizeof text, error);
  EXPECT_STREQ(text, "Low Paper|No Paper");
  // A string is no integer, an integer no string.
  EXPECT_EQ(get_int_metric(session.get(), OID_HR_DEVICE_DESCR, &marker), 0);
  EXPECT_EQ(snmp_get_string(session.get(), OID_HR_PRINTER_STATUS, "status", text, sizeof text), 0);
  EXPECT_TRUE(logged("Unexpected mismatch in status type: 2"));
}

// Our walk prints what snmpwalk prints, up to the end line.
TEST_F(Agent, WalkDumpAgreesWithSnmpwalk) {
  for (const auto& [version, bulk] : {std::pair{2, false}, std::pair{2, true}, std::pair{1, false}}) {
    SCOPED_TRACE(testing::Message() << "v" << version << (bulk ? " bulk" : ""));
    SnmpSessionPtr session(open("printer", version));
    char* text = nullptr;
    std::size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    const int walked = snmp_walk_dump(session.get(), bulk, 0, out, stderr, SnmpOidView());
    std::fclose(out);
    std::unique_ptr<char, decltype(&std::free)> owned(text, std::free);
    EXPECT_EQ(walked, 1);
    const std::string ours = text;
    std::string theirs = command_output("snmpwalk -v" + std::string(version == 1 ? "1" : "2c") +
                                        " -c printer -On -t 1 " + sim_->address() + " 1.3.6.1");
    // At v1's end snmpwalk says "End of MIB" as we do; v2c's endOfMibView
    // it prints as a last variable.
    if (version == 2) {
      theirs.erase(theirs.rfind('\n', theirs.size() - 2) + 1);
      theirs += "End of MIB\n";
    }
    EXPECT_EQ(ours, theirs);
  }
}

TEST_F(Agent, AnswersPrintersGetWrong) {
  SnmpSessionPtr session(open("faults"));
  SnmpSnapshotConfig config{};
  // No prtMarkerLifeCount.1.1: the second instance is the marker.
  ASSERT_EQ(snmpget("faults", sw_test::MARKER), "No Such Instance currently exists at this OID");
  EXPECT_EQ(snmp_init_snapshot_config(session.get(), &config), 1);
  EXPECT_TRUE(logged("Successfully retrieved printer marker counter mib 1"));
  // The ECOSYS row's total counter is a Gauge32: not usable; the colour one is.
  ASSERT_EQ(command_output(sim_->snmpget_command("faults", "1.3.6.1.4.1.1347.42.2.1.1.1.6.1.1",
                                                 "-Oq")),
            ".1.3.6.1.4.1.1347.42.2.1.1.1.6.1.1 1490\n");
  EXPECT_EQ(config.total.any_usable, 0);
  EXPECT_EQ(config.color.any_usable, 1);
  // The printer status answers after 3 s: a poll times out.
  PrinterData data{};
  int timed_out = 0;
  EXPECT_EQ(snmp_get_printer_data(session.get(), &config, &data, &timed_out), 0);
  EXPECT_EQ(timed_out, 1);
  // A community the agent does not know gets no answer at all.
  SnmpSessionPtr stranger(open("nobody-knows"));
  char desc[SNMP_PRINTER_DESC_SIZE];
  EXPECT_EQ(snmp_get_printer_desc(stranger.get(), desc, sizeof desc), 0);
  EXPECT_EQ(stranger->last_timed_out, 1);
}

// A printer with only a page counter is polled: the other objects are not
// required (v2c says noSuchInstance for them).
TEST_F(Agent, OnlyTheMarkerIsRequired) {
  ASSERT_EQ(snmpget("short", sw_test::DEVICE_STATUS),
            "No Such Instance currently exists at this OID");
  SnmpSessionPtr session(open("short"));
  SnmpSnapshotConfig config{};
  EXPECT_EQ(snmp_init_snapshot_config(session.get(), &config), 1);
  EXPECT_EQ(config.enterprise_id, 0) << "sysObjectID 1.3.6.1.4 names no maker";
  PrinterData data{};
  int timed_out = 0;
  ASSERT_EQ(snmp_get_printer_data(session.get(), &config, &data, &timed_out), 1);
  EXPECT_EQ(std::to_string(data.marker_count), snmpget("short", sw_test::MARKER));
  EXPECT_EQ(data.printer_status, 0);
  // v1 has no exceptions: one missing object fails the whole request.
  const std::string v1 = command_output("snmpget -v1 -Cf -c short -On -t 1 " + sim_->address() +
                                        " " + sw_test::MARKER + " " + sw_test::DEVICE_STATUS +
                                        " 2>&1");
  ASSERT_NE(v1.find("noSuchName"), std::string::npos) << v1;
  SnmpSessionPtr v1_session(open("short", 1));
  EXPECT_EQ(snmp_get_printer_data(v1_session.get(), &config, &data, &timed_out), 0);
}

TEST_F(Agent, RicohCountersFromItsOwnTable) {
  SnmpSessionPtr session(open("ricoh"));
  SnmpSnapshotConfig config{};
  ASSERT_EQ(snmp_init_snapshot_config(session.get(), &config), 1);
  PrinterData data{};
  int timed_out = 0;
  ASSERT_EQ(snmp_get_printer_data(session.get(), &config, &data, &timed_out), 1);
  // Types 400, 606 and 700 sit at rows 2, 3 and 4 of the table.
  const std::string values = "1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.";
  EXPECT_EQ(std::to_string(data.total_count), snmpget("ricoh", values + "2"));
  EXPECT_EQ(std::to_string(data.color_count), snmpget("ricoh", values + "3"));
  EXPECT_EQ(std::to_string(data.large_page_count), snmpget("ricoh", values + "4"));
}

TEST_F(Agent, EmptyTraysAsThePauseModeSays) {
  struct Case {
    const char* mode;
    int in_error;
  };
  // prtAlertTable: tray 1 "input media supply empty" (808), tray 2 low (801);
  // prtInputType: two automatic trays (4, 3) and a manual one (6). The
  // printer's "No Paper" bit is ignored here: only the trays count.
  std::snprintf(global_ctx.hwcheck_ignore_errors, CONFIG_TEXT_SIZE, "%s", "Low Paper|No Paper");
  for (const Case& c : {Case{"AnyTray", 1}, Case{"AllTrays", 0}, Case{"Off", 0}}) {
    SCOPED_TRACE(c.mode);
    std::snprintf(global_ctx.hwcheck_model[0], CONFIG_TEXT_SIZE,
                  "make=\"HP\" model=\"Color LaserJet\" PauseOnPaperTrayError=\"%s\"", c.mode);
    SnmpSessionPtr session(open("printer"));
    SnmpSnapshotConfig config{};
    ASSERT_EQ(snmp_init_snapshot_config(session.get(), &config), 1);
    PrinterData data{};
    int timed_out = 0;
    ASSERT_EQ(snmp_get_printer_data(session.get(), &config, &data, &timed_out), 1);
    EXPECT_EQ(snmp_in_error(&config, &data), c.in_error);
    if (std::string(c.mode) == "AllTrays") {
      EXPECT_EQ(config.num_auto_trays, 2);
    }
    if (std::string(c.mode) != "Off") {
      EXPECT_EQ(data.num_empty_trays, 1);
    }
  }
}

}  // namespace
