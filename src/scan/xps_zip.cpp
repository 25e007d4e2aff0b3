// Reading a zip package held in memory: the memory stream under the zip
// library, the one directory walk that lists the logical parts and learns
// where every entry is, and reading parts with their sizes checked.
#include "scan/xps_zip.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <new>
#include <utility>

#include "scan/xps_zip_internal.h"
#include "foundation/log.h"

namespace {

// ---- The memory stream ----

MemFile* mem_of(voidpf stream, const char* who) {
  if (stream == nullptr) LOG_ERROR("%s: stream = NULL", who);
  return static_cast<MemFile*>(stream);
}

// The zip library "opens" the package: the stream is the MemFile handed over
// by the opaque pointer.
voidpf mem_open_file_func(voidpf opaque, const void* /*filename*/, int /*mode*/) {
  auto* mem = static_cast<MemFile*>(opaque);
  if (mem == nullptr) return nullptr;
  if (mem->length < 2) {
    LOG_ERROR("mem_open_file_func: too short to be a zip file");
    return nullptr;
  }
  if (mem->start[0] != 'P' || mem->start[1] != 'K') {
    LOG_ERROR("mem_open_file_func: Buffer does not start with PK. Not a zip file!");
    return nullptr;
  }
  mem->position = 0;
  LOG_DEV("mem_open_file_func: length=%" PRIu64, mem->length);
  return mem;
}

uLong mem_read_file_func(voidpf /*opaque*/, voidpf stream, void* buf, uLong size) {
  MemFile* mem = mem_of(stream, "mem_read_file_func");
  if (mem == nullptr) return 0;
  const std::uint64_t left = mem->length - mem->position;
  const std::uint64_t count = std::min<std::uint64_t>(size, left);
  if (count > 0) std::memcpy(buf, mem->start + mem->position, count);
  mem->position += count;
  return static_cast<uLong>(count);
}

uLong mem_write_file_func(voidpf /*opaque*/, voidpf /*stream*/, const void* /*buf*/,
                          uLong /*size*/) {
  LOG_ERROR("mem_write_file_func: NOT IMPLEMENTED");
  return 0;
}

ZPOS64_T mem_tell_file_func(voidpf /*opaque*/, voidpf stream) {
  MemFile* mem = mem_of(stream, "mem_tell_file_func");
  return mem == nullptr ? static_cast<ZPOS64_T>(-1) : mem->position;
}

// Seeks within the package; the end itself is a valid position (the zip
// library learns the size by seeking to the end and telling). From the end,
// the offset counts back.
long mem_seek_file_func(voidpf /*opaque*/, voidpf stream, ZPOS64_T offset, int origin) {
  MemFile* mem = mem_of(stream, "mem_seek_file_func");
  if (mem == nullptr) return -1;
  std::optional<std::uint64_t> target;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      if (offset <= mem->length) target = offset;
      break;
    case ZLIB_FILEFUNC_SEEK_CUR:
      if (offset <= mem->length - mem->position) target = mem->position + offset;
      break;
    case ZLIB_FILEFUNC_SEEK_END:
      if (offset <= mem->length) target = mem->length - offset;
      break;
    default:
      LOG_ERROR("mem_seek_file_func: unknown origin=%d", origin);
      return -1;
  }
  if (!target) {
    LOG_ERROR("mem_seek_file_func: invalid seek origin=%d, offset=%" PRIu64, origin,
              static_cast<std::uint64_t>(offset));
    return -1;
  }
  mem->position = *target;
  return 0;
}

int mem_close_file_func(voidpf /*opaque*/, voidpf stream) {
  return mem_of(stream, "mem_close_file_func") == nullptr ? -1 : 0;
}

int mem_error_file_func(voidpf /*opaque*/, voidpf stream) {
  MemFile* mem = mem_of(stream, "mem_error_file_func");
  return mem == nullptr ? -1 : mem->error;
}

// ---- The directory walk ----

struct RawEntry {
  std::string name;
  std::string logical;
  std::int64_t piece;
};

// The current entry's name; false when it cannot be read or is left out.
bool current_entry_name(unzFile unz, std::string* name, bool* left_out) {
  unz_file_info64 info{};
  char buffer[XPS_ZIP_NAME_MAX + 1];
  const int err = unzGetCurrentFileInfo64(unz, &info, buffer, sizeof buffer, nullptr, 0,
                                          nullptr, 0);
  if (err != UNZ_OK) {
    LOG_ERROR("unzip_get_filenames: error %d with zipfile in unzGetCurrentFileInfo", err);
    return false;
  }
  *left_out = info.size_filename == 0 || info.size_filename > XPS_ZIP_NAME_MAX ||
              std::memchr(buffer, '\0', info.size_filename) != nullptr;
  if (*left_out) {
    LOG_ERROR("unzip_get_filenames: entry name of %lu bytes left out (empty, longer than %zu "
              "or with a NUL byte)",
              static_cast<unsigned long>(info.size_filename), XPS_ZIP_NAME_MAX);
    return true;
  }
  name->assign(buffer, info.size_filename);
  return true;
}

// Reads every entry's name and position, as many as the package declares.
bool walk_directory(XpsZip* zip, std::vector<RawEntry>* raw) {
  unz_global_info64 global{};
  const int err = unzGetGlobalInfo64(zip->unz, &global);
  if (err != UNZ_OK) {
    LOG_ERROR("unzip_get_filenames: error %d with zipfile in unzGetGlobalInfo", err);
    return false;
  }
  const std::uint64_t count = std::min<std::uint64_t>(global.number_entry, XPS_ZIP_MAX_ENTRIES);
  zip->entries.clear();
  if (count > 0 && unzGoToFirstFile(zip->unz) != UNZ_OK) return true;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::string name;
    bool left_out = false;
    if (!current_entry_name(zip->unz, &name, &left_out)) break;
    unz64_file_pos pos{};
    if (!left_out && unzGetFilePos64(zip->unz, &pos) == UNZ_OK &&
        zip->entries.emplace(name, pos).second) {
      const XpsPieceName piece = xps_piece_name(name);
      raw->push_back(RawEntry{name, std::string(piece.logical), piece.piece});
    }
    if (i + 1 < count) {
      const int next = unzGoToNextFile(zip->unz);
      if (next != UNZ_OK) {
        LOG_ERROR("unzip_get_filenames: error %d with zipfile in unzGoToNextFile", next);
        break;
      }
    }
  }
  return true;
}

// Groups the sorted entries into parts: a piece joins the part before it when
// both have the same logical name; any other entry starts a part.
XpsFileList group_parts(std::vector<RawEntry> raw) {
  std::stable_sort(raw.begin(), raw.end(), [](const RawEntry& a, const RawEntry& b) {
    if (a.logical != b.logical) return a.logical < b.logical;
    return a.piece < b.piece;
  });
  XpsFileList list;
  for (RawEntry& entry : raw) {
    const bool joins = entry.piece >= 0 && !list.parts.empty() &&
                       std::string_view(list.parts.back().name).substr(1) == entry.logical;
    if (!joins) list.parts.push_back(XpsPart{"/" + entry.logical, {}});
    list.parts.back().entries.push_back(std::move(entry.name));
  }
  for (std::size_t i = 0; i < list.parts.size(); ++i) {
    list.index.emplace(list.parts[i].name, static_cast<int>(i));
  }
  return list;
}

// Appends the open current entry's data to *out; false when it cannot be
// read whole or `out` would grow beyond the part limit.
bool read_current_entry(unzFile unz, std::string_view entry, std::string* out) {
  std::string block(XPS_ZIP_READ_BLOCK, '\0');
  for (;;) {
    const int n = unzReadCurrentFile(unz, block.data(), static_cast<unsigned>(block.size()));
    if (n < 0) {
      LOG_ERROR("error %d with zipfile in unzReadCurrentFile", n);
      return false;
    }
    if (n == 0) return true;
    if (static_cast<std::uint64_t>(n) > XPS_ZIP_PART_MAX_BYTES - out->size()) {
      LOG_ERROR("unzip_extract_file: '%.*s' inflates beyond %" PRIu64 " bytes",
                static_cast<int>(entry.size()), entry.data(), XPS_ZIP_PART_MAX_BYTES);
      return false;
    }
    out->append(block.data(), static_cast<std::size_t>(n));
  }
}

// Appends the entry's data to *out (the joining of pieces reads into one).
bool append_entry(XpsZip* zip, std::string_view entry, std::string* out) {
  if (!xps_zip_go_to_entry(zip, entry)) return false;
  unz_file_info64 info{};
  int err = unzGetCurrentFileInfo64(zip->unz, &info, nullptr, 0, nullptr, 0, nullptr, 0);
  if (err != UNZ_OK) {
    LOG_ERROR("do_extract_currentfile: error %d with zipfile in unzGetCurrentFileInfo", err);
    return false;
  }
  if (info.uncompressed_size > XPS_ZIP_PART_MAX_BYTES - out->size()) {
    LOG_ERROR("unzip_extract_file: '%.*s' declares %" PRIu64 " bytes, more than %" PRIu64,
              static_cast<int>(entry.size()), entry.data(),
              static_cast<std::uint64_t>(info.uncompressed_size), XPS_ZIP_PART_MAX_BYTES);
    return false;
  }
  err = unzOpenCurrentFile(zip->unz);
  if (err != UNZ_OK) {
    LOG_ERROR("do_extract_currentfile: error %d with zipfile in unzOpenCurrentFilePassword", err);
    return false;
  }
  out->reserve(out->size() + static_cast<std::size_t>(info.uncompressed_size));
  const bool read = read_current_entry(zip->unz, entry, out);
  err = unzCloseCurrentFile(zip->unz);  // checks the CRC of an entry read whole
  if (read && err != UNZ_OK) LOG_ERROR("error %d with zipfile in unzCloseCurrentFile", err);
  return read && err == UNZ_OK;
}

}  // namespace

bool xps_zip_go_to_entry(XpsZip* zip, std::string_view entry) {
  const std::string name(entry);
  const auto found = zip->entries.find(name);
  if (found != zip->entries.end()) {
    unz64_file_pos pos = found->second;
    if (unzGoToFilePos64(zip->unz, &pos) == UNZ_OK) return true;
  } else if (zip->entries.empty() && unzLocateFile(zip->unz, name.c_str(), 0) == UNZ_OK) {
    return true;  // no directory walk yet
  }
  LOG_ERROR("file %s not found in the zipfile", name.c_str());
  return false;
}

XpsZip* unzip_open(const std::uint8_t* data, std::uint64_t length) {
  auto* zip = new (std::nothrow) XpsZip();
  if (zip == nullptr) return nullptr;
  zip->mem.start = data;
  zip->mem.length = data != nullptr ? length : 0;
  zlib_filefunc64_def functions{};
  functions.zopen64_file = mem_open_file_func;
  functions.zread_file = mem_read_file_func;
  functions.zwrite_file = mem_write_file_func;
  functions.ztell64_file = mem_tell_file_func;
  functions.zseek64_file = mem_seek_file_func;
  functions.zclose_file = mem_close_file_func;
  functions.zerror_file = mem_error_file_func;
  functions.opaque = &zip->mem;
  zip->unz = unzOpen2_64("memory", &functions);
  if (zip->unz == nullptr) {
    delete zip;
    return nullptr;
  }
  return zip;
}

int unzip_close(XpsZip* zip) {
  if (zip == nullptr) return 0;
  const int result = zip->unz != nullptr ? unzClose(zip->unz) : 0;
  delete zip;
  return result;
}

std::optional<XpsFileList> unzip_get_filenames(XpsZip* zip) {
  if (zip == nullptr) return std::nullopt;
  std::vector<RawEntry> raw;
  if (!walk_directory(zip, &raw)) return std::nullopt;
  return group_parts(std::move(raw));
}

int unzip_get_index(const XpsFileList& list, std::string_view part_name) {
  if (list.parts.empty()) {
    LOG_ERROR("unzip_get_index: file_list->_size=0");
    return -1;
  }
  const auto found = list.index.find(std::string(part_name));
  return found != list.index.end() ? found->second : -1;
}

int unzip_get_rel_index(const XpsFileList& list, std::string_view part_name) {
  const std::optional<std::string> rel = get_rel_path(part_name);
  return rel ? unzip_get_index(list, *rel) : -1;
}

bool unzip_extract_file(XpsZip* zip, std::string_view entry, std::string* out) {
  out->clear();
  return zip != nullptr && append_entry(zip, entry, out);
}

bool get_data_from_full_string(XpsZip* zip, const XpsPart& part, bool convert, std::string* out) {
  out->clear();
  if (zip == nullptr) return false;
  for (const std::string& entry : part.entries) {
    if (!append_entry(zip, entry, out)) {
      LOG_ERROR("get_data_from_full_string: unzip_extract_file(%s) failed", entry.c_str());
      out->clear();
      return false;
    }
  }
  if (part.entries.empty()) LOG_ERROR("get_data_from_full_string: no pieces in '%s'", part.name.c_str());
  if (!convert) return true;
  std::string converted;
  if (!xps_text_to_utf8(*out, &converted)) return false;
  *out = std::move(converted);
  return true;
}

bool get_xps_value(XpsZip* zip, const XpsFileList& list, std::string_view part_name, bool convert,
                   std::string* out) {
  const int index = unzip_get_index(list, part_name);
  if (index < 0) {
    out->clear();
    return false;
  }
  return get_data_from_full_string(zip, list.parts[static_cast<std::size_t>(index)], convert, out);
}
