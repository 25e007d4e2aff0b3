#include "formats/qpdl.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "formats/dots.h"
#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/qpdl_colour.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/pjl.h"

namespace {

constexpr std::uint64_t PAGE_HEADER_SIZE = 16;
// Page headers differ from the first one in the page number (bytes 11 to
// 13) and, on the back sides of a manual duplex job, in the side flag
// (byte 9).
constexpr std::size_t HEADER_SIDE_BYTE = 9;
constexpr std::size_t HEADER_PAGE_NUMBER_FIRST = 11;
constexpr std::size_t HEADER_PAGE_NUMBER_LAST = 13;
// SpliX asks for manual duplex (the printer pauses for the sheets to be
// turned) in the job's PJL header, which the header step does not take as
// two-sided printing.
constexpr std::string_view MANUAL_DUPLEX = "@PJL SET DUPLEX=MANUAL";

struct Qpdl {
  std::array<std::uint8_t, PAGE_HEADER_SIZE> page_header{};
  bool have_page_header = false;
  int page_headers = 0;
  int dmcs = 0;
  int dmcsu = 0;
  int dmcs5 = 0;
  int record_copies = 1;
  int first_header_copies = 1;
};

bool is_page_header(const Qpdl& q, const std::uint8_t* p) {
  for (std::size_t i = 0; i < PAGE_HEADER_SIZE; ++i) {
    const bool may_differ = i == HEADER_SIDE_BYTE ||
                            (i >= HEADER_PAGE_NUMBER_FIRST && i <= HEADER_PAGE_NUMBER_LAST);
    if (!may_differ && p[i] != q.page_header[i]) return false;
  }
  return true;
}

void take_first_page_header(Qpdl* q, const std::uint8_t* p, std::uint64_t pos) {
  std::memcpy(q->page_header.data(), p, PAGE_HEADER_SIZE);
  q->have_page_header = true;
  q->page_headers = 1;
  q->first_header_copies = (p[2] << 8) | p[3];
  LOG_DEBUG("found first page marker at %u with copycount of %d", static_cast<unsigned>(pos),
            q->first_header_copies);
}

void test_dmcs(Qpdl* q, const std::uint8_t* p, std::uint64_t pos) {
  if (std::memcmp(p, "DMCS", 4) != 0) return;
  if (p[4] == 0x7D && p[5] == 0x12 && p[8] == 0x02) {
    ++q->dmcs;
    LOG_DEBUG("found dmcs at: %u", static_cast<unsigned>(pos));
  } else if (p[4] == 0x75 && p[5] == 0x10 && p[8] == 0x02) {
    ++q->dmcsu;
    LOG_DEBUG("found dmcsu at: %u", static_cast<unsigned>(pos));
  } else if (std::memcmp(p + 4, "\x05\x00\x00\x00\x03", 5) == 0) {
    ++q->dmcs5;
    LOG_DEBUG("found dmcs5 at: %u", static_cast<unsigned>(pos));
  }
}

void test_copy_records(Qpdl* q, ByteSpan d, std::uint64_t pos) {
  const std::uint8_t* p = d.data() + pos;
  if (walk_has_room(d.size(), pos, 10) && std::memcmp(p, "\x00\x9A\x0B\x34\x08\x64", 6) == 0) {
    q->record_copies = p[7];
    LOG_DEBUG("found copy count at %u of %d", static_cast<unsigned>(pos), q->record_copies);
  }
  if (walk_has_room(d.size(), pos, 35) && p[0] == 0xDC && p[4] == 0xE4 && p[5] == 0x07 &&
      std::memcmp(p + 8, "\x0F\xDF\x01\x16", 4) == 0) {
    q->record_copies = *scan_le16_at(d, pos + 32);
    LOG_DEBUG("found copy count v2 at %u of %d", static_cast<unsigned>(pos), q->record_copies);
  }
}

void test_dimensions(ByteSpan d, std::uint64_t pos, JobAttribs* ja) {
  if (!walk_has_room(d.size(), pos, 30) ||
      std::memcmp(d.data() + pos, "X\x02\x00\x00\x02\x00\x00\x00\x01", 9) != 0)
    return;
  LOG_DEBUG("found page dimensions at: %u", static_cast<unsigned>(pos));
  ja_set_page_width_height_mm(ja, dots_to_mm(*scan_le16_at(d, pos + 24), DOTS_PER_MM_QPDL),
                              dots_to_mm(*scan_le16_at(d, pos + 28), DOTS_PER_MM_QPDL));
}

void qpdl_step(Qpdl* q, ByteSpan d, std::uint64_t pos, JobAttribs* ja) {
  const std::uint8_t* p = d.data() + pos;
  if (!q->have_page_header) {
    if (pos >= PAGE_HEADER_SIZE && *p == 0 && walk_has_room(d.size(), pos, PAGE_HEADER_SIZE)) {
      take_first_page_header(q, p, pos);
      return;
    }
  } else {
    if (walk_has_room(d.size(), pos, PAGE_HEADER_SIZE) && is_page_header(*q, p)) {
      ++q->page_headers;
      LOG_DEBUG("found start page marker at: %u", static_cast<unsigned>(pos));
    }
    if (walk_has_room(d.size(), pos, 8)) test_dmcs(q, p, pos);
    test_copy_records(q, d, pos);
  }
  test_dimensions(d, pos, ja);
}

void report(const Qpdl& q, JobAttribs* ja) {
  if (q.dmcs > 0 || q.dmcsu > 0 || q.dmcs5 > 0) {
    ja_set_copy_count(ja, q.record_copies);
    ja_set_pages(ja, std::max({q.dmcs, q.dmcsu, q.dmcs5}));
  } else {
    ja_set_pages(ja, q.page_headers);
    ja_set_copy_count(ja, q.first_header_copies);
  }
}

void apply_manual_duplex(ByteSpan d, std::uint64_t first_page, JobAttribs* ja) {
  if (scan_find(d.first(first_page), 0, MANUAL_DUPLEX)) ja_set_is_duplex(ja, 1);
}

}  // namespace

int qpdl_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering qpdl_process_job");
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("QPDL");
  Qpdl q;
  // Up to the first page header every zero byte may begin it; after it,
  // each test needs its start byte and a known second byte, so the walk
  // stops only where such a pair stands rather than at every zero of the
  // raster data.
  std::uint64_t header_at = length;
  (void)format_walk(d, &timer, WalkStarts{0x00, 'X'}, [&](std::uint64_t pos) {
    qpdl_step(&q, d, pos, ja);
    if (!q.have_page_header) return pos + 1;
    header_at = pos;
    return length;
  });
  if (q.have_page_header && !timer.has_expired()) {
    const FormatPairSet pairs{{0x00, 1, q.page_header[1]},
                              {0x00, 1, 0x9A},
                              {'D', 1, 'M'},
                              {0xDC, 4, 0xE4},
                              {'X', 1, 0x02}};
    (void)format_walk_pairs(d, header_at + 1, &timer, pairs, [&](std::uint64_t pos) {
      qpdl_step(&q, d, pos, ja);
      return pos + 1;
    });
  }
  report(q, ja);
  if (q.have_page_header && !timer.has_expired())
    format_report_colour(ja, qpdl_page_colours(d, header_at, &timer), "qpdl");
  (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_720TH_INCH);
  if (q.have_page_header) apply_manual_duplex(d, header_at, ja);
  return 0;
}

const AnalyzerEntry QPDL_ANALYZER{"qpdl_process_job", format_entry_adapter<qpdl_process_job>};
