// Read-only file maps.
#pragma once

#include <cstdint>

#include "foundation/os_file.h"
#include "foundation/owned.h"

// A mapped region. Freed by os_mmap_free, which unmaps it.
struct OsMmap {
  void* address;
  std::uint64_t length;
};

// Largest file that is mapped (2^60 bytes).
inline constexpr std::uint64_t OS_MMAP_MAX_SIZE = std::uint64_t{1} << 60;

// Maps `file` read-only and shared: the whole file for a length of -1 (or any
// length not above 0 or not below the size), else its first `length` bytes,
// with sequential-access advice.
// 0 on success, -1 on failure (empty file included), -2 when the file is
// larger than OS_MMAP_MAX_SIZE.
[[nodiscard]] int os_mmap_ro_file(OsMmap** map, const std::uint8_t** address,
                                  std::uint64_t* mapped_length, const OsFile* file,
                                  std::int64_t length);
// Maps the whole file; 1 on success, 0 on failure.
[[nodiscard]] int os_mmap_ro_large_file(OsMmap** map, const std::uint8_t** address,
                                        std::uint64_t* mapped_length, const OsFile* file);
// Unmaps and frees; null is reported as a failed assertion.
void os_mmap_free(OsMmap* map);
using OsMmapPtr = Owned<OsMmap, os_mmap_free>;
