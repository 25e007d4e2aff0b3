// The print monitor program end to end: the built program next to a
// configuration of its own, spoken to over the line protocol by the
// backend's client, watching printers served by snmpsimd and reporting to
// the stand-in application server.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "foundation/popen3.h"
#include "hwcheck/print_monitor.h"
#include "support/appserver_standin.h"
#include "support/snmpsim.h"
#include "support/snmpsim_suite.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

const std::string IDLE =
    "1.3.6.1.2.1.1.1.0|4|Acme Laser 9 v1.0\n"
    "1.3.6.1.2.1.1.2.0|6|1.3.6.1.4.1.99999.1\n"
    "1.3.6.1.2.1.25.3.2.1.3.1|4|Acme Laser 9\n"
    "1.3.6.1.2.1.25.3.2.1.5.1|2|2\n"
    "1.3.6.1.2.1.25.3.5.1.1.1|2|3\n"
    "1.3.6.1.2.1.25.3.5.1.2.1|4x|0000\n";

class PrintMonitorProgram : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { sim_.start(SW_SOURCE_DIR "/tests/hwcheck/data", "idle"); }
  static void TearDownTestSuite() { sim_.stop(); }
  void SetUp() override {
    if (!sw_test::SuiteSimulator::installed()) GTEST_SKIP() << "snmpsimd is not installed";
    ASSERT_TRUE(sim_.ready()) << "snmpsimd did not answer";
    ASSERT_TRUE(server_.running());
    monitor_ = dir_ / "bin" / "ze-zorov-eredazo";
    fs::create_directories(monitor_.parent_path());
    fs::copy_file(fs::path(SW_BINARY_DIR) / "tools" / "print_monitor", monitor_);
  }
  void TearDown() override {
    if (pid_ > 0) finish();
  }

  // The monitor's configuration: short waits, the given community and lines.
  void configure(const std::string& community, const std::string& extra = "") {
    sw_test::write_file(
        (monitor_.parent_path() / "spoolwarden.conf").string(),
        "ApplicationServer=127.0.0.1\nApplicationServerPort=" + std::to_string(server_.port()) +
            "\nConnectTimeout=2000\nNetworkTimeout=5000\nDebug=on\nServerName=monitor-test\n"
            "Logfile=" + (dir_ / "spoolwarden.log").string() +
            "\nSpoolDir=" + (dir_ / "spool").string() + "\nSNMPCommunity=" + community +
            "\nHWCheckSnmpTimeoutSecs=1\nHWCheckSnmpRetries=0\nHWCheckWaitRetriesAfter=0\n"
            "HWCheckWaitIdlePollIntervalMillis=200\nHWCheckWaitPrintingPollIntervalMillis=200\n"
            "HWCheckWaitPrintingNoerrorMaxSecs=3\nHWCheckStabilizationNumLoopsAfter=1\n"
            "HWCheckExtraTimeLoops=0\nHWCheckWaitIdleErrorMaxSecs=1\n" + extra);
  }
  void start() {
    pid_ = popen3_create_fp(("\"" + monitor_.string() + "\"").c_str(), &in_, &out_, nullptr);
    ASSERT_GT(pid_, 0);
  }
  // Sends a line; the answer's result and delete flag.
  std::pair<int, int> send(const char* name, const char* value = nullptr) {
    int del = -1;
    const int ok =
        print_monitor_write_command_check_response_ex(in_, out_, name, value, &del, 60000);
    return {ok, del};
  }
  // The variables the backend sends first.
  void introduce(const std::string& address) {
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"printername", "q1"},
                                      {"printeraddress", address},
                                      {"jobid", "42"},
                                      {"papersize", "A4"}}) {
      ASSERT_EQ(send(name, value.c_str()), std::make_pair(1, 0)) << name;
    }
  }
  int finish() {
    if (in_ != nullptr) std::fclose(in_);
    const int status = popen3_wait(pid_);
    std::fclose(out_);
    pid_ = -1;
    return status;
  }
  // The hardware-check report, once it came: its parameters as text.
  std::vector<std::string> report() {
    std::vector<sw_test::Call> calls;
    sw_test::wait_for(
        [&] {
          calls = server_.calls_of("spoolwarden.processPrintJobHardwareCheck");
          return !calls.empty();
        },
        60.0);
    std::vector<std::string> values;
    if (calls.size() != 1) return values;
    for (const sw_test::Param& p : calls[0].params) values.push_back(p.value);
    return values;
  }
  std::string log_text() const { return sw_test::read_file((dir_ / "spoolwarden.log").string()); }

  static sw_test::SuiteSimulator sim_;
  sw_test::TempDir work_;
  const fs::path dir_{work_.path()};
  sw_test::TempDir server_dir_;
  sw_test::AppServerStandin server_{server_dir_.path()};
  fs::path monitor_;
  pid_t pid_ = -1;
  FILE* in_ = nullptr;
  FILE* out_ = nullptr;
};

sw_test::SuiteSimulator PrintMonitorProgram::sim_;

// Pages printed after "enddoc_bg" are counted and reported as the job's.
TEST_F(PrintMonitorProgram, CountsThePagesOfTheJob) {
  sim_->rewrite("idle", IDLE + "1.3.6.1.2.1.43.10.2.1.4.1.1|65|1000\n");
  configure("idle");
  start();
  introduce(sim_->address());
  EXPECT_EQ(send("startdoc_lock"), std::make_pair(1, 0));
  EXPECT_EQ(send("enddoc_bg"), std::make_pair(1, 0));
  // The monitor leaves a detached child behind and ends, so the backend
  // can send the job.
  EXPECT_EQ(finish(), 0);
  sim_->rewrite("idle", IDLE + "1.3.6.1.2.1.43.10.2.1.4.1.1|65|1003\n");
  const std::vector<std::string> r = report();
  ASSERT_EQ(r.size(), 9u) << log_text();
  EXPECT_EQ(r, (std::vector<std::string>{"monitor-test", "q1", "42", "3", "0", "N", "SNMP", "OK",
                                         sim_->address() + " counted 3 pages (0 colour)"}));
}

TEST_F(PrintMonitorProgram, APrinterThatDoesNotAnswerIsReportedAndNeverHoldsTheJob) {
  configure("idle");
  start();
  introduce("127.0.0.1:" + std::to_string(sw_test::unused_udp_port()));
  EXPECT_EQ(send("startdoc_lock"), std::make_pair(1, 0));
  EXPECT_EQ(send("enddoc_bg"), std::make_pair(1, 0));
  EXPECT_EQ(finish(), 0);
  const std::vector<std::string> r = report();
  ASSERT_EQ(r.size(), 9u) << log_text();
  EXPECT_EQ(r[3], "0");
  EXPECT_EQ(r[5], "");
  EXPECT_EQ(r[7], "ERROR");
  EXPECT_NE(r[8].find("does not answer over SNMP"), std::string::npos) << r[8];
}

TEST_F(PrintMonitorProgram, AJammedPrinterWithDeleteOnErrorDeletesTheJob) {
  configure("jammed", "HWCheckModel1=make=\"Acme\" model=\"Jammer\" deleteonerror=\"1\"\n");
  start();
  introduce(sim_->address());
  EXPECT_EQ(send("startdoc_lock"), std::make_pair(1, 1));
  EXPECT_EQ(finish(), 0);
  const std::vector<std::string> r = report();
  ASSERT_EQ(r.size(), 9u) << log_text();
  EXPECT_EQ(r[7], "ERROR");
  EXPECT_EQ(r[8], "job deleted: the printer at " + sim_->address() + " is in error (Jammed)");
  // Without deleteonerror the same printer only delays the job.
  server_.clear_calls();
  configure("jammed");
  start();
  introduce(sim_->address());
  EXPECT_EQ(send("startdoc_lock"), std::make_pair(1, 0));
  EXPECT_EQ(finish(), 0);
}

// A jammed printer (no time limit in error) keeps "startdoc_lock" waiting;
// when the backend goes (the job cancelled), the monitor stops waiting.
TEST_F(PrintMonitorProgram, ABackendThatGoesEndsTheWait) {
  configure("jammed", "HWCheckWaitIdleErrorMaxSecs=0\n");
  start();
  introduce(sim_->address());
  ASSERT_GT(std::fprintf(in_, "startdoc_lock\n"), 0);
  std::fflush(in_);
  ASSERT_TRUE(sw_test::wait_for([&] { return log_text().find("detected in error") != std::string::npos; },
                                30.0));
  std::fclose(in_);
  in_ = nullptr;
  int status = -1;
  EXPECT_TRUE(sw_test::wait_for([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 60.0))
      << log_text();
  pid_ = -1;
  std::fclose(out_);
  EXPECT_NE(log_text().find("the backend has gone"), std::string::npos);
}

TEST_F(PrintMonitorProgram, RequestsOutOfOrder) {
  configure("idle");
  start();
  EXPECT_EQ(send("enddoc_bg"), std::make_pair(0, 0));
  EXPECT_EQ(send("startdoc_lock"), std::make_pair(0, 0)) << "no printer address yet";
  EXPECT_EQ(send("frobnicate"), std::make_pair(0, 0));
  EXPECT_EQ(send("colour", "blue"), std::make_pair(0, 0));
  EXPECT_EQ(send("printeraddress", sim_->address().c_str()), std::make_pair(1, 0));
  EXPECT_EQ(finish(), 0);
  EXPECT_TRUE(server_.calls_of("spoolwarden.processPrintJobHardwareCheck").empty());
}

}  // namespace
