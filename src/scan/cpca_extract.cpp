// Extracting the print data of a CPCA stream into a temporary file, so that
// the wrapped job can be analysed (or rewritten) like an unwrapped one.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/log.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "foundation/util.h"
#include "scan/cpca.h"

namespace {

void discard(char* path) {
  (void)os_file_delete(path);
  path[0] = '\0';
}

bool write_packets(std::FILE* out, const std::uint8_t* buffer, const CpcaPacket* list, int count,
                   std::uint64_t skip, const char* path) {
  for (int i = 0; i < count; ++i) {
    const CpcaPacket& p = list[i];
    // A packet with no data past the skipped byte gives nothing (its
    // length would go below zero).
    if (!cpca_is_print_data(p) || p.param_len <= skip) continue;
    const std::uint64_t n = p.param_len - skip;
    if (std::fwrite(buffer + p.offset + CPCA_HEADER_SIZE + skip, 1, n, out) != n) {
      LOG_ERROR("write_print_data_to_temp_file: Error writing '%s' %d:%s", path, errno,
                std::strerror(errno));
      return false;
    }
  }
  return true;
}

}  // namespace

std::uint64_t cpca_print_data_header_skip(const std::uint8_t* buffer, const CpcaPacket* list,
                                          int count) {
  for (int i = 0; i < count; ++i) {
    const CpcaPacket& p = list[i];
    if (cpca_is_print_data(p) && p.param_len > 1 && buffer[p.offset + CPCA_HEADER_SIZE] == 0x1B) {
      return 0;
    }
  }
  return 1;
}

int write_print_data_to_temp_file(const std::uint8_t* buffer, std::uint64_t /*length*/,
                                  const CpcaPacket* list, int count, char* path,
                                  std::size_t path_size) {
  if (path == nullptr || path_size == 0) return 0;
  if (os_file_make_temp(path, path_size) == 0) {
    LOG_ERROR("Could not create temp file");
    path[0] = '\0';
    return 0;
  }
  FilePtr out(std::fopen(path, "wb"));
  if (!out) {
    LOG_ERROR("write_print_data_to_temp_file: Could not open temp file '%s' %d:%s", path, errno,
              std::strerror(errno));
    discard(path);
    return 0;
  }
  const std::uint64_t skip = cpca_print_data_header_skip(buffer, list, count);
  LOG_DEBUG("Writing CPCA print data to '%s',delta=%d", path, static_cast<int>(skip));
  bool ok = write_packets(out.get(), buffer, list, count, skip, path);
  if (std::fclose(out.release()) != 0 && ok) {
    LOG_ERROR("write_print_data_to_temp_file: Error writing '%s' %d:%s", path, errno,
              std::strerror(errno));
    ok = false;
  }
  if (!ok) {
    discard(path);
    return 0;
  }
  return 1;
}

int extract_canon_cpca_content2(const std::uint8_t* buffer, std::uint64_t length, char* path,
                                std::size_t path_size) {
  if (path == nullptr || path_size == 0) return 0;
  path[0] = '\0';
  int count = 0;
  int error = 0;
  const CpcaPacketListPtr list(get_cpca_packet_list(buffer, length, &count, &error));
  if (!list) return error == 0 ? 1 : 0;
  if (write_print_data_to_temp_file(buffer, length, list.get(), count, path, path_size) == 0) {
    LOG_ERROR("extract_canon_cpca_content: write_print_data_to_temp_file() failed");
    return 0;
  }
  return 1;
}

int extract_canon_cpca_content(mapped_mem* mm, char* path, std::size_t path_size) {
  if (mm == nullptr || path == nullptr || path_size == 0) return 0;
  if (extract_canon_cpca_content2(mm->data, mm->size, path, path_size) == 0) return 0;
  if (path[0] == '\0') return 1;
  if (update_mapped_mem(mm, path, 1) == 0) {
    LOG_ERROR("extract_canon_cpca_content: update_mapped_mem() failed");
    discard(path);
    return 0;
  }
  return 1;
}
