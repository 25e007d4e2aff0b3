// Canon UFR and LIPS: one walk, then the decisions, by a fixed order of
// preference, of which count gives the pages and which the copies.
#include "formats/canonufr.h"

#include <array>
#include <cmath>
#include <string>
#include <string_view>

#include "formats/canonufr_internal.h"
#include "formats/format_colour.h"
#include "formats/format_walk.h"
#include "formats/lips.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/canon.h"
#include "scan/pjl.h"

using namespace std::string_view_literals;

namespace {

// PJL sizes of these drivers are in tenths of a millimetre.
constexpr double PJL_UNIT_TENTH_MM = 0.1;

constexpr std::array<WalkCodeName, 12> LIPS_ALTERNATE_PAPERS = {{{22, "A3"},
                                                                 {16, "A4"},
                                                                 {17, "A4"},
                                                                 {24, "A5"},
                                                                 {26, "A5"},
                                                                 {27, "B4"},
                                                                 {28, "B5"},
                                                                 {29, "LETTER"},
                                                                 {30, "LETTER"},
                                                                 {33, "LEGAL"},
                                                                 {34, "LEGAL"},
                                                                 {31, "11X17"}}};
constexpr std::array<WalkCodeName, 13> LIPS_PAPERS = {{{12, "A3"},
                                                      {13, "A3"},
                                                      {14, "A4"},
                                                      {15, "A4"},
                                                      {16, "A5"},
                                                      {17, "A5"},
                                                      {24, "B4"},
                                                      {25, "B4"},
                                                      {26, "B5"},
                                                      {30, "LETTER"},
                                                      {32, "LEGAL"},
                                                      {34, "11X17"},
                                                      {40, "EXECUTIVE"}}};

void walk(CanonUfrScan* s) {
  WalkTimer timer("Canon UFR");
  if (format_walk(s->d, &timer, WalkStarts::any(),
                  [s](std::uint64_t p) { return canonufr_step(s, p); })) {
    LOG_DEBUG("Reached end of file");
  }
}

std::string paper_name(const CanonUfrScan& s) {
  if (s.paper_number >= 1) {
    LOG_DEBUG("using paper size from number in file");
    return canon_int_to_papersize(s.paper_number);
  }
  if (s.lips_paper >= 1) {
    LOG_DEBUG("using LIPS paper size number in file");
    if (const char* name = walk_code_name(LIPS_ALTERNATE_PAPERS, s.lips_alternate_paper)) {
      return name;
    }
    if (const char* name = walk_code_name(LIPS_PAPERS, s.lips_paper)) return name;
    LOG_DEBUG("Unable to find Canon LIPS paper size for: %d", s.lips_paper);
    LOG_DEBUG("Unable to find Canon LIPS paper size [2] for: %d", s.lips_alternate_paper);
    return "";
  }
  LOG_DEBUG("using paper size cpca header");
  return canon_cpca_papersize(s.d.data(), s.d.size());
}

// A paper name INCH_<w>X<h> gives the size in millimetres when none is known.
void size_from_inch_name(const CanonUfrScan& s) {
  JobAttribs* ja = s.ja;
  const std::string_view name = ja->paper_size_name;
  if (name.empty() || (ja->page_width_mm > 0 && ja->page_height_mm > 0)) return;
  const ScanMatch m = s.re->inch.match(name);
  if (!m.matched) return;
  LOG_DEBUG("Paper size name in format '%s', converting to mm", ja->paper_size_name);
  const double w = std::floor(
      static_cast<double>(decimal_read(m.group(1), DecimalSign::NONE).value) * 25.4 + 0.5);
  const double h = std::floor(
      static_cast<double>(decimal_read(m.group(2), DecimalSign::NONE).value) * 25.4 + 0.5);
  LOG_DEBUG("Paper size name %s converted to dimensions %.0fx%.0f", ja->paper_size_name, w, h);
  ja_set_page_width_height_mm(ja, w, h);
}

void job_settings(const CanonUfrScan& s, int cpca_copies) {
  JobAttribs* ja = s.ja;
  const std::uint8_t* data = s.d.data();
  const std::uint64_t length = s.d.size();
  ja_set_paper_size_name(ja, paper_name(s).c_str());
  if (cpca_copies > 1) ja_set_copy_count(ja, cpca_copies);
  if (canon_has_cpca_grayscale(data, length, nullptr) != 0) ja_set_is_grayscale(ja, 1);
  if (s.pcl5_gray_header && !s.pcl5_color_header) {
    LOG_DEBUG("Found PCL5 grayscale image header and did not find color header => grayscale");
    ja_set_is_grayscale(ja, 1);
  }
  if (canon_has_cpca_duplex(data, length) != 0) {
    LOG_DEBUG("Found CPCA Duplex");
    ja_set_is_duplex(ja, 1);
  }
  if (s.pjl_seen) (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_TENTH_MM);
  size_from_inch_name(s);
}

// Without LIPS end-of-page commands: the CPCA impression counters. When the
// first counter repeats the CPCA copy count, it counts copies, not pages,
// and the copies stand.
void impression_pages(const CanonUfrScan& s, int cpca_copies) {
  JobAttribs* ja = s.ja;
  if (ja->pages < s.impression_2) {
    LOG_DEBUG("Using impression2 count of %d", s.impression_2);
    ja_set_pages(ja, s.impression_2);
    ja_set_copy_count(ja, 1);
  }
  if (s.impression_1 == cpca_copies && s.impression_1 > 1) {
    LOG_DEBUG("copies means copies. cpca_copies=impression_cntf=%d", s.impression_1);
    return;
  }
  if (ja->pages < s.impression_1) {
    LOG_DEBUG("Using impression1 count of %d", s.impression_1);
    ja_set_pages(ja, s.impression_1);
    ja_set_copy_count(ja, 1);
  }
  if (s.impression_2 > 0 || s.impression_1 > 0) {
    ja_set_copy_count(ja, s.inline_copies < 1 ? 1 : s.inline_copies);
  }
}

void pages_and_copies(CanonUfrScan* s, int cpca_copies) {
  JobAttribs* ja = s->ja;
  if (s->eop > 0 && s->ipf5100 > 0) {
    LOG_DEBUG("canonuf: pages2=%d, resetting eop_cnt %d=>0", s->mf5700, s->eop);
    s->eop = 0;
  }
  if (s->eop > 0) {
    ja_set_pages(ja, s->eop);
    LOG_DEBUG("EOP page count is %d x %d = %d", s->eop, ja->copy_count, ja->pages);
    if (s->impression_1 == cpca_copies && s->impression_1 > 1) {
      LOG_DEBUG("copies means copies. cpca_copies=impression_cntf=%d", s->impression_1);
    }
  } else {
    impression_pages(*s, cpca_copies);
  }
  const std::int32_t page_ends = s->mf5700 > 0    ? s->mf5700
                                 : s->ipf5100 > 0 ? s->ipf5100
                                 : s->ir5075 > 0  ? s->ir5075
                                                  : s->lbp9250;
  if (page_ends > 0 && ja->pages <= 1) {
    LOG_DEBUG("Using end of page count of %d", page_ends);
    ja_set_pages(ja, page_ends);
    if (s->img_color_copies > 1) {
      LOG_DEBUG("Setting copies to %d", s->img_color_copies);
      ja_set_copy_count(ja, s->img_color_copies);
    }
  }
  if (s->lbp8730 > 0) {
    LOG_DEBUG("Setting number_end_page_lbp_8730 pages=%d", s->lbp8730);
    ja_set_pages(ja, s->lbp8730);
  }
}

}  // namespace

void canonufr_decide(CanonUfrScan* s) {
  const int cpca_copies = canon_get_cpca_copycount(s->d.data(), s->d.size());
  job_settings(*s, cpca_copies);
  pages_and_copies(s, cpca_copies);
}

namespace {

// A LIPS job without PJL or CPCA packets has none of the counts the UFR
// decisions weigh: its pages are its form feeds. A stream this walk cannot
// follow is not analysed rather than counted wrong.
int bare_lips_job(ByteSpan d, JobAttribs* ja) {
  WalkTimer timer("Canon LIPS");
  const LipsCount count = lips_pages(d, &timer);
  if (!count.reliable) {
    LOG_ERROR("Unable to follow the LIPS commands: the job is not analysed");
    return -1;
  }
  LOG_DEBUG("LIPS job without PJL: pages=%d", count.pages);
  ja_set_pages(ja, count.pages);
  if (const char* name = walk_code_name(LIPS_PAPERS, count.paper)) {
    ja_set_paper_size_name(ja, name);
  }
  return 0;
}

}  // namespace

int canonufr_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering canonufr_process_job");
  const ByteSpan d = scan_bytes(data, data != nullptr ? length : 0);
  if (lips_bare_job(d)) return bare_lips_job(d, ja);
  const CanonUfrPatterns patterns;
  CanonUfrScan s;
  s.d = d;
  s.ja = ja;
  s.re = &patterns;
  walk(&s);
  canonufr_decide(&s);
  return 0;
}

namespace {
// A job that CPCA, its PCL5 image headers or its PJL header put in gray is
// judged gray; UFR's own raster is not read for colour.
int canonufr_adapter(const std::uint8_t* data, std::uint64_t length, int, JobAttribs* ja) {
  const int result = canonufr_process_job(data, length, ja);
  format_judge_gray_mode(ja);
  return result;
}
}  // namespace

const AnalyzerEntry CANONUFR_ANALYZER{"canonufr_process_job", canonufr_adapter};
