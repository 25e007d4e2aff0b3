#include "scan/byte_cursor.h"

#include <cstring>

#include "foundation/ascii.h"

bool scan_bytes_at_caseless(ByteSpan data, std::uint64_t offset, std::string_view text) {
  if (offset > data.size() || text.size() > data.size() - offset) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (ascii_to_lower(data[offset + i]) != ascii_to_lower(static_cast<std::uint8_t>(text[i]))) {
      return false;
    }
  }
  return true;
}

namespace {

bool fits(ByteSpan data, std::uint64_t offset, std::uint64_t width) {
  return offset <= data.size() && width <= data.size() - offset;
}

}  // namespace

std::optional<std::uint16_t> scan_be16_at(ByteSpan data, std::uint64_t offset) {
  if (!fits(data, offset, 2)) return std::nullopt;
  return static_cast<std::uint16_t>(data[offset] << 8 | data[offset + 1]);
}

std::optional<std::uint16_t> scan_le16_at(ByteSpan data, std::uint64_t offset) {
  if (!fits(data, offset, 2)) return std::nullopt;
  return static_cast<std::uint16_t>(data[offset + 1] << 8 | data[offset]);
}

std::optional<std::uint32_t> scan_be32_at(ByteSpan data, std::uint64_t offset) {
  if (!fits(data, offset, 4)) return std::nullopt;
  return static_cast<std::uint32_t>(data[offset]) << 24 |
         static_cast<std::uint32_t>(data[offset + 1]) << 16 |
         static_cast<std::uint32_t>(data[offset + 2]) << 8 | data[offset + 3];
}

std::optional<std::uint32_t> scan_le32_at(ByteSpan data, std::uint64_t offset) {
  if (!fits(data, offset, 4)) return std::nullopt;
  return static_cast<std::uint32_t>(data[offset + 3]) << 24 |
         static_cast<std::uint32_t>(data[offset + 2]) << 16 |
         static_cast<std::uint32_t>(data[offset + 1]) << 8 | data[offset];
}

std::optional<std::uint64_t> scan_find_byte(ByteSpan data, std::uint64_t from, std::uint8_t byte) {
  if (from >= data.size()) return std::nullopt;
  const void* hit = std::memchr(data.data() + from, byte, data.size() - from);
  if (hit == nullptr) return std::nullopt;
  return static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - data.data());
}

std::optional<std::uint64_t> scan_find(ByteSpan data, std::uint64_t from, std::string_view text) {
  if (from > data.size() || text.size() > data.size() - from) return std::nullopt;
  if (text.empty()) return from;
  const void* hit = memmem(data.data() + from, data.size() - from, text.data(), text.size());
  if (hit == nullptr) return std::nullopt;
  return static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - data.data());
}

std::optional<std::uint64_t> scan_rfind_byte(ByteSpan data, std::uint64_t before,
                                             std::uint8_t byte) {
  const std::uint64_t end = before < data.size() ? before : data.size();
  if (end == 0) return std::nullopt;
  const void* hit = memrchr(data.data(), byte, end);
  if (hit == nullptr) return std::nullopt;
  return static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - data.data());
}

std::optional<std::uint64_t> scan_rfind(ByteSpan data, std::uint64_t before,
                                        std::string_view text) {
  if (text.empty()) return before < data.size() ? before : data.size();
  if (text.size() > data.size()) return std::nullopt;
  // Candidates start where the last byte of the text could lie: walk back by
  // memrchr on that byte and compare the whole text there.
  const std::uint64_t limit = before < data.size() ? before : data.size();
  const std::uint64_t tail = text.size() - 1;
  std::uint64_t end = limit + tail < data.size() ? limit + tail : data.size();
  while (end > tail) {
    const auto last = scan_rfind_byte(data, end, static_cast<std::uint8_t>(text.back()));
    if (!last || *last < tail) return std::nullopt;
    const std::uint64_t start = *last - tail;
    if (start < limit && std::memcmp(data.data() + start, text.data(), text.size()) == 0) {
      return start;
    }
    end = *last;
  }
  return std::nullopt;
}
