// Read-only images of whole files.
#include "foundation/mapped_mem.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "foundation/log.h"
#include "foundation/os_file.h"
#include "foundation/os_mmap.h"

namespace {

// What an empty file's image points at: there is nothing to map, but callers
// may rely on the data pointer being set.
constexpr std::uint8_t EMPTY_IMAGE[1] = {0};

// One opened and mapped file, before it is put into a record.
struct MappedFile {
  OsFile* file = nullptr;
  OsMmap* map = nullptr;
  const std::uint8_t* data = nullptr;
  std::uint64_t size = 0;
};

void release(MappedFile& mapped) {
  if (mapped.map != nullptr) os_mmap_free(mapped.map);
  os_file_close(mapped.file);
  mapped = MappedFile{};
}

// Opens and maps all of `path` (os_mmap_ro_file advises the kernel that the
// map is read front to back). Logs nothing; `failure` says which step failed.
bool map_file(const char* path, MappedFile& out, MappedMemFailure* failure) {
  MappedFile mapped;
  if (!os_file_open_ro(&mapped.file, path)) {
    *failure = MappedMemFailure::OPEN;
    return false;
  }
  std::uint64_t size = 0;
  if (!os_file_size(mapped.file, &size)) {
    *failure = MappedMemFailure::MAP;
    release(mapped);
    return false;
  }
  if (size == 0) {
    mapped.data = EMPTY_IMAGE;
  } else if (os_mmap_ro_file(&mapped.map, &mapped.data, &mapped.size, mapped.file, -1) != 0) {
    *failure = MappedMemFailure::MAP;
    release(mapped);
    return false;
  }
  out = mapped;
  return true;
}

void log_failure(MappedMemFailure failure, const char* path) {
  if (failure == MappedMemFailure::OPEN) {
    LOG_ERROR("Could not open '%s' ", path);
  } else if (failure == MappedMemFailure::MAP) {
    LOG_ERROR("Could not memory map '%s'", path);
  }
}

bool valid_path(const char* path) {
  // A cut path would name another file, which could then be deleted.
  return path != nullptr && path[0] != 0 && std::strlen(path) <= MAPPED_MEM_PATH_MAX;
}

void log_invalid_path(const char* path, const char* caller) {
  if (path == nullptr || path[0] == 0) {
    LOG_ERROR("%s: empty path", caller);
  } else {
    LOG_ERROR("%s: path longer than %llu characters: '%.64s...'", caller,
              static_cast<unsigned long long>(MAPPED_MEM_PATH_MAX), path);
  }
}

// Unmaps and closes the record's file; deletes it when the record owns it,
// unless `keep_path` names the same file (the record is being re-pointed at it).
void free_mapped_mem_contents(mapped_mem* mm, const char* keep_path) {
  MappedFile mapped{mm->file, mm->map, mm->data, mm->size};
  release(mapped);
  mm->file = nullptr;
  mm->map = nullptr;
  mm->data = nullptr;
  mm->size = 0;
  const bool keep = keep_path != nullptr && std::strcmp(keep_path, mm->backing_file) == 0;
  if (mm->delete_backing_file != 0 && mm->backing_file[0] != 0 && !keep &&
      !os_file_delete(mm->backing_file)) {
    LOG_LAST_SYSTEM_ERROR("free_mapped_mem_contents: Could not delete backing_file='%s'",
                          mm->backing_file);
  }
}

}  // namespace

mapped_mem* create_mapped_mem_quiet(const char* path, MappedMemFailure* failure) {
  MappedMemFailure ignored = MappedMemFailure::NONE;
  if (failure == nullptr) failure = &ignored;
  *failure = MappedMemFailure::NONE;
  MappedFile mapped;
  if (!valid_path(path)) {
    *failure = MappedMemFailure::OPEN;
    return nullptr;
  }
  if (!map_file(path, mapped, failure)) return nullptr;
  auto* mm = new (std::nothrow) mapped_mem();
  if (mm == nullptr) {
    LOG_ERROR("calloc failed");  // not the file's fault: logged here
    *failure = MappedMemFailure::NONE;
    release(mapped);
    return nullptr;
  }
  std::memcpy(mm->backing_file, path, std::strlen(path) + 1);
  mm->file = mapped.file;
  mm->map = mapped.map;
  mm->data = mapped.data;
  mm->size = mapped.size;
  return mm;
}

mapped_mem* create_mapped_mem(const char* path) {
  if (!valid_path(path)) {
    log_invalid_path(path, "create_mapped_mem");
    return nullptr;
  }
  MappedMemFailure failure = MappedMemFailure::NONE;
  mapped_mem* mm = create_mapped_mem_quiet(path, &failure);
  log_failure(failure, path);
  return mm;
}

int update_mapped_mem(mapped_mem* mm, const char* path, int delete_when_freed) {
  if (mm == nullptr || mm->file == nullptr || mm->data == nullptr ||
      (mm->map == nullptr && mm->size > 0)) {
    LOG_ERROR("update_memmap: invalid params");
    return 0;
  }
  if (!valid_path(path)) {
    log_invalid_path(path, "update_memmap");
    return 0;
  }
  // Map the new file first: when that fails the image still shows the old one.
  MappedFile mapped;
  MappedMemFailure failure = MappedMemFailure::NONE;
  if (!map_file(path, mapped, &failure)) {
    log_failure(failure, path);
    return 0;
  }
  free_mapped_mem_contents(mm, path);
  // memmove: the caller may pass the record's own backing_file.
  std::memmove(mm->backing_file, path, std::strlen(path) + 1);
  mm->delete_backing_file = delete_when_freed;
  mm->file = mapped.file;
  mm->map = mapped.map;
  mm->data = mapped.data;
  mm->size = mapped.size;
  return 1;
}

void free_mapped_mem(mapped_mem** mm) {
  if (mm == nullptr || *mm == nullptr) return;
  free_mapped_mem_contents(*mm, nullptr);
  delete *mm;
  *mm = nullptr;
}
