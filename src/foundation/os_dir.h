// Paths and directories: joining and splitting paths, creating and removing
// directories, and walking a directory's entries. Results are 1 for success
// and 0 for failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/owned.h"

// Joins `dir` and `name` with one "/" (none added when dir already ends with
// one; an empty dir gives "/name") into `buffer`, bounded by `size`; fails on
// truncation. Either part may be null, not both.
[[nodiscard]] int os_cat_path(char* buffer, std::size_t size, const char* dir, const char* name);
// Splits `path` at its last "/": the text before into `dir`, after into
// `name` (either buffer may be null). No "/" gives an empty dir; a path whose
// only "/" is its first character gives an empty dir. Fails on truncation.
[[nodiscard]] int os_split_path(char* dir, std::size_t dir_size, char* name, std::size_t name_size,
                                const char* path);
// An absolute or empty path as it is, else the current directory joined with it.
[[nodiscard]] int os_get_abs_path(char* buffer, std::size_t size, const char* path);
// The name part of `path` joined to `dir`.
[[nodiscard]] int os_change_path_dir(char* buffer, std::size_t size, const char* path,
                                     const char* dir);

// Creates one directory (mode 0777 less the umask); an existing directory is
// success, an existing non-directory failure.
[[nodiscard]] int os_create_dir(const char* path);
// Creates the directory and up to 20 missing parents.
[[nodiscard]] int os_create_dir_recursive(const char* path);
// No group to give a directory (os_make_private_dir).
inline constexpr long OS_NO_GROUP = -1;
// Makes `path` a directory of this process's account with exactly `mode`
// (and, when root, the group `group` unless OS_NO_GROUP), creating it and
// its missing parents. An existing path is only accepted when it is a real
// directory (not a link) owned by this account; its mode and group are then
// set as asked. 1 on success; 0 (logged) otherwise, and then nothing may be
// written there.
[[nodiscard]] int os_make_private_dir(const char* path, unsigned mode, long group);

// Room for one entry name in a directory walk.
inline constexpr std::size_t OS_DIR_NAME_SIZE = 1024;

// An open directory stream.
struct OsDir;
// Opens `dir` into *handle and gives the first entry's name ("." and ".."
// skipped). 1 when a name was given; 0 when the directory cannot be opened
// (*handle null) or has no entries (*handle open: close it).
[[nodiscard]] int os_first_file_in_dir(const char* dir, char* name, OsDir** handle);
// The next entry's name; 0 at the end.
[[nodiscard]] int os_next_file_in_dir(OsDir* handle, char* name);
// Closes the walk; null is ignored.
void os_close_dir(OsDir* handle);
using OsDirPtr = Owned<OsDir, os_close_dir>;

// Callback of a walk: the entry's full path, its modification time and the
// caller's data. Returning 0 stops the walk.
using os_dir_callback = int (*)(const char* path, std::int64_t mtime, void* data);

// Calls `callback` for each entry of `dir` (directories only with
// include_dirs, everything else only with include_files); when `ordered` the
// oldest entry comes first. *count gets the number of entries included,
// *stopped whether a callback stopped the walk. 1 when the directory could be
// walked.
[[nodiscard]] int os_forall_files_in_dir_ex(const char* dir, os_dir_callback callback, void* data,
                                            int ordered, int* count, int* stopped,
                                            int include_dirs, int include_files);
// The same for regular files only.
[[nodiscard]] int os_forall_files_in_dir(const char* dir, os_dir_callback callback, void* data,
                                         int ordered, int* count, int* stopped);

// Deletes every non-directory entry of `dir`; failures are logged and the
// walk goes on.
[[nodiscard]] int os_file_rmdir_contents(const char* dir);
// Removes an empty directory.
[[nodiscard]] int os_file_rmdir(const char* dir);
// Deletes the directory's files, then the directory.
[[nodiscard]] int os_file_rmdir_and_contents(const char* dir);

// The first "<PATH dir>/<name>" that is executable, into `buffer`.
[[nodiscard]] int os_whereis_executabe(const char* name, char* buffer, std::size_t size);
// The same operation under its correctly spelt name.
[[nodiscard]] inline int os_whereis_executable(const char* name, char* buffer, std::size_t size) {
  return os_whereis_executabe(name, buffer, size);
}
// Copies the printer name when it fits (size >= length + 1), else 0.
[[nodiscard]] int os_prepend_server_printer_name(char* buffer, std::size_t size,
                                                 const char* printer);
