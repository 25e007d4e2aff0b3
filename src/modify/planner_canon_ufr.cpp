// The UFR job header holds the binding mode in one of two fixed records in
// its first bytes; the byte after C5 is 00 for one-sided printing and 01 for
// two-sided, so duplex is a same-length replacement of the record.
#include "modify/planner_canon_ufr.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstring>
#include <span>

#include "foundation/log.h"
#include "foundation/watermark.h"
#include "modify/replacement_list.h"

namespace {

// Only the header is searched.
constexpr std::uint64_t UFR_HEADER_WINDOW = 100;

// The short record, and the bytes that must stand 7 bytes before it.
constexpr std::array<std::uint8_t, 22> SIMPLEX_SHORT = {
    0xC2, 0x00, 0xD8, 0x84, 0x02, 0x58, 0xDD, 0x80, 0xC8, 0xF0, 0x84,
    0x08, 0x00, 0x02, 0xC3, 0x64, 0xC5, 0x00, 0xC6, 0x00, 0x51, 0xF2};
constexpr std::array<std::uint8_t, 6> SHORT_PREFIX = {0x01, 0xC1, 0x85, 0x10, 0x00, 0x10};
constexpr std::uint64_t SHORT_PREFIX_DISTANCE = 7;
constexpr std::size_t SHORT_MODE_BYTE = 17;

constexpr std::array<std::uint8_t, 28> SIMPLEX_LONG = {
    0xC2, 0x00, 0xD8, 0x84, 0x02, 0x58, 0xDD, 0x80, 0xC8, 0xF0, 0x84, 0x08, 0x00, 0x07,
    0xF4, 0x84, 0x02, 0x65, 0x02, 0xC3, 0x00, 0xC5, 0x00, 0xC6, 0x00, 0x51, 0xF2, 0x00};
constexpr std::size_t LONG_MODE_BYTE = 22;

constexpr std::uint8_t DUPLEX_MODE = 0x01;

// Offset of `needle` in `hay`, or -1.
std::int64_t find(std::span<const std::uint8_t> hay, std::span<const std::uint8_t> needle) {
  const auto at = std::search(hay.begin(), hay.end(), needle.begin(), needle.end());
  return at == hay.end() ? -1 : at - hay.begin();
}

// Appends `record` with its mode byte set to duplex in place of the record
// at `offset`.
template <std::size_t N>
bool replace_mode(ReplacementList* list, std::int64_t offset, std::array<std::uint8_t, N> record,
                  std::size_t mode_byte) {
  record[mode_byte] = DUPLEX_MODE;
  LOG_DEBUG("plan_replacements_canon_ufr: Found simplex at %" PRId64, offset);
  return replacement_list_append2(list, offset, N, record.data(), N) == 1;
}

}  // namespace

int plan_replacements_canon_ufr(const watermark_params* request, const JobAttribs*,
                                const std::uint8_t* data, std::uint64_t length,
                                ReplacementList* list) {
  if (request == nullptr || list == nullptr || (data == nullptr && length > 0)) return 0;
  if (!request->force_duplex) return 1;
  msf_state state{};
  get_msf_state(list, &state);
  const std::span<const std::uint8_t> header(data, std::min(length, UFR_HEADER_WINDOW));
  const std::int64_t simplex = find(header, SIMPLEX_SHORT);
  if (simplex >= 0) {
    const auto at = static_cast<std::uint64_t>(simplex);
    if (at >= SHORT_PREFIX_DISTANCE &&
        std::memcmp(data + at - SHORT_PREFIX_DISTANCE, SHORT_PREFIX.data(), SHORT_PREFIX.size()) ==
            0) {
      if (!replace_mode(list, simplex, SIMPLEX_SHORT, SHORT_MODE_BYTE)) return 0;
      state.duplex = 1;
    } else {
      LOG_DEBUG("plan_replacements_canon_ufr: Simplex (no prefix) at %" PRId64, simplex);
    }
  }
  const std::int64_t simplex_long = find(header, SIMPLEX_LONG);
  if (simplex_long >= 0) {
    if (!replace_mode(list, simplex_long, SIMPLEX_LONG, LONG_MODE_BYTE)) return 0;
    state.duplex = 1;
  }
  set_msf_state(list, &state);
  return 1;
}
