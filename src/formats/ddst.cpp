// The DDST walk: PJL lines read one at a time, each bitmap block stepped over
// by the length its IMAGELEN line gives.
#include "formats/ddst.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "formats/dots.h"
#include "formats/jbig_blank.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"
#include "scan/pjl.h"
#include "scan/position_timer.h"

namespace {

constexpr std::string_view PAGE_START = "@PJL SET PAGESTATUS=START";
constexpr std::string_view PAGE_END = "@PJL SET PAGESTATUS=END";
constexpr std::string_view IMAGELEN = "@PJL SET IMAGELEN=";
constexpr std::string_view RESOLUTION = "@PJL SET RESOLUTION=";
constexpr std::string_view END_OF_JOB = "@PJL EOJ";
// foo2ddst's manual duplex: the page-start line of the side printed after
// the pause (the sheets turned over) begins with the duplex stage, a
// big-endian 2 or 3, in place of "@PJL".
constexpr std::string_view DUPLEX_STAGE_PREFIX = {"\x00\x00\x00", 3};
constexpr std::string_view DUPLEX_STAGE_LINE = " SET PAGESTATUS=START";
constexpr std::uint8_t DUPLEX_STAGE_FIRST = 2;
constexpr std::uint8_t DUPLEX_STAGE_LAST = 3;
constexpr std::uint64_t DDST_START_WINDOW = 10240;
// PJL lines are short; a longer run without a line end is no DDST line.
constexpr std::uint64_t DDST_LINE_MAX = 512;
constexpr int DDST_MAX_RESOLUTION = 9600;

struct DdstWalk {
  ByteSpan d;
  int pages = 0;
  int blank_pages = 0;
  int resolution = 0;
  bool duplex = false;
  bool done = false;
  // The page being read.
  bool first_block = true;
  bool typical = false;
  bool has_marks = false;
};

// The page's bitmap arrives in blocks: the first begins with its header.
void ddst_block(DdstWalk* w, ByteSpan block) {
  ByteSpan stripes = block;
  if (w->first_block) {
    w->typical = jbig_bih_has_typical_prediction(block);
    stripes = block.subspan(std::min<std::uint64_t>(block.size(), JBIG_BIH_SIZE));
    w->first_block = false;
  }
  if (!w->typical || !jbig_stripes_are_blank(stripes)) w->has_marks = true;
}

void ddst_page_end(DdstWalk* w) {
  ++w->pages;
  if (!w->has_marks) ++w->blank_pages;
  w->first_block = true;
  w->typical = false;
  w->has_marks = false;
}

// The number behind `key` on the line, when it is one.
std::optional<std::int64_t> line_number(std::string_view line, std::string_view key) {
  const DecimalRead read = decimal_read(line.substr(key.size()), DecimalSign::NONE);
  if (read.length == 0) return std::nullopt;
  return read.value;
}

// Reads the PJL line at `pos` (and the block it announces): where the walk
// goes on, or nothing when the line or its block does not fit.
std::optional<std::uint64_t> ddst_line(DdstWalk* w, std::uint64_t pos) {
  const ByteSpan window =
      w->d.subspan(pos, std::min<std::uint64_t>(w->d.size() - pos, DDST_LINE_MAX));
  const auto newline = scan_find_byte(window, 0, '\n');
  if (!newline) return std::nullopt;
  const std::string_view line = scan_text(window.first(*newline));
  const std::uint64_t next = pos + *newline + 1;
  if (line.starts_with(IMAGELEN)) {
    const auto n = line_number(line, IMAGELEN);
    if (!n || static_cast<std::uint64_t>(*n) > w->d.size() - next) return std::nullopt;
    ddst_block(w, w->d.subspan(next, static_cast<std::uint64_t>(*n)));
    return next + static_cast<std::uint64_t>(*n);
  }
  if (line.starts_with(PAGE_END)) {
    ddst_page_end(w);
  } else if (line.starts_with(RESOLUTION)) {
    const std::int64_t dpi = line_number(line, RESOLUTION).value_or(0);
    w->resolution = static_cast<int>(std::min<std::int64_t>(dpi, DDST_MAX_RESOLUTION));
  } else if (line.starts_with(END_OF_JOB)) {
    w->done = true;
  }
  return next;
}

bool is_duplex_stage_line(ByteSpan d, std::uint64_t pos) {
  if (!scan_bytes_at(d, pos, DUPLEX_STAGE_PREFIX) || d.size() - pos <= DUPLEX_STAGE_PREFIX.size())
    return false;
  const std::uint8_t stage = d[pos + DUPLEX_STAGE_PREFIX.size()];
  return stage >= DUPLEX_STAGE_FIRST && stage <= DUPLEX_STAGE_LAST &&
         scan_bytes_at(d, pos + DUPLEX_STAGE_PREFIX.size() + 1, DUPLEX_STAGE_LINE);
}

std::optional<std::uint64_t> ddst_step(DdstWalk* w, std::uint64_t pos) {
  if (scan_bytes_at(w->d, pos, "@PJL")) return ddst_line(w, pos);
  if (is_duplex_stage_line(w->d, pos)) {
    w->duplex = true;
    const auto newline = scan_find_byte(w->d, pos, '\n');
    return newline ? *newline + 1 : w->d.size();
  }
  if (scan_bytes_at(w->d, pos, PJL_UEL)) {
    w->done = true;
    return pos;
  }
  return std::nullopt;
}

void ddst_report(const DdstWalk& w, const std::uint8_t* data, std::uint64_t length,
                 JobAttribs* ja) {
  ja_set_pages(ja, pages_without_blank_back_side(w.pages, w.duplex, w.blank_pages));
  if (w.duplex) ja_set_is_duplex(ja, 1);
  ja_set_copy_count(ja, 1);
  // PAPERWIDTH and PAPERLENGTH are in the job's dots.
  const double unit =
      w.resolution > 0 ? mm_per_dot(static_cast<std::uint32_t>(w.resolution)) : PJL_UNIT_720TH_INCH;
  (void)pjl_set_job_attributes_inline(data, length, ja, unit);
}

}  // namespace

int ddst_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  DdstWalk w;
  w.d = scan_bytes(data, length);
  const auto start =
      scan_find(w.d.first(std::min<std::uint64_t>(length, DDST_START_WINDOW)), 0, PAGE_START);
  if (!start) return 0;
  WalkTimer timer("KMGDI");
  std::uint64_t pos = *start;
  while (pos < length && !w.done && !timer.expired(pos)) {
    const auto next = ddst_step(&w, pos);
    if (!next) {
      LOG_DEBUG("ddst: no PJL line or block fits at %llu", static_cast<unsigned long long>(pos));
      return 0;
    }
    pos = *next;
  }
  LOG_DEBUG("ddst: pages=%d,blank=%d,duplex=%d,resolution=%d", w.pages, w.blank_pages,
            w.duplex ? 1 : 0, w.resolution);
  ddst_report(w, data, length, ja);
  return 1;
}
