#include "job/snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os.h"

namespace {

constexpr const char SNAPSHOT_BASE[] = "spool-snapshot";
constexpr int TEMP_NAME_TRIES = 100;
constexpr std::size_t COPY_BLOCK = 65536;

char g_snapshot_path[SNAPSHOT_PATH_SIZE];

// The snapshot directory with exactly one trailing "/".
int snapshot_dir(char* buffer, std::size_t size) {
  const char* dir = global_ctx.spool_snapshot_dir[0] != '\0' ? global_ctx.spool_snapshot_dir
                                                             : SNAPSHOT_DEFAULT_DIR;
  const std::size_t n = std::strlen(dir);
  const char* slash = n > 0 && dir[n - 1] == '/' ? "" : "/";
  const int written = std::snprintf(buffer, size, "%s%s", dir, slash);
  return written >= 0 && static_cast<std::size_t>(written) < size;
}

// A name in the snapshot directory that does not exist yet.
int temp_name(char* buffer, std::size_t size, const char* dir, int attempt) {
  const int written = std::snprintf(buffer, size, "%s.%s.%ld.%lld.%d", dir, SNAPSHOT_BASE,
                                    static_cast<long>(getpid()),
                                    static_cast<long long>(os_current_time_millis()), attempt);
  return written >= 0 && static_cast<std::size_t>(written) < size;
}

// Copies the file into a new file at `target`, created exclusively and never
// through a symbolic link. 1 on success; nothing is left behind on failure.
int copy_exclusive(const char* source, const char* target) {
  const int in = open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return 0;
  const int out = open(target, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out < 0) {
    const int saved = errno;
    close(in);
    errno = saved;
    return 0;
  }
  static char block[COPY_BLOCK];
  int ok = 1;
  for (;;) {
    const ssize_t got = read(in, block, sizeof block);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = 0;
      break;
    }
    if (os_write_all(out, block, static_cast<std::size_t>(got)) == 0) {
      ok = 0;
      break;
    }
  }
  const int saved = errno;
  close(in);
  if (close(out) != 0) ok = 0;
  if (!ok) unlink(target);
  errno = saved;
  return ok;
}

// Makes the snapshot under a fresh temporary name (a hard link, or else a
// copy), so that nothing planted at any name in a shared directory is ever
// opened or written through. 1 with the temporary name in `tmp`.
int make_temp_snapshot(const char* spool_file, const char* dir, char* tmp, std::size_t size) {
  for (int attempt = 0; attempt < TEMP_NAME_TRIES; ++attempt) {
    if (!temp_name(tmp, size, dir, attempt)) return 0;
    if (link(spool_file, tmp) == 0) return 1;
    if (errno == EEXIST) continue;
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to make spool snapshot using hardlink");
    if (copy_exclusive(spool_file, tmp)) {
      LOG_DEBUG("Copied spool file from \"%s\" to \"%s\"", spool_file, tmp);
      return 1;
    }
    if (errno == EEXIST) continue;
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to make spool snapshot using copying");
    return 0;
  }
  return 0;
}

}  // namespace

const char* take_spool_snapshot(const char* spool_file, const char* suffix) {
  if (!global_ctx.take_spool_snapshot || spool_file == nullptr || spool_file[0] == '\0') {
    return nullptr;
  }
  LOG_DEBUG("take_spool_snapshot:: spool_file='%s',suffix='%s'", spool_file,
            suffix != nullptr ? suffix : "");
  if (suffix != nullptr && std::strchr(suffix, '/') != nullptr) {
    TV_ASSERT(std::strchr(suffix, '/') == nullptr);
    return nullptr;
  }
  char dir[SNAPSHOT_PATH_SIZE];
  if (!snapshot_dir(dir, sizeof dir)) return nullptr;
  const int n = suffix != nullptr && suffix[0] != '\0'
                    ? std::snprintf(g_snapshot_path, sizeof g_snapshot_path, "%s%s-%s.spl", dir,
                                    SNAPSHOT_BASE, suffix)
                    : std::snprintf(g_snapshot_path, sizeof g_snapshot_path, "%s%s.spl", dir,
                                    SNAPSHOT_BASE);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof g_snapshot_path) return nullptr;
  LOG_DEBUG("Making spool snapshot to: %s", g_snapshot_path);
  char tmp[SNAPSHOT_PATH_SIZE];
  if (!make_temp_snapshot(spool_file, dir, tmp, sizeof tmp)) return nullptr;
  // rename replaces an old snapshot, or a link planted under its name,
  // without following it.
  if (std::rename(tmp, g_snapshot_path) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to make spool snapshot: %s", g_snapshot_path);
    unlink(tmp);
    return nullptr;
  }
  return g_snapshot_path;
}
