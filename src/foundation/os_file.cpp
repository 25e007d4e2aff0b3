// Files: opening, sizes, existence tests, renames and temporary files.
#include "foundation/os_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/log.h"
#include "foundation/util.h"

namespace {

// Attempts at a free temporary name before giving up.
constexpr int TEMP_ATTEMPTS = 1000;

// Copies `path` without one trailing "/" or "\" (a lone "/" stays) into
// `out`; 0 when it does not fit.
int strip_one_trailing_separator(const char* path, char* out, std::size_t size) {
  std::size_t len = std::strlen(path);
  if (len >= size) return 0;
  std::memcpy(out, path, len + 1);
  if (len > 1 && (out[len - 1] == '/' || out[len - 1] == '\\')) out[len - 1] = '\0';
  return 1;
}

// Hexadecimal digits of a temporary name: 13 as the name has always had
// (tv and the clock's 8 + 5 digits), now from the kernel's random source so
// that nobody can name a file before it is made.
constexpr int TEMP_NAME_DIGITS = 13;
constexpr int UNIQUE_NAME_DIGITS = 16;
// Digits of the largest process id (pid_max is at most 2^22).
constexpr int OWNER_PID_DIGITS_MAX = 10;

// The directory set by os_file_set_temp_dir, empty when none.
char g_temp_dir[OS_HANDLE_NAME_SIZE] = "";

// The private directory when one is set, else "<TMPDIR or /tmp>", an empty
// TMPDIR counting as unset.
const char* temp_dir() {
  if (g_temp_dir[0] != '\0') return g_temp_dir;
  const char* dir = std::getenv("TMPDIR");
  return (dir != nullptr && dir[0] != '\0') ? dir : "/tmp";
}

// `digits` random lower-case hexadecimal digits and a terminator into `out`.
// 0 when the kernel's random source fails.
int random_hex(char* out, int digits) {
  unsigned char bytes[16];
  const auto wanted = static_cast<std::size_t>((digits + 1) / 2);
  if (wanted > sizeof bytes) return 0;
  std::size_t got = 0;
  while (got < wanted) {
    const ssize_t n = getrandom(bytes + got, wanted - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    got += static_cast<std::size_t>(n);
  }
  static constexpr char HEX[] = "0123456789abcdef";
  for (int i = 0; i < digits; ++i) {
    const unsigned char byte = bytes[i / 2];
    out[i] = HEX[(i % 2 == 0 ? byte >> 4 : byte) & 0x0F];
  }
  out[digits] = '\0';
  return 1;
}

// Creates "<dir>/<prefix><pid>-<digits random hex digits>" exclusively,
// never through a link; the descriptor and the path in `name`, or -1 (errno
// set; EEXIST only after every attempt met an existing name). The pid names
// the process that made the file, so that what a killed process left behind
// can be told from the files of one still running (os_file_owner_pid).
int create_random_name(const char* dir, const char* prefix, int digits, unsigned mode,
                       char* name, std::size_t size) {
  const long pid = static_cast<long>(getpid());
  for (int attempt = 0; attempt < TEMP_ATTEMPTS; ++attempt) {
    char random[UNIQUE_NAME_DIGITS + 1];
    if (!random_hex(random, digits)) return -1;
    const int len = std::snprintf(name, size, "%s/%s%ld-%s", dir, prefix, pid, random);
    if (len < 0 || static_cast<std::size_t>(len) >= size) {
      errno = ENAMETOOLONG;
      return -1;
    }
    const int fd = open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        static_cast<mode_t>(mode));
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

int os_write_all(int fd, const void* data, std::size_t count) {
  const auto* at = static_cast<const char*>(data);
  while (count > 0) {
    const ssize_t n = write(fd, at, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    at += n;
    count -= static_cast<std::size_t>(n);
  }
  return 1;
}

FILE* os_fopen(const char* pathname, const char* mode) {
  if (!TV_ASSERT(!util_is_string_empty(pathname)) || mode == nullptr) return nullptr;
  // Close-on-exec, so that children started through the shell do not keep
  // our files open.
  char cloexec_mode[16];
  if (std::strlen(mode) + 2 > sizeof cloexec_mode) return nullptr;
  std::strcpy(cloexec_mode, mode);
  if (std::strchr(mode, 'e') == nullptr) std::strcat(cloexec_mode, "e");
  if (mode[0] != 'w' && mode[0] != 'a') return std::fopen(pathname, cloexec_mode);
  // A file written as root never opens through a link someone planted at
  // its name (logs, job logs, extracted print data).
  const bool update = std::strchr(mode, '+') != nullptr;
  int flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
  flags |= mode[0] == 'w' ? O_TRUNC : O_APPEND;
  const int fd = open(pathname, flags, 0666);
  if (fd < 0) return nullptr;
  FILE* stream = fdopen(fd, cloexec_mode);
  if (stream == nullptr) close(fd);
  return stream;
}

void os_fclose(FILE* stream) {
  if (stream != nullptr) (void)std::fclose(stream);
}

int os_file_open_ro(OsFile** file, const char* pathname) {
  LOG_DEV("entering os_open_ro");
  if (file == nullptr) return 0;
  *file = nullptr;
  if (!TV_ASSERT(!util_is_string_empty(pathname))) return 0;
  int fd = open(pathname, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    LOG_LAST_SYSTEM_ERROR("unable to open file: %s", pathname);
    return 0;
  }
  auto* handle = new (std::nothrow) OsFile{};
  if (handle == nullptr) {
    close(fd);
    LOG_ERROR("unable to open file: %s", pathname);
    return 0;
  }
  util_safe_strncpy(handle->path, pathname, sizeof handle->path);
  handle->fd = fd;
  *file = handle;
  return 1;
}

void os_file_close(OsFile* file) {
  if (file == nullptr) return;
  if (file->fd >= 0) close(file->fd);
  delete file;
}

int os_file_size(const OsFile* file, std::uint64_t* size) {
  if (file == nullptr || size == nullptr) return 0;
  struct stat st {};
  if (fstat(file->fd, &st) != 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to determine file size: %s", file->path);
    return 0;
  }
  *size = static_cast<std::uint64_t>(st.st_size);
  return 1;
}

int os_file_size_by_path(const char* path, std::uint64_t* size) {
  if (size != nullptr) *size = 0;
  struct stat st {};
  if (path == nullptr || size == nullptr || stat(path, &st) != 0) return 0;
  *size = static_cast<std::uint64_t>(st.st_size);
  return 1;
}

int os_file_size_by_path_long(const char* path, std::uint64_t* size) {
  return os_file_size_by_path(path, size);
}

int os_get_mtime(const char* path, std::int64_t* seconds) {
  struct stat st {};
  if (path == nullptr || seconds == nullptr || stat(path, &st) != 0) return 0;
  *seconds = static_cast<std::int64_t>(st.st_mtime);
  return 1;
}

int os_file_is_dir(const char* path) {
  struct stat st {};
  return path != nullptr && stat(path, &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

int os_file_exists(const char* path) {
  if (util_is_string_empty(path)) return 0;
  char stripped[OS_PATH_BUFFER_SIZE];
  if (!strip_one_trailing_separator(path, stripped, sizeof stripped)) return 0;
  struct stat st {};
  return stat(stripped, &st) == 0 ? 1 : 0;
}

int os_is_dir_writeable(const char* path) {
  if (util_is_string_empty(path)) return 0;
  char stripped[OS_PATH_BUFFER_SIZE];
  if (!strip_one_trailing_separator(path, stripped, sizeof stripped)) return 0;
  return access(stripped, W_OK) == 0 ? 1 : 0;
}

int os_is_executable(const char* path) {
  return !util_is_string_empty(path) && access(path, X_OK) == 0 ? 1 : 0;
}

int os_file_rename(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) return 0;
  if (rename(from, to) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("os_file_rename: rename failed: from='%s',to='%s'", from, to);
    return 0;
  }
  return 1;
}

int os_file_delete(const char* path) {
  if (path == nullptr) return 0;
  if (unlink(path) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("os_file_delete: unlink failed: path='%s'", path);
    return 0;
  }
  return 1;
}

int os_file_create_empty(const char* path) {
  FILE* file = os_fopen(path, "w");
  if (file == nullptr) {
    LOG_LAST_SYSTEM_ERROR("os_file_create_empty: fopen failed: path='%s'", path);
    return 0;
  }
  // The stream is gone whatever fclose reports, and the file exists.
  if (std::fclose(file) != 0) {
    LOG_ERROR("os_file_create_empty: fclose failed: path='%s',retry=%d", path, 0);
  }
  return 1;
}

int os_file_make_temp_ex(char* buffer, std::size_t size, const char* /*prefix*/) {
  if (buffer == nullptr || size == 0) return 0;
  const char* dir = temp_dir();
  char name[OS_PATH_BUFFER_SIZE];
  // A truncated name would leave the caller with the path of another file.
  const std::size_t room = size < sizeof name ? size : sizeof name;
  const int fd = create_random_name(dir, "tv", TEMP_NAME_DIGITS, 0600, name, room);
  if (fd < 0) {
    if (errno == ENAMETOOLONG) {
      LOG_ERROR("os_file_make_temp: buffer too small for temporary name: dir='%s',size=%zu", dir,
                size);
    } else if (errno == EEXIST) {
      LOG_ERROR("os_file_make_temp: no free temporary name in %s", dir);
    } else {
      LOG_LAST_SYSTEM_ERROR("os_file_make_temp: unable to create temporary file in %s", dir);
    }
    return 0;
  }
  close(fd);
  util_safe_strncpy(buffer, name, size);
  return 1;
}

int os_file_make_temp(char* buffer, std::size_t size) {
  return os_file_make_temp_ex(buffer, size, nullptr);
}

void os_file_set_temp_dir(const char* dir) {
  util_safe_strncpy(g_temp_dir, dir != nullptr ? dir : "", sizeof g_temp_dir);
}

int os_file_create_unique(const char* dir, const char* prefix, unsigned mode, char* path,
                          std::size_t size) {
  if (util_is_string_empty(dir) || path == nullptr || size == 0) return -1;
  const int fd =
      create_random_name(dir, prefix != nullptr ? prefix : "", UNIQUE_NAME_DIGITS, mode, path, size);
  if (fd < 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to create a new file in \"%s\"", dir);
    path[0] = '\0';
  }
  return fd;
}

long os_file_owner_pid(const char* name, const char* prefix) {
  if (name == nullptr || prefix == nullptr) return -1;
  const std::size_t prefix_len = std::strlen(prefix);
  if (std::strncmp(name, prefix, prefix_len) != 0) return -1;
  const char* at = name + prefix_len;
  long pid = 0;
  int pid_digits = 0;
  for (; *at >= '0' && *at <= '9'; ++at) {
    if (++pid_digits > OWNER_PID_DIGITS_MAX) return -1;
    pid = pid * 10 + (*at - '0');
  }
  if (pid_digits == 0 || *at != '-' || pid <= 0) return -1;
  int hex = 0;
  for (++at; (*at >= '0' && *at <= '9') || (*at >= 'a' && *at <= 'f'); ++at) ++hex;
  if (*at != '\0' || (hex != TEMP_NAME_DIGITS && hex != UNIQUE_NAME_DIGITS)) return -1;
  return pid;
}

std::uint32_t convert_bytes_to_kilobytes(std::int64_t bytes) {
  if (bytes <= 0) return 0;
  if (bytes < 1024) return 1;
  std::int64_t kilobytes = bytes / 1024;
  return kilobytes > 4294967295LL ? 4294967295U : static_cast<std::uint32_t>(kilobytes);
}
