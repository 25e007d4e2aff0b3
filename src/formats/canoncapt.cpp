#include "formats/canoncapt.h"

#include <cstring>
#include <optional>

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

constexpr auto PAGE = marker_bytes("\xa2\xd0\x04\x00\x04\x00");
constexpr std::uint64_t PAGE_ROOM = 10;

// Job header fields.
constexpr std::uint64_t HEADER_KIND_AT = 2;
constexpr std::uint8_t HEADER_KIND_28 = 0x28;
constexpr std::uint8_t HEADER_KIND_18 = 0x18;
constexpr std::uint64_t HEADER_28_MIN_LENGTH = 32;
constexpr std::uint64_t COPIES_AT = 8;
constexpr std::uint64_t COPIES_FLAG_AT = 31;
constexpr std::uint8_t COPIES_FLAG_LATE = 0xFA;
constexpr std::uint64_t LATE_COPIES_AT = 32;
constexpr std::uint64_t DUPLEX_AT = 16;
constexpr std::uint64_t PAPER_NAME_AT = 48;
constexpr std::uint64_t PAPER_NAME_UNITS = 24;
constexpr std::uint64_t PAPER_NAME_MIN_LENGTH = 98;

std::optional<std::uint8_t> byte_at(ByteSpan data, std::uint64_t offset) {
  if (offset >= data.size()) return std::nullopt;
  return data[offset];
}

// The header's copies: where they stand depends on the header's kind; 1 when
// the kind is another or the bytes are not all in the data.
int header_copies(ByteSpan data) {
  const auto kind = byte_at(data, HEADER_KIND_AT);
  std::optional<std::uint16_t> copies;
  if (kind == HEADER_KIND_28 && data.size() > HEADER_28_MIN_LENGTH) {
    copies = scan_le16_at(data, COPIES_AT);
  } else if (kind == HEADER_KIND_18) {
    copies = byte_at(data, COPIES_FLAG_AT) == COPIES_FLAG_LATE ? scan_le16_at(data, LATE_COPIES_AT)
                                                               : scan_le16_at(data, COPIES_AT);
  }
  return copies.value_or(1);
}

// The paper name: UTF-16LE Latin-1 text, ended by a 0 unit within its 24.
void set_paper_name(ByteSpan data, JobAttribs* ja) {
  if (data.size() < PAPER_NAME_MIN_LENGTH) return;
  char name[PAPER_NAME_UNITS + 1] = {};
  for (std::uint64_t i = 0; i < PAPER_NAME_UNITS; ++i) {
    const std::uint8_t low = data[PAPER_NAME_AT + 2 * i];
    const std::uint8_t high = data[PAPER_NAME_AT + 2 * i + 1];
    if (high != 0) return;
    if (low == 0) {
      if (i < 2) return;
      LOG_DEBUG("canoncapt_process_job: paper_size_name='%s'", name);
      std::memcpy(ja->paper_size_name, name, i + 1);
      return;
    }
    name[i] = static_cast<char>(low);
  }
}

}  // namespace

int canoncapt_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering canoncapt_process_job");
  const ByteSpan bytes = scan_bytes(data, length);
  const int copies = header_copies(bytes);
  LOG_DEBUG("Copy count is: %d", copies);
  const auto duplex = byte_at(bytes, DUPLEX_AT);
  const bool is_duplex = duplex == 2 || duplex == 3;
  if (is_duplex) LOG_DEBUG("Duplex marker %d", *duplex);
  set_paper_name(bytes, ja);

  WalkTimer timer("Canon CAPT");
  int pages = 0;
  (void)format_walk(bytes, &timer, WalkStarts{PAGE[0]}, [&](std::uint64_t pos) {
    if (walk_has_room(length, pos, PAGE_ROOM) && walk_marker_at(bytes, pos, PAGE) &&
        (bytes[pos + PAGE.size()] == 0x08 || bytes[pos + PAGE.size()] == 0x06)) {
      if (pages < INT32_MAX) ++pages;
      LOG_DEBUG("Found pages=%d at pos: %llu", pages, static_cast<unsigned long long>(pos));
    }
    return pos + 1;
  });
  ja_set_copy_count(ja, copies);
  if (is_duplex) ja_set_is_duplex(ja, 1);
  ja_set_pages(ja, pages);
  return 0;
}

const AnalyzerEntry CANONCAPT_ANALYZER{"canoncapt_process_job",
                                       format_entry_adapter<canoncapt_process_job>};
