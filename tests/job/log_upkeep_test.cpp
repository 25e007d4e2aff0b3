// The event process's upkeep of the shared log: rotation when the log is
// larger than LogRotateSizeKBytes, and the log's directory made for the
// service account when it is missing.
#include "job/log_upkeep.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os_process.h"
#include "job_test_support.h"
#include "support/test_support.h"

namespace {

class LogUpkeepTest : public sw_test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    job_test::copy_text(global_ctx.log_file_path, CONFIG_TEXT_SIZE, log_.path());
  }

  // A log of exactly `bytes` bytes, as backends leave it; no older logs.
  void log_of(std::size_t bytes) {
    (void)log_close();
    for (const char* suffix : {"", ".1", ".2", ".3"}) std::filesystem::remove(log_.path() + suffix);
    sw_test::write_file(log_.path(), std::string(bytes, 'x'));
  }
};

TEST_F(LogUpkeepTest, RotatesOnlyALogLargerThanTheConfiguredSize) {
  struct Case {
    const char* name;
    int number;  // LogRotateNumber
    int kbytes;  // LogRotateSizeKBytes
    std::size_t bytes;
    int rotated;
  };
  const Case cases[] = {
      {"below the size", 3, 1, 1000, 0},
      {"exactly the size", 3, 1, 1024, 0},
      {"one byte more", 3, 1, 1025, 1},
      {"rotation off", 1, 1, 4096, 0},
      {"no older logs kept", 0, 1, 4096, 0},
      {"size 0: any log", 3, 0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    global_ctx.log_rotate_number = c.number;
    global_ctx.log_rotate_size_kbytes = c.kbytes;
    log_of(c.bytes);
    EXPECT_EQ(log_upkeep_rotate_if_due(), c.rotated);
    const std::string first = log_.path() + ".1";
    ASSERT_EQ(sw_test::exists(first), c.rotated == 1);
    if (c.rotated) {
      // The old log, whole, is the newest numbered file; a fresh one
      // takes its place.
      EXPECT_EQ(sw_test::read_file(first).substr(0, c.bytes), std::string(c.bytes, 'x'));
      EXPECT_LT(sw_test::read_file(log_.path()).size(), c.bytes + 1);
    } else {
      EXPECT_EQ(sw_test::read_file(log_.path()), std::string(c.bytes, 'x'));
    }
  }
}

// The service account renames files in the log's directory: a missing one is
// made for it (owned by whoever runs this, as root with the service
// account's group); an existing one, which may be /var/log, keeps its mode.
TEST_F(LogUpkeepTest, MakesAMissingLogDirectoryAndLeavesAnExistingOne) {
  struct Case {
    const char* name;
    std::string dir;
    mode_t existing;  // 0: missing
    mode_t expected;
  };
  const Case cases[] = {
      {"missing, with a missing parent", dir_ / "var/log/spoolwarden", 0, LOG_DIR_MODE},
      {"existing", dir_ / "shared", 0755, 0755},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.existing != 0) {
      std::filesystem::create_directories(c.dir);
      chmod(c.dir.c_str(), c.existing);
    }
    job_test::copy_text(global_ctx.log_file_path, CONFIG_TEXT_SIZE, c.dir + "/spoolwarden.log");
    EXPECT_EQ(log_upkeep_prepare_dir(), 1);
    struct stat info {};
    ASSERT_EQ(stat(c.dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.expected);
    const long group = os_account_group(OS_SERVICE_ACCOUNT);
    if (c.existing == 0 && geteuid() == 0 && group >= 0) {
      EXPECT_EQ(info.st_gid, static_cast<gid_t>(group));
    }
  }
}

}  // namespace
