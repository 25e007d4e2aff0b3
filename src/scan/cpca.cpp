// The CPCA packet walk: find the stream, then step from packet to packet by
// the declared parameter lengths, checking each step against the buffer.
#include "scan/cpca.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

bool has_signature(ByteSpan data, std::uint64_t offset) {
  return scan_be16_at(data, offset) == CPCA_MAGIC;
}

// Offset of the first packet: a signature below min(length - 1, 1024).
std::optional<std::uint64_t> find_stream(ByteSpan data) {
  if (data.size() < 2) return std::nullopt;
  const std::uint64_t below = std::min<std::uint64_t>(data.size() - 1, CPCA_SIGNATURE_WINDOW);
  for (std::uint64_t p = 0; p < below; ++p) {
    if (data[p] == 0xCD && data[p + 1] == 0xCA) return p;
  }
  return std::nullopt;
}

enum class FirstPacket { NONE, BAD, GOOD };

// The first packet must fit and open the stream with an allowed opcode.
FirstPacket first_packet(ByteSpan data, std::uint64_t* offset, bool errors) {
  const auto found = find_stream(data);
  if (!found) return FirstPacket::NONE;
  *offset = *found;
  const auto say = errors ? log_error_printf_func : log_debug_printf_func;
  if (data.size() - *found < CPCA_HEADER_SIZE) {
    say(__FILE_NAME__, __LINE__, "Not a CPCA file. First packet finishes beyond EOF");
    return FirstPacket::BAD;
  }
  const std::uint16_t opcode = cpca_get_packet_opcode(data.data() + *found);
  if (opcode != CPCA_OP_BEGIN && opcode != CPCA_OP_BEGIN_ALT) {
    say(__FILE_NAME__, __LINE__,
        "Not a CPCA file. First packet opcode = 0x%04X != 0x%04X,0x%04X", opcode, CPCA_OP_BEGIN,
        CPCA_OP_BEGIN_ALT);
    return FirstPacket::BAD;
  }
  return FirstPacket::GOOD;
}

std::uint64_t walk_end(ByteSpan data) { return std::min<std::uint64_t>(data.size(), CPCA_WALK_LIMIT); }

// The next packet's offset; saturates rather than wraps.
std::uint64_t next_offset(ByteSpan data, std::uint64_t offset) {
  return offset + CPCA_HEADER_SIZE + cpca_get_packet_length(data.data() + offset);
}

// A packet's row; the parameter length is clamped to what the buffer holds.
CpcaPacket make_row(ByteSpan data, std::uint64_t offset) {
  CpcaPacket row{};
  const std::uint8_t* header = data.data() + offset;
  row.offset = offset;
  row.opcode = cpca_get_packet_opcode(header);
  const std::uint64_t after_header = data.size() - offset - CPCA_HEADER_SIZE;
  const std::uint64_t declared = cpca_get_packet_length(header);
  if (declared > after_header) {
    LOG_DEBUG("CPCA packet at %llu declares %llu bytes, %llu are left: clamped",
              static_cast<unsigned long long>(offset), static_cast<unsigned long long>(declared),
              static_cast<unsigned long long>(after_header));
  }
  row.param_len = std::min(declared, after_header);
  const std::uint64_t header_size = cpca_get_packet_size(header);
  const std::uint64_t head_bytes = std::min(CPCA_HEADER_SIZE + row.param_len, header_size);
  std::memcpy(row.header, header, static_cast<std::size_t>(head_bytes));
  const std::uint64_t left = data.size() - offset - std::min(header_size, data.size() - offset);
  const std::uint64_t n = std::min({std::uint64_t{CPCA_PARAM_HEAD}, row.param_len, left});
  std::memcpy(row.param_head, header + std::min(header_size, data.size() - offset),
              static_cast<std::size_t>(n));
  return row;
}

void log_header(int index, const CpcaPacket& row) {
  std::string text;
  char hex[8];
  for (std::uint8_t b : row.header) {
    std::snprintf(hex, sizeof hex, "0x%02X, ", b);
    text += hex;
  }
  LOG_DEV("Orginal CPCA packet %2d = '%s'", index, text.c_str());
}

struct RowList {
  CpcaPacket* rows = nullptr;
  int count = 0;
  int capacity = 0;

  bool push(const CpcaPacket& row) {
    if (count == CPCA_MAX_PACKETS) {
      LOG_ERROR("Maximum number of CpcaPackets exceeded");
      return false;
    }
    if (count == capacity) {
      const int grown = capacity + CPCA_LIST_STEP;
      void* more = std::realloc(rows, sizeof(CpcaPacket) * static_cast<std::size_t>(grown));
      if (more == nullptr) {
        LOG_ERROR("Insufficient memory for %d CpcaPacket", grown);
        return false;
      }
      rows = static_cast<CpcaPacket*>(more);
      capacity = grown;
    }
    rows[count++] = row;
    return true;
  }
};

// Whether a further packet can begin at `next`: its signature and its
// whole 20-byte header must be there. Logs why not.
bool next_packet_ok(ByteSpan data, std::uint64_t next, int index, bool errors) {
  const auto say = errors ? log_error_printf_func : log_debug_printf_func;
  if (data.size() - next >= 2 && !has_signature(data, next)) {
    say(__FILE_NAME__, __LINE__,
        errors ? "Not a CPCA file. CPCA Packet %d at %llu does not start with 0xCDCA: "
                 "bytes=0x%02X%02X (bad packet %d ?)"
               : "Not a CPCA file. Packet %d not followed by a 0xCDCA: offset=%llu,"
                 "bytes=0x%02X%02X",
        index, static_cast<unsigned long long>(next), data[next], data[next + 1], index);
    return false;
  }
  if (data.size() - next < CPCA_HEADER_SIZE) {
    say(__FILE_NAME__, __LINE__,
        "Not a CPCA file. Packet %d finishes after end of file: offset=%llu,buffer_len=%llu", index,
        static_cast<unsigned long long>(next), static_cast<unsigned long long>(data.size()));
    return false;
  }
  return true;
}

// The walk stopped at its limit with data beyond: refuse rather than give
// a stream cut short.
bool beyond_limit(ByteSpan data, std::uint64_t next) {
  if (next < CPCA_WALK_LIMIT || data.size() <= CPCA_WALK_LIMIT) return false;
  LOG_ERROR("CPCA stream runs beyond %llu bytes (buffer_len=%llu): not walked",
            static_cast<unsigned long long>(CPCA_WALK_LIMIT),
            static_cast<unsigned long long>(data.size()));
  return true;
}

// A print-data packet without its header byte: reported, and the walk goes
// on (the extraction skips it).
void report_empty_print_data() {
  static constexpr char CONDITION[] =
      "!(IS_PRINT_DATA(&cpca_list[n]) && cpca_list[n].param_len < 1)";
  LOG_ERROR("message: (%s) assertion failed", CONDITION);
  tv_assert_failed(0, CONDITION);
}

}  // namespace

std::uint16_t cpca_get_packet_opcode(const std::uint8_t* header) {
  return static_cast<std::uint16_t>((header[4] << 8) | header[5]);
}

std::uint64_t cpca_get_packet_size(const std::uint8_t* header) {
  return cpca_get_packet_opcode(header) == CPCA_OP_PRINT_DATA ? CPCA_PRINT_DATA_HEADER_SIZE
                                                               : CPCA_HEADER_SIZE;
}

std::uint64_t cpca_get_packet_length(const std::uint8_t* header) {
  return static_cast<std::uint64_t>((header[8] << 8) | header[9]);
}

void cpca_put_packet_length(std::uint8_t* header, std::uint64_t length) {
  if (length > MAX_CPCA_PACKET) {
    static constexpr char CONDITION[] = "0 <= packet_len && packet_len <= MAX_CPCA_PACKET";
    LOG_ERROR("message: (%s) assertion failed", CONDITION);
    tv_assert_failed(0, CONDITION);
    return;
  }
  header[8] = static_cast<std::uint8_t>(length >> 8);
  header[9] = static_cast<std::uint8_t>(length & 0xFF);
}

void cpca_packet_list_free(CpcaPacket* list) { std::free(list); }

CpcaPacket* get_cpca_packet_list(const std::uint8_t* buffer, std::uint64_t length, int* count,
                                 int* error) {
  if (count != nullptr) *count = 0;
  if (error != nullptr) *error = 0;
  const ByteSpan data = scan_bytes(buffer, buffer == nullptr ? 0 : length);
  std::uint64_t offset = 0;
  if (first_packet(data, &offset, false) != FirstPacket::GOOD) return nullptr;
  RowList list;
  const std::uint64_t end = walk_end(data);
  for (;;) {
    const CpcaPacket row = make_row(data, offset);
    if (cpca_is_print_data(row) && row.param_len < 1) report_empty_print_data();
    if (!list.push(row)) break;
    log_header(list.count - 1, row);
    const std::uint64_t next = next_offset(data, offset);
    if (next >= end && !beyond_limit(data, next)) {
      if (count != nullptr) *count = list.count;
      return list.rows;
    }
    if (next >= end || !next_packet_ok(data, next, list.count, false)) break;
    offset = next;
  }
  std::free(list.rows);
  if (error != nullptr) *error = 1;
  return nullptr;
}

int cpca_get_packet_count(const std::uint8_t* buffer, std::uint64_t length, int max_print_data,
                          std::int64_t* last_offset, int* valid) {
  std::int64_t ignored_offset = 0;
  int ignored_valid = 0;
  if (last_offset == nullptr) last_offset = &ignored_offset;
  if (valid == nullptr) valid = &ignored_valid;
  *last_offset = -1;
  *valid = 0;
  const ByteSpan data = scan_bytes(buffer, buffer == nullptr ? 0 : length);
  std::uint64_t offset = 0;
  const FirstPacket first = first_packet(data, &offset, true);
  if (first == FirstPacket::NONE) return -1;
  if (first == FirstPacket::BAD) return -1;
  *last_offset = static_cast<std::int64_t>(offset);
  *valid = 1;
  const std::uint64_t end = walk_end(data);
  if (max_print_data == 0 || offset >= end) return 0;
  int walked = 0;
  int print_data = 0;
  for (;;) {
    *last_offset = static_cast<std::int64_t>(offset);
    ++walked;
    if (cpca_get_packet_opcode(data.data() + offset) == CPCA_OP_PRINT_DATA) ++print_data;
    const std::uint64_t next = next_offset(data, offset);
    if (next >= end) {
      if (beyond_limit(data, next)) *valid = 0;
      return walked;
    }
    if (max_print_data >= 0 && print_data >= max_print_data) return walked;
    if (!next_packet_ok(data, next, walked, true)) {
      *valid = 0;
      return walked;
    }
    offset = next;
  }
}
