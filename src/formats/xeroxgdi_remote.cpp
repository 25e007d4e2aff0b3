// The remote Xerox Phaser GDI stream: each page begins with a fixed page
// header whose bytes 17, 18 and 20 code the paper.
#include <array>
#include <string_view>

#include "formats/format_entry.h"
#include "formats/marker_count.h"
#include "formats/xeroxgdi.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "scan/pjl.h"

namespace {

constexpr auto PAGE = marker_bytes("\x00\x00\x00\x00\x00\x11\x00\x0f\x00\x00\x00\x00\x00\x04\x04\x00\x00");
constexpr std::array<std::uint64_t, 3> PAPER_CODE_AT = {17, 18, 20};

struct PaperCode {
  std::array<std::uint8_t, 3> code;
  const char* name;
};
// Searched in this order; the first equal code wins.
constexpr std::array<PaperCode, 15> PAPERS = {{
    {{0x98, 0x12, 0x1A}, "A4"},     {{0x9A, 0x12, 0x1A}, "A4"},
    {{0xE1, 0x0C, 0x12}, "A5"},     {{0x9B, 0x12, 0x0C}, "A5"},
    {{0xE9, 0x08, 0x0C}, "A6"},     {{0x24, 0x13, 0x18}, "LETTER"},
    {{0x24, 0x13, 0x1F}, "LEGAL"},  {{0x24, 0x13, 0x1D}, "FOLIO"},
    {{0x38, 0x10, 0x17}, "EXECUTIVE"}, {{0x1D, 0x0C, 0x12}, "STATEMENT"},
    {{0x04, 0x10, 0x16}, "B5"},     {{0x09, 0x0B, 0x0F}, "B6"},
    {{0x73, 0x08, 0x0C}, "A6"},     {{0x8C, 0x11, 0x0C}, "A5"},
    {{0xAE, 0x11, 0x0C}, "A5"},
}};

// Occurrences of the page header, as the counting search counts them; -1
// for data shorter than the header. The header opens with zero bytes, which
// raster data is full of: the walk jumps (memchr) to its one 0F byte, rare
// in the data, and compares the header around it.
constexpr std::uint64_t PAGE_ANCHOR_AT = 7;
static_assert(PAGE[PAGE_ANCHOR_AT] == 0x0F);

std::int64_t count_pages(ByteSpan data) {
  if (data.size() < PAGE.size()) return -1;
  std::int64_t count = 0;
  for (auto at = scan_find_byte(data, PAGE_ANCHOR_AT, PAGE[PAGE_ANCHOR_AT]); at;
       at = scan_find_byte(data, *at + 1, PAGE[PAGE_ANCHOR_AT])) {
    if (walk_marker_at(data, *at - PAGE_ANCHOR_AT, PAGE)) ++count;
  }
  return count;
}

void set_paper(ByteSpan data, JobAttribs* ja) {
  const std::uint8_t* first = search_bm(data.data(), data.size(), PAGE.data(), PAGE.size());
  const auto at = first != nullptr ? static_cast<std::uint64_t>(first - data.data()) : 0;
  if (first == nullptr || at + PAPER_CODE_AT.back() >= data.size()) {
    LOG_ERROR("xerox_gdi_remote_process_job: First page marker at EOF in ");
    LOG_ERROR("xerox_gdi_remote_process_job: Did not match paper size");
    return;
  }
  const std::array<std::uint8_t, 3> code = {data[at + PAPER_CODE_AT[0]], data[at + PAPER_CODE_AT[1]],
                                            data[at + PAPER_CODE_AT[2]]};
  for (const PaperCode& row : PAPERS) {
    if (row.code == code) {
      LOG_DEBUG("xerox_gdi_remote_process_job: Found paper size '%s'", row.name);
      ja_set_paper_size_name(ja, row.name);
      return;
    }
  }
  LOG_ERROR("xerox_gdi_remote_process_job: Did not match paper size");
}

}  // namespace

int xerox_gdi_remote_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering xerox_gdi_remote_process_job");
  const ByteSpan bytes = scan_bytes(data, length);
  const std::int64_t count = count_pages(bytes);
  if (count < 0) {
    LOG_ERROR("xerox_gdi_remote_process_job: search count failed");
    return -1;
  }
  const int pages = static_cast<int>(std::min<std::int64_t>(count, INT32_MAX));
  LOG_DEBUG("xerox_gdi_remote_process_job: found %d pages", pages);
  ja_set_pages(ja, pages);
  // No record marks colour or gray: the colour is left unjudged, never taken as gray.
  set_paper(bytes, ja);
  PjlHeaderInfo header;
  if (pjl_parse_header(data, length, &header) != 0) {
    if (header.duplex == 1) {
      ja_set_is_duplex(ja, 1);
      // The driver writes two more page headers in a two-sided job.
      if (ja->pages > 2 && ja->pages % 2 == 0) ja->pages -= 2;
    }
    if (header.tumble == 1) ja_set_is_tumble(ja, 1);
  }
  return 0;
}

const AnalyzerEntry XEROX_GDI_REMOTE_ANALYZER{"xerox_gdi_remote_process_job",
                                              format_entry_adapter<xerox_gdi_remote_process_job>};
