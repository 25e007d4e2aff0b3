// pcl6_process_job: set-up, the walk, and the end of the job, where the
// page counts the walk gathered are weighed against each other and the
// job-level settings (PJL header and trailer, XPIF ticket, Canon CPCA
// records, Kyocera trailer, inline copies) are applied.
#include <algorithm>
#include <cmath>

#include "analysis/pcl6.h"
#include "analysis/pcl6_internal.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/canon.h"
#include "scan/xpif.h"

namespace {

// Kyocera trailers whose colour count exceeds the detector's by at most this
// much are taken as the better count.
constexpr int KYOCERA_APPROX_COLOR_PAGES = 2;

int saturating_multiply(int a, int b) {
  const std::int64_t product = std::int64_t{a} * b;
  return product > INT32_MAX ? INT32_MAX : static_cast<int>(product);
}

void read_cpca(Pcl6Scan& s) {
  const ByteSpan job = s.job;
  if (canon_has_canon_cpca(job.data(), job.size()) != 1) return;
  s.cpca = true;
  s.cpca_copies = canon_get_cpca_copycount(job.data(), job.size());
  if (s.cpca_copies > 1) LOG_DEBUG("Getting Canon copy count");
  int color = 0;
  s.cpca_grayscale = canon_has_cpca_grayscale(job.data(), job.size(), &color);
  s.cpca_color = color != 0;
  s.cpca_duplex = canon_has_cpca_duplex(job.data(), job.size()) == 1;
  if (!s.color) ja_set_is_grayscale(s.ja, s.cpca_color ? 0 : 1);
}

// The start-page count, less an empty last page of a duplex job and the
// empty back sides met on the way.
int start_page_count(const Pcl6Scan& s) {
  int n = s.start_pages;
  const bool duplex = s.cpca_duplex || s.ja->is_duplex != 0;
  if (duplex && n % 2 == 0 && s.has_begin_page &&
      page_marks_less_than(s.job, s.last_begin_page, s.job.size(), s.data_since_begin,
                           MIN_PAGE_LEN)) {
    LOG_DEBUG("Last page seems empty.  Reducing StartPage count  %d=>%d", n, n - 1);
    --n;
  }
  n -= s.empty_start_pages;
  LOG_DEBUG("StartPage count: %d,%d", s.start_pages, n);
  return n;
}

int count_pages(Pcl6Scan& s) {
  int pages = 0;
  int list_color = 0;
  if (!page_list_get_number_pages(s.job, s.pages, s.duplex(), &pages, &list_color)) pages = 0;
  if (pages < 1 && s.end_pages > 0) {
    pages = s.end_pages;
    LOG_DEBUG("EndPage count: %d", pages);
  }
  if (pages < 1 && s.strict_physical_pages > 0) {
    pages = s.strict_physical_pages;
    LOG_DEBUG("EndPhysical (strict) count: %d", pages);
  }
  if (pages < 1 && s.physical_pages > 0) {
    pages = s.physical_pages;
    LOG_DEBUG("EndPhysical count: %d", pages);
  }
  if (pages < 1 && s.start_pages > 0) pages = start_page_count(s);
  return pages;
}

int apply_booklet(const Pcl6Scan& s, int pages) {
  if (s.booklet.nested) {
    const int sheets = pages < 2 ? 1 : (pages + 3) / 4 * 2;
    LOG_DEV("Nested booklet: %d pages => %d pages", pages, sheets);
    return sheets;
  }
  // Only a real N-up divides: a booklet N-up of 0 or 1 leaves the pages.
  if (s.booklet.booklet_nup >= 2) {
    LOG_DEV("Booklet nup with a value of %d", s.booklet.booklet_nup);
    return (pages + s.booklet.booklet_nup - 1) / s.booklet.booklet_nup;
  }
  return pages;
}

void apply_trailer(const Pcl6Scan& s, int* pages) {
  if (!s.pjl_trailer_read) return;
  const PjlTrailerInfo& t = s.pjl_trailer;
  if (pjl_trailer_has_pages(t)) *pages = t.pages;
  if (t.color_pages >= 0) ja_set_color_pages(s.ja, t.color_pages);
  if (t.copies > 0) ja_set_copy_count(s.ja, t.copies);
  if (t.page_width > 0 && t.page_height > 0) {
    ja_set_page_width_height_mm(s.ja, t.page_width, t.page_height);
  }
  if (pjl_trailer_is_duplex(t)) ja_set_is_duplex(s.ja, 1);
}

int mm_from_720ths(int value) {
  return static_cast<int>(std::floor(value * PJL_UNIT_720TH_INCH + 0.5));
}

void apply_header_names(const Pcl6Scan& s) {
  const PjlHeaderInfo& h = s.pjl_header;
  JobAttribs* ja = s.ja;
  if (h.paper_name[0] != '\0') {
    if (ja->paper_size_name[0] == '\0') {
      LOG_DEV("setting paper size to  PJL paper_size='%s'", h.paper_name);
      ja_set_paper_size_name(ja, h.paper_name);
    } else {
      LOG_DEBUG("PCL6 paper_size='%s', PJL paper_size='%s', using former", ja->paper_size_name,
                h.paper_name);
    }
  }
  if (h.job_name[0] != '\0' && ja->document_name[0] == '\0') {
    ja_set_document_name(ja, h.job_name);
  }
  if (h.driver_name[0] != '\0') ja_set_printer_type(ja, h.driver_name);
  if (h.printer_model[0] != '\0' && ja->printer_name[0] == '\0') {
    ja_set_printer_name(ja, h.printer_model);
  }
}

// The PJL header, read at the first "@PJL" of the job. Returns whether the
// pages were divided by inline copies.
bool apply_header(Pcl6Scan& s, InlineCopiesCache* cache, int* pages) {
  if (!s.pjl_header_read) {
    LOG_DEBUG("No information found in PJL header");
    return false;
  }
  const PjlHeaderInfo& h = s.pjl_header;
  JobAttribs* ja = s.ja;
  bool divided = false;
  const int q = std::max(h.qty, h.copies);
  if (q > ja->copy_count) {
    ja_set_copy_count(ja, q);
    if (has_num_inline_copies_cache(s.job.data(), s.job.size(), q, *pages,
                                    INLINE_COPIES_BY_CONTENT, cache) == 1) {
      *pages /= q;
      divided = true;
    }
  }
  if (h.duplex != 0) {
    ja_set_is_duplex(ja, 1);
  } else if (h.duplex_off != 0 && ja->is_duplex != 0) {
    LOG_DEBUG("Contradicting duplex settings. Not taking PJL");
  }
  if (h.tumble != 0) ja_set_is_tumble(ja, 1);
  if (h.grayscale != 0) ja_set_is_grayscale(ja, 1);
  if (h.color != 0) {
    LOG_DEBUG("has_color: from pjl_header.color");
    s.has_color = true;
  }
  if (h.paper_width > 0 && h.paper_length > 0) {
    ja_set_page_width_height_mm(ja, mm_from_720ths(h.paper_width), mm_from_720ths(h.paper_length));
  }
  if (h.x_dimension_mm > 0 && h.y_dimension_mm > 0) {
    ja_set_page_width_height_mm(ja, h.x_dimension_mm, h.y_dimension_mm);
  }
  apply_header_names(s);
  return divided;
}

void apply_xpif(const Pcl6Scan& s) {
  PjlHeaderInfo ticket;
  if (xpif_parse_header(s.job.data(), s.job.size(), &ticket) != 1) return;
  if (ticket.qty > s.ja->copy_count) ja_set_copy_count(s.ja, ticket.qty);
  if (ticket.duplex != 0) ja_set_is_duplex(s.ja, 1);
  if (ticket.grayscale != 0) ja_set_is_grayscale(s.ja, 1);
}

// CustomMediaSize (x, y) is the page's width and height in the unit of
// CustomMediaSizeUnits.
void apply_custom_size(const Pcl6Scan& s) {
  if (s.custom_unit < 0 || s.custom_x <= 0 || s.custom_y <= 0) return;
  double per_unit = 0;
  switch (s.custom_unit) {
    case 0: per_unit = 25.4; break;  // inches
    case 1: per_unit = 1.0; break;   // millimetres
    case 2: per_unit = 0.1; break;   // tenths of a millimetre
    default:
      LOG_ERROR("Unknown PCL6 custom unit %d", s.custom_unit);
      return;
  }
  ja_set_paper_size_name(s.ja, "");
  const double width = std::floor(s.custom_x * per_unit + 0.5);
  const double height = std::floor(s.custom_y * per_unit + 0.5);
  LOG_DEBUG("Using PCL6 custom page size [%dx%d]", static_cast<int>(width),
            static_cast<int>(height));
  ja_set_page_width_height_mm(s.ja, width, height);
}

void apply_cpca(const Pcl6Scan& s) {
  if (!s.cpca) return;
  if (s.cpca_copies > 1) {
    LOG_DEBUG("Setting Canon copy count");
    ja_set_copy_count(s.ja, s.cpca_copies);
  }
  if (s.cpca_grayscale == 1) {
    ja_set_is_grayscale(s.ja, 1);
  } else if (s.cpca_color) {
    ja_set_is_grayscale(s.ja, 0);
  }
  if (s.cpca_duplex) ja_set_is_duplex(s.ja, 1);
}

// PageCopies on the EndPage markers: pages, or a copy count.
void apply_page_copies(const Pcl6Scan& s, InlineCopiesCache* cache, int* pages) {
  if (s.end_pages_with_copies == s.end_pages || s.ja->copy_count != 1) return;
  const int with = static_cast<int>(std::min<std::int64_t>(s.end_pages_with_copies, INT32_MAX));
  LOG_DEBUG("Using page count with copies included: without:%d with:%d", s.end_pages, with);
  if (s.end_pages == 0 || with % s.end_pages != 0) {
    *pages = with;
    return;
  }
  const int ratio = with / s.end_pages;
  if (has_num_inline_copies_cache(s.job.data(), s.job.size(), ratio, *pages,
                                  INLINE_COPIES_BY_CONTENT, cache) != 1) {
    ja_set_copy_count(s.ja, ratio);
    LOG_DEBUG("copy count: %d", ratio);
  }
}

// Copies concatenated in the spool file, each with its own "@PJL SET QTY":
// once the copies are confirmed byte for byte, the pages are one copy's
// and the copies multiply.
void apply_qty_lines(const Pcl6Scan& s, InlineCopiesCache* cache, bool divided, int* pages) {
  const int n = s.qty_lines;
  if (n < 2 || divided || *pages < 2 || *pages % n != 0) return;
  if (has_num_inline_copies_cache(s.job.data(), s.job.size(), n, *pages,
                                  INLINE_COPIES_BY_CONTENT, cache) != 1) {
    return;
  }
  LOG_DEBUG("Found muliple copies of the job in line. QTY=%d", n);
  *pages /= n;
  ja_set_copy_count(s.ja, saturating_multiply(std::max(s.ja->copy_count, 1), n));
  LOG_DEBUG("Resolved pages: %d", *pages);
}

void apply_colour(const Pcl6Scan& s, int pages) {
  if (!s.color) return;
  if (s.jetready && s.ja->is_grayscale != 0) {
    // The bands are not read, but the driver's header prints the job in
    // gray (hpcups' grayscale mode: PLANESINUSE=1 or RENDERMODE=GRAYSCALE).
    LOG_DEBUG("JetReady bands of a job its PJL header prints in gray: no colour page");
    ja_set_color_pages(s.ja, 0);
    return;
  }
  if (s.jetready) {
    LOG_DEBUG("JetReady bands: colour pages cannot be judged");
    ja_set_color_pages(s.ja, COLOR_PAGES_UNJUDGED);
    return;
  }
  if (s.ja->is_grayscale == 0 && PCL6ColorGetUndecidedPageCount(s.detector) > 0) {
    LOG_DEBUG("Colour of %d page(s) cannot be judged: colour pages unknown",
              PCL6ColorGetUndecidedPageCount(s.detector));
    ja_set_color_pages(s.ja, COLOR_PAGES_UNJUDGED);
    return;
  }
  int k = PCL6ColorGetColorPageCount(s.detector);
  if (s.booklet.nested) {
    const int before = k;
    k = (k + (k < 2 ? 1 : (k + 3) / 4 * 2)) / 2;
    LOG_DEV("Nested booklet: %d color pages => %d color pages", before, k);
  }
  if (k < 1 || s.ja->is_grayscale != 0) {
    ja_set_color_pages(s.ja, 0);
    ja_set_is_grayscale(s.ja, 1);
    return;
  }
  ja_set_color_pages(s.ja, std::min(pages, k));
  ja_set_is_grayscale(s.ja, 0);
  LOG_DEBUG("Color pages: %d", s.ja->color_pages);
}

void apply_kyocera_trailer(const Pcl6Scan& s, int pages) {
  if (!s.kyocera || !s.color) return;
  KyoceraTrailerInfo t{};
  const int counted = kyocerameta_parse_trailer(s.job.data(), s.job.size(), &t);
  JobAttribs* ja = s.ja;
  const int c = static_cast<int>(std::min<std::uint32_t>(t.color_pages, INT32_MAX));
  const bool guessed = PCL6GuessedJpegColor(s.detector) == 1;
  const bool approx = ja->color_pages <= 0 && c > 0 &&
                      c <= std::max(ja->color_pages, 0) + KYOCERA_APPROX_COLOR_PAGES;
  if (counted == 1 && (approx || (guessed && c > 0 && c < ja->color_pages))) {
    const int taken = std::min(c, pages);
    LOG_DEBUG("Updating color page count based on Kyocera trailer: %d=>%d "
              "(approx_match=%d,guessed_jpeg_color=%d)",
              ja->color_pages, taken, approx ? 1 : 0, guessed ? 1 : 0);
    ja_set_color_pages(ja, taken);
    // The printer counted colour: the job is no longer a grayscale job.
    if (taken > 0) ja_set_is_grayscale(ja, 0);
  }
  if (ja->paper_size_name[0] == '\0' && t.paper_size_name[0] != '\0') {
    LOG_DEBUG("Updating paper name based on Kyocera trailer: paper_size_name='%s'",
              t.paper_size_name);
    ja_set_paper_size_name(ja, t.paper_size_name);
  }
}

void end_of_job(Pcl6Scan& s, InlineCopiesCache* cache) {
  JobAttribs* ja = s.ja;
  if (s.detector != nullptr) PCL6ColorCommitLastPage(s.detector);
  ja_set_copy_count(ja, 1);
  int pages = count_pages(s);
  pages = apply_booklet(s, pages);
  apply_trailer(s, &pages);
  const bool divided = apply_header(s, cache, &pages);
  apply_xpif(s);
  apply_custom_size(s);
  if (s.ricoh_2008 && std::string_view(ja->paper_size_name) == "A3WIDE") {
    LOG_DEBUG("Mapping A3WIDE=>12x18 for Ricoh Aficio 20xx drivers");
    ja_set_paper_size_name(ja, "12x18");
  }
  if (s.booklet.double_paper) double_paper_size(ja);
  apply_cpca(s);
  apply_page_copies(s, cache, &pages);
  apply_qty_lines(s, cache, divided, &pages);
  if (s.duplex() && pages > 1 && pages % 2 == 0 && s.last_judged_empty) {
    LOG_DEBUG("Found empty last page in duplex mode. Ignoring %d pages.", s.potential_empty_pages);
    pages = std::max(1, pages - s.potential_empty_pages);
  }
  apply_colour(s, pages);
  apply_kyocera_trailer(s, pages);
  // Only a job judged gray is a grayscale job: JetReady bands whose colour
  // was not judged say nothing of it.
  if (s.color && !s.has_color && ja->color_pages == 0) {
    LOG_DEBUG("Setting grayscale TRUE from !has_color && ja->color_pages == 0");
    ja_set_is_grayscale(ja, 1);
  }
  if (pages > 0) {
    ja_set_pages(ja, pages);
  } else {
    // Said where it is always seen: the job is billed by the caller's count.
    LOG_INFO("No PCL6 page found in the job; the page count is left to the caller");
  }
}

int pcl6_analyze(const std::uint8_t* data, std::uint64_t length, int extra, JobAttribs* ja) {
  return pcl6_process_job(data, length, extra, ja);
}

}  // namespace

int pcl6_process_job(const std::uint8_t* data, std::uint64_t length, int color, JobAttribs* ja) {
  LOG_DEV("entering pcl6_process_job");
  LOG_DEBUG("Processing PCL6 file.");
  if (ja == nullptr || (data == nullptr && length > 0)) return -1;
  Pcl6Scan s;
  s.job = scan_bytes(data, length);
  s.color = color != 0;
  s.ja = ja;
  TimeoutSetLimit(&s.timeout, global_ctx.parse_timeout);
  TimeoutStart(&s.timeout);
  PCL6ColorPtr detector(s.color ? PCL6ColorNew() : nullptr);
  if (s.color && detector == nullptr) return -1;
  s.detector = detector.get();
  const InlineCopiesCachePtr cache(inline_copies_cache_create());
  const PageListPtr pages(page_list_create());
  if (pages == nullptr) return -1;
  s.pages = pages.get();
  PCL6SetColorCallback(s.detector, page_list_color_callback, s.pages);
  read_cpca(s);
  pcl6_find_driver_marks(s);
  pcl6_scan_job(s);
  end_of_job(s, cache.get());
  return 0;
}

const AnalyzerEntry PCL6_ANALYZER{"pcl6_process_job", pcl6_analyze};
