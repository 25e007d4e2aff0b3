// Running the real CUPS backend, the host of a device URI and waiting for a
// directory to change.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <initializer_list>
#include <string>

#include "foundation/ascii.h"
#include "foundation/log.h"
#include "foundation/os_process.h"
#include "foundation/os_time.h"
#include "foundation/util.h"
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

constexpr const char CUPS_DEFAULT_SERVER_ROOT[] = "/etc/cups";
constexpr const char CUPS_FILES_CONF[] = "cups-files.conf";
constexpr const char CUPS_DEFAULT_ACCOUNT[] = "lp";

// A user or group named in cups-files.conf: a name, or a number.
long resolve_id(const std::string& value, bool group) {
  long id = -1;
  const char* end = value.data() + value.size();
  auto [ptr, ec] = std::from_chars(value.data(), end, id);
  if (ec == std::errc() && ptr == end && id >= 0) return id;
  return group ? os_group_id(value.c_str()) : os_account_uid(value.c_str());
}

// CUPS's cups-files.conf in CUPS_SERVERROOT, else in /etc/cups.
std::string cups_files_conf_path() {
  const char* root = std::getenv("CUPS_SERVERROOT");
  return std::string(root != nullptr && root[0] != '\0' ? root : CUPS_DEFAULT_SERVER_ROOT) + "/" +
         CUPS_FILES_CONF;
}

// The value of directive `name` (case ignored) in the file at `path`, or
// `fallback`.
std::string cups_files_directive(const std::string& path, const char* name, const char* fallback) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::size_t at = 0;
    while (at < line.size() && ascii_is_space(static_cast<unsigned char>(line[at]))) ++at;
    const std::size_t key_end = line.find_first_of(" \t", at);
    if (key_end == std::string::npos) continue;
    if (!util_case_equal_str(line.substr(at, key_end - at).c_str(), name)) continue;
    std::size_t value = key_end;
    while (value < line.size() && ascii_is_space(static_cast<unsigned char>(line[value]))) ++value;
    std::size_t value_end = value;
    while (value_end < line.size() && !ascii_is_space(static_cast<unsigned char>(line[value_end]))) {
      ++value_end;
    }
    if (value_end > value) return line.substr(value, value_end - value);
  }
  return fallback;
}

// In the child: CUPS's account, its group the only one. 1 on success.
int switch_to(const CupsRunAccount& account) {
  if (account.uid < 0 || account.gid < 0) return 0;
  const auto gid = static_cast<gid_t>(account.gid);
  return setgroups(1, &gid) == 0 && setgid(gid) == 0 &&
                 setuid(static_cast<uid_t>(account.uid)) == 0 && setuid(0) != 0
             ? 1
             : 0;
}

bool is_host_char(char c) {
  return ascii_is_alnum(c) || c == '-' || c == '.' || c == '_';
}

}  // namespace

CupsRunAccount cups_run_account() {
  // Looked up again only when cups-files.conf changed: the account database
  // lookups cost more than the job's other steps.
  struct Cached {
    std::string path;
    timespec mtime{};
    bool known = false;
    CupsRunAccount account{-1, -1};
  };
  static Cached cache;
  const std::string path = cups_files_conf_path();
  struct stat info {};
  const timespec mtime = stat(path.c_str(), &info) == 0 ? info.st_mtim : timespec{};
  if (!cache.known || cache.path != path || cache.mtime.tv_sec != mtime.tv_sec ||
      cache.mtime.tv_nsec != mtime.tv_nsec) {
    cache.account =
        CupsRunAccount{resolve_id(cups_files_directive(path, "User", CUPS_DEFAULT_ACCOUNT), false),
                       resolve_id(cups_files_directive(path, "Group", CUPS_DEFAULT_ACCOUNT), true)};
    cache.path = path;
    cache.mtime = mtime;
    cache.known = true;
  }
  return cache.account;
}

long cups_run_group() { return cups_run_account().gid; }

int cups_backend_runs_as_root(unsigned mode) { return (mode & S_IXOTH) == 0 ? 1 : 0; }

int common_run_sync(const char* program, char* const argv[], int* exit_status) {
  return common_run_sync_as(program, argv, exit_status, nullptr);
}

int common_run_sync_as(const char* program, char* const argv[], int* exit_status,
                       const CupsRunAccount* account) {
  if (!TV_ASSERT(program != nullptr && argv != nullptr && argv[0] != nullptr)) return 0;
  pid_t pid = fork();
  if (pid < 0) {
    LOG_DEBUG("fork failed");
    return 0;
  }
  if (pid == 0) {
    reset_child_signals();
    // Never run the program with more than it was meant to have.
    if (account != nullptr && !switch_to(*account)) _exit(1);
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
