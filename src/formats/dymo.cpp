#include "formats/dymo.h"

#include "formats/format_entry.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"

namespace {
constexpr auto END_OF_LABEL_BYTES = marker_bytes("\x1b\x45");
constexpr MarkerRule END_OF_LABEL{END_OF_LABEL_BYTES, 1, 1, "found end page marker at: "};
}  // namespace

int dymo_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering dymo_process_job");
  WalkTimer timer(analyzer_lang_to_string(LANG_DYMO));
  ja_set_pages(ja, marker_count(scan_bytes(data, length), END_OF_LABEL, &timer));
  return 0;
}

const AnalyzerEntry DYMO_ANALYZER{"dymo_process_job", format_entry_adapter<dymo_process_job>};
