#include "formats/kmgdi_di.h"

#include "formats/format_entry.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {
constexpr auto PAGE_BYTES = marker_bytes("\x01\x05\x25\x00\x00\x00\xff");
constexpr MarkerRule PAGE{PAGE_BYTES, 10, 1,
                          "found start page marker at: "};
}  // namespace

int kmgdi_di_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering kmgdi_di_process_job");
  WalkTimer timer("KMGDI");
  ja_set_pages(ja, marker_count(scan_bytes(data, length), PAGE, &timer));
  ja_set_copy_count(ja, 1);
  return 0;
}

const AnalyzerEntry KMGDI_DI_ANALYZER{"kmgdi_di_process_job",
                                      format_entry_adapter<kmgdi_di_process_job>};
