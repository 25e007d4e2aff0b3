// Directories: creating, walking and removing.
#include "foundation/os_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/os_error.h"
#include "foundation/os_file.h"
#include "foundation/util.h"

struct OsDir {
  DIR* stream;
};

namespace {

constexpr int MAX_CREATE_PASSES = 20;          // missing levels made by one call
constexpr std::size_t MAX_CREATE_PATH = 1031;  // longest path it accepts
constexpr std::size_t ORDERED_INITIAL = 1000;  // first room of an ordered walk

// mkdir that treats an existing directory as success; errno tells why not.
int make_dir_quietly(const char* path) {
  if (mkdir(path, 0777) == 0) return 1;
  if (errno == EEXIST) {
    if (os_file_is_dir(path)) return 1;
    errno = EEXIST;
  }
  return 0;
}

// Gives the next entry other than "." and ".."; 0 at the end.
int next_entry(DIR* stream, char* name) {
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(stream);
    if (entry == nullptr) return 0;
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    util_safe_strncpy(name, entry->d_name, OS_DIR_NAME_SIZE);
    return 1;
  }
}

struct Entry {
  std::string path;
  std::int64_t mtime;
};

struct WalkResult {
  int count = 0;
  int stopped = 0;
};

// Calls the callback in modification-time order, oldest first.
int call_ordered(std::vector<Entry>& entries, os_dir_callback callback, void* data,
                 WalkResult& result) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.mtime < b.mtime; });
  for (const Entry& entry : entries) {
    LOG_DEV("Calling ordered callback for \"%s\"", entry.path.c_str());
    if (callback(entry.path.c_str(), entry.mtime, data) == 0) {
      result.stopped = 1;
      break;
    }
  }
  return 1;
}

// Walks the open stream; 0 only when the ordered walk ran out of memory.
int walk(DIR* stream, const char* dir, os_dir_callback callback, void* data, int ordered,
         int include_dirs, int include_files, WalkResult& result) {
  std::vector<Entry> entries;
  if (ordered) {
    try {
      entries.reserve(ORDERED_INITIAL);
    } catch (const std::bad_alloc&) {
      LOG_DEBUG("Unable to allocate directory buffer, size = %lu\n",
                static_cast<unsigned long>(ORDERED_INITIAL));
      return 0;
    }
  }
  char name[OS_DIR_NAME_SIZE];
  char path[OS_PATH_BUFFER_SIZE];
  while (next_entry(stream, name)) {
    if (!os_cat_path(path, sizeof path, dir, name)) continue;
    if (os_file_is_dir(path) ? !include_dirs : !include_files) {
      LOG_DEV(os_file_is_dir(path) ? "skipping dir: %s" : "skipping file: %s", path);
      continue;
    }
    std::int64_t mtime = 0;
    if (!os_get_mtime(path, &mtime)) {
      LOG_DEV("Unable to get mtime for path, \"%s\", for dir scan", path);
      continue;
    }
    LOG_DEV("Processing entry \"%s\"", path);
    ++result.count;
    if (ordered) {
      try {
        entries.push_back(Entry{path, mtime});
      } catch (const std::bad_alloc&) {
        LOG_ERROR("Unable to reallocate directory buffer, size = %lu\n",
                  static_cast<unsigned long>(entries.capacity() * 2));
        return 0;
      }
      continue;
    }
    LOG_DEV("Calling callback for \"%s\"", path);
    if (callback(path, mtime, data) == 0) {
      result.stopped = 1;
      return 1;
    }
  }
  return ordered ? call_ordered(entries, callback, data, result) : 1;
}

int delete_file_callback(const char* path, std::int64_t /*mtime*/, void* data) {
  if (!os_file_delete(path)) {
    LOG_ERROR("file_delete_callback: os_file_delete failed. path='%s'", path);
    *static_cast<int*>(data) += 1;
  }
  return 1;
}

// opendir, with the failure logged.
DIR* open_dir_logged(const char* dir) {
  DIR* stream = opendir(dir);
  if (stream == nullptr) {
    char text[OS_ERROR_TEXT_SIZE];
    LOG_ERROR("Unable to open directory, \"%s\": %s", dir,
              os_get_system_error_message(errno, text, sizeof text));
  }
  return stream;
}

}  // namespace

int os_create_dir(const char* path) {
  if (util_is_string_empty(path)) return 0;
  if (make_dir_quietly(path)) return 1;
  LOG_LAST_SYSTEM_ERROR_AS_DEBUG("os_create_dir: mkdir failed: path='%s'", path);
  return 0;
}

int os_create_dir_recursive(const char* path) {
  if (util_is_string_empty(path) || std::strlen(path) > MAX_CREATE_PATH) return 0;
  char full[MAX_CREATE_PATH + 1];
  util_safe_strncpy(full, path, sizeof full);
  std::size_t len = std::strlen(full);
  if (len > 1 && full[len - 1] == '/') full[len - 1] = '\0';
  char part[MAX_CREATE_PATH + 1];
  // Each pass creates the deepest level whose parent exists.
  for (int pass = 0; pass < MAX_CREATE_PASSES; ++pass) {
    std::strcpy(part, full);
    while (!make_dir_quietly(part)) {
      // Only a missing parent is cured by cutting the path shorter.
      char* slash = std::strrchr(part, '/');
      if (errno != ENOENT || slash == nullptr || slash == part) {
        LOG_LAST_SYSTEM_ERROR_AS_DEBUG("os_create_dir_recursive: unable to create '%s'", part);
        return 0;
      }
      *slash = '\0';
    }
    if (std::strcmp(part, full) == 0) return 1;
  }
  LOG_DEBUG("os_create_dir_recursive: too many missing levels: '%s'", full);
  return 0;
}

int os_make_private_dir(const char* path, unsigned mode, long group) {
  if (util_is_string_empty(path)) return 0;
  const auto wanted = static_cast<mode_t>(mode);
  if (mkdir(path, wanted) != 0 && errno != EEXIST) {
    if (errno != ENOENT || !os_create_dir_recursive(path)) {
      LOG_LAST_SYSTEM_ERROR("Unable to create directory \"%s\"", path);
      return 0;
    }
  }
  // Everything from here on works on the directory that was opened, never
  // again on the name: a link swapped in cannot redirect a change of mode.
  const int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) {
    LOG_LAST_SYSTEM_ERROR("Refusing directory \"%s\": it is not a directory", path);
    if (fd >= 0) close(fd);
    return 0;
  }
  int ok = 1;
  if (info.st_uid != geteuid()) {
    LOG_ERROR("Refusing directory \"%s\": it belongs to another account (uid %d)", path,
              static_cast<int>(info.st_uid));
    ok = 0;
  } else if ((info.st_mode & 07777) != wanted && fchmod(fd, wanted) != 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to set the mode of directory \"%s\"", path);
    ok = 0;
  } else if (group != OS_NO_GROUP && geteuid() == 0 &&
             info.st_gid != static_cast<gid_t>(group) &&
             fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(group)) != 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to set the group of directory \"%s\"", path);
    ok = 0;
  }
  close(fd);
  return ok;
}

int os_first_file_in_dir(const char* dir, char* name, OsDir** handle) {
  if (handle == nullptr || name == nullptr || dir == nullptr) return 0;
  *handle = nullptr;
  DIR* stream = open_dir_logged(dir);
  if (stream == nullptr) return 0;
  auto* walk_handle = new (std::nothrow) OsDir{stream};
  if (walk_handle == nullptr) {
    closedir(stream);
    LOG_ERROR("Unable to allocate os dir handle\n");
    return 0;
  }
  *handle = walk_handle;
  return next_entry(stream, name);
}

int os_next_file_in_dir(OsDir* handle, char* name) {
  if (handle == nullptr || name == nullptr) return 0;
  return next_entry(handle->stream, name);
}

void os_close_dir(OsDir* handle) {
  if (handle == nullptr) return;
  closedir(handle->stream);
  delete handle;
}

int os_forall_files_in_dir_ex(const char* dir, os_dir_callback callback, void* data, int ordered,
                              int* count, int* stopped, int include_dirs, int include_files) {
  LOG_DEV("Forall files in directory: %s", dir != nullptr ? dir : "");
  if (stopped != nullptr) *stopped = 0;
  if (count != nullptr) *count = 0;
  if (dir == nullptr || callback == nullptr) return 0;
  DIR* stream = open_dir_logged(dir);
  if (stream == nullptr) return 0;
  WalkResult result;
  int ok = walk(stream, dir, callback, data, ordered, include_dirs, include_files, result);
  closedir(stream);
  if (count != nullptr) *count = result.count;
  if (stopped != nullptr) *stopped = result.stopped;
  return ok;
}

int os_forall_files_in_dir(const char* dir, os_dir_callback callback, void* data, int ordered,
                           int* count, int* stopped) {
  return os_forall_files_in_dir_ex(dir, callback, data, ordered, count, stopped, 0, 1);
}

int os_file_rmdir_contents(const char* dir) {
  int failures = 0;
  int count = 0;
  int stopped = 0;
  int ok = os_forall_files_in_dir(dir, delete_file_callback, &failures, 0, &count, &stopped);
  return ok && failures == 0 ? 1 : 0;
}

int os_file_rmdir(const char* dir) {
  if (dir == nullptr) return 0;
  if (rmdir(dir) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("os_file_rmdir: rmdir failed: dir='%s'", dir);
    return 0;
  }
  return 1;
}

int os_file_rmdir_and_contents(const char* dir) {
  int emptied = os_file_rmdir_contents(dir);
  return os_file_rmdir(dir) && emptied ? 1 : 0;
}
