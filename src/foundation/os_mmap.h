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
// Fills the page tables for the mapped bytes [data, data + length) ahead of
// a pass that reads them all (MADV_POPULATE_READ): a front-to-back pass over
// a page-cached file then takes no page fault, about a tenth faster than
// faulting page by page (bench/mapped_mem_bench). Only for bytes that will
// be read: on a file not in the page cache it reads them from the disk
// before it returns. 1 when done, 0 when the kernel cannot (before Linux
// 5.14) or the range is not mapped; nothing is logged.
[[nodiscard]] int os_mmap_prefault(const std::uint8_t* data, std::uint64_t length);
// Unmaps and frees; null is reported as a failed assertion.
void os_mmap_free(OsMmap* map);
using OsMmapPtr = Owned<OsMmap, os_mmap_free>;
