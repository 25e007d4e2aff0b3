// The spool file made from the incoming data: copies, gzip inflation with
// its bounds, failures that leave nothing behind, and the spool directory.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

#include "foundation/os_file.h"
#include "intake_test_support.h"
#include "job/cups_intake.h"

namespace {

using intake_test::corpus_file;
using sw_test::read_file;

// gzip data as zlib's gzip writer makes it.
std::string gzip_bytes(const std::string& data) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&zs, data.size()) + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

class SpoolFileTest : public intake_test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    spool_dir_ = dir_ / "spool";
    std::filesystem::create_directory(spool_dir_);
    util_copy(global_ctx.tmp_cups_spool_dir, spool_dir_.string());
  }
  static void util_copy(char* field, const std::string& text) {
    std::snprintf(field, CONFIG_TEXT_SIZE, "%s", text.c_str());
  }
  // Runs the intake over `input`; the result, and the spool file's bytes in
  // *spooled when one was made.
  int make(const std::string& input, std::string* spooled,
           const CupsIntakeLimits& limits = CUPS_INTAKE_DEFAULT_LIMITS) {
    sw_test::write_file(dir_ / "input", input);
    const FilePtr in(std::fopen((dir_ / "input").c_str(), "rb"));
    char path[1024] = {};
    failure_ = CUPS_INTAKE_CREATE_FAILED;
    int result = common_make_spool_file_ex(path, sizeof path, in.get(), limits, &failure_);
    EXPECT_EQ(result == 1, failure_ == CUPS_INTAKE_NO_FAILURE);
    if (result == 1) {
      path_ = path;
      *spooled = read_file(path);
    }
    return result;
  }
  std::filesystem::path spool_dir_;
  std::string path_;
  CupsIntakeFailure failure_ = CUPS_INTAKE_NO_FAILURE;
};

struct CopyCase {
  const char* name;
  std::function<std::string(const std::string&)> input;  // from the print file
  std::function<std::string(const std::string&)> spooled;
};

TEST_F(SpoolFileTest, WritesThePrintDataCopiedOrInflated) {
  const std::string print = read_file(corpus_file("gs-ps2write-mixed-a4.ps"));
  const std::string pcl = read_file(corpus_file("gs-ljet4-text-a4.pcl"));
  ASSERT_FALSE(print.empty());
  ASSERT_FALSE(pcl.empty());
  auto same = [](const std::string& s) { return s; };
  auto print_only = [&print](const std::string&) { return print; };
  const CopyCase cases[] = {
      {"plain PostScript", same, same},
      {"plain PCL", [&pcl](const std::string&) { return pcl; }, [&pcl](const std::string&) { return pcl; }},
      {"1F without 8B is not gzip", [](const std::string& s) { return "\x1F" + s; },
       [](const std::string& s) { return "\x1F" + s; }},
      {"gzip is inflated", [](const std::string& s) { return gzip_bytes(s); }, print_only},
      {"bytes after the gzip stream are not print data",
       [](const std::string& s) { return gzip_bytes(s) + "trailing bytes"; }, print_only},
      {"empty input gives an empty file", [](const std::string&) { return std::string(); },
       [](const std::string&) { return std::string(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string spooled;
    ASSERT_EQ(make(c.input(print), &spooled), 1);
    EXPECT_TRUE(spooled == c.spooled(print)) << "spool file differs";
    EXPECT_EQ(path_.rfind(spool_dir_.string() + "/tv", 0), 0U) << path_;
    struct stat st{};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600U);
  }
}

TEST_F(SpoolFileTest, HighlyCompressibleJobIsInflatedWhole) {
  // Text printed as PCL raster: a job of mostly white lines, far above 10:1.
  std::string data;
  const std::string pcl = read_file(corpus_file("gs-ljet4-text-a4.pcl"));
  for (int i = 0; i < 40; ++i) data += pcl;
  std::string gz = gzip_bytes(data);
  ASSERT_GT(data.size(), gz.size() * 10);
  std::string spooled;
  ASSERT_EQ(make(gz, &spooled), 1);
  EXPECT_TRUE(spooled == data);
  EXPECT_NE(log_text().find("Detected gzip data - attempting decompress"), std::string::npos);
}

struct FailCase {
  const char* name;
  std::function<std::string()> input;
  CupsIntakeLimits limits;
  const char* message;
  CupsIntakeFailure failure;  // all are in the data: no retry can succeed
};

TEST_F(SpoolFileTest, BadOrUnboundedGzipFailsAndLeavesNoFile) {
  const std::string print = read_file(corpus_file("gs-ps2write-mixed-a4.ps"));
  const std::string gz = gzip_bytes(print);
  const std::string zeros = gzip_bytes(std::string(8U << 20, '\0'));
  const std::uint64_t size = print.size();
  const FailCase cases[] = {
      {"corrupt deflate data",
       [&gz] {
         std::string bad = gz;
         for (std::size_t i = 20; i < 60 && i < bad.size(); ++i) bad[i] = static_cast<char>(0xFF);
         return bad;
       },
       CUPS_INTAKE_DEFAULT_LIMITS, "Zlib inflate error", CUPS_INTAKE_BAD_GZIP},
      {"truncated gzip", [&gz] { return gz.substr(0, gz.size() / 2); }, CUPS_INTAKE_DEFAULT_LIMITS,
       "Zlib inflate error", CUPS_INTAKE_BAD_GZIP},
      {"over the size limit", [&gz] { return gz; }, CupsIntakeLimits{size - 1, 0, 0},
       "exceeds the limit", CUPS_INTAKE_TOO_LARGE},
      {"over the ratio above the floor", [&zeros] { return zeros; },
       CupsIntakeLimits{0, 1U << 20, 100}, "times its compressed size", CUPS_INTAKE_TOO_LARGE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string spooled;
    EXPECT_EQ(make(c.input(), &spooled, c.limits), 0);
    EXPECT_TRUE(files_in(spool_dir_).empty()) << "a spool file was left behind";
    EXPECT_NE(log_text().find(c.message), std::string::npos);
    EXPECT_EQ(failure_, c.failure);
    EXPECT_EQ(cups_intake_failure_is_permanent(failure_), 1);
  }
}

TEST_F(SpoolFileTest, InflationWithinTheLimitsSucceeds) {
  const std::string print = read_file(corpus_file("gs-ps2write-mixed-a4.ps"));
  const std::string zeros(512U << 10, '\0');
  struct {
    const char* name;
    std::string data;
    CupsIntakeLimits limits;
  } cases[] = {
      {"exactly the size limit", print, CupsIntakeLimits{print.size(), 0, 0}},
      {"high ratio below the floor", zeros, CupsIntakeLimits{0, 1U << 20, 100}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string spooled;
    ASSERT_EQ(make(gzip_bytes(c.data), &spooled, c.limits), 1);
    EXPECT_TRUE(spooled == c.data);
  }
}

TEST_F(SpoolFileTest, FailedWriteLeavesNoFile) {
  const std::string print = read_file(corpus_file("gs-ps2write-mixed-a4.ps"));
  ASSERT_GT(print.size(), 8192U);
  sw_test::write_file(dir_ / "input", print);
  for (bool with_reason : {false, true}) {
    SCOPED_TRACE(with_reason ? "with the reason" : "plain");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    const FilePtr in(std::fopen((dir_ / "input").c_str(), "rb"));
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    char path[1024] = {};
    CupsIntakeFailure failure = CUPS_INTAKE_NO_FAILURE;
    int result = with_reason ? common_make_spool_file_ex(path, sizeof path, in.get(),
                                                         CUPS_INTAKE_DEFAULT_LIMITS, &failure)
                             : common_make_spool_file(path, sizeof path, in.get());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(files_in(spool_dir_).empty());
    EXPECT_NE(log_text().find("unable to write to temporary file"), std::string::npos);
    if (with_reason) {
      // A full disk may pass: the job is worth trying again.
      EXPECT_EQ(failure, CUPS_INTAKE_WRITE_FAILED);
      EXPECT_EQ(cups_intake_failure_is_permanent(failure), 0);
    }
  }
}

// CUPS's own file: plain data is linked, not copied (the same file, never
// written); gzip data is inflated; on another file system it is copied.
TEST_F(SpoolFileTest, CupsFileIsLinkedInflatedOrCopied) {
  const std::string plain = read_file(corpus_file("gs-ps2write-mixed-a4.ps"));
  sw_test::write_file(dir_ / "d00001-001", plain);
  sw_test::write_file(dir_ / "d00002-001", gzip_bytes(plain));
  struct stat source {};
  ASSERT_EQ(stat((dir_ / "d00001-001").c_str(), &source), 0);
  const std::string other_fs = "/dev/shm";
  struct {
    const char* name;
    const char* file;
    std::string spool_dir;
    bool linked;
  } cases[] = {
      {"plain", "d00001-001", spool_dir_.string(), true},
      {"gzip", "d00002-001", spool_dir_.string(), false},
      {"plain, other file system", "d00001-001", other_fs, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!std::filesystem::is_directory(c.spool_dir)) continue;
    util_copy(global_ctx.tmp_cups_spool_dir, c.spool_dir);
    char path[1024] = {};
    CupsIntakeFailure failure = CUPS_INTAKE_CREATE_FAILED;
    ASSERT_EQ(common_make_spool_file_from_path(path, sizeof path, (dir_ / c.file).c_str(),
                                               CUPS_INTAKE_DEFAULT_LIMITS, &failure),
              1);
    EXPECT_EQ(failure, CUPS_INTAKE_NO_FAILURE);
    EXPECT_EQ(read_file(path), plain);
    struct stat spooled {};
    ASSERT_EQ(stat(path, &spooled), 0);
    EXPECT_EQ(spooled.st_ino == source.st_ino && spooled.st_dev == source.st_dev, c.linked);
    unlink(path);
  }
  // Removing the spool file leaves CUPS's file whole.
  EXPECT_EQ(read_file(dir_ / "d00001-001"), plain);
  CupsIntakeFailure failure = CUPS_INTAKE_NO_FAILURE;
  char path[1024] = {};
  EXPECT_EQ(common_make_spool_file_from_path(path, sizeof path, (dir_ / "missing").c_str(),
                                             CUPS_INTAKE_DEFAULT_LIMITS, &failure),
            0);
  EXPECT_EQ(failure, CUPS_INTAKE_READ_FAILED);
  util_copy(global_ctx.tmp_cups_spool_dir, spool_dir_.string());
}

// Spool files go to TmpCupsSpoolDir when it names a directory, else to a
// private directory inside SpoolDir: never to a shared one such as /tmp,
// where anyone could plant a name first.
TEST_F(SpoolFileTest, SpoolDirectoryIsConfiguredOrPrivateNeverShared) {
  const std::string spool_root = (dir_ / "swspool").string();
  const std::string private_dir = spool_root + "/tmp";
  util_copy(global_ctx.spool_dir_path, spool_root);
  struct {
    const char* name;
    std::string configured;
    std::string expected;
    const char* message;
  } cases[] = {
      {"configured directory", spool_dir_.string(), spool_dir_.string(),
       "Using configured tmp spool directory"},
      {"empty", "", private_dir, "Using default tmp spool directory for CUPS spool files: "},
      {"a file, not a directory", path_of("test.log"), private_dir,
       "as unable to use the configured"},
      {"missing", path_of("missing"), private_dir, "as unable to use the configured"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    util_copy(global_ctx.tmp_cups_spool_dir, c.configured);
    const char* dir = common_get_temp_spool_dir();
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(std::string(dir), c.expected);
    EXPECT_NE(log_text().find(c.message), std::string::npos);
  }
  EXPECT_EQ(sw_test::file_mode(private_dir), 0710u);
  // The spool file itself: a name nobody can guess, for root only.
  std::string spooled;
  ASSERT_EQ(make("data", &spooled), 1);
  EXPECT_EQ(path_.rfind(private_dir + "/tv", 0), 0u) << path_;
  // "tv", the backend's pid (what tells a pruner whether it still runs), "-",
  // 16 random digits.
  const std::string pid = std::to_string(getpid());
  EXPECT_EQ(path_.rfind(private_dir + "/tv" + pid + "-", 0), 0u) << path_;
  EXPECT_EQ(path_.size(), private_dir.size() + 1 + 2 + pid.size() + 1 + 16) << path_;
  EXPECT_EQ(sw_test::file_mode(path_), 0600u);
  // Without a spool directory there is nowhere safe to go.
  util_copy(global_ctx.spool_dir_path, "");
  EXPECT_EQ(common_get_temp_spool_dir(), nullptr);
  EXPECT_EQ(make("data", &spooled), 0);
  util_copy(global_ctx.tmp_cups_spool_dir, "");
}

}  // namespace
