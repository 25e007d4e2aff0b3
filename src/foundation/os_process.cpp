// The process itself: detaching, the service account and the host name.
#include "foundation/os_process.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <vector>

#include "foundation/log.h"

namespace {

// Room for the account record's strings.
constexpr std::size_t PASSWD_BUFFER = 16384;

}  // namespace

int os_process_is_running(long pid) {
  if (pid <= 0) return 0;
  // EPERM: it runs, as another account.
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM ? 1 : 0;
}

int os_unix_daemonize() {
  LOG_DEV("entering daemonize");
  setsid();
  int ok = 1;
  if (std::freopen("/dev/zero", "r", stdin) == nullptr) ok = 0;
  if (std::freopen("/dev/null", "a", stdout) == nullptr) ok = 0;
  if (std::freopen("/dev/null", "a", stderr) == nullptr) ok = 0;
  std::signal(SIGTSTP, SIG_IGN);
  return ok;
}

int os_su_to_user(const char* account) {
  if (geteuid() != 0) return 0;
  if (account == nullptr) return 0;
  std::vector<char> strings(PASSWD_BUFFER);
  passwd entry{};
  passwd* found = nullptr;
  int error = getpwnam_r(account, &entry, strings.data(), strings.size(), &found);
  if (found == nullptr) {
    // getpwnam_r reports a missing account as success with no entry.
    LOG_SYSTEM_ERROR_AS_DEBUG(error != 0 ? error : ENOENT, "Cannot change to process to user: %s",
                              account);
    return 0;
  }
  auto uid = static_cast<int>(found->pw_uid);
  auto gid = static_cast<int>(found->pw_gid);
  LOG_DEBUG("Changing process to user '%s' (uid: %d, gid: %d)", account, uid, gid);
  if (setgid(found->pw_gid) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Cannot setgid for user '%s', gid: %d", account, gid);
    return 0;
  }
  if (initgroups(account, found->pw_gid) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Cannot initgroups for user '%s', gid: %d", account, gid);
    return 0;
  }
  if (setuid(found->pw_uid) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Cannot setuid to user '%s', uid: %d", account, uid);
    return 0;
  }
  return 1;
}

int os_su_to_torvelle() { return os_su_to_user(OS_SERVICE_ACCOUNT); }

namespace {

// The account's record, or false when there is none.
bool find_account(const char* account, passwd* entry, std::vector<char>& strings) {
  if (account == nullptr || account[0] == '\0') return false;
  passwd* found = nullptr;
  return getpwnam_r(account, entry, strings.data(), strings.size(), &found) == 0 &&
         found != nullptr;
}

}  // namespace

long os_account_group(const char* account) {
  std::vector<char> strings(PASSWD_BUFFER);
  passwd entry{};
  return find_account(account, &entry, strings) ? static_cast<long>(entry.pw_gid) : -1;
}

long os_account_uid(const char* account) {
  std::vector<char> strings(PASSWD_BUFFER);
  passwd entry{};
  return find_account(account, &entry, strings) ? static_cast<long>(entry.pw_uid) : -1;
}

long os_group_id(const char* group) {
  if (group == nullptr || group[0] == '\0') return -1;
  std::vector<char> strings(PASSWD_BUFFER);
  struct group entry {};
  struct group* found = nullptr;
  if (getgrnam_r(group, &entry, strings.data(), strings.size(), &found) != 0 || found == nullptr) {
    return -1;
  }
  return static_cast<long>(found->gr_gid);
}

int os_executable_path(char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  const ssize_t n = readlink("/proc/self/exe", buffer, size);
  // A full buffer may hold a path that was cut.
  if (n <= 0 || static_cast<std::size_t>(n) >= size) {
    buffer[0] = '\0';
    return 0;
  }
  buffer[n] = '\0';
  return 1;
}

const char* os_command_path(const char* argv0, char* buffer, std::size_t size) {
  return os_executable_path(buffer, size) ? buffer : argv0;
}

int os_get_computer_name(char* buffer, std::size_t size) {
  LOG_DEV("entering os_get_computer_name");
  if (buffer == nullptr || size == 0) {
    LOG_ERROR("Unable to get computer name");
    return 0;
  }
  if (gethostname(buffer, size) != 0) {
    // A name too long for the buffer may have been left unterminated.
    buffer[0] = '\0';
    LOG_ERROR("Unable to get computer name");
    return 0;
  }
  // gethostname need not terminate a name that was cut.
  buffer[size - 1] = '\0';
  LOG_DEBUG("got computer name of: \"%s\"", buffer);
  return 1;
}

int os_winsock_init() { return 1; }

int os_winsock_cleanup() { return 1; }
