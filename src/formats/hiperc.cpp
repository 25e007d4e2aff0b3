#include "formats/hiperc.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "formats/format_colour.h"
#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "foundation/ascii.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/pjl.h"

namespace {

constexpr std::string_view ENTER_HIPERC = "@PJL ENTER LANGUAGE=HIPERC";
constexpr std::uint64_t HIPERC_HEADER_SIZE = 16;
constexpr std::size_t HIPERC_TYPE_OFFSET = 14;
constexpr std::uint8_t HIPERC_TYPE_NO_ADDED_PAGE = 0x80;

struct Hiperc {
  int added_page = 1;
  int end_pages = 0;
  bool entered = false;  // the ENTER LANGUAGE line was stepped over
  std::uint64_t records_at = 0;  // the first record (the header read), 0 when none
};

// HiperC records: a BE32 length (the whole record), a BE32 type, then
// blocks. A plane record (type 0) opens each bitmap plane of a page: its
// first block holds the number of planes it opens and the first plane's
// number (0 cyan, 1 magenta, 2 yellow, 3 black); an end record (FF, 8
// bytes) ends the page. foo2hiperc opens only the black plane on a page
// without colour.
constexpr std::uint64_t HIPERC_RECORD_HEADER = 8;
constexpr std::uint32_t HIPERC_PLANE_RECORD = 0;
constexpr std::uint32_t HIPERC_END_OF_PAGE = 0xFF;
constexpr std::uint64_t HIPERC_PLANE_COUNT = 12;
constexpr std::uint64_t HIPERC_PLANE_NUMBER = 13;
constexpr std::uint8_t HIPERC_BLACK_PLANE = 3;

// The pages and colour pages of the records from `pos` to the universal
// exit (or the end of the data); nothing when a record does not fit.
std::optional<PageColours> hiperc_page_colours(ByteSpan d, std::uint64_t pos, WalkTimer* timer) {
  PageColours c;
  bool colour = false;
  while (pos < d.size() && !scan_bytes_at(d, pos, PJL_UEL)) {
    const auto length = scan_be32_at(d, pos);
    const auto type = scan_be32_at(d, pos + 4);
    if (timer->expired(pos) || !length || !type || *length < HIPERC_RECORD_HEADER ||
        *length > d.size() - pos)
      return std::nullopt;
    if (*type == HIPERC_PLANE_RECORD) {
      if (*length <= HIPERC_PLANE_NUMBER) return std::nullopt;
      const std::uint8_t planes = d[pos + HIPERC_PLANE_COUNT];
      const std::uint8_t first = d[pos + HIPERC_PLANE_NUMBER];
      if (planes > 1 || first < HIPERC_BLACK_PLANE) colour = true;
    } else if (*type == HIPERC_END_OF_PAGE) {
      ++c.pages;
      if (colour) ++c.colour_pages;
      colour = false;
    }
    pos += *length;
  }
  return c;
}

std::uint64_t read_header(Hiperc* h, ByteSpan d, std::uint64_t pos) {
  const std::uint8_t* p = d.data() + pos;
  h->added_page = p[HIPERC_TYPE_OFFSET] == HIPERC_TYPE_NO_ADDED_PAGE ? 0 : 1;
  std::string shown;
  char hex[8];
  for (std::uint64_t i = 0; i < HIPERC_HEADER_SIZE; ++i) {
    std::snprintf(hex, sizeof hex, "0x%02x,", p[i]);
    shown += hex;
  }
  LOG_DEBUG("Got HiperC header: [%s] p[HIPERC_TYPE_OFFSET]=0x%02x, added_pages=%d", shown.c_str(),
            p[HIPERC_TYPE_OFFSET], h->added_page);
  return pos + HIPERC_HEADER_SIZE;
}

// A page ends with either record form. The second stands before the next
// page's first record, whose bytes 12 to 16 are 10 01 03 00 11 on a
// monochrome page and 10 04 00 00 11 on a colour one (four planes).
bool is_end_of_page_type2(ByteSpan d, std::uint64_t pos) {
  if (!walk_has_room(d.size(), pos, 20) || !scan_bytes_at(d, pos, {"\xff\x00\x00\x00\x34", 5}))
    return false;
  return scan_bytes_at(d, pos + 12, {"\x10\x01\x03\x00\x11", 5}) ||
         scan_bytes_at(d, pos + 12, {"\x10\x04\x00\x00\x11", 5});
}

// The first byte of the second end-of-page form (FF) is common in HiperC
// data, its fifth (34) is rare: the walk stops at that fifth byte and tests
// the record four bytes back.
constexpr std::uint64_t TYPE2_KEY_OFFSET = 4;

std::uint64_t hiperc_step(Hiperc* h, ByteSpan d, std::uint64_t pos) {
  if (!h->entered && d[pos] == '@' && walk_has_room(d.size(), pos, 26) &&
      scan_bytes_at(d, pos, ENTER_HIPERC)) {
    h->entered = true;
    std::uint64_t at = pos + ENTER_HIPERC.size();
    while (at < d.size() && ascii_is_space(d[at])) ++at;
    if (!walk_has_room(d.size(), at, HIPERC_HEADER_SIZE)) return at;
    h->records_at = at;
    return read_header(h, d, at);
  }
  if (walk_has_room(d.size(), pos, 10) &&
      scan_bytes_at(d, pos, {"\x02\x00\x00\x00\x08\x00\x00\x00\xff", 9})) {
    ++h->end_pages;
    LOG_DEBUG("found end of page at: 0x%x (%d)", static_cast<unsigned>(pos), static_cast<int>(pos));
    return pos + 10;
  }
  return pos + 1;
}

// The walk over the stops '@', 02 (records that begin there) and 34 (the
// key byte of the second end-of-page form). `resume` is where the walk was
// last told to go on: a record that begins before it was stepped over.
void hiperc_walk(Hiperc* h, ByteSpan d, WalkTimer* timer) {
  std::uint64_t resume = 0;
  (void)format_walk(d, timer, WalkStarts{'@', 0x02, 0x34}, [&](std::uint64_t pos) {
    std::uint64_t next = pos + 1;
    if (d[pos] != 0x34) {
      next = hiperc_step(h, d, pos);
    } else if (pos >= TYPE2_KEY_OFFSET && pos - TYPE2_KEY_OFFSET >= resume &&
               is_end_of_page_type2(d, pos - TYPE2_KEY_OFFSET)) {
      const std::uint64_t at = pos - TYPE2_KEY_OFFSET;
      ++h->end_pages;
      LOG_DEBUG("found end of page (type2) at: 0x%x (%d)", static_cast<unsigned>(at),
                static_cast<int>(at));
      next = at + 20;
    }
    if (next > pos + 1) resume = next;
    return next;
  });
}

}  // namespace

int hiperc_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering hiperc_process_job");
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("HIPERC");
  Hiperc h;
  if (scan_bytes_at(d, 0, "OkiXferAdjust")) {
    h.added_page = 0;
    LOG_DEBUG("Found OkiXferAdjust Setting added_page=0 (can be overridden");
  }
  hiperc_walk(&h, d, &timer);
  ja_set_pages(ja, h.added_page + h.end_pages);
  if (h.records_at != 0 && !timer.has_expired())
    format_report_colour(ja, hiperc_page_colours(d, h.records_at, &timer), "hiperc");
  (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_720TH_INCH);
  return 0;
}

const AnalyzerEntry HIPERC_ANALYZER{"hiperc_process_job", format_entry_adapter<hiperc_process_job>};
