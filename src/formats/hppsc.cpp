#include "formats/hppsc.h"

#include "formats/format_entry.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "scan/pjl.h"

namespace {
// The separator stands before every page and once more at the end.
constexpr auto SEPARATOR_BYTES = marker_bytes("\xff\xff\xff\xff\xff\x24\x24\x00");
constexpr MarkerRule SEPARATOR{SEPARATOR_BYTES, 8, 9,
                               "found page separator at: "};
}  // namespace

int hp_gdi_psc_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering hp_gdi_psc_process_job");
  WalkTimer timer(analyzer_lang_to_string(LANG_GDI_HP_3));
  const int separators = marker_count(scan_bytes(data, length), SEPARATOR, &timer);
  if (separators >= 1) ja_set_pages(ja, separators - 1);
  (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_720TH_INCH);
  return 0;
}

const AnalyzerEntry HP_GDI_PSC_ANALYZER{"hp_gdi_psc_process_job",
                                        format_entry_adapter<hp_gdi_psc_process_job>};
