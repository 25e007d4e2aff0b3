// Read-only file maps.
#include "foundation/os_mmap.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>

#include "foundation/log.h"

int os_mmap_ro_file(OsMmap** map, const std::uint8_t** address, std::uint64_t* mapped_length,
                    const OsFile* file, std::int64_t length) {
  LOG_DEV("entering os_mmap_ro_file");
  if (map == nullptr || address == nullptr || mapped_length == nullptr || file == nullptr) {
    return -1;
  }
  *map = nullptr;
  *address = nullptr;
  *mapped_length = 0;
  std::uint64_t size = 0;
  if (!os_file_size(file, &size)) {
    LOG_ERROR("Unable to determine size of file: '%s'", file->path);
    return -1;
  }
  if (size == 0) {
    LOG_ERROR("File of zero length detected: '%s'", file->path);
    return -1;
  }
  if (length > 0 && static_cast<std::uint64_t>(length) < size) {
    auto wanted = static_cast<std::uint64_t>(length);
    LOG_DEBUG("Perform partial mmap. %u kbytes of %u kbyte file, (%d%%%%)",
              convert_bytes_to_kilobytes(length),
              convert_bytes_to_kilobytes(static_cast<std::int64_t>(size)),
              static_cast<int>(wanted * 100 / size));
    size = wanted;
  }
  if (size > OS_MMAP_MAX_SIZE) {
    LOG_ERROR("mmap size too large: %u kbytes, File: '%s'",
              convert_bytes_to_kilobytes(static_cast<std::int64_t>(size)), file->path);
    return -2;
  }
  auto* region = new (std::nothrow) OsMmap{};
  if (region == nullptr) {
    LOG_ERROR("Unable to allocate memory for mmap structure");
    return -1;
  }
  LOG_DEV("os_mmap_ro_file *length=%u", convert_bytes_to_kilobytes(static_cast<std::int64_t>(size)));
  void* mapped = mmap(nullptr, size, PROT_READ, MAP_SHARED, file->fd, 0);
  if (mapped == MAP_FAILED) {
    LOG_LAST_SYSTEM_ERROR("Unable to map file: %s", file->path);
    delete region;
    return -1;
  }
  // Analyzers read spool files front to back: ask for read-ahead and early
  // reclaim of pages already read. Advice only; a refusal changes nothing.
  (void)posix_madvise(mapped, size, POSIX_MADV_SEQUENTIAL);
  region->address = mapped;
  region->length = size;
  *map = region;
  *address = static_cast<const std::uint8_t*>(mapped);
  *mapped_length = size;
  return 0;
}

int os_mmap_prefault(const std::uint8_t* data, std::uint64_t length) {
  if (data == nullptr || length == 0) return 0;
  // madvise takes a page-aligned start: round down, and cover the tail.
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t aligned = start - start % page;
  const std::uint64_t span = length + (start - aligned);
#ifdef MADV_POPULATE_READ
  return madvise(reinterpret_cast<void*>(aligned), span, MADV_POPULATE_READ) == 0 ? 1 : 0;
#else
  (void)span;
  return 0;
#endif
}

int os_mmap_ro_large_file(OsMmap** map, const std::uint8_t** address,
                          std::uint64_t* mapped_length, const OsFile* file) {
  LOG_DEV("entering os_mmap_ro_large_file");
  return os_mmap_ro_file(map, address, mapped_length, file, -1) == 0 ? 1 : 0;
}

void os_mmap_free(OsMmap* map) {
  if (!TV_ASSERT(map != NULL)) return;
  if (munmap(map->address, map->length) != 0) LOG_DEBUG("Unable to munmap memory");
  delete map;
}
