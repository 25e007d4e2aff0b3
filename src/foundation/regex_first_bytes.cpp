// First-byte sets from PCRE2's own start-of-match analysis. The engine does
// that analysis only for unanchored patterns, so the set is read from an
// unanchored compilation of the same text: anchoring changes where a match
// may start, never the bytes it starts with.
#include "foundation/regex_first_bytes.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdint>

#include "foundation/regex.h"

namespace {

// A caseless letter is reported in one case only: mark both.
void mark_unit(std::uint32_t unit, RegexFirstByteTable* table) {
  if (unit > 255) return;
  const auto byte = static_cast<unsigned char>(unit);
  (*table)[byte] = true;
  if (byte >= 'a' && byte <= 'z') (*table)[byte - 'a' + 'A'] = true;
  if (byte >= 'A' && byte <= 'Z') (*table)[byte - 'A' + 'a'] = true;
}

bool read_bitmap(const pcre2_code* code, RegexFirstByteTable* table) {
  const std::uint8_t* bitmap = nullptr;
  if (pcre2_pattern_info(code, PCRE2_INFO_FIRSTBITMAP, &bitmap) != 0 || bitmap == nullptr) {
    return false;
  }
  for (unsigned byte = 0; byte < 256; ++byte) {
    (*table)[byte] = (bitmap[byte / 8] & (1u << (byte % 8))) != 0;
  }
  return true;
}

}  // namespace

int regex_first_bytes(const char* pattern, int options, RegexFirstByteTable* table) {
  table->fill(true);
  RegexPtr regex(regex_compile(pattern, options & ~PCRE_ANCHORED));
  if (regex == nullptr) return 0;
  std::uint32_t type = 0;
  if (pcre2_pattern_info(regex->code, PCRE2_INFO_FIRSTCODETYPE, &type) != 0) return 1;
  if (type == 1) {
    std::uint32_t unit = 0;
    if (pcre2_pattern_info(regex->code, PCRE2_INFO_FIRSTCODEUNIT, &unit) != 0) return 1;
    table->fill(false);
    mark_unit(unit, table);
    return 1;
  }
  if (type == 0 && !read_bitmap(regex->code, table)) table->fill(true);
  return 1;
}
