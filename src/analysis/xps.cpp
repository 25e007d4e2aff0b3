// The XPS analyzer: the package in memory, its print tickets, its pages
// counted as sheets and, with colour detection, its colour sheets.
#include "analysis/xps.h"

#include <string>
#include <vector>

#include "scan/position_timer.h"
#include "analysis/xps_color.h"
#include "scan/xps_xml.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

constexpr std::string_view CONTENT_TYPES_PART = "/[Content_Types].xml";
constexpr std::string_view TYPE_PRINT_TICKET = "printticket";

// The job's ticket: the print ticket of the document sequence.
void apply_job_ticket(XpsZip* zip, const XpsFileList& list, const std::string& sequence,
                      JobAttribs* ja, int* pages_per_sheet) {
  std::string ticket;
  if (!get_print_ticket_path(zip, list, sequence, &ticket)) {
    LOG_DEBUG("xps_process_job: No print ticket for fixed_doc_seq_path='%s' _rels", sequence.c_str());
    LOG_DEBUG("xps_process_job: No job ticket!");
    return;
  }
  LOG_DEBUG("xps_process_job: job_ticket_path='%s'", ticket.c_str());
  if (extract_print_ticket(zip, list, ticket, XPS_SCOPE_JOB, ja, pages_per_sheet) == 0) {
    LOG_DEBUG("xps_process_job: extract_print_ticket(%s) failed", ticket.c_str());
  }
}

// Every ticket that the content types list, at page scope (page size and
// pages per sheet only). A package without content types still has its
// pages counted.
void apply_listed_tickets(XpsZip* zip, const XpsFileList& list, JobAttribs* ja,
                          int* pages_per_sheet) {
  std::string types;
  if (!get_xps_value(zip, list, CONTENT_TYPES_PART, true, &types)) {
    LOG_ERROR("get_fixed_doc_seq_path: No start_part '%s'!", std::string(CONTENT_TYPES_PART).c_str());
    return;
  }
  std::vector<std::string> tickets;
  XmlTagScanner scanner(types);
  XmlTag tag;
  while (scanner.next(&tag)) {
    if (tag.name != "Override") continue;
    const auto part = xml_attribute(tag.attributes, "PartName");
    const auto type = xml_attribute(tag.attributes, "ContentType");
    if (!part || !type || type->find(TYPE_PRINT_TICKET) == std::string_view::npos) continue;
    (void)string_list_append_xps(&tickets, CONTENT_TYPES_PART, *part);
  }
  for (const std::string& ticket : tickets) {
    LOG_DEBUG("xps_process_job: job_ticket_path='%s'", ticket.c_str());
    if (extract_print_ticket(zip, list, ticket, XPS_SCOPE_PAGE, ja, pages_per_sheet) == 0) {
      LOG_DEBUG("xps_process_job: extract_print_ticket(%s) failed", ticket.c_str());
    }
  }
}

// Colour sheets into the record; false when an image made the job
// unanalysable.
bool count_color_sheets(XpsZip* zip, const XpsFileList& list,
                        const std::vector<std::string>& pages, int pages_per_sheet,
                        PositionTimer* timer, JobAttribs* ja) {
  XpsColorScan scan;
  scan.zip = zip;
  scan.list = &list;
  const int color = get_num_color_pages(&scan, pages, pages_per_sheet, timer);
  ja_set_color_pages(ja, color);
  // Not judged (the time limit): the pages stand, and no grayscale is claimed.
  if (color == COLOR_PAGES_UNJUDGED) return true;
  if (color < 0) {
    ja_set_pages(ja, -1);
    return false;
  }
  ja_set_is_grayscale(ja, color == 0 ? 1 : 0);
  return true;
}

}  // namespace

int xps_process_job(const std::uint8_t* data, std::uint64_t length, int color, JobAttribs* ja) {
  LOG_DEV("entering xps_process_job");
  PositionTimer timer(global_ctx.parse_timeout);
  XpsZipPtr zip(unzip_open(data, length));
  if (!zip) {
    LOG_ERROR("xps_process_job: unzip_open failed. Is this a zip file?");
    return -1;
  }
  const std::optional<XpsFileList> list = unzip_get_filenames(zip.get());
  if (!list || list->parts.empty()) {
    LOG_ERROR("xps_process_job: unzip_get_filenames failed");
    return -1;
  }
  std::string sequence;
  if (!get_fixed_doc_seq_path(zip.get(), *list, &sequence)) {
    LOG_ERROR("xps_process_job: Could not find Fixed Doc Sequence fixed_doc_seq_path='%s'",
              sequence.c_str());
    return -1;
  }
  LOG_DEBUG("xps_process_job: fixed_doc_seq_path='%s'", sequence.c_str());
  int pages_per_sheet = 1;
  apply_job_ticket(zip.get(), *list, sequence, ja, &pages_per_sheet);
  apply_listed_tickets(zip.get(), *list, ja, &pages_per_sheet);

  const bool count_color = color != 0 && ja->is_grayscale == 0;
  if (color != 0 && !count_color) ja_set_color_pages(ja, 0);
  std::vector<std::string> pages;
  const int sheets = get_num_pages(zip.get(), *list, sequence, nullptr,
                                   count_color ? &pages : nullptr, pages_per_sheet);
  ja_set_pages(ja, sheets);
  LOG_DEBUG("xps_process_job: num pages=%d ", sheets);
  if (sheets <= 0) {
    // A job is never billed as no pages without saying so.
    LOG_ERROR("xps_process_job: no pages found");
    return -1;
  }
  if (count_color && !count_color_sheets(zip.get(), *list, pages, pages_per_sheet, &timer, ja)) {
    return -1;
  }
  return 0;
}

const AnalyzerEntry XPS_ANALYZER{"xps_process_job", xps_process_job};
