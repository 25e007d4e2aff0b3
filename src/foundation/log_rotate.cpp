// Rotation of the log file by count and size. The system's other programs
// call it; N numbered files are kept beside the live log, 1 the newest.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "foundation/log.h"
#include "foundation/log_state.h"
#include "foundation/os_process.h"

namespace {

// The log path fits 1024 bytes; a rotated name adds a dot and up to 20 digits.
constexpr std::size_t LOG_PATH_SIZE = 1024;
constexpr std::size_t ROTATE_PATH_SIZE = LOG_PATH_SIZE + 32;
// The log is written by root and by the service account that owns it; nobody
// else needs to write it.
constexpr mode_t LOG_FILE_MODE = 0660;
// A count read from a negative setting would otherwise walk 2^64 names.
constexpr std::uint64_t MAX_ROTATE_COUNT = 10000;
// How long a rotation waits for another process's rotation to finish; a
// rotation is a few renames, so a lock held longer than this is held by
// something else, and this rotation gives up rather than hang its program.
constexpr int ROTATION_LOCK_WAIT_MS = 10000;
constexpr int ROTATION_LOCK_POLL_MS = 10;

// The exclusive lock on "<log>.lock" that serializes rotations across the
// processes sharing the log: two processes renaming the log at once would
// rename one's fresh log over the other's rotated one and lose it. The lock
// file is made like the log (mode 0660, the service account's when root makes
// it), so that every program that writes the log can take it. Released when
// the object goes out of scope (closing the file drops the lock).
class RotationLock {
 public:
  explicit RotationLock(const char* log_path) {
    if (log_path[0] == '\0') return;  // no log, nothing to rotate
    char path[ROTATE_PATH_SIZE];
    std::snprintf(path, sizeof path, "%s.lock", log_path);
    fd_ = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, LOG_FILE_MODE);
    if (fd_ < 0) {
      LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to open \"%s\" for log rotation", path);
      return;
    }
    give_to_service_account(fd_);
    for (int waited = 0; !locked_; waited += ROTATION_LOCK_POLL_MS) {
      if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        locked_ = true;
      } else if (errno != EWOULDBLOCK && errno != EINTR) {
        LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to lock \"%s\" for log rotation", path);
        return;
      } else if (waited >= ROTATION_LOCK_WAIT_MS) {
        LOG_DEBUG("Log rotation skipped: \"%s\" is held by another process", path);
        return;
      } else {
        usleep(ROTATION_LOCK_POLL_MS * 1000);
      }
    }
  }
  ~RotationLock() {
    if (fd_ >= 0) close(fd_);
  }
  RotationLock(const RotationLock&) = delete;
  RotationLock& operator=(const RotationLock&) = delete;

  [[nodiscard]] bool locked() const { return locked_; }

 private:
  // A file root makes belongs to the service account, which writes the log
  // too; anybody else keeps what it makes.
  static void give_to_service_account(int fd) {
    if (geteuid() != 0) return;
    const passwd* account = getpwnam(OS_SERVICE_ACCOUNT);
    if (account != nullptr) (void)fchown(fd, account->pw_uid, account->pw_gid);
  }

  int fd_ = -1;
  bool locked_ = false;
};

bool path_exists(const char* path) {
  struct stat info {};
  return stat(path, &info) == 0;
}

// Step 6: a fresh empty log that the service account owns. Failures are only
// reported; the rotation goes on. Everything is done on the open file, never
// again by name: a link planted at the name in between must not make root
// change the mode or the owner of another file.
void create_fresh_log(const char* log_path) {
  const int fd = log_open_file(log_path);
  if (fd < 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to reopen log file after log rotation");
    return;
  }
  if (fchmod(fd, LOG_FILE_MODE) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to chmod log file after log rotation");
  }
  const passwd* account = getpwnam(OS_SERVICE_ACCOUNT);
  if (account == nullptr) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to get uid for \"%s\" after log rotation",
                                   OS_SERVICE_ACCOUNT);
  } else if (fchown(fd, account->pw_uid, account->pw_gid) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to chown log file after log rotation");
  }
  if (close(fd) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to close log file after log rotation");
  }
}

// Renames one rotated file; 1 on failure (counted by the caller), else 0.
int shift_file(const char* source, const char* target, const char* log_path) {
  LOG_DEV("Log rotation: rename \"%s\" to \"%s\"", source, target);
  if (rename(source, target) == 0) return 0;
  LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to rename \"%s\" to \"%s\" for rotation of \"%s\"",
                                 source, target, log_path);
  return 1;
}

// Steps 7 to 9: drop the oldest, shift the rest up by one, the .tmp file
// becomes 1. Returns the number of failures.
int shift_rotated_files(const char* log_path, const char* tmp_path, std::uint64_t requested) {
  const std::uint64_t count = requested < MAX_ROTATE_COUNT ? requested : MAX_ROTATE_COUNT;
  int failures = 0;
  char oldest[ROTATE_PATH_SIZE];
  std::snprintf(oldest, sizeof oldest, "%s.%lu", log_path, static_cast<unsigned long>(count));
  if (path_exists(oldest)) {
    LOG_DEV("Log rotation: unlink \"%s\"", oldest);
    if (unlink(oldest) != 0) {
      LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to delete old rotated log of \"%s\"", oldest);
      ++failures;
    }
  }
  for (std::uint64_t k = count; k >= 2; --k) {
    char source[ROTATE_PATH_SIZE];
    char target[ROTATE_PATH_SIZE];
    std::snprintf(source, sizeof source, "%s.%lu", log_path, static_cast<unsigned long>(k - 1));
    if (!path_exists(source)) continue;
    std::snprintf(target, sizeof target, "%s.%lu", log_path, static_cast<unsigned long>(k));
    failures += shift_file(source, target, log_path);
  }
  char first[ROTATE_PATH_SIZE];
  std::snprintf(first, sizeof first, "%s.1", log_path);
  failures += shift_file(tmp_path, first, log_path);
  return failures;
}

}  // namespace

int log_rotate_if_required(std::uint64_t count, std::uint64_t size) {
  LOG_DEBUG("Perform log rotation if required.");
  if (count <= 1) {
    (void)log_close();
    return 1;
  }
  char log_path[LOG_PATH_SIZE];
  std::snprintf(log_path, sizeof log_path, "%s", log_current_path());
  // The size is read under the lock: a rotation that another process has just
  // finished leaves a small log here.
  const RotationLock lock(log_path);
  if (log_path[0] != '\0' && !lock.locked()) {
    (void)log_close();
    return 0;
  }
  struct stat info {};
  if (stat(log_path, &info) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to determine file size for rotation of \"%s\"",
                                   log_path);
    (void)log_close();
    return 0;
  }
  const auto current = static_cast<std::uint64_t>(info.st_size);
  if (current <= size) {
    LOG_DEBUG("No log rotation as current size is %lu, rotation size is %lu, counter is %lu",
              static_cast<unsigned long>(current), static_cast<unsigned long>(size),
              static_cast<unsigned long>(count));
    (void)log_close();
    return 1;
  }
  char tmp_path[ROTATE_PATH_SIZE];
  std::snprintf(tmp_path, sizeof tmp_path, "%s.tmp", log_path);
  if (rename(log_path, tmp_path) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to rename log file to \"%s\" for rotation of  \"%s\"",
                                   tmp_path, log_path);
    (void)log_close();
    return 0;
  }
  LOG_DEV("Log rotation: rename \"%s\" to \"%s\" at size: %lu", log_path, tmp_path,
          static_cast<unsigned long>(current));
  create_fresh_log(log_path);
  const int failures = shift_rotated_files(log_path, tmp_path, count);
  (void)log_close();
  return failures == 0 ? 1 : 0;
}
