// The printer's model from its PPD file.
#include "job/printer_type.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "foundation/ja.h"
#include "job/printer_model_cache.h"
#include "job_test_support.h"
#include "support/snmpsim.h"

namespace {

using sw_test::TempDir;

TEST(PrinterType, ModelNameFromPpdLines) {
  struct Case {
    const char* name;
    const char* ppd;
    std::size_t size;
    int found;
    const char* model;
  };
  const Case cases[] = {
      {"plain", "*PPD-Adobe: \"4.3\"\n*ModelName: \"HP LaserJet 4\"\n", 1024, 1, "HP LaserJet 4"},
      {"caseless key, blanks", "  *modelname:\t \"Generic PCL\"\r\n", 1024, 1, "Generic PCL"},
      {"first one wins", "*ModelName: \"First\"\n*ModelName: \"Second\"\n", 1024, 1, "First"},
      {"comment skipped", "# *ModelName: \"Commented\"\n*ModelName: \"Real\"\n", 1024, 1, "Real"},
      {"unterminated value skipped", "*ModelName: \"Broken\n*ModelName: \"Next\"\n", 1024, 1,
       "Next"},
      {"empty value", "*ModelName: \"\"\n", 1024, 1, ""},
      {"cut to the buffer", "*ModelName: \"ABCDEFGHIJ\"\n", 5, 1, "ABCD"},
      {"none", "*NickName: \"Only a nick\"\n", 1024, 0, ""},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sw_test::write_file(dir / "p.ppd", c.ppd);
    char buffer[1024] = "stale";
    EXPECT_EQ(common_read_ppd_model_name((dir / "p.ppd").c_str(), buffer, c.size), c.found);
    EXPECT_STREQ(buffer, c.model);
  }
}

TEST(PrinterType, PpdSearchTakesTheFirstReadableAndRefusesPathNames) {
  TempDir dir;
  std::filesystem::create_directories(dir / "a");
  std::filesystem::create_directories(dir / "b");
  sw_test::write_file(dir / "b/lab.ppd", "*ModelName: \"B\"\n");
  sw_test::write_file(dir / "secret.ppd", "*ModelName: \"outside\"\n");
  const std::string a = dir / "a";
  const std::string b = dir / "b";
  const char* dirs[] = {a.c_str(), b.c_str()};
  const char* found = common_find_ppd_in_dirs("lab", dirs, 2);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), dir / "b/lab.ppd");
  sw_test::write_file(dir / "a/lab.ppd", "*ModelName: \"A\"\n");
  EXPECT_EQ(std::string(common_find_ppd_in_dirs("lab", dirs, 2)), dir / "a/lab.ppd");
  for (const char* name : {"../secret", "", ".hidden", "x/../../secret"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(common_find_ppd_in_dirs(name, dirs, 2), nullptr);
  }
}

// A printer address that takes SNMP requests and never answers: a bound UDP
// socket on the loopback that counts what arrived.
struct SilentPrinter {
  SilentPrinter() {
    fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      peer = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
  }
  ~SilentPrinter() {
    if (fd >= 0) close(fd);
  }
  SilentPrinter(const SilentPrinter&) = delete;
  SilentPrinter& operator=(const SilentPrinter&) = delete;

  // The requests that arrived since the last look.
  int requests() {
    int n = 0;
    char datagram[2048];
    while (recv(fd, datagram, sizeof datagram, MSG_DONTWAIT) > 0) ++n;
    return n;
  }

  int fd = -1;
  std::string peer;
};

// Sets a file's modification time `seconds` into the past.
void age_file(const char* path, std::int64_t seconds) {
  struct stat info {};
  ASSERT_EQ(stat(path, &info), 0);
  const timespec times[2] = {{info.st_mtime - seconds, 0}, {info.st_mtime - seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path, times, 0), 0);
}

// Without a PPD the printer itself is asked for its model (hrDeviceDescr).
class PrinterTypeOverSnmp : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::make_unique<SessionContext>(global_ctx);
    config_init_session_defaults(&global_ctx);
    global_ctx.debug_logging = 1;
    global_ctx.hwcheck_snmp_timeout_secs = 1;
    global_ctx.hwcheck_snmp_retries = 0;
    ja_.reset(analyzer_create_job_attribs());
    ASSERT_TRUE(ja_);
    job_test::copy_text(ja_->printer_name, sizeof ja_->printer_name, "queue-without-ppd");
  }
  void TearDown() override { global_ctx = *saved_; }

  std::unique_ptr<SessionContext> saved_;
  JobAttribsPtr ja_;
  sw_test::LogCapture log_{sw_test::LogFlags{.debug = true}};
};

TEST_F(PrinterTypeOverSnmp, TheModelComesFromThePrinter) {
  if (access(sw_test::SNMPSIMD, X_OK) != 0) GTEST_SKIP() << "snmpsimd is not installed";
  TempDir dir;
  sw_test::SnmpSimulator sim(SW_SOURCE_DIR "/tests/hwcheck/data", dir.path());
  ASSERT_TRUE(sim.ready("idle"));
  job_test::copy_text(global_ctx.snmp_community, CONFIG_TEXT_SIZE, "idle");
  ASSERT_EQ(common_set_printer_type(ja_.get(), sim.address().c_str()), 1);
  const std::string truth =
      sw_test::command_output(sim.snmpget_command("idle", "1.3.6.1.2.1.25.3.2.1.3.1"));
  EXPECT_EQ("\"" + std::string(ja_->printer_type) + "\"\n", truth);
  EXPECT_TRUE(log_.contains("Setting printer type for job"));
}

// A model the printer gave is remembered for the next job, which sets it
// without a word to the printer (the simulator is gone by then).
TEST_F(PrinterTypeOverSnmp, TheNextJobTakesTheModelFromMemory) {
  if (access(sw_test::SNMPSIMD, X_OK) != 0) GTEST_SKIP() << "snmpsimd is not installed";
  TempDir settings;
  job_test::copy_text(global_ctx.settings_spool_dir_path, CONFIG_TEXT_SIZE, settings.path());
  std::string address;
  std::string model;
  {
    TempDir dir;
    sw_test::SnmpSimulator sim(SW_SOURCE_DIR "/tests/hwcheck/data", dir.path());
    ASSERT_TRUE(sim.ready("idle"));
    job_test::copy_text(global_ctx.snmp_community, CONFIG_TEXT_SIZE, "idle");
    address = sim.address();
    ASSERT_EQ(common_set_printer_type(ja_.get(), address.c_str()), 1);
    model = ja_->printer_type;
    ASSERT_FALSE(model.empty());
  }
  JobAttribsPtr second(analyzer_create_job_attribs());
  job_test::copy_text(second->printer_name, sizeof second->printer_name, "queue-without-ppd");
  ASSERT_EQ(common_set_printer_type(second.get(), address.c_str()), 1);
  EXPECT_EQ(std::string(second->printer_type), model);
  EXPECT_EQ(job_test::count_of(log_.text(), "Creating new session for setting of printer_type"),
            1);
}

// A printer that does not answer costs the job one time-out, not one per
// description object.
TEST_F(PrinterTypeOverSnmp, ASilentPrinterIsAskedOnce) {
  SilentPrinter printer;
  EXPECT_EQ(common_set_printer_type(ja_.get(), printer.peer.c_str()), 0);
  EXPECT_STREQ(ja_->printer_type, "");
  EXPECT_TRUE(log_.contains("Unable to get SNMP printer descriptor for printer type on printer: " +
                            printer.peer));
  EXPECT_EQ(printer.requests(), 1);
}

// Each job is a process of its own: what a printer answered, or that it did
// not, is remembered in the settings directory, so the next jobs do not wait
// out its time-outs again. Silence is remembered for at most 10 minutes,
// and nothing at all with a lifetime of 0.
TEST_F(PrinterTypeOverSnmp, ASilentPrinterIsNotAskedAgainForAWhile) {
  TempDir settings;
  job_test::copy_text(global_ctx.settings_spool_dir_path, CONFIG_TEXT_SIZE, settings.path());
  struct Case {
    const char* name;
    int lifetime;              // TransformCacheLifetimeSecs
    std::int64_t aged_by;      // seconds the first job's memory is made older by
    int requests_second_job;   // SNMP requests the second job sends
  };
  const Case cases[] = {
      {"remembered", 14400, 0, 0},
      {"remembered up to 10 minutes", 14400, PRINTER_MODEL_SILENT_SECS - 5, 0},
      {"forgotten after 10 minutes", 14400, PRINTER_MODEL_SILENT_SECS, 1},
      {"forgotten after a shorter lifetime", 60, 60, 1},
      {"never remembered", 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    global_ctx.xvp_printer_cache_lifetime_secs = c.lifetime;
    SilentPrinter printer;
    EXPECT_EQ(common_set_printer_type(ja_.get(), printer.peer.c_str()), 0);
    EXPECT_EQ(printer.requests(), 1);
    char path[4096];
    ASSERT_EQ(printer_model_cache_path(path, sizeof path, printer.peer.c_str()), 1);
    if (c.aged_by > 0) age_file(path, c.aged_by);
    JobAttribsPtr second(analyzer_create_job_attribs());
    job_test::copy_text(second->printer_name, sizeof second->printer_name, "queue-without-ppd");
    EXPECT_EQ(common_set_printer_type(second.get(), printer.peer.c_str()), 0);
    EXPECT_STREQ(second->printer_type, "");
    EXPECT_EQ(printer.requests(), c.requests_second_job);
  }
}

}  // namespace
