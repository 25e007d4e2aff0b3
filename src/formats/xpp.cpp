#include "formats/xpp.h"

#include <string>

#include "formats/format_entry.h"
#include "formats/text_header.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "scan/byte_cursor.h"
#include "scan/scan_regex.h"

namespace {

constexpr std::uint64_t HEAD = 10000;
constexpr const char* SETTINGS =
    R"re(@XPP\s+SET\s+DUP=(\d+)\s+NUP=(\d+)\s+DCH=\d+\s+PAPER="(\w+)"\s+DIR=\d+\s+MEDIA=\d+)re"
    R"re(\s+COPY=(\d+)\s+COMPRESS="\w+")re";
constexpr int SIMPLEX = 3;

}  // namespace

int xpp_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering xpp_process_job");
  const ScanRegex settings(SETTINGS, 0);
  if (!settings.ok()) {
    LOG_ERROR("regex_compile failed");
    return 0;
  }
  const ByteSpan bytes = scan_bytes(data, length);
  const ScanMatch m = settings.match(scan_text(bytes.first(std::min(length, HEAD))));
  if (!m.matched) {
    LOG_ERROR("xpp_process_job: Does not appear to be a valid XPP spool file");
    return 0;
  }
  const std::string line(m.group(0));
  LOG_DEBUG("xpp_process_job: Matched re_attrs. offset=%llu,match='%s'",
            static_cast<unsigned long long>(m.start), line.c_str());
  const int nup = std::max(1, text_group_int(m.group(2)));
  const int copies = std::max(1, text_group_int(m.group(4)));
  // Every page repeats the settings line.
  const std::int64_t lines = std::max<std::int64_t>(1, search_count_ref(data, length, line.c_str()));
  const std::int64_t pages = (lines + nup - 1) / nup;
  ja_set_pages(ja, static_cast<int>(std::min<std::int64_t>(pages, INT32_MAX)));
  // No record marks colour or gray: the colour is left unjudged, never taken as gray.
  ja_set_is_duplex(ja, text_group_int(m.group(1)) != SIMPLEX ? 1 : 0);
  ja_set_paper_size_name(ja, std::string(m.group(3)).c_str());
  ja_set_copy_count(ja, copies);
  return 0;
}

const AnalyzerEntry XPP_ANALYZER{"xpp_process_job", format_entry_adapter<xpp_process_job>};
