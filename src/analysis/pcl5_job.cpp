// The PCL5 analyzer: the scan, then the summary that turns its counters and
// flags into the job's pages, copies, duplex, grayscale, paper and colour
// pages, with the PJL header, XPIF ticket and trailers around the job.
#include <algorithm>
#include <cmath>

#include "analysis/pcl5.h"
#include "analysis/pcl5_blank_page.h"
#include "analysis/pcl5_scan.h"
#include "foundation/config.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/inline_copies.h"
#include "scan/kyocerameta.h"
#include "scan/pjl.h"
#include "scan/xpif.h"

namespace {

constexpr double MM_PER_INCH = 25.4;
constexpr double PJL_720THS_PER_INCH = 720.0;
constexpr std::uint64_t AVEVA_EMPTY_LAST_PAGE = 5;

int clamp_int(std::int64_t v) { return decimal_clamp<int>(v); }

// What the summary carries from step to step besides the record.
struct Summary {
  const std::uint8_t* data;
  std::uint64_t length;
  Pcl5ScanState& st;
  JobAttribs* ja;
  std::int64_t pages = 0;
  int n_up = -1;
  int inline_copies = 1;
  EmptyPageTracker* tracker = nullptr;
  // The pages were counted from sheet ends (form feeds, ejects, side
  // selections), and whether a last page that none of them closed was added.
  bool counted_by_sheet_ends = false;
  bool added_unended_page = false;
  // The pages were counted from form feeds: ejects are page ends apart.
  bool counted_by_form_feeds = false;
};

// Resets and universal exits as page ends of a raster job: only those that
// closed raster data count, and raster data after the last of them is a
// page of its own (a job of one PJL job a page has two exits a page; a job
// whose pages begin with a reset has none after its last page).
bool pages_from_marked_ends(Summary& s) {
  const Pcl5ScanState& st = s.st;
  if (!st.raster_seen) return false;
  s.pages = st.marked_ends + (st.raster_marks ? 1 : 0);
  LOG_DEBUG("using the resets and universal exits that closed raster data for page count: %lld",
            static_cast<long long>(s.pages));
  return true;
}

// Raster data after the last sheet end of a job counted by sheet ends: the
// printer ejects that page at the reset, exit or end of the job.
void add_unended_page(Summary& s) {
  const Pcl5ScanState& st = s.st;
  if (!s.counted_by_sheet_ends || !st.marks_since_sheet_end) return;
  if (pcl5_stretch_is_blank(scan_bytes(s.data, s.length), st.last_sheet_end, s.length,
                            st.format_at_sheet_end)) {
    return;
  }
  LOG_DEBUG("Found a last page that no page end closed at %llu",
            static_cast<unsigned long long>(st.last_sheet_end));
  s.pages += 1;
  s.added_unended_page = true;
}

void choose_page_counter(Summary& s) {
  Pcl5ScanState& st = s.st;
  s.pages = st.standard_pages;
  s.tracker = &st.standard_tracker;
  if (st.flags.ricoh && st.unicode_pages > 0) {
    LOG_DEBUG("Adding unicode and ascii page counts");
    s.pages = st.unicode_pages + st.standard_pages;
    s.tracker = &st.unicode_tracker;
  } else if (st.unicode_pages > 0 && s.pages == 0) {
    LOG_DEBUG("Using unicode page count");
    s.pages = st.unicode_pages;
    s.tracker = &st.unicode_tracker;
  }
  s.counted_by_sheet_ends = s.pages > 0;
  s.counted_by_form_feeds = s.pages > 0;
  if (s.pages == 0 && st.hpgl_pages > 0) s.pages = st.hpgl_pages;
  if (s.pages == 0 && st.flags.oki && st.oki_raster_pages > 0) {
    LOG_DEBUG("Using OKI page count");
    s.pages = st.oki_raster_pages;
  }
  if (s.pages >= 2) return;
  if (s.pages < st.eject_count) {
    LOG_DEBUG("using page eject count for page count");
    s.pages = st.eject_count;
    s.counted_by_sheet_ends = true;
  }
  if (s.pages == 0 && (st.reset_count > 0 || st.uel_count > 0 || st.raster_seen)) {
    if (pages_from_marked_ends(s)) {
      if (s.pages > 0) return;
    } else if (st.reset_count < st.uel_count) {
      LOG_DEBUG("using reset count for page count");
      s.pages = st.uel_count;
    } else {
      LOG_DEBUG("using pcl reset count for page count");
      s.pages = st.reset_count;
    }
    if (s.pages > 0) return;
  }
  if (s.pages == 0 && st.dpss_count > 0) {
    LOG_DEBUG("using Duplex Page Side Selection for page count");
    s.pages = st.dpss_count;
    st.dpss_count = 0;
    s.counted_by_sheet_ends = true;
  }
}

void choose_pages(Summary& s) {
  choose_page_counter(s);
  add_unended_page(s);
}

void choose_copies(Summary& s) {
  const Pcl5ScanState& st = s.st;
  std::int64_t copies = 1;
  if (st.copies != 0) copies = st.copies;
  if (st.xrx_copy_count > copies) copies = st.xrx_copy_count;
  if (st.oce_copies > 0) copies = st.oce_copies;
  if (st.hpgl_pages > 0 && st.hpgl_copies > 0) copies = st.hpgl_copies;
  ja_set_copy_count(s.ja, clamp_int(copies));
  if (st.duplex) ja_set_is_duplex(s.ja, 1);
  if (st.grayscale_token || st.flags.pcl3gui_grayscale) ja_set_is_grayscale(s.ja, 1);
}

// PAPERWIDTH and PAPERLENGTH: millimetres over 25.4 for GL version 2.2,
// else 1/720 inch.
void pjl_paper_size(const PjlHeaderInfo& h, JobAttribs* ja) {
  if (h.paper_width <= 0 || h.paper_length <= 0) return;
  if (h.inked_print_area != 0 && !(ja->page_width_mm < 1 && ja->page_height_mm < 1)) return;
  double width = 0;
  double height = 0;
  if (h.gl_version_major == 2 && h.gl_version_minor == 2) {
    width = std::floor(h.paper_width / MM_PER_INCH + 0.5);
    height = std::floor(h.paper_length / MM_PER_INCH + 0.5);
  } else {
    width = std::floor(h.paper_width / PJL_720THS_PER_INCH * MM_PER_INCH + 0.5);
    height = std::floor(h.paper_length / PJL_720THS_PER_INCH * MM_PER_INCH + 0.5);
  }
  ja_set_page_width_height_mm(ja, width, height);
}

// The PJL header, applied with this analyzer's own rules: a QTY that the
// job already holds as inline copies is not a copy count, the driver name
// always names the printer type, and an OKI MultiPage value is an n-up.
void apply_pjl_header(Summary& s) {
  if (!s.st.flags.pjl_seen) return;
  PjlHeaderInfo h;
  if (pjl_parse_header(s.data, s.length, &h) == 0) {
    LOG_DEBUG("No information found in PJL header");
    return;
  }
  JobAttribs* ja = s.ja;
  if (h.qty > ja->copy_count &&
      has_num_inline_copies(s.data, s.length, h.qty, clamp_int(s.pages), INLINE_COPIES_BY_EXIT) == 0) {
    ja_set_copy_count(ja, h.qty);
  }
  if (h.copies > ja->copy_count) ja_set_copy_count(ja, h.copies);
  if (h.duplex != 0) ja_set_is_duplex(ja, 1);
  if (h.tumble != 0) ja_set_is_tumble(ja, 1);
  if (h.grayscale != 0) ja_set_is_grayscale(ja, 1);
  pjl_paper_size(h, ja);
  if (h.paper_name[0] != '\0') ja_set_paper_size_name(ja, h.paper_name);
  if (h.job_name[0] != '\0' && ja->document_name[0] == '\0') ja_set_document_name(ja, h.job_name);
  if (h.driver_name[0] != '\0') ja_set_printer_type(ja, h.driver_name);
  if (h.printer_model[0] != '\0' && ja->printer_name[0] == '\0') {
    ja_set_printer_name(ja, h.printer_model);
  }
  if (h.multipage_seen != 0) s.n_up = h.multipage;
}

void apply_xpif(Summary& s) {
  PjlHeaderInfo h;
  if (xpif_parse_header(s.data, s.length, &h) == 0) return;
  if (h.qty > s.ja->copy_count) ja_set_copy_count(s.ja, h.qty);
  if (h.duplex != 0) ja_set_is_duplex(s.ja, 1);
  if (h.grayscale != 0) ja_set_is_grayscale(s.ja, 1);
}

void add_page_side_selections(Summary& s) {
  const std::int64_t d = s.st.dpss_count;
  if (s.ja->is_duplex == 0 || d == 0) return;
  const std::int64_t p = s.pages;
  if (d < p - 1 || d > p + 1) {
    LOG_DEBUG("Found Duplex Page Side Selection commands: %lld but not in range of detected pages: %lld",
              static_cast<long long>(d), static_cast<long long>(p));
    return;
  }
  LOG_DEBUG("Adding in the Duplex Page Side Selection commands to the page size: %lld",
            static_cast<long long>(d));
  s.pages = p + d;
}

// The blank back side a duplex driver adds to an odd page count (CUPS
// drivers with cupsEvenDuplex): a last page between two sheet ends whose
// raster carries no ink. Judged on the decoded raster, since each driver
// writes its blank page its own way (rows of zero length, rows of zero
// bytes, or the single dot hpcups puts on every page).
bool remove_blank_last_side(Summary& s) {
  const EmptyPageTracker& t = *s.tracker;
  if (s.pages % 2 != 0 || s.added_unended_page || !t.latest_page || !t.second_latest_page) {
    return false;
  }
  if (!pcl5_stretch_is_blank_raster_page(scan_bytes(s.data, s.length), *t.second_latest_page,
                                         *t.latest_page, t.second_latest_format)) {
    return false;
  }
  LOG_DEBUG("Found the blank back side of an odd page count in duplex mode. Ignoring 1 page.");
  s.pages -= 1;
  return true;
}

// Blank back sides that a duplex driver inserted.
void remove_blank_back_sides(Summary& s) {
  if (s.ja->is_duplex == 0 || s.pages <= 1) return;
  const EmptyPageTracker& t = *s.tracker;
  const auto c = static_cast<std::int64_t>(std::min<std::uint64_t>(t.potential_empty_pages, INT64_MAX));
  const char* plural = c >= 2 ? "s" : "";
  const bool last_page_empty =
      t.latest_page && t.second_latest_page &&
      is_empty_except_non_marking(s.st.non_marking, scan_bytes(s.data, s.length),
                                  *t.second_latest_page, *t.latest_page) != 0;
  if (s.pages % 2 == 0 && last_page_empty) {
    if (c > s.pages) {
      LOG_ERROR("Empty page count %lld higher than actual page count %lld. Ignoring it.",
                static_cast<long long>(c), static_cast<long long>(s.pages));
      return;
    }
    LOG_DEBUG("Found empty last page in duplex mode. Ignoring %lld page%s.", static_cast<long long>(c), plural);
    s.pages -= c;
  } else if (s.st.dpss_count > 0) {
    if (c > s.pages) {
      LOG_ERROR("Empty page count %lld higher than actual page count %lld. Ignoring it for DPSS.",
                static_cast<long long>(c), static_cast<long long>(s.pages));
      return;
    }
    LOG_DEBUG("Found empty pages in duplex mode with Page Side Selection. Ignoring %lld page%s.",
              static_cast<long long>(c), plural);
    s.pages -= c;
  } else {
    (void)remove_blank_last_side(s);
  }
}

// Pages that an eject closed instead of a form feed, in a job whose pages
// were counted by its form feeds (Gutenprint's PCL ends the back side of a
// duplex sheet with ESC&l0H and a reset). An eject of a page without raster
// data (right behind a form feed) ejects nothing.
void add_marked_ejects(Summary& s) {
  const std::int64_t ejects = s.st.marked_ejects;
  if (!s.counted_by_form_feeds || ejects <= 0) return;
  LOG_DEBUG("Adding %lld page(s) that an eject closed", static_cast<long long>(ejects));
  s.pages = s.pages > INT64_MAX - ejects ? INT64_MAX : s.pages + ejects;
}

void aveva_last_page(Summary& s) {
  if (!s.st.flags.aveva_plot || s.pages <= 1) return;
  const EmptyPageTracker& t = *s.tracker;
  if (!TV_ASSERT(t.latest_page.has_value()) || !TV_ASSERT(t.second_latest_page.has_value())) return;
  if (*t.latest_page - *t.second_latest_page < AVEVA_EMPTY_LAST_PAGE) {
    LOG_DEBUG("Ignoring empty page at end of AVEVA plot");
    s.pages -= 1;
  }
}

std::int64_t ceil_div(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

void cap_color_pages(JobAttribs* ja, std::int64_t pages) {
  ja_set_color_pages(ja, clamp_int(std::min<std::int64_t>(pages, ja->color_pages)));
}

void apply_oki_trailer(Summary& s) {
  if (!s.st.flags.oki_c8) return;
  PjlTrailerInfo t;
  if (pjl_parse_trailer(s.data, s.length, &t) == 0) return;
  if (s.n_up <= 0 && pjl_trailer_has_pages(t)) {
    const std::int64_t multipage = t.multipage > 0 ? t.multipage : 1;
    const std::int64_t pages = ceil_div(t.pages, multipage);
    LOG_DEBUG("Adjusting page count %lld => %lld based on PJL trailer", static_cast<long long>(s.pages),
              static_cast<long long>(pages));
    s.pages = pages;
    cap_color_pages(s.ja, s.pages);
  }
  if (pjl_trailer_is_duplex(t)) {
    LOG_DEBUG("Using trailer duplex");
    ja_set_is_duplex(s.ja, 1);
  }
}

void apply_n_up(Summary& s) {
  if (s.n_up <= 0) return;
  const std::int64_t pages = ceil_div(s.pages, s.n_up);
  LOG_DEBUG("Adjusting page count %lld => %lld based on n_up=%d", static_cast<long long>(s.pages),
            static_cast<long long>(pages), s.n_up);
  s.pages = pages;
  cap_color_pages(s.ja, s.pages);
}

void apply_inline_copies(Summary& s) {
  if (s.pages <= 1 || s.ja->copy_count >= 2) return;
  // find_inline_copies reads the page count from the record.
  ja_set_pages(s.ja, clamp_int(s.pages));
  const int n = find_inline_copies(s.data, s.length, s.ja, nullptr);
  if (n <= 1 || s.pages % n != 0) return;
  LOG_DEBUG("Found %d inline copies", n);
  s.pages /= n;
  s.inline_copies = n;
  ja_set_copy_count(s.ja, n);
}

// Colour pages: the detector's count (a Kyocera trailer's count replaces
// it), divided by inline copies like the pages. Raster data that could not
// be judged leaves the count unknown rather than gray.
void apply_color(Summary& s) {
  PCL5Color* color = s.st.color;
  if (color == nullptr) return;
  std::int64_t k = PCL5ColorGetColorPageCount(color);
  std::int64_t undecided = PCL5ColorGetUndecidedPageCount(color);
  JobAttribs* ja = s.ja;
  if (s.st.flags.kyocera && ja->is_grayscale == 0) {
    KyoceraTrailerInfo t;
    if (kyocerameta_parse_trailer(s.data, s.length, &t) == 1) {
      LOG_DEBUG("Updating color page count based on Kyocera trailer: %lld=>%u",
                static_cast<long long>(k), t.color_pages);
      k = t.color_pages;
      undecided = 0;
    }
  }
  k = ceil_div(k, s.inline_copies);
  if (ja->is_grayscale == 0 && undecided > 0) {
    LOG_DEBUG("Colour of %lld page(s) cannot be judged: colour pages unknown",
              static_cast<long long>(undecided));
    ja_set_color_pages(ja, COLOR_PAGES_UNJUDGED);
  } else if (k > 0 && ja->is_grayscale == 0) {
    ja_set_color_pages(ja, clamp_int(std::min(s.pages, k)));
    ja_set_is_grayscale(ja, 0);
  } else {
    ja_set_color_pages(ja, 0);
    ja_set_is_grayscale(ja, 1);
  }
}

void page_size_from_lines(Summary& s) {
  JobAttribs* ja = s.ja;
  const Pcl5ScanState& st = s.st;
  if (ja->paper_size_name[0] != '\0' || ja->page_width_mm >= 1 || ja->page_height_mm >= 1) return;
  if (st.lines_per_inch <= 0 || st.page_length_lines <= 0) return;
  const double size = std::floor(static_cast<double>(st.page_length_lines) /
                                     static_cast<double>(st.lines_per_inch) * MM_PER_INCH + 0.5);
  LOG_DEBUG("Page size set based on PCL page length and lines per inch: %dmm",
            decimal_clamp<int>(static_cast<std::int64_t>(std::min(size, 2e9))));
  LOG_DEBUG("Page width unknown, set to match page length.");
  ja_set_page_width_height_mm(ja, size, size);
}

void summarise(Summary& s) {
  PCL5ColorParseComplete(s.st.color);
  choose_pages(s);
  choose_copies(s);
  apply_pjl_header(s);
  apply_xpif(s);
  if (s.ja->paper_size_name[0] == '\0' && s.st.hpgl_input_width > 0 && s.st.hpgl_input_height > 0) {
    ja_set_page_width_height_mm(s.ja, s.st.hpgl_input_width, s.st.hpgl_input_height);
  }
  add_page_side_selections(s);
  remove_blank_back_sides(s);
  add_marked_ejects(s);
  aveva_last_page(s);
  apply_oki_trailer(s);
  apply_n_up(s);
  apply_inline_copies(s);
  ja_set_pages(s.ja, clamp_int(s.pages));
  apply_color(s);
  page_size_from_lines(s);
}

int pcl5_analyze(const std::uint8_t* data, std::uint64_t length, int color, JobAttribs* ja) {
  return pcl5_process_job(data, length, color, ja);
}

}  // namespace

int pcl5_process_job(const std::uint8_t* data, std::uint64_t length, int color, JobAttribs* ja) {
  LOG_DEV("entering pcl5_process_job");
  LOG_DEBUG("Parsing PCL file");
  if (!TV_ASSERT(ja != nullptr) || !TV_ASSERT(data != nullptr || length == 0)) return -1;
  Pcl5ScanState st;
  TimeoutSetLimit(&st.timeout, global_ctx.parse_timeout);
  TimeoutStart(&st.timeout);
  Pcl5NonMarkingSetPtr non_marking(pcl5_non_marking_set_new());
  PCL5ColorPtr detector;
  if (color != 0) {
    detector.reset(PCL5ColorNew());
    if (!detector) {
      LOG_ERROR("Unable to create the PCL5 colour detector");
      return -1;
    }
  }
  st.non_marking = non_marking.get();
  st.color = detector.get();
  const ByteSpan bytes = scan_bytes(data, length);
  pcl5_scan(bytes, &st, ja);
  Summary s{data, length, st, ja};
  summarise(s);
  return 0;
}

const AnalyzerEntry PCL5_ANALYZER{"pcl5_process_job", pcl5_analyze};
