// The PCL5 colour-page detector: its life cycle, the page bookkeeping and
// the PCL-mode commands (palettes, foreground colour, configure image data).
// Raster rows are judged in pcl5_color_raster.cpp, HP-GL/2 in
// pcl5_color_hpgl.cpp.
#include "analysis/pcl5_color.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "analysis/pcl5_color_internal.h"
#include "foundation/ascii.h"
#include "foundation/log.h"

namespace pcl5_color {
namespace {

// A coloured foreground becomes colour this far behind its command even
// when nothing confirms it.
constexpr std::uint64_t TENTATIVE_EXPIRY_BYTES = 200;
// Bytes of one parameter group that are read at most.
constexpr std::uint64_t GROUP_WINDOW = 32;

// Reads the groups of the command at `at` (its first group 3 bytes after
// the ESC, or 2 for the commands without a group character) up to the
// terminating letter; calls take(group, data position) for each. Returns
// the position behind the command (behind the data of its W groups when
// `w_has_data` says so), or 0 when the groups are not well formed.
template <typename Take>
std::uint64_t walk_groups(At at, std::uint64_t first, bool w_has_data, Take take) {
  std::uint64_t p = at.pos + first;
  PclGroup g;
  while (pcl_read_group(at.data, p, std::min(at.data.size(), p + GROUP_WINDOW), &g)) {
    p = g.end;
    if (w_has_data && pcl_upper(g.letter) == 'W' && g.value > 0) {
      const auto count = static_cast<std::uint64_t>(g.value);
      if (count > at.data.size() - p) return at.data.size();
      take(g, p);
      p += count;
    } else {
      take(g, p);
    }
    if (pcl_is_terminator(g.letter)) return p;
  }
  return 0;
}

// ESC*v: colour components, index assignment, foreground colour, configure
// image data, pattern and transparency settings.
std::uint64_t color_command(PCL5Color* d, At at) {
  return walk_groups(at, 3, true, [&](const PclGroup& g, std::uint64_t data_pos) {
    const std::uint8_t letter = pcl_upper(g.letter);
    if (letter >= 'A' && letter <= 'C') {
      d->components[letter - 'A'] = g.value;
      d->component_fractions[letter - 'A'] = g.fraction;
    } else if (letter == 'I') {
      const bool colored = components_differ(d->components, d->component_fractions);
      LOG_DEV("re_set_palette_color: current_palette[%d]=%d (%lld,%lld,%lld)", d->current_palette,
              static_cast<int>(g.value), static_cast<long long>(d->components[0]),
              static_cast<long long>(d->components[1]), static_cast<long long>(d->components[2]));
      palette_set_index_color(&current_palette(d), g.value, colored);
      std::fill(std::begin(d->components), std::end(d->components), 0);
      std::fill(std::begin(d->component_fractions), std::end(d->component_fractions), 0);
    } else if (letter == 'S' && !d->has_color_on_page) {
      d->tentative_color = palette_entry_colored(d, g.value);
      LOG_DEV("has_tentative_color=%d (foreground color index %lld) palette no %d, offset=%llu",
              d->tentative_color, static_cast<long long>(g.value), d->current_palette,
              static_cast<unsigned long long>(at.pos));
    } else if (letter == 'W' && g.value >= 6 && data_pos + 3 <= at.data.size()) {
      const int space = at.data[data_pos];
      const int encoding = at.data[data_pos + 1];
      const int bits = at.data[data_pos + 2];
      LOG_DEV("CID: color_space=%u,pixel_encoding=%u,bits_per_index=%u at offset=%llu", space,
              encoding, bits, static_cast<unsigned long long>(at.pos));
      // Direct encodings give bits per primary in the fourth byte.
      const bool direct = (encoding % 4) >= 2;
      palette_set_mode(d, space, encoding, bits);
      if (direct && data_pos + 4 <= at.data.size()) {
        current_palette(d).bits_per_index = std::clamp<int>(at.data[data_pos + 3], 1, 8);
      }
      raster_clear_seed_rows(d);
    }
  });
}

// ESC&p: palette control (copy, select). ESC&p#X is transparent data and
// not for this step.
std::uint64_t palette_control(PCL5Color* d, At at) {
  std::int64_t control_id = 0;
  bool transparent = false;
  const std::uint64_t end = walk_groups(at, 3, false, [&](const PclGroup& g, std::uint64_t) {
    switch (pcl_upper(g.letter)) {
      case 'I': control_id = g.value; break;
      case 'C':
        if (g.value == 6) palette_copy(d, control_id);
        break;
      case 'S': palette_select(d, g.value); break;
      case 'X': transparent = true; break;
      default: break;
    }
  });
  return transparent ? 0 : end;
}

// The non-marking commands that leave a tentative colour pending: HP-GL/2
// entry, text parsing, underline off, symbol sets, fonts, font and
// character codes, logical operations, patterns and cursor moves.
bool letters_within(At at, std::uint64_t first, std::string_view allowed, std::uint64_t* end) {
  bool ok = true;
  *end = walk_groups(at, first, true, [&](const PclGroup& g, std::uint64_t) {
    if (allowed.find(static_cast<char>(pcl_upper(g.letter))) == std::string_view::npos) ok = false;
  });
  return ok && *end != 0;
}

std::uint64_t non_marking_command(At at) {
  if (!at.has(3)) return 0;
  const std::uint8_t family = at.byte(1);
  const std::uint8_t group = at.byte(2);
  std::uint64_t end = 0;
  bool ok = false;
  if (family == '%') {
    ok = letters_within(at, 2, "B", &end);
  } else if (family == '&' && group == 't') {
    ok = letters_within(at, 3, "P", &end);
  } else if (family == '&' && group == 'd') {
    ok = letters_within(at, 3, "@D", &end);
  } else if ((family == '(' || family == ')') && group == 's') {
    ok = letters_within(at, 3, "TBSVPWHQ", &end);
  } else if ((family == '(' || family == ')') && ascii_is_digit(group)) {
    ok = letters_within(at, 2, "ABCDEFGHIJKLMNOPQRSTUVXYZ@", &end);
  } else if (family == '*' && group == 'c') {
    ok = letters_within(at, 3, "DE", &end);
  } else if (family == '*' && group == 'l') {
    ok = letters_within(at, 3, "RO", &end);
  } else if (family == '*' && group == 'p') {
    ok = letters_within(at, 3, "XY", &end);
  } else if (family == '&' && group == 'a') {
    ok = letters_within(at, 3, "HVRC", &end);
  }
  return ok ? end : 0;
}

// One PCL or raster position holding an ESC: the command it begins, or 0
// when no step recognises it.
std::uint64_t pcl_command(PCL5Color* d, At at, int mode) {
  if (!at.has(2)) return 0;
  const std::uint8_t family = at.byte(1);
  if (family == 'E') {
    PCL5ColorResetFound(d);
    return at.pos + 2;
  }
  if (!at.has(3)) return 0;
  const std::uint8_t group = at.byte(2);
  if (d->tentative_color && mode == PCL5_MODE_PCL) {
    if (const std::uint64_t end = non_marking_command(at); end != 0) return end;
  }
  if (family == '*' && group == 'v') return color_command(d, at);
  if (family == '&' && group == 'p') return palette_control(d, at);
  if (family == '*' && group == 'r') return raster_control(d, at);
  if (family == '*' && group == 'g') return raster_configure(d, at);
  if ((family == '*' || family == '/') && group == 'b') return raster_transfer(d, at);
  return 0;
}

void close_page(PCL5Color* d, int page_index) {
  LOG_DEV("New Page: %u", static_cast<unsigned>(page_index));
  if (d->has_color_on_page) {
    ++d->color_pagecount;
    LOG_DEV("New Page has color: %u, pagecount=%d,color_pagecount=%d",
            static_cast<unsigned>(d->page_index), page_index, d->color_pagecount);
  } else if (d->undecided_on_page) {
    ++d->undecided_pagecount;
    LOG_DEBUG("Page %d holds raster data whose colour cannot be judged", d->page_index);
  }
  d->has_color_on_page = false;
  d->undecided_on_page = false;
  d->tentative_color = false;
  d->page_index = page_index;
  // Compression, raster width and row width carry over: PCL keeps them
  // across a page eject, and drivers (hpcups) send them once per job. The
  // page eject ends raster graphics, whose implicit restart zeroes the seed
  // rows.
  raster_clear_seed_rows(d);
}

}  // namespace

void mark_color(PCL5Color* detector) { detector->has_color_on_page = true; }

}  // namespace pcl5_color

using namespace pcl5_color;

PCL5Color* PCL5ColorNew() {
  auto* d = new (std::nothrow) PCL5Color{};
  if (d == nullptr) return nullptr;
  d->rows = raster_rows_new();
  if (d->rows == nullptr) {
    delete d;
    return nullptr;
  }
  PCL5ColorResetFound(d);
  return d;
}

void PCL5ColorFree(PCL5Color* detector) {
  if (detector == nullptr) return;
  raster_rows_free(detector->rows);
  delete detector;
}

void PCL5ColorResetFound(PCL5Color* detector) {
  if (detector == nullptr) return;
  LOG_DEV("Resetting palettes");
  for (PCL5Palette& palette : detector->palettes) palette_reset(&palette);
  detector->current_palette = 0;
  detector->configured_color_raster = false;
  raster_clear_seed_rows(detector);
  PCL5ColorResetHPGL(detector, 0);
}

void PCL5ColorResetHPGL(PCL5Color* detector, int color_preserved) {
  if (detector == nullptr) return;
  detector->hpgl_pen_up = false;
  detector->color_preserved = color_preserved != 0;
  LOG_DEV("PCL5ColorResetHPGL: hpgl_pen_up=%d, color_preserved=%d", detector->hpgl_pen_up,
          detector->color_preserved);
}

void PCL5ColorParseAtPos(PCL5Color* detector, const std::uint8_t* data, std::uint64_t length,
                         std::uint64_t pos, int page_index, int mode) {
  if (detector == nullptr || data == nullptr || pos >= length) return;
  PCL5Color* d = detector;
  if (page_index != d->page_index) close_page(d, page_index);
  if (pos < d->skip_position) return;
  if (d->tentative_color && pos >= d->tentative_expiry) {
    LOG_DEBUG("has_color_on_page: tentative color has expired at offset %llu",
              static_cast<unsigned long long>(pos));
    d->tentative_color = false;
    mark_color(d);
  }
  const At at{scan_bytes(data, length), pos};
  const bool was_tentative = d->tentative_color;
  std::uint64_t end = 0;
  if (mode == PCL5_MODE_HPGL) {
    end = hpgl_step(d, at);
  } else if (at.byte() == PCL_ESC) {
    end = pcl_command(d, at, mode);
  }
  if (end > pos) d->skip_position = end;
  if (!d->tentative_color) return;
  if (mode == PCL5_MODE_RASTER || (mode == PCL5_MODE_HPGL && !d->color_preserved)) {
    d->tentative_color = false;
    return;
  }
  if (!was_tentative) {
    // A new foreground colour: it becomes certain 200 bytes behind its
    // command, or at the job's end when that is nearer.
    const std::uint64_t from = std::max(end, pos);
    d->tentative_expiry = from + std::min(TENTATIVE_EXPIRY_BYTES, length - std::min(from, length));
    return;
  }
  if (end == 0 && !ascii_is_space(at.byte())) {
    LOG_DEBUG("has_color_on_page: has_tentative_color page marked 0x%02X with %llu bytes remaining at %llu",
              at.byte(), static_cast<unsigned long long>(at.left()),
              static_cast<unsigned long long>(pos));
    d->tentative_color = false;
    mark_color(d);
  }
}

void PCL5ColorParseComplete(PCL5Color* detector) {
  if (detector == nullptr) return;
  if (detector->has_color_on_page) {
    ++detector->color_pagecount;
    detector->has_color_on_page = false;
  } else if (detector->undecided_on_page) {
    ++detector->undecided_pagecount;
    detector->undecided_on_page = false;
  }
}

int PCL5ColorGetColorPageCount(const PCL5Color* detector) {
  return detector != nullptr ? detector->color_pagecount : 0;
}

int PCL5ColorGetUndecidedPageCount(const PCL5Color* detector) {
  return detector != nullptr ? detector->undecided_pagecount : 0;
}
