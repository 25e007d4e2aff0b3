// Named locks on lock files.
#include "foundation/os_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "foundation/log.h"
#include "foundation/os_file.h"

struct OsNamedLock {
  int fd;
  char path[OS_PATH_BUFFER_SIZE];
};

namespace {

// flock with EINTR retried. flock locks belong to the open file, so two
// handles in one process exclude each other as two processes do.
int flock_retrying(int fd, int operation) {
  while (flock(fd, operation) != 0) {
    if (errno != EINTR) return 0;
  }
  return 1;
}

}  // namespace

int os_namedlock_open(const char* dir, const char* name, OsNamedLock** lock) {
  if (lock == nullptr) return 0;
  *lock = nullptr;
  if (name == nullptr || name[0] == '\0') return 0;
  if (dir == nullptr || dir[0] == '\0') dir = std::getenv("TMPDIR");
  if (dir == nullptr || dir[0] == '\0') dir = "/tmp";
  auto* handle = new (std::nothrow) OsNamedLock{};
  if (handle == nullptr) return 0;
  int len = std::snprintf(handle->path, sizeof handle->path, "%s/%s.lock", dir, name);
  if (len < 0 || static_cast<std::size_t>(len) >= sizeof handle->path) {
    LOG_ERROR("Lock file name too long: %s/%s.lock", dir, name);
    delete handle;
    return 0;
  }
  LOG_DEBUG("Opening lock file: %s", handle->path);
  // Lock files live in shared directories: never follow a planted link.
  handle->fd = open(handle->path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (handle->fd < 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to open lock file: %s", handle->path);
    delete handle;
    return 0;
  }
  *lock = handle;
  return 1;
}

int os_namedlock_lock(OsNamedLock* lock) {
  if (lock == nullptr) return 0;
  if (!flock_retrying(lock->fd, LOCK_EX)) {
    LOG_LAST_SYSTEM_ERROR("Unable to lock file: %s", lock->path);
    return 0;
  }
  return 1;
}

int os_namedlock_trylock(OsNamedLock* lock) {
  if (lock == nullptr) return 0;
  if (flock_retrying(lock->fd, LOCK_EX | LOCK_NB)) return 1;
  if (errno != EWOULDBLOCK) LOG_LAST_SYSTEM_ERROR("Unable to lock file: %s", lock->path);
  return 0;
}

int os_namedlock_unlock(OsNamedLock* lock) {
  if (lock == nullptr) return 0;
  if (!flock_retrying(lock->fd, LOCK_UN)) {
    LOG_LAST_SYSTEM_ERROR("Unable to unlock file: %s", lock->path);
    return 0;
  }
  return 1;
}

int os_namedlock_close(OsNamedLock* lock) {
  if (lock == nullptr) return 1;
  int ok = close(lock->fd) == 0 ? 1 : 0;
  delete lock;
  return ok;
}
