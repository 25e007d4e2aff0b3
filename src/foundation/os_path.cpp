// Path texts: joining, splitting, absolute paths and the PATH search.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/util.h"

namespace {

// PATH is read up to this many characters.
constexpr std::size_t PATH_ENV_SIZE = 1024;

const char* or_null(const char* text) { return text != nullptr ? text : "(null)"; }

// Copies `count` bytes of `text` into `buffer` and terminates; 0 when that
// does not fit in `size`.
int copy_part(char* buffer, std::size_t size, const char* text, std::size_t count) {
  if (buffer == nullptr) return 1;
  if (count >= size) return 0;
  std::memcpy(buffer, text, count);
  buffer[count] = '\0';
  return 1;
}

}  // namespace

int os_cat_path(char* path, std::size_t size, const char* dir, const char* fname) {
  if (path == nullptr || size == 0 || (dir == nullptr && fname == nullptr)) {
    LOG_ERROR("os_cat_path: invalid params: path=%p,size=%u,dir='%s',fname='%s'",
              static_cast<void*>(path), static_cast<unsigned>(size), or_null(dir),
              or_null(fname));
    return 0;
  }
  std::size_t dir_len = dir != nullptr ? std::strlen(dir) : 0;
  bool slash = dir != nullptr && (dir_len == 0 || dir[dir_len - 1] != '/');
  std::size_t name_len = fname != nullptr ? std::strlen(fname) : 0;
  // A cut-off path names another file: refuse it rather than truncate.
  if (dir_len + (slash ? 1 : 0) + name_len >= size) {
    LOG_ERROR("os_cat_path: path too long: size=%u,dir='%s',fname='%s'",
              static_cast<unsigned>(size), or_null(dir), or_null(fname));
    path[0] = '\0';
    return 0;
  }
  char* end = path;
  if (dir_len > 0) end = static_cast<char*>(std::memcpy(end, dir, dir_len)) + dir_len;
  if (slash) *end++ = '/';
  if (name_len > 0) end = static_cast<char*>(std::memcpy(end, fname, name_len)) + name_len;
  *end = '\0';
  return 1;
}

int os_split_path(char* dir, std::size_t dir_size, char* name, std::size_t name_size,
                  const char* path) {
  if (path == nullptr) return 0;
  const char* slash = std::strrchr(path, '/');
  std::size_t dir_len = slash != nullptr && slash != path ? static_cast<std::size_t>(slash - path) : 0;
  const char* base = slash != nullptr ? slash + 1 : path;
  return copy_part(dir, dir_size, path, dir_len) &&
                 copy_part(name, name_size, base, std::strlen(base))
             ? 1
             : 0;
}

int os_get_abs_path(char* abs_path, std::size_t abs_path_size, const char* path) {
  if (abs_path == nullptr || abs_path_size == 0 || path == nullptr) {
    LOG_ERROR("os_get_abs_path: bad args");
    return 0;
  }
  char current_dir[OS_PATH_BUFFER_SIZE];
  if (path[0] == '/' || path[0] == '\0') {
    current_dir[0] = '\0';
    if (copy_part(abs_path, abs_path_size, path, std::strlen(path))) return 1;
  } else {
    if (getcwd(current_dir, sizeof current_dir) == nullptr) {
      LOG_LAST_SYSTEM_ERROR("os_get_abs_path: getcwd failed");
      return 0;
    }
    std::size_t dir_len = std::strlen(current_dir);
    std::size_t path_len = std::strlen(path);
    if (dir_len + 1 + path_len < abs_path_size) {
      std::memcpy(abs_path, current_dir, dir_len);
      abs_path[dir_len] = '/';
      std::memcpy(abs_path + dir_len + 1, path, path_len + 1);
      return 1;
    }
  }
  LOG_ERROR("os_get_abs_path: insufficient space: current_dir='%s',path='%s',abs_path_size=%lu",
            current_dir, path, static_cast<unsigned long>(abs_path_size));
  return 0;
}

int os_change_path_dir(char* buffer, std::size_t size, const char* path, const char* dir) {
  char name[OS_PATH_BUFFER_SIZE];
  if (!os_split_path(nullptr, 0, name, sizeof name, path)) return 0;
  return os_cat_path(buffer, size, dir, name);
}

int os_whereis_executabe(const char* prog_name, char* buffer, std::size_t size) {
  if (util_is_string_empty(prog_name) || buffer == nullptr || size == 0) return 0;
  const char* env = std::getenv("PATH");
  if (env == nullptr) {
    LOG_ERROR("os_whereis_executable: Cannot find PATH env variable");
    return 0;
  }
  char search_path[PATH_ENV_SIZE];
  util_safe_strncpy(search_path, env, sizeof search_path);
  LOG_DEBUG("os_whereis_executable: search for: %s, search_path='%s'", prog_name, search_path);
  char prog_path[OS_PATH_BUFFER_SIZE];
  char* save = nullptr;
  for (char* dir = strtok_r(search_path, ":", &save); dir != nullptr;
       dir = strtok_r(nullptr, ":", &save)) {
    int len = std::snprintf(prog_path, sizeof prog_path, "%s/%s", dir, prog_name);
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof prog_path) continue;
    if (os_is_executable(prog_path) && !os_file_is_dir(prog_path) &&
        static_cast<std::size_t>(len) < size) {
      std::memcpy(buffer, prog_path, static_cast<std::size_t>(len) + 1);
      LOG_DEBUG("os_whereis_executable: found prog_path='%s'", prog_path);
      return 1;
    }
  }
  LOG_DEBUG("os_whereis_executable: Could not find prog_name='%s'", prog_name);
  return 0;
}

int os_prepend_server_printer_name(char* buffer, std::size_t size, const char* printer) {
  if (buffer == nullptr || printer == nullptr) return 0;
  std::size_t len = std::strlen(printer);
  if (size < len + 1) return 0;
  std::memcpy(buffer, printer, len + 1);
  return 1;
}
