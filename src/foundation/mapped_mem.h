// Read-only memory image of a whole file: how every analyzer, planner and
// transform sees a spool file. The mapping is shared and read-only, advised
// for sequential reading; nothing is copied into memory. An empty file gives
// an image of size 0 whose data points at a zero byte (no mapping is made).
#pragma once

#include <cstdint>

#include "foundation/owned.h"

struct OsFile;
struct OsMmap;

// Longest backing path kept (characters, without the terminator).
inline constexpr std::uint64_t MAPPED_MEM_PATH_MAX = 4095;

struct mapped_mem {
  const std::uint8_t* data = nullptr;  // first byte of the image
  std::uint64_t size = 0;              // the file's length
  OsFile* file = nullptr;
  OsMmap* map = nullptr;  // nullptr for an empty file
  char backing_file[MAPPED_MEM_PATH_MAX + 1] = {};
  std::int32_t delete_backing_file = 0;  // delete the file when released
};

// New image of the whole file at `path`, delete flag off; nullptr on failure
// (logged).
[[nodiscard]] mapped_mem* create_mapped_mem(const char* path);

// Which step of making an image failed.
enum class MappedMemFailure { NONE, OPEN, MAP };
// create_mapped_mem without its log lines, for callers that report a failure
// in their own words: *failure (when given) says which step failed (a path
// that is empty or too long cannot be opened).
[[nodiscard]] mapped_mem* create_mapped_mem_quiet(const char* path, MappedMemFailure* failure);

// Re-points the image at `path` with the delete flag `delete_when_freed`.
// The new file is mapped first; only then is the old one released (unmapped,
// closed, deleted when its flag is set). When the new file cannot be mapped
// the image keeps its old file and 0 is returned. 1 on success.
[[nodiscard]] int update_mapped_mem(mapped_mem* mm, const char* path, int delete_when_freed);

// Releases the file (deleting it when flagged), frees the record and clears
// the caller's pointer. Accepts nullptr and a pointer to nullptr.
void free_mapped_mem(mapped_mem** mm);
// free_mapped_mem for an owner that holds the pointer itself.
inline void mapped_mem_release(mapped_mem* mm) { free_mapped_mem(&mm); }
using MappedMemPtr = Owned<mapped_mem, mapped_mem_release>;
