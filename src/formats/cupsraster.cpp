// CUPS raster: the first page header read in its sync word's byte order, and
// the pages found as the headers equal to the first.
#include "formats/cupsraster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>

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

void read_copies_and_colour(ByteSpan d, const RasterKind& kind, JobAttribs* ja) {
  int copies = static_cast<int>(header_u32(d, NUM_COPIES_AT, kind) & 0xFFFF);
  LOG_DEBUG("Found copy count of: %d", copies);
  ja_set_copy_count(ja, copies < 1 ? 1 : copies);
  const std::uint32_t space = header_u32(d, COLOR_SPACE_AT, kind);
  if (space == COLOR_SPACE_K) {
    LOG_DEBUG("Found black only colorspace");
    ja_set_is_grayscale(ja, 1);
  } else if (space == COLOR_SPACE_W || space == COLOR_SPACE_SW) {
    LOG_DEBUG("Found gray colorspace %u", space);
    ja_set_is_grayscale(ja, 1);
  }
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

// Pages: each later header equal to the first over all but its last byte.
// The search runs to the end of the data, so a last page shorter than a
// header still counts.
int count_pages(ByteSpan d, const RasterKind& kind) {
  const std::uint8_t* pattern = d.data() + SYNC_SIZE;
  const std::uint64_t compared = kind.header - 1;
  WalkTimer timer("CUPS RASTER");
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
    if (timer.expired(from)) break;
  }
  return pages;
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
  read_copies_and_colour(d, *kind, ja);
  read_page_size(d, *kind, ja);
  if (kind->version == 3) read_page_size_name(d, ja);
  const int pages = count_pages(d, *kind);
  LOG_DEBUG("Found pagecount of: %d", pages);
  ja_set_pages(ja, pages);
  return 0;
}

const AnalyzerEntry CUPSRASTER_ANALYZER{"cupsraster_process_job",
                                        format_entry_adapter<cupsraster_process_job>};
