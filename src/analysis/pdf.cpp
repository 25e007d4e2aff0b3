// The PDF analyzer: the walk (pdf_scan), then the page count, the PJL
// header in front of the PDF and a PWG print ticket.
#include "analysis/pdf.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <string>

#include "analysis/pdf_internal.h"
#include "foundation/config.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "scan/pjl.h"

namespace {

// Bytes at the start of the job that a PWG print ticket is looked for in.
constexpr std::uint64_t PWG_TICKET_WINDOW = 10240;
constexpr std::string_view PWG_OPEN = "<PwgPrintJobTicket>";
constexpr std::string_view PWG_CLOSE = "</PwgPrintJobTicket>";

// The PJL header in front of the PDF. PAPERWIDTH and PAPERLENGTH count
// 1/720 inch (decipoints), as PJL defines them.
void apply_pjl_header(const std::uint8_t* data, std::uint64_t length, int inline_copies,
                      JobAttribs* ja) {
  PjlHeaderInfo h;
  if (pjl_parse_header(data, length, &h) == 0) return;
  if (h.qty > ja->copy_count) {
    LOG_DEBUG("pdf_process_job: pjl_header.qty=%d", h.qty);
    ja_set_copy_count(ja, h.qty);
  }
  if (h.copies > ja->copy_count) {
    LOG_DEBUG("pdf_process_job: pjl_header.copies=%d", h.copies);
    // Copies that the data holds already (inline copies) are not asked for again.
    if (h.copies != inline_copies) ja_set_copy_count(ja, h.copies);
  }
  if (h.duplex != 0) {
    LOG_DEBUG("pdf_process_job: pjl_header.duplex");
    ja_set_is_duplex(ja, 1);
  }
  if (h.tumble != 0) ja_set_is_tumble(ja, 1);
  if (h.grayscale != 0) {
    LOG_DEBUG("pdf_process_job: pjl_header.grayscale");
    ja_set_is_grayscale(ja, 1);
  }
  if (h.paper_width > 0 && h.paper_length > 0) {
    ja_set_page_width_height_mm(ja, std::floor(h.paper_width * PJL_UNIT_720TH_INCH + 0.5),
                                std::floor(h.paper_length * PJL_UNIT_720TH_INCH + 0.5));
  }
  if (h.paper_name[0] != '\0') ja_set_paper_size_name(ja, h.paper_name);
}

struct PwgPatterns {
  ScanRegex copies{R"re(<Copies>\s*(\d+)\s*</Copies>)re", 0};
  ScanRegex sides{R"re(<Sides>\s*(\w+)\s*</Sides>)re", 0};
  ScanRegex color{R"re(<ColorEffectsType>\s*(\w+)\s*</ColorEffectsType>)re", 0};
};

// A PWG print ticket in the first bytes of the job: copies, sides and colour
// effects. -1 when its patterns cannot be compiled, else 0.
int parse_pwg_print_ticket(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  const std::string_view head(reinterpret_cast<const char*>(data),
                              std::min(length, PWG_TICKET_WINDOW));
  const std::size_t open = head.find(PWG_OPEN);
  if (open == std::string_view::npos || open + PWG_OPEN.size() >= head.size()) return 0;
  const std::size_t body = open + PWG_OPEN.size();
  const std::size_t close = head.find(PWG_CLOSE, body);
  if (close == std::string_view::npos) {
    LOG_DEBUG("parse_pwg_print_ticket: <PwgPrintJobTicket> without </PwgPrintJobTicket>");
    return 0;
  }
  LOG_DEBUG("parse_pwg_print_ticket: <PwgPrintJobTicket> at %zu  </PwgPrintJobTicket> at %zu",
            open, close);
  static const PwgPatterns patterns;
  if (!patterns.copies.ok() || !patterns.sides.ok() || !patterns.color.ok()) {
    LOG_ERROR("parse_pwg_print_ticket: regex_compile failed");
    return -1;
  }
  const std::string_view ticket = head.substr(body, close - body);
  if (const ScanMatch m = patterns.copies.match(ticket); m.matched) {
    const int copies = decimal_clamp<int>(decimal_read(m.group(1)).value);
    if (copies > 1) {
      LOG_DEBUG("parse_pwg_print_ticket: copies=%d", copies);
      ja_set_copy_count(ja, copies);
    }
  }
  if (const ScanMatch m = patterns.sides.match(ticket);
      m.matched && m.group(1).find("Two") != std::string_view::npos) {
    LOG_DEBUG("parse_pwg_print_ticket: is_duplex=%d", 1);
    ja_set_is_duplex(ja, 1);
  }
  if (const ScanMatch m = patterns.color.match(ticket);
      m.matched && m.group(1).find("Color") == std::string_view::npos) {
    LOG_DEBUG("parse_pwg_print_ticket: is_grayscale=%d", 1);
    ja_set_is_grayscale(ja, 1);
  }
  return 0;
}

// A PCLm job's ticket (sides, monochrome, copies), and the blank back side
// the driver adds to a two-sided job of an odd page count, which is no page
// of the document.
void apply_pclm_ticket(ByteSpan data, int pages, JobAttribs* ja) {
  const PclmJob pclm = pclm_read(data);
  if (!pclm.pclm) return;
  if (pclm.duplex) ja_set_is_duplex(ja, 1);
  if (pclm.tumble) ja_set_is_tumble(ja, 1);
  if (pclm.monochrome) ja_set_is_grayscale(ja, 1);
  if (pclm.copies > ja->copy_count) ja_set_copy_count(ja, pclm.copies);
  if (pclm.last_page_blank && pages >= 2 && pages % 2 == 0) {
    LOG_DEBUG("pdf_process_job: the last page of a two-sided PCLm job is blank: %d pages",
              pages - 1);
    ja_set_pages(ja, pages - 1);
  }
}

// The root's /Count when the file has a page tree, else the page
// dictionaries seen.
int page_count(const PdfScan& scan) {
  const int objects = static_cast<int>(std::min<std::int64_t>(scan.page_objects, INT32_MAX));
  if (scan.root_count && *scan.root_count > 0) {
    if (*scan.root_count != objects) {
      LOG_DEBUG("pdf_process_job: page tree /Count %d, page dictionaries %d", *scan.root_count,
                objects);
    }
    return *scan.root_count;
  }
  return objects;
}

}  // namespace

int pdf_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering pdf_process_job");
  static const PdfPatterns patterns;
  WalkTimer timer("PDF");
  PdfScan scan;
  scan.patterns = &patterns;
  scan.ja = ja;
  scan.timer = &timer;
  if (data != nullptr) pdf_walk(&scan, ByteSpan(data, length), false);
  const int pages = page_count(scan);
  LOG_DEBUG("pdf_process_job: pages=%d (page dictionaries %" PRId64 ", object streams %d)", pages,
            scan.page_objects, scan.object_streams);
  ja_set_pages(ja, pages);
  if (data != nullptr) {
    apply_pjl_header(data, length, scan.inline_copies, ja);
    if (parse_pwg_print_ticket(data, length, ja) < 0) return -1;
    apply_pclm_ticket(ByteSpan(data, length), pages, ja);
  }
  // Page content is not read for colour: only a job that its own PJL header
  // or print ticket (PWG, PCLm) prints in gray is judged (gray); any other
  // PDF's colour pages stay not judged (-1).
  if (ja->is_grayscale != 0) ja_set_color_pages(ja, 0);
  if (pages <= 0) {
    LOG_ERROR("pdf_process_job: no page found");
    return -1;
  }
  return 0;
}

namespace {
int pdf_adapter(const std::uint8_t* data, std::uint64_t length, int /*extra*/, JobAttribs* ja) {
  return pdf_process_job(data, length, ja);
}
}  // namespace

const AnalyzerEntry PDF_ANALYZER{"pdf_process_job", pdf_adapter};
