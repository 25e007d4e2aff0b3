// Raster rows of the PCL5 colour-page detector: the raster commands
// (ESC*r, ESC*b, ESC*g), the row decoders (methods 0 to 3 and adaptive) and
// the judgement of decoded rows and planes against the current palette.
#include <algorithm>
#include <cstring>
#include <new>

#include "analysis/pcl5_color_internal.h"
#include "foundation/log.h"

struct PCL5RasterRows {
  // Seed row of each plane (plane 0 for by-pixel rows). Bytes at and behind
  // a seed row's length are zero.
  std::uint8_t seed[PCL5_RASTER_PLANES_MAX][PCL5_RASTER_ROW_MAX];
  std::uint32_t seed_length[PCL5_RASTER_PLANES_MAX];
  // The by-pixel seed row (plane 0) is known to hold no colour: a delta row
  // on it then needs only its replaced bytes judged.
  bool seed_known_gray;
};

namespace pcl5_color {
namespace {

// Compression methods.
constexpr std::int64_t METHOD_UNENCODED = 0;
constexpr std::int64_t METHOD_RUN_LENGTH = 1;
constexpr std::int64_t METHOD_PACKBITS = 2;
constexpr std::int64_t METHOD_DELTA_ROW = 3;
constexpr std::int64_t METHOD_ADAPTIVE = 5;
// Adaptive compression's block commands beyond methods 0 to 3.
constexpr std::uint8_t ADAPTIVE_EMPTY_ROWS = 4;
constexpr std::uint8_t ADAPTIVE_DUPLICATE_ROWS = 5;
constexpr std::uint64_t ADAPTIVE_BLOCK_HEADER = 3;
// Bytes of the parameters of ESC*r and ESC*b read at most per group.
constexpr std::uint64_t GROUP_WINDOW = 32;
constexpr std::uint64_t ROW_MAX = PCL5_RASTER_ROW_MAX;

// The byte ranges a delta row replaced, merged where they touch; past the
// limit the whole row is judged.
struct Patches {
  static constexpr int MAX = 64;
  std::uint32_t from[MAX];
  std::uint32_t to[MAX];
  int count = 0;
  bool overflow = false;

  void add(std::uint64_t begin, std::uint64_t end) {
    if (count > 0 && begin <= to[count - 1]) {
      to[count - 1] = static_cast<std::uint32_t>(std::max<std::uint64_t>(to[count - 1], end));
    } else if (count < MAX) {
      from[count] = static_cast<std::uint32_t>(begin);
      to[count] = static_cast<std::uint32_t>(end);
      ++count;
    } else {
      overflow = true;
    }
  }
};

struct Row {
  std::uint8_t* bytes;       // the plane's seed row, decoded in place
  std::uint32_t* length;     // its length
  std::uint64_t row_width;   // bytes of a row; 0 when unknown
  Patches* patches = nullptr;  // the replaced ranges of a delta row, when asked
};

// Bytes of one row (or plane) of `width` pixels under the current palette;
// 0 when the width is unknown.
std::uint64_t row_width_of(const PCL5Color* d) {
  if (d->raster_width <= 0) return 0;
  const PCL5Palette& palette = d->palettes[d->current_palette];
  const auto width = static_cast<std::uint64_t>(d->raster_width);
  std::uint64_t bytes = 0;
  if (palette.by_pixel && !palette.indexed) {
    bytes = width * 3;
  } else if (palette.by_pixel) {
    bytes = (width * static_cast<std::uint64_t>(palette.bits_per_index) + 7) / 8;
  } else {
    bytes = palette.indexed || palette.bits_per_index < 8 ? (width + 7) / 8 : width;
  }
  return std::min(bytes, ROW_MAX);
}

// Ends a row whose first `written` bytes were decoded: its length is that,
// cut to the row width, and the bytes behind it are zeroed so that the seed
// row stays zero-filled.
void finish_row(Row row, std::uint64_t written) {
  const std::uint64_t length = row.row_width > 0 ? std::min(written, row.row_width) : written;
  const std::uint64_t dirty = std::max<std::uint64_t>(*row.length, written);
  if (dirty > length) std::memset(row.bytes + length, 0, dirty - length);
  *row.length = static_cast<std::uint32_t>(length);
}

void decode_unencoded(ByteSpan in, Row row) {
  const std::uint64_t n = std::min<std::uint64_t>(in.size(), ROW_MAX);
  std::memcpy(row.bytes, in.data(), n);
  finish_row(row, n);
}

void decode_run_length(ByteSpan in, Row row) {
  std::uint64_t out = 0;
  for (std::uint64_t i = 0; i + 1 < in.size() && out < ROW_MAX; i += 2) {
    const std::uint64_t n = std::min<std::uint64_t>(in[i] + 1U, ROW_MAX - out);
    std::memset(row.bytes + out, in[i + 1], n);
    out += n;
  }
  finish_row(row, out);
}

void decode_packbits(ByteSpan in, Row row) {
  std::uint64_t out = 0;
  std::uint64_t i = 0;
  while (i < in.size() && out < ROW_MAX) {
    const std::uint8_t control = in[i++];
    if (control < 128) {
      const std::uint64_t n = std::min<std::uint64_t>({control + 1U, in.size() - i, ROW_MAX - out});
      std::memcpy(row.bytes + out, in.data() + i, n);
      out += n;
      i += std::min<std::uint64_t>(control + 1U, in.size() - i);
    } else if (control > 128 && i < in.size()) {
      const std::uint64_t n = std::min<std::uint64_t>(257U - control, ROW_MAX - out);
      std::memset(row.bytes + out, in[i++], n);
      out += n;
    }
  }
  finish_row(row, out);
}

// Delta row: the seed row patched in place. Without a known row width the
// row is as long as the seed row or the furthest patch, up to the cap.
void decode_delta_row(ByteSpan in, Row row) {
  const std::uint64_t cap = row.row_width > 0 ? row.row_width : ROW_MAX;
  std::uint64_t extent = *row.length;
  std::uint64_t at = 0;
  std::uint64_t i = 0;
  while (i < in.size()) {
    const std::uint8_t command = in[i++];
    const std::uint64_t count = (command >> 5) + 1U;
    std::uint64_t offset = command & 31U;
    if (offset == 31) {
      // Offsets of 31 and more continue in the following bytes while they
      // are 255.
      std::uint8_t more = 255;
      while (more == 255 && i < in.size()) {
        more = in[i++];
        offset += more;
      }
    }
    at += offset;
    if (at >= cap) break;
    const std::uint64_t n = std::min({count, in.size() - i, cap - at});
    std::memcpy(row.bytes + at, in.data() + i, n);
    if (row.patches != nullptr && n > 0) row.patches->add(at, at + n);
    i += std::min<std::uint64_t>(count, in.size() - i);
    at += n;
    extent = std::max(extent, at);
  }
  if (row.row_width > 0) extent = std::max(extent, std::min(row.row_width, ROW_MAX));
  *row.length = static_cast<std::uint32_t>(std::min(extent, cap));
}

// Decodes `in` by a method of 0 to 3 into the row; false for other methods.
bool decode_row(std::int64_t method, ByteSpan in, Row row) {
  switch (method) {
    case METHOD_UNENCODED: decode_unencoded(in, row); return true;
    case METHOD_RUN_LENGTH: decode_run_length(in, row); return true;
    case METHOD_PACKBITS: decode_packbits(in, row); return true;
    case METHOD_DELTA_ROW: decode_delta_row(in, row); return true;
    default: return false;
  }
}

// Pixels from `from` to `to` (whole pixels of three bytes) of a direct row.
bool direct_row_colored(const std::uint8_t* bytes, std::uint64_t from, std::uint64_t to) {
  constexpr unsigned TOLERANCE = PCL5_GRAY_TOLERANCE;
  for (std::uint64_t i = from; i + 2 < to; i += 3) {
    const int r = bytes[i];
    const int g = bytes[i + 1];
    const int b = bytes[i + 2];
    // Gray when every pair of components lies within the tolerance.
    if (static_cast<unsigned>(r - g + TOLERANCE) > 2 * TOLERANCE ||
        static_cast<unsigned>(g - b + TOLERANCE) > 2 * TOLERANCE ||
        static_cast<unsigned>(r - b + TOLERANCE) > 2 * TOLERANCE) {
      LOG_DEV("Found color in direct by pixel raster, rgb=(%d,%d,%d) at offset %llu in row of length %llu",
              r, g, b, static_cast<unsigned long long>(i), static_cast<unsigned long long>(to));
      return true;
    }
  }
  return false;
}

bool indexed_row_colored(const PCL5Palette& palette, const std::uint8_t* bytes,
                         std::uint64_t length) {
  const int bits = palette.bits_per_index;
  if (bits != 1 && bits != 2 && bits != 4) {
    for (std::uint64_t i = 0; i < length; ++i) {
      if (palette.colored[bytes[i] % palette.size]) {
        LOG_DEV("Found color in indexed by pixel raster. value=%u", bytes[i]);
        return true;
      }
    }
    return false;
  }
  const unsigned mask = (1U << bits) - 1U;
  for (std::uint64_t i = 0; i < length; ++i) {
    for (int shift = 8 - bits; shift >= 0; shift -= bits) {
      const unsigned index = (bytes[i] >> shift) & mask;
      if (palette.colored[index % palette.size]) {
        LOG_DEV("Found color in indexed by pixel raster. value=%u", index);
        return true;
      }
    }
  }
  return false;
}

// The by-pixel row in plane 0: whole, or only the pixels that `patches`
// replaced when the rest is known gray.
bool pixel_row_colored(const PCL5Color* d, const PCL5RasterRows* rows,
                       const Patches* patches = nullptr) {
  const PCL5Palette& palette = d->palettes[d->current_palette];
  const std::uint8_t* bytes = rows->seed[0];
  const std::uint64_t length = rows->seed_length[0];
  if (patches == nullptr || patches->overflow) {
    return palette.indexed ? indexed_row_colored(palette, bytes, length)
                           : direct_row_colored(bytes, 0, length);
  }
  for (int k = 0; k < patches->count; ++k) {
    const std::uint64_t to = std::min<std::uint64_t>(patches->to[k], length);
    if (palette.indexed) {
      if (patches->from[k] < to &&
          indexed_row_colored(palette, bytes + patches->from[k], to - patches->from[k])) {
        return true;
      }
    } else if (direct_row_colored(bytes, patches->from[k] / 3 * 3,
                                  std::min(length, (to + 2) / 3 * 3))) {
      return true;
    }
  }
  return false;
}

// The planes 0 to planes - 1 of a row together: each pixel's index is
// made of its bits in the planes, plane 0 the lowest.
bool plane_row_colored(const PCL5Palette& palette, const PCL5RasterRows* rows, int planes) {
  std::uint64_t length = 0;
  for (int j = 0; j < planes; ++j) length = std::max<std::uint64_t>(length, rows->seed_length[j]);
  const bool zero_colored = palette.colored[0];
  for (std::uint64_t i = 0; i < length; ++i) {
    std::uint8_t any = 0;
    for (int j = 0; j < planes; ++j) any |= rows->seed[j][i];
    if (any == 0 && !zero_colored) continue;
    for (int bit = 7; bit >= 0; --bit) {
      unsigned index = 0;
      for (int j = 0; j < planes; ++j) index |= ((rows->seed[j][i] >> bit) & 1U) << j;
      if (palette.colored[index % palette.size]) {
        LOG_DEV("Found color in indexed by plane raster. value=%u at byte %llu of %d planes", index,
                static_cast<unsigned long long>(i), planes);
        return true;
      }
    }
  }
  return false;
}

// Whether a row's plane `plane` is one the palette reads: the only plane of
// a palette indexed by pixel, or one of the index bits of its entries.
bool plane_in_palette(const PCL5Palette& palette, int plane) {
  if (palette.by_pixel) return plane == 0;
  return plane < 31 && (1LL << plane) < palette.size;
}

// Adaptive compression: blocks of rows, each judged as it is decoded.
void judge_adaptive(PCL5Color* d, ByteSpan in, Row row) {
  std::uint64_t i = 0;
  while (in.size() - i >= ADAPTIVE_BLOCK_HEADER && !d->has_color_on_page) {
    const std::uint8_t command = in[i];
    const std::uint64_t n = (static_cast<std::uint64_t>(in[i + 1]) << 8) | in[i + 2];
    i += ADAPTIVE_BLOCK_HEADER;
    const ByteSpan block = in.subspan(i, std::min(n, in.size() - i));
    if (command == ADAPTIVE_EMPTY_ROWS) {
      finish_row(row, 0);
      continue;  // the count is rows, not bytes
    }
    if (command == ADAPTIVE_DUPLICATE_ROWS) continue;
    if (!decode_row(command, block, row)) return;
    i += block.size();
    if (pixel_row_colored(d, d->rows)) {
      LOG_DEV("has_color_on_page: decode_raster_and_check_for_color");
      mark_color(d);
    }
  }
}

// Raster data that cannot be judged: the page is undecided unless it is
// known to have colour.
void undecided(PCL5Color* d, std::uint64_t count) {
  if (count > 0 && !d->has_color_on_page) d->undecided_on_page = true;
}

// One data block (a plane with V, the row's last plane with W).
void judge_block(PCL5Color* d, ByteSpan block, bool last_plane) {
  const PCL5Palette& palette = d->palettes[d->current_palette];
  const int plane = d->plane;
  d->plane = last_plane ? 0 : d->plane + 1;
  if (d->has_color_on_page) return;
  if (d->configured_color_raster) {
    d->rows->seed_known_gray = false;
    return undecided(d, block.size());
  }
  if (!plane_in_palette(palette, plane) && !block.empty()) {
    // More planes than the palette has: drivers that declare one black
    // component and then send cyan, magenta and yellow planes behind it
    // (uniprint's DeskJet 690 and Sharp inkjets). What those planes print
    // is not known here.
    d->rows->seed_known_gray = false;
    return undecided(d, block.size());
  }
  // Nothing can be coloured: the row is not decoded, so the seed row no
  // longer follows the data.
  if (palette.indexed && palette.colored_count == 0) {
    d->rows->seed_known_gray = false;
    return;
  }
  const std::int64_t method = d->compression;
  const std::uint64_t width = row_width_of(d);
  PCL5RasterRows* rows = d->rows;
  if (palette.by_pixel) {
    Patches patches;
    const bool incremental = method == METHOD_DELTA_ROW && rows->seed_known_gray;
    Row row{rows->seed[0], &rows->seed_length[0], width, incremental ? &patches : nullptr};
    rows->seed_known_gray = false;
    if (method == METHOD_ADAPTIVE) return judge_adaptive(d, block, row);
    if (!decode_row(method, block, row)) return undecided(d, block.size());
    if (pixel_row_colored(d, rows, incremental ? &patches : nullptr)) {
      LOG_DEV("has_color_on_page: decode_raster_and_check_for_color");
      mark_color(d);
      return;
    }
    rows->seed_known_gray = true;
    return;
  }
  rows->seed_known_gray = false;
  if (!palette.planes_judged || plane >= PCL5_RASTER_PLANES_MAX) return undecided(d, block.size());
  Row row{rows->seed[plane], &rows->seed_length[plane], width};
  if (!decode_row(method, block, row)) return undecided(d, block.size());
  if (last_plane && plane_row_colored(palette, rows, plane + 1)) {
    LOG_DEV("raster_row_contains_color: raster_row_contains_color at %u bytes",
            rows->seed_length[plane]);
    mark_color(d);
  }
}

// Reads the groups of ESC*b / ESC*r from `first`; calls take for each and
// returns the position behind the command (0 when malformed).
template <typename Take>
std::uint64_t walk(At at, Take take) {
  std::uint64_t p = at.pos + 3;
  PclGroup g;
  while (pcl_read_group(at.data, p, std::min(at.data.size(), p + GROUP_WINDOW), &g)) {
    p = g.end;
    if (!take(g, &p)) return at.data.size();
    if (pcl_is_terminator(g.letter)) return p;
  }
  return 0;
}

}  // namespace

void raster_clear_seed_rows(PCL5Color* d) {
  d->plane = 0;
  PCL5RasterRows* rows = d->rows;
  if (rows == nullptr) return;
  for (int j = 0; j < PCL5_RASTER_PLANES_MAX; ++j) {
    std::memset(rows->seed[j], 0, rows->seed_length[j]);
    rows->seed_length[j] = 0;
  }
  rows->seed_known_gray = true;
}

PCL5RasterRows* raster_rows_new() { return new (std::nothrow) PCL5RasterRows{}; }

void raster_rows_free(PCL5RasterRows* rows) { delete rows; }

std::uint64_t raster_control(PCL5Color* d, At at) {
  return walk(at, [&](const PclGroup& g, std::uint64_t*) {
    switch (pcl_upper(g.letter)) {
      case 'A':
        // Starting raster keeps the compression method: drivers choose it
        // first (Gutenprint's ESC*b2M before ESC*r1A).
        LOG_DEV("Start raster");
        raster_clear_seed_rows(d);
        break;
      case 'C':
        LOG_DEV("End raster");
        d->compression = METHOD_UNENCODED;
        raster_clear_seed_rows(d);
        break;
      case 'S':
        d->raster_width = static_cast<int>(std::clamp<std::int64_t>(g.value, 0, ROW_MAX * 8));
        d->row_width = static_cast<int>(row_width_of(d));
        raster_clear_seed_rows(d);
        LOG_DEV("Set raster row width: %d", d->row_width);
        break;
      case 'U':
        palette_set_simple_color(d, g.value);
        break;
      default:
        break;
    }
    return true;
  });
}

std::uint64_t raster_transfer(PCL5Color* d, At at) {
  if (!at.has(4) || at.byte(3) == PCL_ESC || pcl_is_terminator(at.byte(3))) return 0;
  return walk(at, [&](const PclGroup& g, std::uint64_t* p) {
    switch (pcl_upper(g.letter)) {
      case 'M':
        d->compression = g.value;
        LOG_DEV("Set raster compression: %lld", static_cast<long long>(g.value));
        return true;
      case 'Y':
        raster_clear_seed_rows(d);
        return true;
      case 'V':
      case 'W': {
        const std::uint64_t count = g.value > 0 ? static_cast<std::uint64_t>(g.value) : 0;
        if (count > at.data.size() - *p) {
          LOG_DEV("Raster data goes past end of file");
          return false;
        }
        const bool had_color = d->has_color_on_page;
        judge_block(d, at.data.subspan(*p, count), pcl_upper(g.letter) == 'W');
        if (d->has_color_on_page && !had_color) {
          LOG_DEV("has_color_on_page: Found color raster on page %d at at: %llu", d->page_index,
                  static_cast<unsigned long long>(*p));
        }
        *p += count;
        return true;
      }
      default:
        return true;
    }
  });
}

std::uint64_t raster_configure(PCL5Color* d, At at) {
  return walk(at, [&](const PclGroup& g, std::uint64_t* p) {
    if (pcl_upper(g.letter) != 'W') return true;
    const std::uint64_t count = g.value > 0 ? static_cast<std::uint64_t>(g.value) : 0;
    if (count > at.data.size() - *p) return false;
    // Format 2 with one component is black only; every other
    // configuration can carry colour in planes this detector does not
    // decode.
    const bool black_only = count >= 2 && at.data[*p] == 2 && at.data[*p + 1] == 1;
    d->configured_color_raster = !black_only;
    LOG_DEV("Configure raster data: %llu bytes, colour components=%d",
            static_cast<unsigned long long>(count), d->configured_color_raster);
    *p += count;
    return true;
  });
}

}  // namespace pcl5_color

void PCL5ColorRasterGroup(PCL5Color* detector, std::uint8_t letter, std::int64_t value,
                          ByteSpan block) {
  if (detector == nullptr) return;
  switch (pcl_upper(letter)) {
    case 'M':
      detector->compression = value;
      break;
    case 'Y':
      pcl5_color::raster_clear_seed_rows(detector);
      break;
    case 'V':
    case 'W':
      pcl5_color::judge_block(detector, block, pcl_upper(letter) == 'W');
      break;
    default:
      break;
  }
}
