// CUPS raster: the first page header read in its sync word's byte order, and
// the pages found by walking the page headers, each page's raster skipped by
// the size its own header gives.
#include "formats/cupsraster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>

#include "formats/format_colour.h"
#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "foundation/util.h"
#include "scan/byte_cursor.h"

namespace {

constexpr std::uint64_t SYNC_SIZE = 4;
// Offsets from the start of the data (the sync word included).
constexpr std::uint64_t NUM_COPIES_AT = 344;
constexpr std::uint64_t PAGE_SIZE_AT = 356;
constexpr std::uint64_t CUPS_WIDTH_AT = 376;
constexpr std::uint64_t COLOR_SPACE_AT = 404;
constexpr std::uint64_t CUPS_PAGE_SIZE_AT = 432;
constexpr std::uint64_t PAGE_SIZE_NAME_AT = 1736;
constexpr std::uint64_t PAGE_SIZE_NAME_SIZE = 64;

// cupsColorSpace values whose pages carry no colour: W (luminance), K
// (black) and sW (sRGB luminance).
constexpr std::uint32_t COLOR_SPACE_W = 0;
constexpr std::uint32_t COLOR_SPACE_K = 3;
constexpr std::uint32_t COLOR_SPACE_SW = 18;

// Offsets inside a page header (from its first byte, behind the sync word
// for the first page).
constexpr std::uint64_t H_CUPS_WIDTH = 372;
constexpr std::uint64_t H_CUPS_HEIGHT = 376;
constexpr std::uint64_t H_BITS_PER_COLOR = 384;
constexpr std::uint64_t H_BITS_PER_PIXEL = 388;
constexpr std::uint64_t H_BYTES_PER_LINE = 392;
constexpr std::uint64_t H_COLOR_ORDER = 396;
constexpr std::uint64_t H_COLOR_SPACE = 400;
constexpr std::uint64_t H_NUM_COLORS = 420;  // versions 2 and 3
constexpr std::uint32_t ORDER_CHUNKED = 0;
constexpr std::uint32_t ORDER_PLANAR = 2;
// Limits of a header that describes real raster.
constexpr std::uint32_t MAX_BITS_PER_PIXEL = 240;
constexpr std::uint64_t MAX_BYTES_PER_LINE = std::uint64_t{1} << 28;
constexpr std::uint32_t MAX_PLANES = 15;
// A run count of the compressed form that fills the rest of the line.
constexpr std::uint8_t CLEAR_TO_END = 128;

bool is_gray_space(std::uint32_t space) {
  return space == COLOR_SPACE_W || space == COLOR_SPACE_K || space == COLOR_SPACE_SW;
}

struct RasterKind {
  int version;
  // "RaSt", "RaS2", "RaS3": the writer's numbers are big-endian; the
  // reversed words come from little-endian writers.
  bool big_endian;
  std::uint64_t header;
};

std::optional<RasterKind> raster_kind(ByteSpan d) {
  struct Sync {
    std::string_view word;
    RasterKind kind;
  };
  static constexpr Sync SYNCS[] = {
      {"RaSt", {1, true, CUPSRASTER_V1_HEADER}}, {"tSaR", {1, false, CUPSRASTER_V1_HEADER}},
      {"RaS2", {2, true, CUPSRASTER_V2_HEADER}}, {"2SaR", {2, false, CUPSRASTER_V2_HEADER}},
      {"RaS3", {3, true, CUPSRASTER_V2_HEADER}}, {"3SaR", {3, false, CUPSRASTER_V2_HEADER}},
  };
  for (const Sync& s : SYNCS) {
    if (scan_bytes_at(d, 0, s.word)) return s.kind;
  }
  return std::nullopt;
}

std::uint32_t header_u32(ByteSpan d, std::uint64_t at, const RasterKind& kind) {
  const auto v = kind.big_endian ? scan_be32_at(d, at) : scan_le32_at(d, at);
  return v.value_or(0);
}

float header_float(ByteSpan d, std::uint64_t at, const RasterKind& kind) {
  const std::uint32_t bits = header_u32(d, at, kind);
  float f = 0;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

int points_to_mm(std::uint32_t points) {
  return static_cast<int>(std::floor(points / 72.0 * 25.4 + 0.5));
}

void read_copies(ByteSpan d, const RasterKind& kind, JobAttribs* ja) {
  int copies = static_cast<int>(header_u32(d, NUM_COPIES_AT, kind) & 0xFFFF);
  LOG_DEBUG("Found copy count of: %d", copies);
  ja_set_copy_count(ja, copies < 1 ? 1 : copies);
}

// Whether the first page header's colour space is a gray one.
bool first_page_gray(ByteSpan d, const RasterKind& kind) {
  const std::uint32_t space = header_u32(d, COLOR_SPACE_AT, kind);
  if (space == COLOR_SPACE_K) {
    LOG_DEBUG("Found black only colorspace");
  } else if (is_gray_space(space)) {
    LOG_DEBUG("Found gray colorspace %u", space);
  }
  return is_gray_space(space);
}

void read_page_size(ByteSpan d, const RasterKind& kind, JobAttribs* ja) {
  LOG_DEBUG("Header size (pixels): %u x %u", header_u32(d, CUPS_WIDTH_AT, kind),
            header_u32(d, CUPS_WIDTH_AT + 4, kind));
  const int width = points_to_mm(header_u32(d, PAGE_SIZE_AT, kind));
  const int height = points_to_mm(header_u32(d, PAGE_SIZE_AT + 4, kind));
  LOG_DEBUG("Header size (mm): %d x %d", width, height);
  ja_set_page_width_height_mm(ja, width, height);
  if (kind.version >= 2) {
    LOG_DEBUG("cupsPageSize: %.1f x %.1f", header_float(d, CUPS_PAGE_SIZE_AT, kind),
              header_float(d, CUPS_PAGE_SIZE_AT + 4, kind));
  }
}

// Version 3 carries the paper's name; "na-" names lose that prefix and a
// bracketed size behind the name goes.
void read_page_size_name(ByteSpan d, JobAttribs* ja) {
  const ByteSpan field = d.subspan(PAGE_SIZE_NAME_AT, PAGE_SIZE_NAME_SIZE);
  std::string_view name = scan_text(field);
  name = name.substr(0, std::min(name.find('\0'), PAGE_SIZE_NAME_SIZE - 1));
  if (name.empty()) return;
  if (name.size() >= 3 && util_case_equal_bytes(name.data(), "na-", 3)) name.remove_prefix(3);
  if (const auto bracket = name.find('(', 1); bracket != std::string_view::npos) {
    LOG_DEBUG("Removing brack from paper size name");
    name = name.substr(0, bracket);
  }
  // Written as it stands: the setter's rules would take a smaller-area
  // refusal or a CUSTOM rule from names that are the printer's own.
  std::memcpy(ja->paper_size_name, name.data(), name.size());
  ja->paper_size_name[name.size()] = '\0';
  LOG_DEBUG("Found paper size: %s", ja->paper_size_name);
}

// Pages, old way: each later header equal to the first over all but its
// last byte. The search runs to the end of the data, so a last page shorter
// than a header still counts. Used where the headers do not describe their
// raster (the walk below cannot follow them).
int count_equal_headers(ByteSpan d, const RasterKind& kind, WalkTimer* timer) {
  const std::uint8_t* pattern = d.data() + SYNC_SIZE;
  const std::uint64_t compared = kind.header - 1;
  int pages = 1;
  std::uint64_t from = SYNC_SIZE + kind.header;
  while (from < d.size()) {
    const std::uint8_t* hit =
        search_bm_cache_(d.data() + from, d.size() - from, pattern, compared, 0);
    if (hit == nullptr) break;
    const auto at = static_cast<std::uint64_t>(hit - d.data());
    LOG_DEBUG("Found new page starting at: %llu", static_cast<unsigned long long>(at));
    if (pages < INT32_MAX) ++pages;
    from = at + compared;
    if (timer->expired(from)) break;
  }
  return pages;
}

// What one page header says of its raster.
struct PageLayout {
  std::uint64_t bytes_per_line = 0;
  std::uint64_t lines = 0;       // rows, times the colours for planar order
  std::uint64_t sample_unit = 1; // bytes a run of compressed data repeats
  std::uint32_t color_space = 0;
};

// The layout of the header at `at`, or nothing when its numbers describe
// no raster that could follow it.
std::optional<PageLayout> page_layout(ByteSpan d, std::uint64_t at, const RasterKind& kind) {
  const auto field = [&](std::uint64_t offset) { return header_u32(d, at + offset, kind); };
  const std::uint32_t width = field(H_CUPS_WIDTH);
  const std::uint32_t height = field(H_CUPS_HEIGHT);
  const std::uint32_t bits_per_color = field(H_BITS_PER_COLOR);
  const std::uint32_t bits_per_pixel = field(H_BITS_PER_PIXEL);
  const std::uint32_t order = field(H_COLOR_ORDER);
  PageLayout page;
  page.bytes_per_line = field(H_BYTES_PER_LINE);
  page.color_space = field(H_COLOR_SPACE);
  if (width == 0 || height == 0 || page.bytes_per_line == 0 || bits_per_pixel == 0 ||
      bits_per_pixel > MAX_BITS_PER_PIXEL || bits_per_color > bits_per_pixel ||
      page.bytes_per_line > MAX_BYTES_PER_LINE ||
      page.bytes_per_line < (std::uint64_t{width} * bits_per_color + 7) / 8) {
    return std::nullopt;
  }
  page.lines = height;
  page.sample_unit = (bits_per_pixel + 7) / 8;
  if (order == ORDER_PLANAR) {
    // Version 1 headers do not say how many planes follow.
    const std::uint32_t colors = kind.version >= 2 ? field(H_NUM_COLORS) : 0;
    if (colors == 0 || colors > MAX_PLANES) return std::nullopt;
    page.lines *= colors;
  }
  if (order != ORDER_CHUNKED) page.sample_unit = (bits_per_color + 7) / 8;
  if (page.sample_unit == 0) page.sample_unit = 1;
  return page;
}

// Version 2 (and PWG) raster: every line group is a repeat count, then runs
// of samples until a line is full. Returns where the page's data ends, or
// the end of the data for a page cut short.
std::uint64_t skip_compressed(ByteSpan d, std::uint64_t p, const PageLayout& page) {
  std::uint64_t line = 0;
  while (line < page.lines && p < d.size()) {
    line += 1u + d[p++];
    std::uint64_t filled = 0;
    while (filled < page.bytes_per_line && p < d.size()) {
      const std::uint8_t count = d[p++];
      std::uint64_t take = 0;
      if (count == CLEAR_TO_END) {
        filled = page.bytes_per_line;
        continue;
      }
      if (count < CLEAR_TO_END) {
        take = page.sample_unit;
        filled += (count + 1u) * page.sample_unit;
      } else {
        take = (257u - count) * page.sample_unit;
        filled += take;
      }
      if (take > d.size() - p) return d.size();
      p += take;
    }
  }
  return p;
}

// The page headers walked from the first on, each page's raster skipped by
// the size its own header gives (so pages of other sizes or colour spaces
// count like the first). Nothing when a header does not describe its raster.
struct WalkedPages {
  int pages = 0;
  bool all_gray = true;
};

std::optional<WalkedPages> walk_pages(ByteSpan d, const RasterKind& kind, WalkTimer* timer) {
  WalkedPages walked;
  std::uint64_t at = SYNC_SIZE;
  while (kind.header <= d.size() - at) {
    const std::optional<PageLayout> page = page_layout(d, at, kind);
    if (!page) {
      LOG_DEBUG("CUPS raster: page header at %llu describes no raster",
                static_cast<unsigned long long>(at));
      return std::nullopt;
    }
    if (walked.pages < INT32_MAX) ++walked.pages;
    walked.all_gray = walked.all_gray && is_gray_space(page->color_space);
    const std::uint64_t data = at + kind.header;
    if (kind.version == 2) {
      at = skip_compressed(d, data, *page);
    } else if (page->lines > (d.size() - data) / page->bytes_per_line) {
      break;  // the last page is cut short
    } else {
      at = data + page->lines * page->bytes_per_line;
    }
    LOG_DEBUG("Found new page starting at: %llu", static_cast<unsigned long long>(data));
    if (at >= d.size() || timer->expired(at)) break;
  }
  return walked;
}

}  // namespace

int cupsraster_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering cupsraster_process_job");
  const ByteSpan d = scan_bytes(data, data != nullptr ? length : 0);
  const std::optional<RasterKind> kind = raster_kind(d);
  if (!kind) {
    LOG_ERROR("Unsupported CUPS raster version");
    return -1;
  }
  LOG_DEBUG("Found CUPS raster header at offset=%u,raster_version=%d", 0u, kind->version);
  if (d.size() <= SYNC_SIZE + kind->header - 1) {
    LOG_ERROR("Invalid CUPS raster format");
    return -1;
  }
  read_copies(d, *kind, ja);
  read_page_size(d, *kind, ja);
  if (kind->version == 3) read_page_size_name(d, ja);
  WalkTimer timer("CUPS RASTER");
  int pages = 0;
  // The colour spaces judge colour only where every page is gray; a page
  // in a colour space may or may not carry colour (no pixel is read), so
  // such a job's colour stays unjudged. Pages counted by their headers'
  // likeness to the first share its colour space.
  bool all_gray = false;
  if (const std::optional<WalkedPages> walked = walk_pages(d, *kind, &timer)) {
    pages = walked->pages;
    all_gray = walked->all_gray;
  } else {
    pages = count_equal_headers(d, *kind, &timer);
    all_gray = first_page_gray(d, *kind);
  }
  LOG_DEBUG("Found pagecount of: %d", pages);
  ja_set_pages(ja, pages);
  if (all_gray) format_set_judged_colour(ja, 0);
  return 0;
}

const AnalyzerEntry CUPSRASTER_ANALYZER{"cupsraster_process_job",
                                        format_entry_adapter<cupsraster_process_job>};
