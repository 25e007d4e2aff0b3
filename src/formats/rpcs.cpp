// RPCS: the page records found by a walk over their first bytes, and the
// RPCR job header.
#include "formats/rpcs.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "scan/inline_copies.h"
#include "scan/pjl.h"
#include "scan/scan_regex.h"

namespace {

using namespace std::string_view_literals;

// Record layouts: '?' stands for any byte.
constexpr std::string_view COUNTED_START = "\x22\x00\x01??\x00\x01\x00\x01\x85\xff"sv;
constexpr std::string_view END_OF_PAGE = "\x25\x00\x00\x00?\x23"sv;
constexpr std::string_view START_1 = "g?d?w?A"sv;
constexpr std::string_view START_2 = "g?d?w?B?A"sv;
constexpr std::string_view START_3 = "g?d?w???B?A"sv;
constexpr std::string_view START_4 = "g?d?w?B?WA"sv;
constexpr std::string_view START_5 = "\x00\x01\x00\x01\x85\x01\x01\x00\x00\x00\x02\x58??\x00\x00\x13"sv;
constexpr std::string_view START_6 = "\x00\x10\x6d\x02\x70\x01\x69?\x63\x00\x00"sv;

constexpr std::uint64_t RPCR_HEAD = 10000;
constexpr std::uint64_t RPCR_HEADER_SIZE = 50;

struct RpcsWalk {
  ByteSpan d;
  int starts = 0;
  bool repeats_first = false;
  int starts5 = 0;
  int starts6 = 0;
  int ends = 0;
};

unsigned long long at(std::uint64_t p) { return static_cast<unsigned long long>(p); }

// true when `layout` stands at p with more than `room` bytes from p on.
bool record_at(ByteSpan d, std::uint64_t p, std::uint64_t room, std::string_view layout) {
  if (!walk_has_room(d.size(), p, room) || layout.size() > d.size() - p) return false;
  for (std::size_t i = 0; i < layout.size(); ++i) {
    if (layout[i] != '?' && d[p + i] != static_cast<std::uint8_t>(layout[i])) return false;
  }
  return true;
}

void counted_start(RpcsWalk* w, std::uint64_t p) {
  const int n = scan_be16_at(w->d, p + 3).value_or(0);
  LOG_DEBUG("found page count of %d at start of page at: 0x%llx (%llu)", n, at(p), at(p));
  if (n == 1 && w->starts == 1) {
    // The job repeats its first page header.
    w->starts = 2;
    w->repeats_first = true;
    return;
  }
  ++w->starts;
  if (n != w->starts && !w->repeats_first) {
    LOG_DEBUG("WARNING: param_count (%d) != page counter (%d)", n, w->starts);
  }
}

std::uint64_t step(RpcsWalk* w, std::uint64_t p) {
  const ByteSpan d = w->d;
  if (record_at(d, p, 12, COUNTED_START)) {
    counted_start(w, p);
    return p + 12;
  }
  if (record_at(d, p, 5, END_OF_PAGE)) {
    ++w->ends;
    LOG_DEBUG("found end of page at: %llu", at(p));
    return p + END_OF_PAGE.size();
  }
  if (record_at(d, p, 7, START_1) || record_at(d, p, 7, START_2)) {
    ++w->starts;
    LOG_DEBUG(d[p + 6] == 'A' ? "found start of page at: %llu" : "found start of page (2) at: %llu",
              at(p));
    return p + 7;
  }
  if (record_at(d, p, 10, START_3)) {
    ++w->starts;
    LOG_DEBUG("found start of page (3) at: %llu", at(p));
    return p + 10;
  }
  if (record_at(d, p, 10, START_4)) {
    ++w->starts;
    LOG_DEBUG("found start of page (4) at: %llu", at(p));
    return p + 9;
  }
  if (record_at(d, p, 16, START_5)) {
    ++w->starts5;
    LOG_DEBUG("found start of page (5) at: %llu", at(p));
    return p + START_5.size();
  }
  if (record_at(d, p, 10, START_6)) {
    ++w->starts6;
    LOG_DEBUG("found start of page (6) pages_start6=%d at: %llu", w->starts6, at(p));
    return p + START_6.size();
  }
  return p + 1;
}

int page_count(const RpcsWalk& w) {
  if (w.repeats_first && w.starts - 1 != 0) {
    LOG_DEBUG("Setting ja->pages = pages_start-1 = %d", w.starts - 1);
    return w.starts - 1;
  }
  if (!w.repeats_first && w.starts != 0) {
    LOG_DEBUG("Setting ja->pages = pages_start = %d", w.starts);
    return w.starts;
  }
  if (w.starts5 != 0) {
    LOG_DEBUG("Setting ja->pages = pages_start5 = %d", w.starts5);
    return w.starts5;
  }
  if (w.starts6 != 0) {
    LOG_DEBUG("Setting ja->pages = pages_start6 = %d", w.starts6);
    return w.starts6;
  }
  LOG_DEBUG("Setting ja->pages = pages_end = %d", w.ends);
  return w.ends;
}

const char* rpcr_paper(int code) {
  static constexpr WalkCodeName PAPERS[] = {{6, "A5"}, {133, "A4"}, {135, "A6"}, {142, "B5"}};
  return walk_code_name(PAPERS, code);
}

// The 50-byte RPCR job header: copies and, for a job without paper, the
// paper code or the page size in dots.
void rpcr_header(ByteSpan h, JobAttribs* ja) {
  if (h[0] != 0x80) {
    LOG_DEBUG("rprc_header[0]=0x%02X!=0x80 . Not a known RPCR header", h[0]);
    return;
  }
  const int copies = scan_be16_at(h, 8).value_or(0);
  const double height_dots = scan_be16_at(h, 34).value_or(0);
  const double width_dots = scan_be16_at(h, 38).value_or(0);
  int width = static_cast<int>(std::lround(width_dots / 16.7));
  int height = static_cast<int>(std::lround(height_dots / 16.7));
  if (2 * width < height) {
    width = static_cast<int>(std::lround(width_dots / 8.35));
    height = static_cast<int>(std::lround(height_dots / 33.4));
  }
  if (width < 100 || width > 700 || height < 100 || height > 700 || copies < 1 || copies > 1000) {
    LOG_DEBUG("invalid rprc_header: copy_count=%d,page_width_mm=%d,page_height_mm=%d", copies,
              width, height);
    return;
  }
  if (copies > 1 && ja->copy_count <= 1) ja_set_copy_count(ja, copies);
  if (ja->paper_size_name[0] != '\0' || ja->page_width_mm > 0) return;
  const std::uint8_t height_low = h[35];
  const char* name = rpcr_paper(h[22]);
  if (name != nullptr && (height_low == 0xAB || height_low == 0x5E || height_low == 0xCC)) {
    ja_set_paper_size_name(ja, name);
  } else {
    ja_set_page_width_height_mm(ja, width, height);
  }
}

void rpcr(ByteSpan d, JobAttribs* ja) {
  const ScanRegex signature("@PJL\\s*ENTER\\s*LANGUAGE\\s*=\\s*RPCR\\s+", PCRE_MULTILINE);
  if (!signature.ok()) {
    LOG_ERROR("regex_compile failed");
    return;
  }
  const ByteSpan head = d.first(std::min<std::uint64_t>(d.size(), RPCR_HEAD));
  const ScanMatch m = signature.match(scan_text(head));
  if (!m.matched) {
    LOG_DEBUG("Could not find RPCR signature in RPCR file");
    return;
  }
  const std::string text(m.group(0));
  LOG_DEBUG("Found RPCR signature '%s' at %llu", text.c_str(), at(m.start));
  if (d.size() - m.end < RPCR_HEADER_SIZE) {
    LOG_DEBUG("No room for RPCR header starting at %llu in file of length %llu", at(m.end),
              at(d.size()));
    return;
  }
  rpcr_header(d.subspan(m.end, RPCR_HEADER_SIZE), ja);
}

}  // namespace

int rpcs_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering rpcs_process_job");
  RpcsWalk w;
  w.d = scan_bytes(data, data != nullptr ? length : 0);
  WalkTimer timer("RPCS");
  // Each layout has a fixed byte a little after its first one, so the walk
  // stops only where both stand, not at every zero of the raster data.
  const FormatPairSet pairs{
      {0x22, 2, 0x01}, {0x25, 5, 0x23}, {'g', 2, 'd'}, {0x00, 1, 0x01}, {0x00, 1, 0x10}};
  (void)format_walk_pairs(w.d, 0, &timer, pairs, [&](std::uint64_t p) { return step(&w, p); });
  ja_set_pages(ja, page_count(w));
  (void)pjl_set_job_attributes(data, w.d.size(), ja, PJL_UNIT_720TH_INCH);
  rpcr(w.d, ja);
  if (ja->copy_count >= 2 && ja->pages >= 2 &&
      has_num_inline_copies(data, w.d.size(), ja->copy_count, ja->pages, INLINE_COPIES_BY_EXIT)) {
    const int pages = std::max(ja->pages / ja->copy_count, 1);
    LOG_DEBUG("Inline copies=%d. Setting pages=%d", ja->copy_count, pages);
    ja_set_pages(ja, pages);
  }
  return 0;
}

const AnalyzerEntry RPCS_ANALYZER{"rpcs_process_job", format_entry_adapter<rpcs_process_job>};
