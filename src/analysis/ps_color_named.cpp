// Named (spot) colours with a CMYK lookup table: colour when one of the
// first palette entries holds a real colour.
#include <cmath>

#include "analysis/ps_color_internal.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t NAMED_WINDOW = 300;
constexpr std::uint64_t LOOKUP_WALK = 10240;
constexpr std::uint64_t ENTRY_MIN = 6;
constexpr std::uint64_t ENTRY_MAX = 49;
constexpr int ENTRIES_CHECKED = 6;

// One palette entry "[c m y k]": colour when black is not saturated and the
// colours are present and differ.
bool entry_is_colour(const std::uint8_t* text, std::uint64_t length) {
  PsMatch m;
  LOG_DEBUG(" Checking [%.*s] for color", static_cast<int>(length), reinterpret_cast<const char*>(text));
  if (!ps_match(PsRe::FOUR_NUMBERS, text, length, &m)) return false;
  const double c = ps_number(m.text(1));
  const double mg = ps_number(m.text(2));
  const double y = ps_number(m.text(3));
  const double k = ps_number(m.text(4));
  const bool present = c > 0.001 || mg > 0.001 || y > 0.001;
  if (k <= 1 && present && !(c == mg && mg == y)) {
    LOG_DEBUG("Found colored component in named color(%f, %f, %f, %f)", c, mg, y, k);
    return true;
  }
  return false;
}

// Walks the nested lookup array from its "[": the entry that gives colour,
// or nullptr.
const std::uint8_t* walk_lookup(const PsAt& at, const std::uint8_t* open) {
  const std::uint8_t* stop = open + std::min<std::uint64_t>(LOOKUP_WALK, at.end - open);
  int depth = 0;
  int checked = 0;
  const std::uint8_t* entry = nullptr;
  for (const std::uint8_t* p = open; p < stop; ++p) {
    if (*p == '>' && p + 1 < stop && p[1] == '>') {
      LOG_ERROR("Premature exit of ColorLookup array due to end of dict: depth=%d", depth);
      return nullptr;
    }
    if (*p == '[') {
      if (++depth > 2) {
        LOG_ERROR("Invalid depth %d", depth);
        return nullptr;
      }
      entry = p + 1;
    } else if (*p == ']') {
      if (--depth <= 0) return nullptr;
      const auto length = static_cast<std::uint64_t>(p - entry);
      if (length < ENTRY_MIN || length > ENTRY_MAX) continue;
      if (entry_is_colour(entry, length)) return entry;
      if (++checked >= ENTRIES_CHECKED) {
        LOG_DEBUG("No color found in first %d palette entries. Stopping search", ENTRIES_CHECKED - 1);
        return nullptr;
      }
    }
  }
  return nullptr;
}

}  // namespace

bool ps_color_test_named_color(const PsAt& at) {
  if (!at.looking_at("/Name ") || at.remaining() <= NAMED_WINDOW) return false;
  PsMatch m;
  if (!at.match(PsRe::NAMED_COLOR, NAMED_WINDOW, &m)) return false;
  const int components = static_cast<int>(ps_number(m.text(2)));
  LOG_DEBUG("Found Adobe named color '%.*s' %d components Entries = [%.*s],[%.*s],.. at %llu",
            static_cast<int>(m.text(1).size()), m.text(1).data(), components,
            static_cast<int>(m.text(3).size()), m.text(3).data(), static_cast<int>(m.text(4).size()),
            m.text(4).data(), static_cast<ull>(at.offset()));
  const std::uint8_t* colour_entry = nullptr;
  if (components == 4) {
    const auto lookup = scan_find(scan_bytes(at.pos, at.room(NAMED_WINDOW)), 0, "ColorLookup");
    if (lookup) {
      const auto open = scan_find_byte(scan_bytes(at.pos, at.remaining()), *lookup, '[');
      if (open) colour_entry = walk_lookup(at, at.pos + *open);
    }
  }
  at.skip_past(m);
  if (colour_entry != nullptr) {
    LOG_DEBUG("Found color is_cmyk_color_array at %llu, has_color_on_page",
              static_cast<ull>(at.offset()));
    at.mark();
    at.skip_to(colour_entry);
  }
  return false;
}
