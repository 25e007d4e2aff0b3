#include "formats/sharpgdi.h"

#include "formats/format_entry.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/pjl.h"

namespace {
constexpr auto PAGE_BYTES = marker_bytes("\x81\x81\x00\x00\x00\x06");
constexpr MarkerRule PAGE{PAGE_BYTES, 6, 7, "Found page at "};
}  // namespace

int sharp_gdi_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering sharp_gdi_process_job");
  WalkTimer timer("Sharp GDI (remote)");
  const int pages = marker_count(scan_bytes(data, length), PAGE, &timer);
  if (pages >= 1) ja_set_pages(ja, pages);
  (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_MM);
  if (ja->paper_size_name[0] == '\0') ja_set_paper_size_name(ja, "Letter");
  return 0;
}

const AnalyzerEntry SHARP_GDI_ANALYZER{"sharp_gdi_process_job",
                                       format_entry_adapter<sharp_gdi_process_job>};
