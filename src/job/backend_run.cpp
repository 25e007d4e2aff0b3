// Running the real CUPS backend, the host of a device URI and waiting for a
// directory to change.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "foundation/ascii.h"
#include "foundation/log.h"
#include "foundation/os_time.h"
#include "job/backend_run.h"

namespace {

volatile sig_atomic_t g_running_child = 0;

// The child starts with the signal state a program expects: nothing blocked,
// the signals the backend program ignores or catches back at their defaults
// (a cancelled job's SIGTERM must reach the real backend).
void reset_child_signals() {
  for (int sig : {SIGTERM, SIGPIPE, SIGINT, SIGHUP, SIGCHLD, SIGBUS, SIGSEGV}) {
    std::signal(sig, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

bool is_host_char(char c) {
  return ascii_is_alnum(c) || c == '-' || c == '.' || c == '_';
}

}  // namespace

int common_run_sync(const char* program, char* const argv[], int* exit_status) {
  if (!TV_ASSERT(program != nullptr && argv != nullptr && argv[0] != nullptr)) return 0;
  pid_t pid = fork();
  if (pid < 0) {
    LOG_DEBUG("fork failed");
    return 0;
  }
  if (pid == 0) {
    reset_child_signals();
    execv(program, argv);
    _exit(1);
  }
  LOG_DEBUG("Wait for PID %d to complete.", static_cast<int>(pid));
  g_running_child = pid;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      g_running_child = 0;
      LOG_LAST_SYSTEM_ERROR("Unable to wait for PID %d", static_cast<int>(pid));
      return 0;
    }
  }
  g_running_child = 0;
  if (WIFEXITED(status)) {
    if (exit_status != nullptr) *exit_status = WEXITSTATUS(status);
    LOG_DEBUG("PID %d for command \"%s\" exited with status %d.", static_cast<int>(pid), program,
              WEXITSTATUS(status));
    return 1;
  }
  if (WIFSIGNALED(status)) {
    int sig = WTERMSIG(status);
    LOG_DEBUG("PID %d for command \"%s\" killed by signal %d.", static_cast<int>(pid), program, sig);
    if (std::strncmp(argv[0], "usb:", 4) == 0 && sig == SIGTERM) {
      // CUPS ends a USB backend with SIGTERM when the job is cancelled; that
      // is a normal end, so the caller gets a defined status.
      LOG_DEBUG("Ignoring SIGTERM for USB backend");
      if (exit_status != nullptr) *exit_status = 0;
      return 1;
    }
    return 0;
  }
  LOG_DEBUG("PID %d failed with unknown status: %d", static_cast<int>(pid), status);
  return 0;
}

int common_run_sync_child_pid() { return g_running_child; }

int common_extract_host_from_uri(const char* uri, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  if (uri == nullptr) return 0;
  const char* start = std::strstr(uri, "://");
  if (start == nullptr) {
    LOG_DEBUG("Invalid URI supplied to cups backend (%s) - cannot find \"://\"", uri);
    return 0;
  }
  start += 3;
  // "user:password@" before the host is not part of it.
  std::size_t authority = std::strcspn(start, "/?#");
  for (std::size_t i = authority; i > 0; --i) {
    if (start[i - 1] == '@') {
      start += i;
      break;
    }
  }
  std::size_t len = 0;
  while (is_host_char(start[len])) {
    if (len + 1 >= size) {
      buffer[0] = '\0';
      return 0;
    }
    buffer[len] = start[len];
    ++len;
  }
  buffer[len] = '\0';
  return 1;
}

int common_wait_change(const char* dir, int seconds) {
  int fd = open(dir, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    LOG_LAST_SYSTEM_ERROR("wait open failed on %s.", dir);
    return 0;
  }
  if (fcntl(fd, F_SETSIG, SIGRTMIN) < 0) {
    LOG_LAST_SYSTEM_ERROR("wait fcntl failed.");
    close(fd);
    return 0;
  }
  if (fcntl(fd, F_NOTIFY, DN_CREATE) < 0) {
    LOG_LAST_SYSTEM_ERROR("wait fcntl 2 failed.");
    close(fd);
    return 0;
  }
  if (seconds > 0) {
    // sleep() ends early when the notification signal arrives.
    (void)sleep(static_cast<unsigned>(seconds));
  } else {
    pause();
  }
  close(fd);
  os_sleep_millis(500);
  return 1;
}

void common_set_server_name_when_nonlocal() {}
