#include "foundation/log.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/config.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// The timestamp is the one field that changes from run to run.
const std::string STAMP = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2},\d{3})";

void own_label(const char* format, ...) {
  va_list args;
  va_start(args, format);
  write_entry_va("XVP  ", "a.c", 1, format, args);
  va_end(args);
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    set_flags(0, 0);
    log_set_path(path_.c_str());
  }
  void TearDown() override {
    (void)log_close();
    log_set_path("");
    set_flags(0, 0);
  }
  static void set_flags(int debug, int dev) {
    global_ctx.debug_logging = debug;
    global_ctx.dev_logging = dev;
  }
  static std::string read(const std::string& path) { return sw_test::read_file(path); }
  std::string contents() const { return read(path_); }
  static std::string pid() { return std::to_string(getpid()); }

  sw_test::ScopedGlobalContext context_;
  sw_test::TempDir temp_;
  fs::path dir_{temp_.path()};
  std::string path_{temp_.file("spoolwarden.log")};
};

TEST_F(LogTest, LineLayoutFollowsTheDebugFlags) {
  struct Case {
    const char* name;
    int debug;
    int dev;
    void (*write)();
    std::string expected;  // regular expression of the whole file
  };
  const std::vector<Case> cases = {
      {"info plain", 0, 0, [] { log_info_printf_func("common.c", 471, "text %d", 5); },
       STAMP + " INFO : text 5\n"},
      {"error plain", 0, 0, [] { log_error_printf_func("a.c", 1, "bad"); },
       STAMP + " ERROR: bad\n"},
      {"debug filtered", 0, 0, [] { log_debug_printf_func("a.c", 1, "hidden"); }, ""},
      {"dev filtered", 1, 0, [] { log_dev_printf_func("a.c", 1, "hidden"); }, ""},
      {"info with debug", 1, 0, [] { log_info_printf_func("common.c", 471, "text"); },
       STAMP + " INFO : common\\.c:471 - text \\[" + pid() + "\\]\n"},
      {"debug with debug", 1, 0, [] { log_debug_printf_func("x.cpp", 9, "d"); },
       STAMP + " DEBUG: x\\.cpp:9 - d \\[" + pid() + "\\]\n"},
      {"dev with dev", 1, 1, [] { log_dev_printf_func("x.cpp", 9, "v"); },
       STAMP + " DEV  : x\\.cpp:9 - v \\[" + pid() + "\\]\n"},
      {"no source name", 1, 0, [] { log_info_printf_func(nullptr, 12, "anon"); },
       STAMP + " INFO : anon \\[" + pid() + "\\]\n"},
      {"line number cut to seven digits", 1, 0,
       [] { log_info_printf_func("a.c", 123456789, "n"); },
       STAMP + " INFO : a\\.c:1234567 - n \\[" + pid() + "\\]\n"},
      {"job model name shortened", 1, 0, [] { log_info_printf_func("torvelle.cpp", 3, "m"); },
       STAMP + " INFO : tv\\.c:3 - m \\[" + pid() + "\\]\n"},
      {"service name shortened", 1, 0,
       [] { log_info_printf_func("TorvellePrintService.cpp", 3, "m"); },
       STAMP + " INFO : TVPrintService\\.cpp:3 - m \\[" + pid() + "\\]\n"},
      {"similar name kept", 1, 0, [] { log_info_printf_func("torvelle.h", 3, "m"); },
       STAMP + " INFO : torvelle\\.h:3 - m \\[" + pid() + "\\]\n"},
      {"own label", 0, 0, [] { own_label("plain %s", "text"); }, STAMP + " XVP  : plain text\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(path_);
    (void)log_close();
    set_flags(c.debug, c.dev);
    c.write();
    EXPECT_TRUE(std::regex_match(contents(), std::regex(c.expected))) << contents();
  }
}

TEST_F(LogTest, LongMessageIsWrittenWholeAndFormattedOnce) {
  const std::string big(5000, 'x');
  log_info_printf_func("a.c", 1, "%s|%d|%s", big.c_str(), 42, "end");
  EXPECT_TRUE(std::regex_match(contents(), std::regex(STAMP + " INFO : " + big + "\\|42\\|end\n")));
}

TEST_F(LogTest, EveryLineIsOnDiskAtOnce) {
  log_info_printf_func("a.c", 1, "first");
  // Read while the stream is still open: nothing may wait in a buffer.
  EXPECT_NE(contents().find("first\n"), std::string::npos);
  log_error_printf_func("a.c", 1, "second");
  EXPECT_NE(contents().find("second\n"), std::string::npos);
}

TEST_F(LogTest, EntriesWithoutPathOrUnopenableFileAreDropped) {
  log_set_path("");
  log_info_printf_func("a.c", 1, "lost");
  log_set_path((dir_ / "missing" / "x.log").c_str());
  log_info_printf_func("a.c", 1, "lost too");
  log_set_path(path_.c_str());
  log_info_printf_func("a.c", 1, "kept");
  EXPECT_TRUE(std::regex_match(contents(), std::regex(STAMP + " INFO : kept\n")));
}

TEST_F(LogTest, SystemErrorEntriesCarryTheErrorText) {
  const std::string enoent = std::strerror(ENOENT);
  errno = ENOENT;
  log_last_system_error_func("a.c", 1, "open %s", "f");
  log_system_error_func("a.c", 1, EACCES, "write");
  log_system_error_as_debug_func("a.c", 1, EACCES, "hidden");
  errno = ENOENT;
  log_last_system_error_as_debug_func("a.c", 1, "hidden");
  const std::string expected = STAMP + " ERROR: open f - " + enoent + " \\(Error: 2\\)\n" +
                               STAMP + " ERROR: write - " + std::strerror(EACCES) +
                               " \\(Error: 13\\)\n";
  EXPECT_TRUE(std::regex_match(contents(), std::regex(expected))) << contents();

  fs::remove(path_);
  (void)log_close();
  set_flags(1, 0);
  errno = ENOENT;
  log_last_system_error_as_debug_func("a.c", 7, "seen");
  EXPECT_TRUE(std::regex_match(contents(), std::regex(STAMP + " DEBUG: a\\.c:7 - seen - " + enoent +
                                                      " \\(Error: 2\\) \\[" + pid() + "\\]\n")))
      << contents();
}

TEST_F(LogTest, SystemErrorTextIsCutTo511Characters) {
  const std::string big(700, 'y');
  log_system_error_func("a.c", 1, ENOENT, "%s", big.c_str());
  const std::string text = contents();
  const std::size_t start = text.find("ERROR: ") + 7;
  EXPECT_EQ(text.substr(start), big.substr(0, 511) + "\n");
}

TEST_F(LogTest, EventLineWordsByDecision) {
  struct Case {
    int decision;
    const char* word;
  };
  const Case cases[] = {{0, "Job PRINTED:"}, {1, "Job CANCEL:"}, {2, "Job OTHER:"},
                        {3, "Job OTHER:"},   {4, "Job ERRORED:"}, {5, "Job OTHER:"},
                        {-1, "Job OTHER:"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.decision);
    fs::remove(path_);
    (void)log_close();
    log_print_event(c.decision, "alice", "lp1", "report.pdf", 3, 2);
    EXPECT_EQ(contents().substr(24),
              std::string("INFO : ") + c.word + " user=alice printer=lp1 doc=report.pdf pages=3 copies=2\n");
  }
}

TEST_F(LogTest, EventLineCannotBeForgedThroughNames) {
  log_print_event(1, "eve\nfake", "lp1",
                  "a.pdf\n2016-03-01 09:05:07,042 INFO : Job PRINTED: user=bob\r\x7f", 1, 1);
  const std::string text = contents();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  EXPECT_NE(text.find("user=eve\\x0afake printer=lp1 doc=a.pdf\\x0a2016-03-01 09:05:07,042 INFO : "
                      "Job PRINTED: user=bob\\x0d\\x7f pages=1 copies=1\n"),
            std::string::npos)
      << text;
}

// Any entry, not only the event line, carries client texts (titles, user
// names, server answers): none can start a line of its own.
TEST_F(LogTest, NoEntryCanForgeALine) {
  set_flags(1, 0);
  const char* title = "report\n2016-03-01 09:05:07,042 ERROR: forged\r\x1b[2J\ttabbed";
  LOG_INFO("Document %s on printer %s from user %s denied.", title, "lp1", "eve\n");
  LOG_DEBUG("format line feeds that end a message are dropped\n");
  LOG_SYSTEM_ERROR(2, "Unable to open %s", "a\nb");
  const std::string text = contents();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;
  EXPECT_NE(text.find("Document report\\x0a2016-03-01 09:05:07,042 ERROR: forged\\x0d\\x1b[2J"
                      "\ttabbed on printer lp1 from user eve\\x0a denied."),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("are dropped [" + pid() + "]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Unable to open a\\x0ab - "), std::string::npos) << text;
}

// The log lives in a directory others may write to on a badly set-up host:
// a link planted at its name is never written through, and a new log is
// readable by nobody but its owner and group.
TEST_F(LogTest, PlantedLinksAreNeverWrittenThrough) {
  const std::string victim = temp_.file("victim");
  sw_test::write_file(victim, "precious\n");
  struct Case {
    const char* name;
    bool symbolic;
  } cases[] = {{"symbolic link", true}, {"hard link", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    (void)log_close();
    fs::remove(path_);
    ASSERT_EQ(c.symbolic ? symlink(victim.c_str(), path_.c_str()) : link(victim.c_str(), path_.c_str()),
              0);
    LOG_INFO("must not reach the victim");
    EXPECT_EQ(read(victim), "precious\n");
  }
  (void)log_close();
  fs::remove(path_);
  LOG_INFO("a new log");
  struct stat info {};
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0660u);
}

TEST_F(LogTest, FailedAssertionLogsAndEvaluatesFalse) {
  set_flags(1, 1);
  const int value = 0;
  const bool passed = TV_ASSERT(value == 1);
  EXPECT_FALSE(passed);
  EXPECT_TRUE(TV_ASSERT(value == 0));
  const std::string expected = STAMP + " ERROR: log_test\\.cpp:\\d+ - message: \\(value == 1\\) "
                               "assertion failed \\[\\d+\\]\n" +
                               STAMP + " DEV  : tv\\.c:\\d+ - Assertion failed: 0 : value == 1 \\[\\d+\\]\n";
  EXPECT_TRUE(std::regex_match(contents(), std::regex(expected))) << contents();
}

TEST_F(LogTest, HourlyReopenClosesOnlyOncePerHour) {
  log_info_printf_func("a.c", 1, "one");
  log_reopen_periodically();  // the first call always closes
  fs::remove(path_);
  log_info_printf_func("a.c", 1, "two");  // reopens: a new file appears
  log_reopen_periodically();              // within the hour: the stream stays
  fs::remove(path_);
  log_info_printf_func("a.c", 1, "three");
  EXPECT_FALSE(fs::exists(path_));
}

// ---- Rotation ----

class LogRotateTest : public LogTest {
 protected:
  static void write_file(const std::string& path, const std::string& text) {
    sw_test::write_file(path, text);
  }
  std::string numbered(int k) const { return path_ + "." + std::to_string(k); }
};

TEST_F(LogRotateTest, SmallCountsNeverRotate) {
  for (std::uint64_t count : {0u, 1u}) {
    SCOPED_TRACE(count);
    write_file(path_, std::string(100, 'L'));
    EXPECT_EQ(log_rotate_if_required(count, 10), 1);
    EXPECT_EQ(fs::file_size(path_), 100u);
    EXPECT_FALSE(fs::exists(numbered(1)));
  }
}

TEST_F(LogRotateTest, LogNotLargerThanTheSizeStays) {
  write_file(path_, std::string(100, 'L'));
  EXPECT_EQ(log_rotate_if_required(3, 100), 1);
  EXPECT_FALSE(fs::exists(numbered(1)));
  EXPECT_EQ(fs::file_size(path_), 100u);
}

TEST_F(LogRotateTest, MissingLogFailsWithoutTouchingAnything) {
  write_file(numbered(1), "one");
  EXPECT_EQ(log_rotate_if_required(3, 10), 0);
  EXPECT_EQ(read(numbered(1)), "one");
  EXPECT_FALSE(fs::exists(numbered(2)));
}

TEST_F(LogRotateTest, CountThreeShiftsAndDropsTheOldest) {
  write_file(path_, std::string(200, 'L'));
  write_file(numbered(1), "one");
  write_file(numbered(3), "three");
  set_flags(1, 1);  // the rotation's own trace lines must not disturb it
  EXPECT_EQ(log_rotate_if_required(3, 100), 1);

  EXPECT_EQ(read(numbered(2)), "one");
  EXPECT_EQ(read(numbered(1)).substr(0, 200), std::string(200, 'L'));
  EXPECT_FALSE(fs::exists(numbered(3)));
  EXPECT_FALSE(fs::exists(path_ + ".tmp"));
  ASSERT_TRUE(fs::exists(path_));
  // The next entry goes to the fresh log, which only the owner's group may
  // write.
  log_info_printf_func("a.c", 1, "after");
  EXPECT_NE(contents().find("after"), std::string::npos);
  EXPECT_EQ(contents().find("LLLL"), std::string::npos);
  struct stat info {};
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0660u);
}

TEST_F(LogRotateTest, RepeatedRotationKeepsCountFiles) {
  for (int round = 1; round <= 5; ++round) {
    write_file(path_, "round" + std::to_string(round) + std::string(50, '.'));
    EXPECT_EQ(log_rotate_if_required(3, 10), 1);
  }
  EXPECT_EQ(read(numbered(1)).substr(0, 6), "round5");
  EXPECT_EQ(read(numbered(2)).substr(0, 6), "round4");
  EXPECT_EQ(read(numbered(3)).substr(0, 6), "round3");
  EXPECT_FALSE(fs::exists(numbered(4)));
}

// Two processes that find the log too large at the same moment rotate it
// once: the second waits for the first and then finds a fresh, small log.
// Unserialized, the second would rename the first one's fresh log over the
// rotated one and lose it.
TEST_F(LogRotateTest, ConcurrentRotationsRotateOnce) {
  write_file(path_, std::string(200, 'L'));
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t other = fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    // Another process in the middle of its rotation: it holds the lock, and
    // renames the log and makes a fresh one a moment later.
    const int lock = open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) _exit(1);
    if (write(ready[1], "r", 1) != 1) _exit(2);
    usleep(300 * 1000);
    if (rename(path_.c_str(), numbered(1).c_str()) != 0) _exit(3);
    sw_test::write_file(path_, "");
    _exit(0);  // the lock goes with the process
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_EQ(log_rotate_if_required(3, 100), 1);
  int status = 0;
  ASSERT_EQ(waitpid(other, &status, 0), other);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(read(numbered(1)), std::string(200, 'L'));
  EXPECT_FALSE(fs::exists(numbered(2)));
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
