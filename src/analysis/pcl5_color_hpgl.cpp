// HP-GL/2 positions of the PCL5 colour-page detector: pen selection, pen
// colours, palette size and the commands that draw with the current pen.
#include <algorithm>
#include <string_view>

#include "analysis/pcl5_color_internal.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"

namespace pcl5_color {
namespace {

// Positions with fewer bytes left are not examined for commands.
constexpr std::uint64_t COMMAND_ROOM = 21;
constexpr std::uint64_t PEN_COLOR_ROOM = 51;
constexpr std::uint64_t PALETTE_SIZE_ROOM = 11;
constexpr std::uint64_t WINDOW = 20;
constexpr std::uint64_t PEN_COLOR_WINDOW = 50;
constexpr std::uint64_t PALETTE_SIZE_WINDOW = 10;
// PE: a "<" (a fraction-bits flag) before the ";" within this many bytes
// means the pen is not used for drawing yet.
constexpr std::uint64_t PE_LOOKAHEAD = 19;
constexpr int DEFAULT_HPGL_PALETTE = 8;

// Drawing commands that use the current pen without a PD.
constexpr std::string_view DRAWING[] = {"CI", "EA", "EP", "ER", "EW", "FP",
                                        "LB", "RA", "RR", "SM", "WG"};

// A cursor over the window [pos, limit) for the small number patterns.
struct Reader {
  ByteSpan data;
  std::uint64_t p;
  std::uint64_t limit;

  bool literal(std::string_view text) {
    if (limit - p < text.size() || !scan_bytes_at(data, p, text)) return false;
    p += text.size();
    return true;
  }
  bool byte(std::uint8_t c) {
    if (p >= limit || data[p] != c) return false;
    ++p;
    return true;
  }
  // One or more digits.
  bool number(std::int64_t* value) {
    const DecimalRead r = decimal_read(data.subspan(p, limit - p), DecimalSign::NONE);
    if (r.length == 0) return false;
    *value = r.value;
    p += r.length;
    return true;
  }
  void digits() {
    while (p < limit && ascii_is_digit(data[p])) ++p;
  }
  void spaces() {
    while (p < limit && ascii_is_space(data[p])) ++p;
  }
};

Reader reader(At at, std::uint64_t window) {
  return Reader{at.data, at.pos, at.pos + std::min(window, at.left())};
}

bool pen_colored(const PCL5Color* d) { return palette_entry_colored(d, d->hpgl_pen); }

void color_by_pen(PCL5Color* d, const char* what, At at) {
  if (!pen_colored(d)) return;
  LOG_DEV("has_color_on_page: HPGL %s: Found use of color palette (SP %d) palette no %d at offset %llu",
          what, d->hpgl_pen, d->current_palette, static_cast<unsigned long long>(at.pos));
  mark_color(d);
}

// "SP(\d+)" and "PW\d*\.?\d*,(\d+)": the pen to draw with.
std::uint64_t select_pen(PCL5Color* d, At at) {
  Reader r = reader(at, WINDOW);
  std::int64_t pen = 0;
  if (r.literal("SP") && r.number(&pen)) {
    d->hpgl_pen = decimal_clamp<int>(pen);
    LOG_DEV("re_hpgl_select_pen: offset=%llu", static_cast<unsigned long long>(at.pos));
    return r.p;
  }
  r = reader(at, WINDOW);
  if (r.literal("PW")) {
    r.digits();
    r.byte('.');
    r.digits();
    if (r.byte(',') && r.number(&pen)) {
      d->hpgl_pen = decimal_clamp<int>(pen);
      LOG_DEV("re_hpgl_pen_width: offset=%llu", static_cast<unsigned long long>(at.pos));
      return r.p;
    }
  }
  return 0;
}

// "RF\s*?\d+\s*?,\s*?\d+\s*?,\s*?\d+\s*?,\s*?\d+": fills with the pen when
// it is down.
std::uint64_t rect_fill(PCL5Color* d, At at) {
  Reader r = reader(at, WINDOW);
  if (!r.literal("RF")) return 0;
  std::int64_t value = 0;
  for (int i = 0; i < 4; ++i) {
    r.spaces();
    if (i > 0 && !r.byte(',')) return 0;
    r.spaces();
    if (!r.number(&value)) return 0;
  }
  LOG_DEV("re_hpgl_rect_fill: offset=%llu", static_cast<unsigned long long>(at.pos));
  if (!d->hpgl_pen_up) color_by_pen(d, "RF", at);
  return r.p;
}

// "PC(\d+),(\d+),(\d+),(\d+)": a pen's colour.
std::uint64_t pen_color(PCL5Color* d, At at) {
  Reader r = reader(at, PEN_COLOR_WINDOW);
  std::int64_t pen = 0;
  std::int64_t values[3] = {};
  if (!r.literal("PC") || !r.number(&pen)) return 0;
  for (std::int64_t& v : values) {
    if (!r.byte(',') || !r.number(&v)) return 0;
  }
  const std::uint32_t no_fractions[3] = {};
  const bool colored = components_differ(values, no_fractions);
  palette_set_index_color(&current_palette(d), pen, colored);
  LOG_DEV("HPGL pen %lld (colored=%d) palette no %d, offset=%llu", static_cast<long long>(pen),
          colored, d->current_palette, static_cast<unsigned long long>(at.pos));
  return r.p;
}

// "NP(\d+)?": the palette's size; entries 2 to 7 of a grown palette are
// coloured.
std::uint64_t palette_size(PCL5Color* d, At at) {
  Reader r = reader(at, PALETTE_SIZE_WINDOW);
  if (!r.literal("NP")) return 0;
  std::int64_t size = DEFAULT_HPGL_PALETTE;
  r.number(&size);
  PCL5Palette& palette = current_palette(d);
  const int old_size = palette.size;
  const int new_size = static_cast<int>(std::clamp<std::int64_t>(size, 2, PCL5_PALETTE_ENTRIES));
  LOG_DEV("HPGLChangePaletteSize: new_size=%d", new_size);
  for (int i = old_size; i < new_size; ++i) palette.colored[i] = i >= 2 && i <= 7;
  palette.size = new_size;
  palette.colored_count = static_cast<int>(
      std::count(std::begin(palette.colored), std::begin(palette.colored) + new_size, true));
  return r.p;
}

bool pen_exchange_begins(At at) {
  const std::uint64_t end = at.pos + std::min(PE_LOOKAHEAD, at.left());
  for (std::uint64_t p = at.pos + 2; p < end && at.data[p] != ';'; ++p) {
    if (at.data[p] == '<') return true;
  }
  return false;
}

}  // namespace

std::uint64_t hpgl_step(PCL5Color* d, At at) {
  const std::uint64_t u = at.left();
  if (u < PALETTE_SIZE_ROOM || !ascii_is_upper(at.byte())) return 0;
  if (u < COMMAND_ROOM) return palette_size(d, at);
  const std::uint8_t first = at.byte();
  const std::uint8_t second = at.byte(1);
  if (first == 'P' && second == 'U') {
    d->hpgl_pen_up = true;
    LOG_DEV("PU: offset=%llu, hpgl_pen_up=%d", static_cast<unsigned long long>(at.pos), 1);
    return at.pos + 2;
  }
  if (first == 'P' && second == 'D') {
    d->hpgl_pen_up = false;
    color_by_pen(d, "PD", at);
    return at.pos + 2;
  }
  if (const std::uint64_t end = select_pen(d, at); end != 0) return end;
  if (const std::uint64_t end = rect_fill(d, at); end != 0) return end;
  for (std::string_view command : DRAWING) {
    if (first == command[0] && second == command[1]) {
      color_by_pen(d, "implied PD", at);
      return at.pos + 2;
    }
  }
  if (first == 'P' && second == 'E') {
    if (!pen_exchange_begins(at)) color_by_pen(d, "implied PD (PE)", at);
    return at.pos + 2;
  }
  if (u >= PEN_COLOR_ROOM) {
    if (const std::uint64_t end = pen_color(d, at); end != 0) return end;
  }
  return palette_size(d, at);
}

}  // namespace pcl5_color
