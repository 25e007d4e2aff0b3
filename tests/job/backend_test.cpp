// The CUPS backend program's own decisions: whom the real backend runs as,
// the copies that are made for the copies billed, the forced single copy,
// printing without a decision as the failure mode says, and what a run
// leaves behind.
#include "job/backend.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/os_file.h"
#include "foundation/os_process.h"
#include "foundation/printer_settings.h"
#include "foundation/serialize_settings.h"
#include "job/backend_internal.h"
#include "job/backend_run.h"
#include "job_test_support.h"
#include "support/full_disk.h"

namespace {

using sw_test::TempDir;

// What the real backend was asked to print, instead of running it.
struct Printed {
  std::string data;
  int copies;
};
std::vector<Printed> g_printed;
int g_real_status = CUPS_BACKEND_OK;

int record_real_backend(const CupsBackend&, const char* file, int copies) {
  g_printed.push_back({sw_test::read_file(file), copies});
  return g_real_status;
}

// CUPS's own rule, as a private cupsd applies it to backends of each mode:
// root only when others may not execute the program.
TEST(CupsPrivileges, RootOnlyWithoutExecuteForOthers) {
  const struct {
    unsigned mode;
    int root;
  } rows[] = {{0700, 1}, {0744, 1}, {0750, 1}, {0754, 1}, {0740, 1},
              {0704, 1}, {0705, 0}, {0755, 0}, {0711, 0}, {0555, 0}};
  for (const auto& row : rows) {
    EXPECT_EQ(cups_backend_runs_as_root(row.mode), row.root) << std::oct << row.mode;
  }
}

TEST(CupsPrivileges, AccountFromCupsFilesConf) {
  TempDir dir;
  sw_test::ScopedEnv root("CUPS_SERVERROOT", dir.path().c_str());
  // No file: CUPS's defaults, lp and lp.
  CupsRunAccount account = cups_run_account();
  EXPECT_EQ(account.uid, os_account_uid("lp"));
  EXPECT_EQ(account.gid, os_group_id("lp"));
  sw_test::write_file(dir / "cups-files.conf",
                      "# comment\nuser root\n  Group\t65534\nUser nobody\nGroup x\n");
  account = cups_run_account();
  EXPECT_EQ(account.uid, 0) << "the first line of a directive counts, in any case";
  EXPECT_EQ(account.gid, 65534);
  sw_test::write_file(dir / "cups-files.conf", "User no-such-account-sw\n");
  EXPECT_EQ(cups_run_account().uid, -1);
}

class BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    job_test::configure(dir_, sw_test::unused_port());
    job_test::copy_text(global_ctx.spool_dir_path, CONFIG_TEXT_SIZE, dir_ / "swspool");
    global_ctx.cups_force_single_copy = 1;
    g_printed.clear();
    g_real_status = CUPS_BACKEND_OK;
    args_ = {"spoolwarden:socket://p", "7", "alice", "report", "3", "", ""};
    for (auto& a : args_) argv_.push_back(a.data());
    backend_.argv = argv_.data();
    backend_.argc = 7;
    backend_.cups_copies = 3;
    backend_.input_file = dir_ / "cups-data";
    backend_.ja.reset(analyzer_create_job_attribs());
    job_test::copy_text(backend_.ja->printer_name, JA_TEXT_SIZE, "lab");
    backend_.ja->copy_count = 3;
    backend_.run_real = record_real_backend;
    spool_ = dir_.write("spool", "print data\n");
  }

  TempDir dir_;
  std::vector<std::string> args_;
  std::vector<char*> argv_;
  CupsBackend backend_;
  std::string spool_;
};

// The copies made for the copies billed: CUPS's file needs the copies CUPS
// asked for, unless the data carries other copies; standard input carries
// them already (the filters made them).
TEST_F(BackendTest, CopiesToMakeForTheCopiesBilled) {
  const struct {
    const char* name;
    bool from_cups_file;
    int job_copies;
    int make;
  } rows[] = {
      {"CUPS's file, CUPS's copies", true, 3, 3},
      {"CUPS's file, copies in the data", true, 5, 1},
      {"standard input", false, 3, 1},
  };
  for (const auto& row : rows) {
    backend_.input_file = row.from_cups_file ? dir_ / "cups-data" : "";
    backend_.ja->copy_count = row.job_copies;
    EXPECT_EQ(backend_copies_to_make(backend_), row.make) << row.name;
  }
}

// Forced single copy: one file with the copies one after another, sent once,
// then removed; without it the real backend is asked for the copies.
TEST_F(BackendTest, ForcedSingleCopyWritesThePrivateRepeatsFile) {
  ASSERT_EQ(backend_print_copies(backend_, spool_.c_str(), 3), CUPS_BACKEND_OK);
  ASSERT_EQ(g_printed.size(), 1u);
  EXPECT_EQ(g_printed[0].data, "print data\nprint data\nprint data\n");
  EXPECT_EQ(g_printed[0].copies, 1);
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "swspool/tmp"));
  EXPECT_STREQ(backend_tracked_file(BACKEND_FILE_COPIES), "");

  global_ctx.cups_force_single_copy = 0;
  ASSERT_EQ(backend_print_copies(backend_, spool_.c_str(), 3), CUPS_BACKEND_OK);
  ASSERT_EQ(g_printed.size(), 2u);
  EXPECT_EQ(g_printed[1].data, "print data\n");
  EXPECT_EQ(g_printed[1].copies, 3);
}

// A disk that fills up while the repeats are written: nothing half-written
// is sent; the real backend makes the copies from the spool file.
TEST_F(BackendTest, FullDiskForTheRepeatsAsksTheBackendForTheCopies) {
  const std::string big = dir_.write("big", std::string(300000, 'x'));
  const int status = sw_test::with_disk_full_after(400000, [&] {
    const int rc = backend_print_copies(backend_, big.c_str(), 3);
    const bool whole = g_printed.size() == 1 && g_printed[0].data.size() == 300000 &&
                       g_printed[0].copies == 3;
    return rc == CUPS_BACKEND_OK && whole ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "swspool/tmp"));
}

// Before a decision: print as the stored failure mode says, or have CUPS
// keep the job and retry it.
TEST_F(BackendTest, FailureBeforeADecisionFollowsTheStoredFailureMode) {
  const struct {
    const char* name;
    int mode;  // -1: no stored settings
    bool file;
    int status;
    std::size_t printed;
  } rows[] = {
      {"no stored settings", -1, true, CUPS_BACKEND_OK, 1},
      {"print, no replay", FAILURE_MODE_PRINT_NEW_NO_REPLAY, true, CUPS_BACKEND_OK, 1},
      {"print with replay", FAILURE_MODE_PRINT_NEW_WITH_REPLAY, true, CUPS_BACKEND_OK, 1},
      {"hold", FAILURE_MODE_HOLD, true, CUPS_BACKEND_RETRY, 0},
      {"nothing printable", FAILURE_MODE_PRINT_NEW_NO_REPLAY, false, CUPS_BACKEND_RETRY, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    g_printed.clear();
    std::filesystem::remove_all(dir_ / "settings");
    std::filesystem::create_directories(dir_ / "settings");
    if (row.mode >= 0) {
      PrinterSettings stored{};
      printer_settings_init_defaults(&stored);
      stored.failure_mode = row.mode;
      ASSERT_EQ(serialize_settings_writeout(global_ctx.settings_spool_dir_path, "lab", &stored), 1);
    }
    EXPECT_EQ(backend_on_failure(backend_, row.file ? spool_.c_str() : "", "test failure"),
              row.status);
    ASSERT_EQ(g_printed.size(), row.printed);
    // CUPS's file: the copies it asked for, written as one file.
    if (row.printed == 1) {
      EXPECT_EQ(g_printed[0].data.size(), 3 * std::string("print data\n").size());
    }
  }
}

// The spool file never outlives the run; the job's state stays only for a
// status on which CUPS tries the job again.
TEST_F(BackendTest, FinishRemovesTheSpoolFileAndEndsTheJobOnlyForGood) {
  const struct {
    int status;
    bool state_kept;
  } rows[] = {{CUPS_BACKEND_OK, false},    {CUPS_BACKEND_CANCEL, false},
              {CUPS_BACKEND_RETRY, true},  {CUPS_BACKEND_FAILED, true},
              {CUPS_BACKEND_STOP, true}};
  job_test::copy_text(backend_.ja->job_id, JA_TEXT_SIZE, "7");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.status);
    const std::string spool = dir_.write("spool-" + std::to_string(row.status), "data");
    backend_track_file(BACKEND_FILE_SPOOL, spool.c_str());
    ASSERT_EQ(job_journal_open(&backend_.journal, (dir_ / "jobstate").c_str(), backend_.ja.get(),
                               "id"),
              0);
    ASSERT_EQ(job_journal_record(&backend_.journal, JOURNAL_DECIDED, backend_.ja.get(), nullptr),
              0);
    backend_finish(backend_, row.status);
    EXPECT_FALSE(std::filesystem::exists(spool));
    EXPECT_EQ(std::filesystem::exists(backend_.journal.path), row.state_kept);
  }
}

namespace {

// The files a backend makes while it spools and rewrites a job, made in
// `dir` by a child process that then ends without removing them, as a
// backend killed during its job does. Their names; the child's id in `pid`.
std::vector<std::string> files_of_a_killed_backend(const std::string& dir, pid_t* pid) {
  const pid_t child = fork();
  if (child == 0) {
    char path[4096];
    int made = 0;
    for (const char* prefix : {"tv", "copies-"}) {
      const int fd = os_file_create_unique(dir.c_str(), prefix, 0600, path, sizeof path);
      made += fd >= 0 ? 1 : 0;
      if (fd >= 0) close(fd);
    }
    os_file_set_temp_dir(dir.c_str());
    made += os_file_make_temp(path, sizeof path);  // a rewritten spool file
    _exit(made == 3 ? 0 : 1);
  }
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);
  *pid = child;
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename();
    if (name.find(std::to_string(child) + "-") != std::string::npos) names.push_back(name);
  }
  EXPECT_EQ(names.size(), 3u);
  return names;
}

}  // namespace

// A backend killed during a job leaves its files behind; the next backend
// removes them wherever they are: in a configured TmpCupsSpoolDir, which
// others may share (only names of ours whose process is gone), and in the
// private directory. The files of running backends and everybody else's
// stay.
TEST_F(BackendTest, FilesOfAKilledBackendArePrunedWhereverTheyLive) {
  const std::string shared = dir_ / "shared-tmp";
  const std::string private_dir = dir_ / "swspool/tmp";
  std::filesystem::create_directories(shared);
  std::filesystem::create_directories(private_dir);
  pid_t killed = 0;
  const std::vector<std::string> dead_shared = files_of_a_killed_backend(shared, &killed);
  const std::vector<std::string> dead_private = files_of_a_killed_backend(private_dir, &killed);
  ASSERT_FALSE(dead_shared.empty());
  char live[4096];
  const int fd = os_file_create_unique(shared.c_str(), "tv", 0600, live, sizeof live);
  ASSERT_GE(fd, 0);
  close(fd);
  // Names close to ours that are not, and a file of the old name shape,
  // long untouched: not ours to remove from a shared directory.
  const std::string dead = std::to_string(killed);
  std::vector<std::string> foreign = {
      "tv" + dead + "-notes.txt", "tv" + dead + "-0123456789", "tvguide",
      "tv" + dead + "-0123456789abcdef.bak", "report.pdf", "tv0123456789abcdef"};
  for (const std::string& name : foreign) sw_test::write_file(shared + "/" + name, "x");
  // Our shape exactly, but another account's file: not ours either (as
  // root only; otherwise this test cannot give a file away).
  if (geteuid() == 0) {
    const std::string theirs = "tv" + dead + "-fedcba9876543210";
    sw_test::write_file(shared + "/" + theirs, "x");
    ASSERT_EQ(chown((shared + "/" + theirs).c_str(), 65534, 65534), 0);
    foreign.push_back(theirs);
  }
  const auto two_days_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
  std::filesystem::last_write_time(shared + "/tv0123456789abcdef", two_days_ago);
  // In the private directory an old file of our prefix goes whatever its name.
  sw_test::write_file(private_dir + "/tv0123456789abcdef", "x");
  std::filesystem::last_write_time(private_dir + "/tv0123456789abcdef", two_days_ago);

  job_test::copy_text(global_ctx.tmp_cups_spool_dir, CONFIG_TEXT_SIZE, shared);
  ASSERT_EQ(backend_prepare_spool_tree(), 1);
  os_file_set_temp_dir(nullptr);

  for (const std::string& name : dead_shared) {
    EXPECT_FALSE(std::filesystem::exists(shared + "/" + name)) << name;
  }
  for (const std::string& name : dead_private) {
    EXPECT_FALSE(std::filesystem::exists(private_dir + "/" + name)) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(private_dir + "/tv0123456789abcdef"));
  EXPECT_TRUE(std::filesystem::exists(live)) << "a running backend's file";
  for (const std::string& name : foreign) {
    EXPECT_TRUE(std::filesystem::exists(shared + "/" + name)) << name;
  }
  EXPECT_NE(job_test::log_text(dir_).find("Removed a spool file left by an earlier run: " +
                                          shared + "/" + dead_shared[0]),
            std::string::npos);
  unlink(live);
}

// Status lines are read by CUPS one a line: a text cannot add a line of its
// own (a forged PAGE: or ATTR: line).
TEST(BackendStatus, ControlBytesAreEscaped) {
  testing::internal::CaptureStderr();
  backend_status("INFO", "title\nPAGE: 1 999\r job");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "INFO: spoolwarden: title\\x0aPAGE: 1 999\\x0d job\n");
}

}  // namespace
