#include "formats/pebble.h"

#include "formats/format_entry.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"

namespace {
constexpr auto START_OF_PAGE_BYTES = marker_bytes("\x1bPr;");
constexpr MarkerRule START_OF_PAGE{START_OF_PAGE_BYTES, 4, 4, "found start page marker at: "};
}  // namespace

int pebble_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering pebble_process_job");
  WalkTimer timer(analyzer_lang_to_string(LANG_PEBBLE));
  ja_set_pages(ja, marker_count(scan_bytes(data, length), START_OF_PAGE, &timer));
  return 0;
}

const AnalyzerEntry PEBBLE_ANALYZER{"pebble_process_job", format_entry_adapter<pebble_process_job>};
