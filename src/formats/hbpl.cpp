#include "formats/hbpl.h"

#include <cstring>

#include "formats/dots.h"
#include "formats/format_colour.h"
#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/pjl.h"

namespace {

constexpr std::string_view END_PAGE = "EndPage of Physical\"";

// The page-start record that begins with the FX page marker (ESC "PS<",
// HBPL version 2, as foo2hbpl2 writes it) is 60 bytes long; byte 20 holds
// the paper code and byte 22 the page's colour (0 gray, 1 colour).
constexpr std::uint64_t PAGE_START_SIZE = 60;
constexpr std::uint64_t PAGE_START_PAPER = 20;
constexpr std::uint64_t PAGE_START_COLOUR = 22;
constexpr WalkCodeName PAGE_START_PAPERS[] = {
    {1, "A4"}, {3, "A5"}, {4, "Letter"}, {5, "Executive"}, {7, "Legal"}};

struct Hbpl {
  int end_pages = 0;
  int sd_pages = 0;
  int fx_pages = 0;
  int width_mm = -1;
  int height_mm = -1;
  int colour_pages = 0;
  int unjudged_pages = 0;  // FX pages without a colour byte of 0 or 1
  int paper = -1;          // the first page-start record's paper code
};

// The page-start record behind an FX page marker at `at`.
void read_page_start(Hbpl* h, ByteSpan d, std::uint64_t at) {
  if (!walk_has_room(d.size(), at, PAGE_START_SIZE - 1)) {
    ++h->unjudged_pages;
    return;
  }
  const std::uint8_t colour = d[at + PAGE_START_COLOUR];
  if (colour > 1) {
    ++h->unjudged_pages;
  } else {
    h->colour_pages += colour;
  }
  if (h->paper < 0) h->paper = d[at + PAGE_START_PAPER];
}

// The tests at one position, each starting where the previous one left the
// walk; returns where the walk goes on.
std::uint64_t hbpl_step(Hbpl* h, ByteSpan d, std::uint64_t pos) {
  std::uint64_t at = pos;
  if (walk_has_room(d.size(), at, 20) && scan_bytes_at(d, at, END_PAGE)) {
    ++h->end_pages;
    LOG_DEBUG("found new page at: %u", static_cast<unsigned>(at));
    at += 20;
  }
  if (walk_has_room(d.size(), at, 20) && d[at] == 'S' && d[at + 1] == 'D' &&
      (d[at + 2] == 'B' || d[at + 2] == 'C')) {
    ++h->sd_pages;
    LOG_DEBUG("found new page v2 at: %u", static_cast<unsigned>(at));
    at += 3;
  }
  if (walk_has_room(d.size(), at, 4) && d[at] == 0x1B) {
    if (!scan_bytes_at(d, at, "\x1bPS<")) return at > pos ? at : pos + 1;
    ++h->fx_pages;
    LOG_DEBUG("hbpl: found fx page marker at: %u", static_cast<unsigned>(at));
    read_page_start(h, d, at);
    at += 4;
  }
  if (walk_has_room(d.size(), at, 11) &&
      std::memcmp(d.data() + at, "\x01\x00\x00\x00\x9A\xC4", 6) == 0) {
    h->width_mm = dots_to_mm(*scan_le16_at(d, at + 6), DOTS_PER_MM_600_DPI);
    h->height_mm = dots_to_mm(*scan_le16_at(d, at + 10), DOTS_PER_MM_600_DPI);
    LOG_DEBUG("found HBPL hex page dimensions at %u: %dx%d", static_cast<unsigned>(at),
              h->width_mm, h->height_mm);
  }
  return at > pos ? at : pos + 1;
}

// Pages counted by their page-start records: their colour when every one
// gives it, and the first one's paper.
void report_page_starts(const Hbpl& h, JobAttribs* ja) {
  if (h.unjudged_pages == 0) format_set_judged_colour(ja, h.colour_pages);
  if (const char* paper = walk_code_name(PAGE_START_PAPERS, h.paper); paper != nullptr)
    ja_set_paper_size_name(ja, paper);
}

void report_pages(const Hbpl& h, JobAttribs* ja) {
  if (h.end_pages != 0) {
    LOG_DEBUG("using page count from stream");
    ja_set_pages(ja, h.end_pages);
  } else if (h.fx_pages != 0) {
    ja_set_pages(ja, h.fx_pages);
    report_page_starts(h, ja);
  } else if (h.sd_pages != 0) {
    ja_set_pages(ja, h.sd_pages);
    LOG_DEBUG("using page dimensions from HBPL hex");
    ja_set_page_width_height_mm(ja, h.width_mm, h.height_mm);
  }
  ja_set_copy_count(ja, 1);
}

void apply_trailer(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  PjlTrailerInfo t{};
  if (pjl_parse_trailer(data, length, &t) != 1) return;
  if (t.pages >= 0) ja_set_pages(ja, t.pages);
  if (t.color_pages >= 0) ja_set_color_pages(ja, t.color_pages);
  if (t.page_width > 0 && t.page_height > 0) ja_set_page_width_height_mm(ja, t.page_width, t.page_height);
  if (pjl_trailer_is_duplex(t)) ja_set_is_duplex(ja, 1);
  if (t.copies > 1 && ja->copy_count < 2) ja_set_copy_count(ja, t.copies);
}

// The inline header step; a job whose size is still unknown after the
// header's size, that names no paper and whose records name none prints on
// A4.
void apply_header(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  PjlHeaderInfo header;
  if (pjl_parse_header(data, length, &header) != 1) return;
  pjl_apply_header(header, ja, PJL_UNIT_720TH_INCH, PjlPrinterTypeRule::PRINTER_MODEL_ALWAYS);
  if (header.paper_name[0] == '\0' && ja->paper_size_name[0] == '\0' &&
      (ja->page_width_mm < 1 || ja->page_height_mm < 1))
    ja_set_paper_size_name(ja, "A4");
}

}  // namespace

int hbpl_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering hbpl_process_job");
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("HBPL");
  Hbpl h;
  // Each test needs its first two bytes (the size record its first and
  // fifth), so the walk stops only where such a pair stands.
  const FormatPairSet pairs{{'E', 1, 'n'}, {'S', 1, 'D'}, {0x1B, 1, 'P'}, {0x01, 4, 0x9A}};
  (void)format_walk_pairs(d, 0, &timer, pairs,
                          [&](std::uint64_t pos) { return hbpl_step(&h, d, pos); });
  report_pages(h, ja);
  apply_trailer(data, length, ja);
  apply_header(data, length, ja);
  return 0;
}

const AnalyzerEntry HBPL_ANALYZER{"hbpl_process_job", format_entry_adapter<hbpl_process_job>};
