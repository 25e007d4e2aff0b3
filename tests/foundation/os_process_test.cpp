#include "foundation/os_process.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <regex>
#include <sstream>
#include <string>

#include "support/test_support.h"

using sw_test::read_file;
using sw_test::TempDir;

namespace {

// Runs `body` in a forked child and gives its exit status (-1 for a signal).
int in_child(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid < 0) return -2;
  if (pid == 0) _exit(body());
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void crash_handler(int signal_number) {
  os_dump_backtrace(signal_number);
  _exit(42);
}

}  // namespace

TEST(OsProcess, SwitchesToTheServiceAccountOnlyFromRoot) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  const passwd* account = getpwnam(OS_SERVICE_ACCOUNT);
  ASSERT_NE(account, nullptr) << "scripts/install-deps creates the service account";
  const uid_t uid = account->pw_uid;
  const gid_t gid = account->pw_gid;
  EXPECT_EQ(in_child([&] {
              if (os_su_to_torvelle() != 1) return 1;
              if (getuid() != uid || geteuid() != uid || getgid() != gid) return 2;
              if (setuid(0) == 0) return 3;  // the switch cannot be undone
              if (os_su_to_torvelle() != 0) return 4;  // no longer root: nothing happens
              return 0;
            }),
            0);
  EXPECT_EQ(in_child([] {
              if (os_su_to_user("sw-no-such-account") != 0) return 1;
              return getuid() == 0 ? 0 : 2;  // a missing account leaves us as we were
            }),
            0);
}

TEST(OsProcess, DaemonizeDetachesFromTheSessionAndStreams) {
  EXPECT_EQ(in_child([] {
              if (os_unix_daemonize() != 1) return 1;
              if (getsid(0) != getpid()) return 2;
              char bytes[4] = {1, 1, 1, 1};
              if (read(0, bytes, sizeof bytes) != 4 || bytes[0] != 0 || bytes[3] != 0) return 3;
              if (write(1, "x", 1) != 1 || write(2, "x", 1) != 1) return 4;
              struct sigaction action {};
              sigaction(SIGTSTP, nullptr, &action);
              return action.sa_handler == SIG_IGN ? 0 : 5;
            }),
            0);
}

TEST(OsProcess, BacktraceOfAFatalSignalIsWrittenFromTheHandler) {
  TempDir dir;
  const std::string log = dir / "crash.log";
  EXPECT_EQ(in_child([&] {
              os_dump_backtrace_prepare(log.c_str());
              os_dump_backtrace(SIGTERM);  // not a fault: nothing written
              signal(SIGSEGV, crash_handler);
              raise(SIGSEGV);
              return 1;
            }),
            42);
  std::istringstream lines(read_file(log));
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,\d{3} ERROR: )";
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_TRUE(std::regex_match(
      line, std::regex(stamp + "Dump backtrace performed on fatal signal: Segmentation fault")))
      << line;
  ASSERT_TRUE(std::getline(lines, line));
  std::smatch found;
  ASSERT_TRUE(std::regex_match(line, found, std::regex(stamp + R"(backtrace\(\) returned (\d+) addresses)")))
      << line;
  int frames = std::stoi(found[1]);
  EXPECT_GT(frames, 2);
  EXPECT_LE(frames, 100);
  int frame_lines = 0;
  while (std::getline(lines, line)) {
    EXPECT_TRUE(std::regex_search(line, std::regex("^" + stamp + ".+"))) << line;
    ++frame_lines;
  }
  EXPECT_EQ(frame_lines, frames);

  char year[8];
  time_t now = time(nullptr);
  strftime(year, sizeof year, "%Y-", localtime(&now));
  EXPECT_EQ(read_file(log).rfind(year, 0), 0u) << "timestamps are in local time";
}

TEST(OsProcess, ComputerName) {
  char expected[256];
  ASSERT_EQ(gethostname(expected, sizeof expected), 0);
  char name[256];
  ASSERT_EQ(os_get_computer_name(name, sizeof name), 1);
  EXPECT_STREQ(name, expected);
  char tiny[2] = {'?', '?'};
  // Either a cut name or an empty text, never an unterminated one.
  if (os_get_computer_name(tiny, sizeof tiny) == 1) {
    EXPECT_EQ(tiny[1], '\0');
  } else {
    EXPECT_EQ(tiny[0], '\0');
  }
  EXPECT_EQ(os_winsock_init(), 1);
  EXPECT_EQ(os_winsock_cleanup(), 1);
}
