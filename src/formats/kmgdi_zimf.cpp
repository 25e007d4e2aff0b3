#include "formats/kmgdi_zimf.h"

#include <cmath>
#include <string_view>

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/text_header.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/scan_regex.h"

namespace {

constexpr std::string_view END_OF_PAGE = "Event=EndOfPage";
constexpr std::uint64_t END_OF_PAGE_ROOM = 15;
constexpr std::string_view TWO_SIDED = "Sides=TwoSided";
constexpr std::uint64_t TWO_SIDED_ROOM = 25;
constexpr std::uint64_t MEDIA_SIZE_WINDOW = 100;
constexpr std::string_view NO_PLANES = "RasterObject.Planes=000000,0,0,0,0,0,0;";
constexpr std::uint64_t NO_PLANES_ROOM = 40;
constexpr double MM_PER_INCH = 25.4;

struct ZimfScan {
  ByteSpan data;
  JobAttribs* ja;
  const ScanRegex& media_size;
  int pages = 0;

  std::uint64_t step(std::uint64_t pos) {
    const std::uint64_t length = data.size();
    switch (data[pos]) {
      case 'E':
        if (walk_has_room(length, pos, END_OF_PAGE_ROOM) && scan_bytes_at(data, pos, END_OF_PAGE)) {
          if (pages < INT32_MAX) ++pages;
          LOG_DEBUG("Found end of page at %llu", static_cast<unsigned long long>(pos));
        }
        break;
      case 'S':
        if (ja->is_duplex == 0 && walk_has_room(length, pos, TWO_SIDED_ROOM) &&
            scan_bytes_at(data, pos, TWO_SIDED)) {
          LOG_DEBUG("Found duplex at offest=%llu", static_cast<unsigned long long>(pos));
          ja_set_is_duplex(ja, 1);
        }
        break;
      case 'M':
        if (walk_has_room(length, pos, MEDIA_SIZE_WINDOW)) read_media_size(pos);
        break;
      case 'R':
        if (ja->is_grayscale == 0 && walk_has_room(length, pos, NO_PLANES_ROOM) &&
            scan_bytes_at(data, pos, NO_PLANES)) {
          LOG_DEBUG("Found grayscale at: %llu", static_cast<unsigned long long>(pos));
          ja_set_is_grayscale(ja, 1);
        }
        break;
      default:
        break;
    }
    return pos + 1;
  }

  // Every MediaSize event replaces the size, larger or not, so the size is
  // written straight into the record.
  void read_media_size(std::uint64_t pos) {
    const ScanMatch m = media_size.match(scan_text(data.subspan(pos, MEDIA_SIZE_WINDOW)));
    if (!m.matched) return;
    LOG_DEBUG("Found page size: %.*s x %.*s %.*s", static_cast<int>(m.group(1).size()),
              m.group(1).data(), static_cast<int>(m.group(2).size()), m.group(2).data(),
              static_cast<int>(m.group(3).size()), m.group(3).data());
    const double w = text_group_double(m.group(1));
    const double h = text_group_double(m.group(2));
    if (m.group(3) == "in") {
      ja->page_width_mm = ja_round_mm(MM_PER_INCH * w);
      ja->page_height_mm = ja_round_mm(MM_PER_INCH * h);
    } else {
      ja->page_width_mm = text_group_int(m.group(1));
      ja->page_height_mm = text_group_int(m.group(2));
    }
  }
};

}  // namespace

int kmgdi_zimf_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering kmgdi_zimf_process_job");
  const ScanRegex media_size(R"(MediaSize=.*?([\d\.]+)x([\d\.]+)(in|mm);)", PCRE_ANCHORED);
  ZimfScan scan{scan_bytes(data, length), ja, media_size};
  WalkTimer timer("KMGDI ZIMF");
  // Each key is known by its first letter and one further on (the value's
  // first letter or digit where the key alone is common), so the walk stops
  // only where both stand, not at every capital of the stream.
  const FormatPairSet pairs{{'E', 6, 'E'}, {'S', 6, 'T'}, {'M', 5, 'S'}, {'R', 20, '0'}};
  (void)format_walk_pairs(scan.data, 0, &timer, pairs,
                          [&scan](std::uint64_t pos) { return scan.step(pos); });
  ja_set_pages(ja, scan.pages);
  ja_set_copy_count(ja, 1);
  return 0;
}

const AnalyzerEntry KMGDI_ZIMF_ANALYZER{"kmgdi_zimf_process_job",
                                        format_entry_adapter<kmgdi_zimf_process_job>};
