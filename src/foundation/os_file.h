// Files: opening, sizes, existence and permission tests, renames, copies and
// exclusive temporary files. Results are 1 for success and 0 for failure
// unless a comment says otherwise; failures are logged where they are found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "foundation/owned.h"

// Room for a path inside a handle (1023 characters and the terminator).
inline constexpr std::size_t OS_HANDLE_NAME_SIZE = 1024;
// Working buffers for paths.
inline constexpr std::size_t OS_PATH_BUFFER_SIZE = 4096;

// A file opened read-only. Freed by os_file_close.
struct OsFile {
  char path[OS_HANDLE_NAME_SIZE];  // the path it was opened with, truncated
  int fd;                          // the open descriptor, -1 when none
};

// Writes all `count` bytes of `data` to `fd`, going on after an interrupted
// or partial write; 0 on an error or a write that makes no progress. Logs
// nothing, so that it may be called from a signal handler.
[[nodiscard]] int os_write_all(int fd, const void* data, std::size_t count);

// fopen with a check for an empty path (logged as a failed assertion; the
// open then fails). Streams are opened close-on-exec; a stream opened for
// writing or appending never opens through a symbolic link (ELOOP).
// Null on failure.
[[nodiscard]] FILE* os_fopen(const char* path, const char* mode);
// fclose for owners of a stream; null is ignored. A close that must be
// checked (after writing) is made by hand with fclose.
void os_fclose(FILE* stream);
using FilePtr = Owned<FILE, os_fclose>;

// Opens `path` read-only into a new OsFile stored in *file.
[[nodiscard]] int os_file_open_ro(OsFile** file, const char* path);
// Closes the descriptor and frees the handle; null is ignored.
void os_file_close(OsFile* file);
using OsFilePtr = Owned<OsFile, os_file_close>;

// Size in bytes of an open file.
[[nodiscard]] int os_file_size(const OsFile* file, std::uint64_t* size);
// Size in bytes by path; 0 (and size 0) when the path cannot be examined.
[[nodiscard]] int os_file_size_by_path(const char* path, std::uint64_t* size);
[[nodiscard]] int os_file_size_by_path_long(const char* path, std::uint64_t* size);
// Modification time in seconds since the epoch.
[[nodiscard]] int os_get_mtime(const char* path, std::int64_t* seconds);

// 1 for a directory; a path that cannot be examined is not a directory.
[[nodiscard]] int os_file_is_dir(const char* path);
// 1 when the path exists; empty gives 0; one trailing "/" or "\" is ignored.
[[nodiscard]] int os_file_exists(const char* path);
// Write permission for this process (one trailing "/" or "\" ignored).
[[nodiscard]] int os_is_dir_writeable(const char* path);
// Execute permission for this process.
[[nodiscard]] int os_is_executable(const char* path);

// rename(2) / unlink(2): 1 on success, 0 on failure (logged as DEBUG).
int os_file_rename(const char* from, const char* to);
int os_file_delete(const char* path);
// Creates or truncates the file and closes it; 1 once the file was opened.
int os_file_create_empty(const char* path);

// Creates a new empty file "<dir>/tv<pid>-<13 random hexadecimal digits>", where
// dir is the directory set by os_file_set_temp_dir, else TMPDIR, else /tmp:
// exclusively, mode 0600, never following a symbolic link, retrying on a
// name collision; leaves its path in `buffer`. Fails, creating nothing, when
// the path does not fit the buffer. The prefix is not used.
[[nodiscard]] int os_file_make_temp_ex(char* buffer, std::size_t size, const char* prefix);
[[nodiscard]] int os_file_make_temp(char* buffer, std::size_t size);
// Sends temporary files to `dir` (a private directory of the program's own,
// see os_make_private_dir) instead of a shared one; null or empty restores
// TMPDIR and /tmp.
void os_file_set_temp_dir(const char* dir);

// Creates a new file "<dir>/<prefix><pid>-<16 random hexadecimal digits>"
// with `mode`: exclusively, never through a symbolic link, at a name nobody
// can guess beforehand. The path goes to `path` (nothing is created when it
// does not fit). The open read-write descriptor, or -1 (logged).
[[nodiscard]] int os_file_create_unique(const char* dir, const char* prefix, unsigned mode,
                                        char* path, std::size_t size);
// The process id in the file name `name` (no directory) when it has the
// shape the two functions above give names with `prefix`; else -1. Any
// other name, however close, is not ours.
[[nodiscard]] long os_file_owner_pid(const char* name, const char* prefix);

// The copies below write into a new file only: a destination that exists
// already (a file, or a link planted at the name) is refused, never followed,
// truncated or overwritten. A failed copy removes the file it made.

// Copies a file.
[[nodiscard]] int os_file_copy(const char* from_path, const char* to_path);
// Copies the rest of `in` into a new file at `to_path`.
[[nodiscard]] int os_file_copy_handle(FILE* in, const char* to_path);
// Appends the content of the file at `from_path` to `out`.
[[nodiscard]] int os_file_copy_path(const char* from_path, FILE* out);
// Copies `in` to `out` in 65536-byte blocks until end of file.
[[nodiscard]] int os_file_copy_handle_handle(FILE* in, FILE* out);
// Writes the whole source `n_repeats` times in a row into a new file, in
// large blocks the kernel copies itself where it can.
[[nodiscard]] int os_file_copy_repeats(const char* from_path, const char* to_path, int n_repeats);
// The same into an open descriptor (at its current position).
[[nodiscard]] int os_file_copy_repeats_fd(int from_fd, int to_fd, int n_repeats);
// Copies `count` bytes of `from_fd` from `offset` on (its own position is
// left alone) to `to_fd` at its current position, in the kernel where it
// can; 0 when the source ends early or a read or write fails.
[[nodiscard]] int os_file_copy_range(int from_fd, std::uint64_t offset, std::uint64_t count,
                                     int to_fd);

// Kilobytes for a byte count: 0 for <= 0, 1 for 1..1023, else count / 1024,
// saturated at 4294967295.
[[nodiscard]] std::uint32_t convert_bytes_to_kilobytes(std::int64_t bytes);
