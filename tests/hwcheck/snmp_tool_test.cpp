// The SNMP diagnostic program finds the configuration beside itself however
// it is started: the community that spoolwarden.conf names there is the one
// its walk uses against a printer served by snmpsimd.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/snmpsim.h"
#include "support/snmpsim_suite.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Temporary paths hold no quote.
std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

class SnmpToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { sim_.start(SW_SOURCE_DIR "/tests/hwcheck/data", "idle"); }
  static void TearDownTestSuite() { sim_.stop(); }
  void SetUp() override {
    if (!sw_test::SuiteSimulator::installed()) GTEST_SKIP() << "snmpsimd is not installed";
    ASSERT_TRUE(sim_.ready()) << "snmpsimd did not answer";
    fs::create_directories(dir_ / "bin");
    fs::copy_file(fs::path(SW_BINARY_DIR) / "tools" / "spoolwarden-snmp",
                  dir_ / "bin" / "spoolwarden-snmp");
    // Only this configuration knows the printer's community; without it the
    // program asks with the default one and gets no answer.
    sw_test::write_file((dir_ / "bin" / "spoolwarden.conf").string(),
                        "SNMPCommunity=idle\nHWCheckSnmpTimeoutSecs=1\nHWCheckSnmpRetries=0\n"
                        "Logfile=" + (dir_ / "spoolwarden.log").string() + "\n");
  }

  // The program's output, run from the work directory (not the program's).
  std::string run(const std::string& command) const {
    return sw_test::command_output("cd " + quoted(dir_) + " && " + command +
                                   " walk " + sim_->address() + " 1.3.6.1.2.1.1.1.0 2>&1");
  }

  static sw_test::SuiteSimulator sim_;
  sw_test::TempDir work_;
  const fs::path dir_{work_.path()};
};

sw_test::SuiteSimulator SnmpToolTest::sim_;

TEST_F(SnmpToolTest, ReadsTheConfigurationBesideItselfHoweverStarted) {
  const std::string path_dir = quoted(dir_ / "bin");
  struct Case {
    const char* name;
    std::string command;
  };
  const Case cases[] = {
      {"through PATH", "PATH=" + path_dir + ":\"$PATH\" spoolwarden-snmp"},
      {"relative path", "bin/spoolwarden-snmp"},
      {"absolute path", quoted(dir_ / "bin" / "spoolwarden-snmp")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = run(c.command);
    EXPECT_NE(out.find("Acme Laser 9 v1.0"), std::string::npos) << out;
  }
}

}  // namespace
