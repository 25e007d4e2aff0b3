// pdftops sets a palette image's colour space just before the image:
// "[/Indexed /DeviceRGB 3 <ff0000 ...>] setcolorspace". The samples are
// palette indices, so their colour is that of the palette: a palette over
// DeviceRGB or DeviceCMYK given in hexadecimal is read, any other /Indexed
// space is not judged.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "analysis/ps_color_internal.h"
#include "analysis/ps_image.h"
#include "foundation/ascii.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

// The whole colour space lies within this many bytes before its
// "setcolorspace": 256 CMYK entries in hexadecimal are 2048 digits, with
// line breaks a little more.
constexpr std::uint64_t SPACE_BACK = 8192;
constexpr int MAX_ENTRIES = 256;
constexpr std::string_view SETCOLORSPACE = "setcolorspace";

const std::uint8_t* white_back(const std::uint8_t* p, const std::uint8_t* lo) {
  while (p > lo && ascii_is_space(p[-1])) --p;
  return p;
}

void skip_white(ByteCursor* c) { c->skip_while([](std::uint8_t b) { return ascii_is_space(b); }); }

// The components of the base space named at the cursor (read past it), 0
// for a base not read here.
int base_components(ByteCursor* c) {
  static constexpr struct {
    std::string_view name;
    int components;
  } BASES[] = {{"/DeviceGray", 1}, {"/DeviceRGB", 3}, {"/DeviceCMYK", 4}};
  for (const auto& base : BASES) {
    if (!c->skip_if(base.name)) continue;
    const int next = c->peek();
    if (next >= 0 && ascii_is_alnum(static_cast<std::uint8_t>(next))) return 0;
    return base.components;
  }
  return 0;
}

// The verdict on the space "[/Indexed base hival <hex>]" in `space` (from
// its "[" to its "]", excluded).
int palette_verdict(ByteSpan space) {
  ByteCursor c(space, std::string_view("[/Indexed").size());
  skip_white(&c);
  const int components = base_components(&c);
  skip_white(&c);
  const DecimalRead hival = c.read_decimal(DecimalSign::NONE);
  skip_white(&c);
  if (components == 0 || hival.length == 0 || !c.skip_if("<")) return PS_IMAGE_UNKNOWN;
  const std::int64_t entries = std::min<std::int64_t>(hival.value, MAX_ENTRIES - 1) + 1;
  std::uint8_t bytes[MAX_ENTRIES * 4] = {};
  const auto wanted = static_cast<std::uint64_t>(entries * components);
  std::uint64_t nibbles = 0;
  for (;;) {
    const int b = c.peek();
    if (b < 0) return PS_IMAGE_UNKNOWN;
    c.skip(1);
    const auto ch = static_cast<std::uint8_t>(b);
    if (ch == '>') break;
    if (ascii_is_space(ch)) continue;
    if (!ascii_is_xdigit(ch)) return PS_IMAGE_UNKNOWN;
    if (nibbles / 2 < wanted) {
      const int shift = nibbles % 2 == 0 ? 4 : 0;
      bytes[nibbles / 2] = static_cast<std::uint8_t>(bytes[nibbles / 2] | (ascii_hex_value(ch) << shift));
    }
    ++nibbles;
  }
  skip_white(&c);
  // A palette shorter than its entries, or more than a palette in the
  // space, is not read as one.
  const std::uint64_t read = (nibbles + 1) / 2;
  if (!c.at_end() || read < wanted) return PS_IMAGE_UNKNOWN;
  if (components == 1) return PS_IMAGE_GRAY;
  return raster_contains_color(bytes, wanted, components, nullptr) != 0 ? PS_IMAGE_COLOUR : PS_IMAGE_GRAY;
}

}  // namespace

int ps_pdftops_palette(const std::uint8_t* start, const std::uint8_t* before) {
  if (start == nullptr || before == nullptr || before < start) return PS_NOT_INDEXED;
  const std::uint8_t* p = white_back(before, start);
  if (static_cast<std::uint64_t>(p - start) < SETCOLORSPACE.size() ||
      std::memcmp(p - SETCOLORSPACE.size(), SETCOLORSPACE.data(), SETCOLORSPACE.size()) != 0) {
    return PS_NOT_INDEXED;
  }
  p = white_back(p - SETCOLORSPACE.size(), start);
  if (p == start || p[-1] != ']') return PS_NOT_INDEXED;
  const std::uint8_t* close = p - 1;
  const auto back = std::min<std::uint64_t>(SPACE_BACK, static_cast<std::uint64_t>(close - start));
  const std::uint8_t* lo = close - back;
  const auto window = scan_bytes(lo, static_cast<std::uint64_t>(close - lo));
  const auto open = scan_rfind(window, window.size(), "[/Indexed");
  if (!open) return PS_NOT_INDEXED;
  const ByteSpan space = window.subspan(*open);
  // A space set before: this one is not /Indexed.
  if (scan_find(space, 0, SETCOLORSPACE)) return PS_NOT_INDEXED;
  const int verdict = palette_verdict(space);
  LOG_DEBUG("pdftops palette image: %s", verdict == PS_IMAGE_COLOUR ? "colour"
                                         : verdict == PS_IMAGE_GRAY ? "gray"
                                                                    : "not read");
  return verdict;
}
