// The final steps of a PostScript scan for paper and page size, names,
// the job-level readers (XPIF ticket, Canon CPCA records, PJL header, Kyocera
// trailer) and the colour pages.
#include <cmath>
#include <cstdlib>
#include <string>

#include "analysis/ps_color.h"
#include "analysis/ps_scan.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "foundation/util.h"
#include "scan/canon.h"
#include "scan/kyocerameta.h"
#include "scan/pjl.h"
#include "scan/xpif.h"

namespace {

constexpr std::uint64_t APL_PRODUCER_WINDOW = 200;
constexpr std::uint64_t PJL_HEAD_WINDOW = 1024;

struct Size {
  double width = -1;
  double height = -1;
  [[nodiscard]] bool any() const { return width > 0 || height > 0; }
  [[nodiscard]] bool both() const { return width > 0 && height > 0; }
};

double text_number(std::string_view text) {
  const std::string copy(text);
  return std::strtod(copy.c_str(), nullptr);
}

// A row's two numbers, points turned into millimetres.
Size row_size_mm(const PsScan& s, PsToken t) {
  const double w = std::floor(text_number(ps_text(s, t, 0)) / 72.0 * 25.4 + 0.5);
  const double h = std::floor(text_number(ps_text(s, t, 1)) / 72.0 * 25.4 + 0.5);
  return Size{w, h};
}

void set_size(PsScan* s, Size size) { ja_set_page_width_height_mm(s->ja, size.width, size.height); }
void clear_paper(PsScan* s) { ja_set_paper_size_name(s->ja, ""); }

// Step 10: the page size, first rule that applies. Returns the size a
// setpagedevice dictionary asks for (applied later), or none.
Size page_size_rules(PsScan* s, Size* high_priority) {
  const bool adobe = s->adobe_application;
  if (ps_hit(*s, TOKEN_XEROX_FTP_PAGESIZE)) {
    *high_priority = row_size_mm(*s, TOKEN_XEROX_FTP_PAGESIZE);
    clear_paper(s);
    LOG_DEBUG("Found Xerox driver override page size [%d x %d]", static_cast<int>(high_priority->width),
              static_cast<int>(high_priority->height));
  } else if (ps_hit(*s, TOKEN_KM_OPTIONS) && ps_hit(*s, TOKEN_PAGESIZE)) {
    set_size(s, row_size_mm(*s, TOKEN_PAGESIZE));
    clear_paper(s);
  } else if (adobe && ps_hit(*s, TOKEN_CUSTOM_TRUE) && ps_hit(*s, TOKEN_PAGE_BOUNDING_BOX)) {
    int w = -1;
    int h = -1;
    (void)postscript_boundbox_size(ps_text(*s, TOKEN_PAGE_BOUNDING_BOX), &w, &h);
    s->ja->page_width_mm = w;
    s->ja->page_height_mm = h;
    clear_paper(s);
    LOG_DEBUG("Found PageBoundingBox page size [%d x %d]", w, h);
  } else if (adobe && ps_hit(*s, TOKEN_DEFERRED_PAGESIZE)) {
    LOG_DEBUG("Found DeferredMediaSelection");
    set_size(s, row_size_mm(*s, TOKEN_DEFERRED_PAGESIZE));
  } else if (adobe && ps_hit(*s, TOKEN_XEROX_PAGESIZE)) {
    LOG_DEBUG("Found xerox$pagedevice");
    set_size(s, row_size_mm(*s, TOKEN_XEROX_PAGESIZE));
  } else if (ps_hit(*s, TOKEN_CUSTOM_TRUE_SIZE)) {
    const Size size = row_size_mm(*s, TOKEN_CUSTOM_TRUE_SIZE);
    set_size(s, size);
    clear_paper(s);
    LOG_DEBUG("Found SIZE_CUSTOM_WITH_DIM [%d x %d]", static_cast<int>(size.width), static_cast<int>(size.height));
  } else if (ps_hit(*s, TOKEN_KM_HIRES_PAGESIZE)) {
    const Size size{text_number(ps_text(*s, TOKEN_KM_HIRES_PAGESIZE, 0)) / 1000.0,
                    text_number(ps_text(*s, TOKEN_KM_HIRES_PAGESIZE, 1)) / 1000.0};
    set_size(s, size);
    LOG_DEBUG("Found SIZE_DIM_KM [%d x %d]", static_cast<int>(size.width), static_cast<int>(size.height));
  } else if (ps_hit(*s, TOKEN_PAGESIZE)) {
    const Size size = row_size_mm(*s, TOKEN_PAGESIZE);
    LOG_DEBUG("Found setpagedevice /PageSize [%d x %d]", static_cast<int>(size.width), static_cast<int>(size.height));
    return size;
  } else if (ps_hit(*s, TOKEN_CUSTOM_PAGESIZE)) {
    const Size size{std::floor(ps_value(*s, TOKEN_CUSTOM_PAGESIZE, 0) / 72.0 * 25.4 + 0.5),
                    std::floor(ps_value(*s, TOKEN_CUSTOM_PAGESIZE, 1) / 72.0 * 25.4 + 0.5)};
    set_size(s, size);
    LOG_DEBUG("Found custom page size [%d x %d]", static_cast<int>(size.width), static_cast<int>(size.height));
  } else if (s->bounding_box_width_mm >= 1 && s->bounding_box_height_mm >= 1) {
    set_size(s, Size{static_cast<double>(s->bounding_box_width_mm), static_cast<double>(s->bounding_box_height_mm)});
    LOG_DEBUG("Found BoundingBox (probably Illustrator) page size [%d x %d]", s->bounding_box_width_mm,
              s->bounding_box_height_mm);
  } else if (ps_hit(*s, TOKEN_DOCUMENT_MEDIA)) {
    const Size size = row_size_mm(*s, TOKEN_DOCUMENT_MEDIA);
    set_size(s, size);
    LOG_DEBUG("Found bb page size [%d x %d]", static_cast<int>(size.width), static_cast<int>(size.height));
  }
  return Size{};
}

void signature(PsScan* s) {
  JobAttribs* ja = s->ja;
  if (s->signature_width_mm <= 0 || s->signature_height_mm <= 0 || ja->page_width_mm <= 0 || ja->page_height_mm <= 0)
    return;
  const double ratio = (static_cast<double>(s->signature_width_mm) * s->signature_height_mm) /
                       (static_cast<double>(ja->page_width_mm) * ja->page_height_mm);
  const double n = std::floor(0.5 + ratio);
  if (n <= 1 || std::fabs(ratio - n) / ratio >= 0.1 || n > 1e9) return;
  LOG_DEBUG("Adjusting for page size %d mm x %d mm => FX signature size %d mm x %d mm", ja->page_width_mm,
            ja->page_height_mm, s->signature_width_mm, s->signature_height_mm);
  const auto per_sheet = static_cast<std::int64_t>(n);
  const std::int64_t pages = (static_cast<std::int64_t>(ja->pages) + per_sheet - 1) / per_sheet;
  LOG_DEBUG("Num pages %d => %lld", ja->pages, static_cast<long long>(pages));
  ja_set_pages(ja, static_cast<int>(pages));
  set_size(s, Size{static_cast<double>(s->signature_width_mm), static_cast<double>(s->signature_height_mm)});
  clear_paper(s);
}

}  // namespace

void ps_final_media(PsScan* s, bool centerfold) {
  JobAttribs* ja = s->ja;
  if (ps_hit(*s, TOKEN_PJL_PAPER)) {
    const std::string name(ps_text(*s, TOKEN_PJL_PAPER));
    ja_set_paper_size_name(ja, name.c_str());
  }
  Size high_priority{static_cast<double>(s->page_width_mm), static_cast<double>(s->page_height_mm)};
  PjlHeaderInfo ticket{};
  if (xpif_parse_header(s->start, s->length(), &ticket) == 1) {
    if (ticket.grayscale != 0) ja_set_is_grayscale(ja, 1);
    high_priority = ticket.x_dimension_mm >= 1 && ticket.y_dimension_mm >= 1
                        ? Size{static_cast<double>(ticket.x_dimension_mm), static_cast<double>(ticket.y_dimension_mm)}
                        : Size{};
  }
  const Size device = page_size_rules(s, &high_priority);
  if (s->extra_rotation) {
    LOG_DEV("extra_rotation before: %dx%d", ja->page_width_mm, ja->page_height_mm);
    set_size(s, Size{static_cast<double>(ja->page_height_mm), static_cast<double>(ja->page_width_mm)});
    LOG_DEV("extra_rotation after : %dx%d", ja->page_width_mm, ja->page_height_mm);
  }
  if (s->media_override && s->bounding_box_width_mm > 0 && s->bounding_box_height_mm > 0 &&
      !ps_hit(*s, TOKEN_DEFERRED_PAGESIZE) && !ps_hit(*s, TOKEN_XEROX_PAGESIZE)) {
    LOG_DEBUG("Using media override dimensions from bounding box [%d x %d]", s->bounding_box_width_mm,
              s->bounding_box_height_mm);
    set_size(s, Size{static_cast<double>(s->bounding_box_width_mm), static_cast<double>(s->bounding_box_height_mm)});
    clear_paper(s);
  }
  if (device.any()) {
    LOG_DEBUG("Overriding dimensions[%d x %d] with setpagedevice values [%d x %d]", ja->page_width_mm,
              ja->page_height_mm, static_cast<int>(device.width), static_cast<int>(device.height));
    if (device.both()) set_size(s, device);
  }
  if (high_priority.any()) {
    LOG_DEBUG("Overriding dimensions[%d x %d] with high priority values [%d x %d]", ja->page_width_mm,
              ja->page_height_mm, static_cast<int>(high_priority.width), static_cast<int>(high_priority.height));
    if (high_priority.both()) {
      set_size(s, high_priority);
      LOG_DEBUG("Don't use paper_size_name");
      clear_paper(s);
    }
  }
  if (centerfold) double_paper_size(ja);
  signature(s);
}

void ps_final_names(PsScan* s) {
  JobAttribs* ja = s->ja;
  const PsToken title = ps_hit(*s, TOKEN_TITLE_PROC) ? TOKEN_TITLE_PROC : TOKEN_TITLE;
  if (ps_hit(*s, title)) {
    const std::string_view text = ps_text(*s, title);
    util_safe_strncpy(ja->document_name, std::string(text.substr(0, JA_TEXT_SIZE - 1)).c_str(),
                      sizeof ja->document_name);
  }
  if (!s->target_device_found &&
      util_contains_string(s->start, std::min<std::uint64_t>(s->length(), APL_PRODUCER_WINDOW), "%APLProducer:")) {
    LOG_DEBUG("Assuming Mac generic");
    ja_set_printer_type(ja, "MAC GENERIC POSTSCRIPT PRINTER DRIVER");
  }
}

void ps_final_readers(PsScan* s) {
  JobAttribs* ja = s->ja;
  if (canon_has_canon_cpca(s->start, s->length()) != 0) {
    const int copies = canon_get_cpca_copycount(s->start, s->length());
    if (copies > 1) {
      LOG_DEBUG("Setting Canon copy count");
      ja_set_copy_count(ja, copies);
    }
    if (canon_has_cpca_grayscale(s->start, s->length(), nullptr) != 0) ja_set_is_grayscale(ja, 1);
  }
  if (s->depth != 0 || !util_contains_string(s->start, std::min<std::uint64_t>(s->length(), PJL_HEAD_WINDOW), "@PJL"))
    return;
  PjlHeaderInfo h{};
  if (pjl_parse_header(s->start, s->length(), &h) != 1) {
    LOG_DEBUG("No information found in PJL header");
    return;
  }
  if (h.qty > ja->copy_count) ja_set_copy_count(ja, h.qty);
  if (h.copies > ja->copy_count) ja_set_copy_count(ja, h.copies);
  if (h.duplex != 0) {
    ja_set_is_duplex(ja, 1);
  } else if (h.duplex_off != 0 && ja->is_duplex != 0) {
    LOG_DEBUG("Contradicting duplex settings. Not taking PJL");
  }
  if (h.tumble != 0) ja_set_is_tumble(ja, 1);
  if (h.grayscale != 0 && h.color == 0) ja_set_is_grayscale(ja, 1);
  const bool no_size = ja->page_width_mm < 1 && ja->page_height_mm < 1;
  if (h.paper_width > 0 && h.paper_length > 0 && no_size) {
    set_size(s, Size{std::floor(h.paper_width / 720.0 * 25.4 + 0.5), std::floor(h.paper_length / 720.0 * 25.4 + 0.5)});
  } else if (h.x_dimension_mm > 0 && h.y_dimension_mm > 0 && no_size) {
    set_size(s, Size{static_cast<double>(h.x_dimension_mm), static_cast<double>(h.y_dimension_mm)});
  }
  if (h.paper_name[0] != 0) {
    if (ja->paper_size_name[0] == 0) ja_set_paper_size_name(ja, h.paper_name);
    else LOG_DEBUG("PostScript paper_size='%s', PJL paper_size='%s', using former", ja->paper_size_name, h.paper_name);
  }
  if (h.job_name[0] != 0 && ja->document_name[0] == 0) ja_set_document_name(ja, h.job_name);
  if (h.driver_name[0] != 0 && ja->printer_type[0] == 0) ja_set_printer_type(ja, h.driver_name);
  if (ja->printer_name[0] == 0 && h.printer_model[0] != 0) ja_set_printer_name(ja, h.printer_model);
}

void ps_final_colour_pages(PsScan* s, int fiery_colour_count) {
  if (s->depth != 0 || s->color == nullptr) return;
  JobAttribs* ja = s->ja;
  int count = s->fiery_ranges_seen ? fiery_colour_count : PSColorGetColorPageCount(s->color);
  KyoceraTrailerInfo trailer{};
  // The printer driver's own count of colour and mono pages judges them all.
  bool kyocera_counted = false;
  if (s->kyocera_seen && kyocerameta_parse_trailer(s->start, s->length(), &trailer) == 1) {
    const std::int64_t c = trailer.color_pages;
    const std::int64_t m = trailer.mono_pages;
    kyocera_counted = true;
    if (c + m != ja->pages) {
      LOG_DEBUG("Inconsistent: pages=%d,mono_pages=%lld,color_pages=%lld", ja->pages, static_cast<long long>(m),
                static_cast<long long>(c));
    }
    const int k = static_cast<int>(std::min<std::int64_t>(c, ja->pages));
    if (count != k) LOG_DEBUG("Analysis color page count != Kyocera page count: analysis%d,kyocera=%d", count, k);
    if (count == 0) {
      LOG_DEBUG("Updating color page count based on Kyocera trailer: %d=>%d", count, k);
      count = k;
    }
  }
  const char* reason = nullptr;
  const int unjudged = PSColorGetUnjudgedPageCount(s->color, &reason);
  if (unjudged > 0 && !s->fiery_ranges_seen && !kyocera_counted && ja->is_grayscale == 0) {
    LOG_INFO("Colour pages not judged: %d page(s) without a colour mark hold images whose samples "
             "cannot be decoded (%s)",
             unjudged, reason != nullptr ? reason : "unknown");
    ja_set_color_pages(ja, COLOR_PAGES_UNJUDGED);
    return;
  }
  if (count < 1 || ja->is_grayscale != 0) {
    LOG_DEBUG("Color detection enabled. Grayscale = %d, Color count = %d. Set no color pages and grayscale",
              ja->is_grayscale, count);
    ja_set_color_pages(ja, 0);
    ja_set_is_grayscale(ja, 1);
  } else {
    ja_set_color_pages(ja, std::min(ja->pages, count));
    ja_set_is_grayscale(ja, 0);
  }
}
