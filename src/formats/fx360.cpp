#include "formats/fx360.h"

#include <string>
#include <string_view>

#include "formats/format_entry.h"
#include "formats/text_header.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "scan/byte_cursor.h"
#include "scan/scan_regex.h"

namespace {

constexpr std::uint64_t HEADER_HEAD = 4000;
constexpr const char* PAGE_MARKER = "setp intray";
constexpr std::string_view END_OF_PAGE = "ep ";
constexpr std::uint64_t EP_FIRST_SEARCH = 4;
constexpr std::uint64_t EP_NEXT_MATCHED = 4;
constexpr std::uint64_t EP_NEXT_UNMATCHED = 8;
constexpr std::uint64_t EP_MIN_ROOM = 5;

std::string str(std::string_view v) { return std::string(v); }

// The header step: duplex and paper name, each logged when missing. The job
// is refused only when it has neither (nothing of the format's header).
bool fx360_parse_header(std::string_view head, JobAttribs* ja, bool* refused) {
  const ScanRegex duplex(R"(duplex\s+(\d+)\s+setp)", 0);
  const ScanRegex paper(R"(stp\s+([pl])\s+(\w+)\s+)", 0);
  if (!duplex.ok() || !paper.ok()) {
    LOG_ERROR("fx360_parse_header: regex_compile() failed");
    return false;
  }
  const ScanMatch d = duplex.match(head);
  if (d.matched) {
    if (text_group_int(d.group(1)) != 0) ja_set_is_duplex(ja, 1);
    LOG_DEBUG("fx360_parse_header: duplex_code=%d,ja->is_duplex=%d", text_group_int(d.group(1)),
              ja->is_duplex);
  } else {
    LOG_DEBUG("fx360_parse_header: Could not find duplex setting");
  }
  const ScanMatch p = paper.match(head);
  if (p.matched) {
    ja_set_paper_size_name(ja, str(p.group(2)).c_str());
    LOG_DEBUG("fx360_parse_header: portrait_landscape='%s',paper_size_name='%s'",
              str(p.group(1)).c_str(), str(p.group(2)).c_str());
  } else {
    LOG_DEBUG("fx360_parse_header: Could not find paper size name");
  }
  *refused = !d.matched && !p.matched;
  return true;
}

// Pages from the "ep N" commands at the start of lines; N is the page's
// copies, which must be the same for every page.
void count_ep(ByteSpan data, JobAttribs* ja) {
  const ScanRegex ep(R"(ep\s++(\d+)[\n\r])", PCRE_ANCHORED);
  if (!ep.ok()) {
    LOG_ERROR("fx360_parse_header: regex_compile() failed");
    return;
  }
  const std::string_view text = scan_text(data);
  int pages = 0;
  int copies = 0;
  std::uint64_t from = EP_FIRST_SEARCH;
  while (from < data.size() && data.size() - from >= EP_MIN_ROOM) {
    const auto at = scan_find(data, from, END_OF_PAGE);
    if (!at || (data[*at - 1] != '\n' && data[*at - 1] != '\r')) break;
    const ScanMatch m = ep.match(text.substr(*at));
    if (!m.matched) {
      from = *at + EP_NEXT_UNMATCHED;
      continue;
    }
    const int page_copies = text_group_int(m.group(1));
    if (pages > 0 && page_copies != copies) {
      LOG_DEBUG("count_ep: inconsistent copies. copies=%d,doc_copies=%d,page=%d", page_copies,
                copies, pages + 1);
      return;
    }
    copies = page_copies;
    if (pages < INT32_MAX) ++pages;
    from = *at + EP_NEXT_MATCHED;
  }
  if (pages > 0 && copies > 0) {
    LOG_DEBUG("fx360_pprocess_job: Found ep markers. pages=%d,copy_count=%d", pages, copies);
    ja_set_pages(ja, pages);
    ja_set_copy_count(ja, copies);
  }
}

}  // namespace

int fx360_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  const ByteSpan bytes = scan_bytes(data, length);
  bool refused = false;
  const std::string_view head = scan_text(bytes.first(std::min(length, HEADER_HEAD)));
  if (!fx360_parse_header(head, ja, &refused) || refused) {
    LOG_ERROR("fx360_pprocess_job: Could not parse header");
    return -1;
  }
  const std::int64_t pages = search_count_ref(data, length, PAGE_MARKER);
  if (pages > 0) {
    LOG_DEBUG("fx360_pprocess_job: Found PAGE_MARKER='%s'", PAGE_MARKER);
    ja_set_pages(ja, static_cast<int>(std::min<std::int64_t>(pages, INT32_MAX)));
    return 0;
  }
  count_ep(bytes, ja);
  return 0;
}

const AnalyzerEntry FX360_ANALYZER{"fx360_process_job", format_entry_adapter<fx360_process_job>};
