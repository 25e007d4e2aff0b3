// Running the real backend, the host of a device URI, the crash handler and
// waiting for a directory to change.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>

#include "intake_test_support.h"
#include "job/backend_run.h"

namespace {

using sw_test::read_file;

class RunSyncTest : public intake_test::TempDirTest {
 protected:
  // A backend script that does what `body` says.
  std::string script(const std::string& body) {
    std::string path = path_of("backend.sh");
    sw_test::write_file(path, "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0755);
    return path;
  }
};

TEST_F(RunSyncTest, ExitStatusAndSignals) {
  struct {
    const char* name;
    const char* uri;  // argv[0], as CUPS passes it
    const char* body;
    int result;
    int status;  // -1: left as it was
  } cases[] = {
      {"exit status 4", "socket://printer:9100", "exit 4", 1, 4},
      {"exit status 0", "socket://printer:9100", "exit 0", 1, 0},
      {"usb ended by SIGTERM", "usb://Maker/Model", "kill -TERM $$", 1, 0},
      {"usb ended by SIGKILL", "usb://Maker/Model", "kill -KILL $$", 0, -1},
      {"socket ended by SIGTERM", "socket://printer:9100", "kill -TERM $$", 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string program = script(c.body);
    char* argv[] = {const_cast<char*>(c.uri), const_cast<char*>("1"), nullptr};
    int status = -1;
    EXPECT_EQ(common_run_sync(program.c_str(), argv, &status), c.result);
    EXPECT_EQ(status, c.status);
  }
}

TEST_F(RunSyncTest, ArgumentsReachTheProgramAndMissingProgramExitsOne) {
  std::string program = script("echo \"$0|$1|$2|$DEVICE_URI\" > " + path_of("args"));
  setenv("DEVICE_URI", "socket://p:9100", 1);
  char* argv[] = {const_cast<char*>("socket://p:9100"), const_cast<char*>("17"),
                  const_cast<char*>("alice"), nullptr};
  int status = -1;
  ASSERT_EQ(common_run_sync(program.c_str(), argv, &status), 1);
  unsetenv("DEVICE_URI");
  // A script sees its own path as $0; the arguments and environment arrive.
  EXPECT_EQ(read_file(path_of("args")), program + "|17|alice|socket://p:9100\n");
  status = -1;
  EXPECT_EQ(common_run_sync(path_of("missing").c_str(), argv, &status), 1);
  EXPECT_EQ(status, 1);
}

TEST_F(RunSyncTest, IgnoredSignalsAreRestoredForTheBackend) {
  // CUPS cancels a job by SIGTERM to the backend; a backend program that
  // ignores SIGTERM itself must not pass that on to the real backend.
  auto old = std::signal(SIGTERM, SIG_IGN);
  std::string program = script("kill -TERM $$; exit 0");
  char* argv[] = {const_cast<char*>("socket://p"), nullptr};
  int status = -1;
  EXPECT_EQ(common_run_sync(program.c_str(), argv, &status), 0);
  std::signal(SIGTERM, old);
}

TEST(HostFromUri, HostsOfDeviceUris) {
  struct {
    const char* uri;
    std::size_t size;
    int result;
    const char* host;
  } cases[] = {
      {"socket://printer.example.com:9100", 64, 1, "printer.example.com"},
      {"ipp://10.0.0.7/ipp/print", 64, 1, "10.0.0.7"},
      {"lpd://print_srv-2/queue", 64, 1, "print_srv-2"},
      {"ipp://alice:pw@host7:631/printers/q", 64, 1, "host7"},
      {"ipps://user@host8/ipp", 64, 1, "host8"},
      {"ipp://[::1]:631/ipp", 64, 1, ""},
      {"socket://abcdef", 7, 1, "abcdef"},
      {"socket://abcdefg", 7, 0, ""},
      {"parallel:/dev/lp0", 64, 0, ""},
      {"http://host/path@x", 64, 1, "host"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.uri);
    char buffer[64] = "unchanged";
    EXPECT_EQ(common_extract_host_from_uri(c.uri, buffer, c.size), c.result);
    EXPECT_STREQ(buffer, c.host);
  }
}

// The crash handler's cleanup callback: write(2) only.
int g_marker_fd = -1;
void write_marker(void* data) {
  const char* text = static_cast<const char*>(data);
  (void)!write(g_marker_fd, text, std::strlen(text));
}

class CrashHandlerTest : public intake_test::TempDirTest {};

TEST_F(CrashHandlerTest, FaultIsLoggedCleanedUpAndAborts) {
  struct {
    const char* name;
    bool with_callback;
    const char* marker;
  } cases[] = {{"with callback", true, "cleaned"}, {"without callback", false, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string log = path_of(std::string("crash-") + (c.with_callback ? "1" : "0") + ".log");
    std::string marker = path_of(std::string("marker-") + (c.with_callback ? "1" : "0"));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::snprintf(global_ctx.log_file_path, CONFIG_TEXT_SIZE, "%s", log.c_str());
      int fd = open(log.c_str(), O_CREAT | O_WRONLY, 0600);
      close(fd);
      g_marker_fd = open(marker.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
      common_setup_coredump_signals();
      common_setup_coredump_callback(c.with_callback ? write_marker : nullptr,
                                     const_cast<char*>("cleaned"));
      raise(SIGSEGV);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    std::string text = read_file(log);
    EXPECT_NE(text.find(" ERROR: cups-spoolwarden: caught SIGBUS or SIGSEGV signal\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Dump backtrace performed on fatal signal: Segmentation fault"),
              std::string::npos);
    EXPECT_EQ(read_file(marker), c.marker);
  }
}

class WaitChangeTest : public intake_test::TempDirTest {};

void ignore_signal(int) {}

TEST_F(WaitChangeTest, FileCreationEndsTheWait) {
  struct sigaction action{};
  action.sa_handler = ignore_signal;
  struct sigaction old{};
  ASSERT_EQ(sigaction(SIGRTMIN, &action, &old), 0);
  // Another process creates the file, as the event process makes a marker.
  std::string created = path_of("new-file");
  pid_t creator = fork();
  ASSERT_GE(creator, 0);
  if (creator == 0) {
    usleep(200 * 1000);
    int fd = open(created.c_str(), O_CREAT | O_WRONLY, 0600);
    _exit(fd >= 0 ? 0 : 1);
  }
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(common_wait_change(dir_.c_str(), 60), 1);
  auto waited = std::chrono::steady_clock::now() - start;
  int status = 0;
  waitpid(creator, &status, 0);
  sigaction(SIGRTMIN, &old, nullptr);
  // Woken by the creation, long before the 60 seconds.
  EXPECT_LT(waited, std::chrono::seconds(30));
}

TEST_F(WaitChangeTest, MissingDirectoryCannotBeWatched) {
  EXPECT_EQ(common_wait_change(path_of("missing").c_str(), 1), 0);
  EXPECT_NE(log_text().find("wait open failed on"), std::string::npos);
}

}  // namespace
