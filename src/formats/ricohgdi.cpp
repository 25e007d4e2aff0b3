#include "formats/ricohgdi.h"

#include <array>

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

// ---- SP C231 ----
constexpr std::uint64_t SP_COPIES_AT = 10;
constexpr std::uint64_t SP_DUPLEX_AT = 16;
constexpr auto FOOTER = marker_bytes("GDIP\x00\x00\x00\x40");
constexpr std::uint64_t FOOTER_ROOM = 32;
constexpr std::uint64_t FOOTER_NEXT = 33;
constexpr std::uint64_t FOOTER_COLOR_AT = 32;
constexpr std::uint8_t FOOTER_COLOR_MIN = 2;
// A first footer this early follows a first page that has none.
constexpr std::uint64_t EARLY_FOOTER_END = 200;

// ---- WSMF ----
constexpr auto END_OF_PAGE = marker_bytes("WSMFBitBlt Data");
constexpr auto END_OF_PAGE_TAIL = marker_bytes("\x0d\x0a\x00");
constexpr std::uint64_t END_OF_PAGE_TAIL_AT = 18;
constexpr std::uint64_t END_OF_PAGE_ROOM = 72;
constexpr std::uint64_t END_OF_PAGE_NEXT = 73;
constexpr std::uint64_t COPIES_AT = 1068;
constexpr std::uint64_t DUPLEX_AT = 1877;
constexpr std::uint8_t DUPLEX_ON = 0x8F;
constexpr std::uint64_t PAPER_AT = 1882;
constexpr std::array<WalkCodeName, 6> PAPERS = {{
    {1, "Letter"}, {5, "Legal"}, {9, "A4"}, {11, "A5"}, {13, "B5JIS"}, {93, "16K"},
}};

struct FooterScan {
  ByteSpan data;
  int page = 0;
  int color_pages = 0;
  bool any_color = false;

  std::uint64_t step(std::uint64_t pos) {
    if (!walk_has_room(data.size(), pos, FOOTER_ROOM) || !walk_marker_at(data, pos, FOOTER)) {
      return pos + 1;
    }
    if (page == 0 && pos < EARLY_FOOTER_END) page = 1;
    if (page < INT32_MAX) ++page;
    const int color = data[pos + FOOTER_COLOR_AT];
    if (color >= FOOTER_COLOR_MIN) {
      LOG_DEBUG("Found color byte %d on page %d (footer)", color, page);
      any_color = true;
      if (color_pages < INT32_MAX) ++color_pages;
    }
    return pos + FOOTER_NEXT;
  }
};

// Where the WSMF walk stood: the fixed-offset tests are made only at
// positions the walk reached and did not jump over inside a page record.
struct WsmfScan {
  ByteSpan data;
  int pages = 0;
  std::uint64_t reached = 0;                 // first position not reached (time limit)
  std::array<bool, 3> skipped{};             // COPIES_AT, DUPLEX_AT, PAPER_AT

  std::uint64_t step(std::uint64_t pos) {
    reached = pos + 1;
    if (!walk_has_room(data.size(), pos, END_OF_PAGE_ROOM) ||
        !walk_marker_at(data, pos, END_OF_PAGE) ||
        !walk_marker_at(data, pos + END_OF_PAGE_TAIL_AT, END_OF_PAGE_TAIL)) {
      return pos + 1;
    }
    if (pages < INT32_MAX) ++pages;
    LOG_DEBUG("found end page marker at: %llu", static_cast<unsigned long long>(pos));
    const std::array<std::uint64_t, 3> fixed = {COPIES_AT, DUPLEX_AT, PAPER_AT};
    for (std::size_t i = 0; i < fixed.size(); ++i) {
      if (fixed[i] > pos && fixed[i] < pos + END_OF_PAGE_NEXT) skipped[i] = true;
    }
    reached = pos + END_OF_PAGE_NEXT;
    return pos + END_OF_PAGE_NEXT;
  }

  [[nodiscard]] bool stood_at(std::uint64_t offset, std::size_t which, bool finished) const {
    return offset < data.size() && !skipped[which] && (finished || offset < reached);
  }
};

void apply_fixed_offsets(const WsmfScan& scan, bool finished, JobAttribs* ja) {
  const ByteSpan data = scan.data;
  // The copies are two bytes: the walk standing on the first says nothing
  // about the second.
  if (scan.stood_at(COPIES_AT, 0, finished)) {
    if (const auto copies = scan_le16_at(data, COPIES_AT)) ja_set_copy_count(ja, *copies);
  }
  if (scan.stood_at(DUPLEX_AT, 1, finished) && data[DUPLEX_AT] == DUPLEX_ON) {
    ja_set_is_duplex(ja, 1);
  }
  if (scan.stood_at(PAPER_AT, 2, finished)) {
    const int code = data[PAPER_AT];
    if (const char* name = walk_code_name(PAPERS, code); name != nullptr) {
      ja_set_paper_size_name(ja, name);
    } else {
      LOG_DEBUG("Undecoded paper size with value %x", code);
    }
  }
}

}  // namespace

int ricoh_gdi_sp_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering ricoh_gdi_sp_process_job");
  const ByteSpan bytes = scan_bytes(data, length);
  ja_set_is_grayscale(ja, 1);
  if (const auto copies = scan_be16_at(bytes, SP_COPIES_AT)) ja_set_copy_count(ja, *copies);
  if (length > SP_DUPLEX_AT) ja_set_is_duplex(ja, bytes[SP_DUPLEX_AT] != 0 ? 1 : 0);
  FooterScan scan{bytes};
  WalkTimer timer("Ricoh SP C231");
  (void)format_walk(bytes, &timer, WalkStarts{FOOTER[0]},
                    [&scan](std::uint64_t pos) { return scan.step(pos); });
  if (scan.any_color) ja_set_is_grayscale(ja, 0);
  ja_set_pages(ja, scan.page);
  ja_set_color_pages(ja, scan.color_pages);
  return 0;
}

int ricoh_gdi_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering ricoh_gdi_process_job");
  WsmfScan scan{scan_bytes(data, length)};
  WalkTimer timer("Ricoh GDI");
  const bool finished = format_walk(scan.data, &timer, WalkStarts{END_OF_PAGE[0]},
                                    [&scan](std::uint64_t pos) { return scan.step(pos); });
  apply_fixed_offsets(scan, finished, ja);
  ja_set_pages(ja, scan.pages);
  return 0;
}

const AnalyzerEntry RICOH_GDI_SP_ANALYZER{"ricoh_gdi_sp_process_job",
                                          format_entry_adapter<ricoh_gdi_sp_process_job>};
const AnalyzerEntry RICOH_GDI_ANALYZER{"ricoh_gdi_process_job",
                                       format_entry_adapter<ricoh_gdi_process_job>};
