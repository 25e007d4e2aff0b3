// The Konica Minolta WSMC form: everything the job says stands in its PJL.
#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/kmgdi.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/pjl.h"

int kmgdi_wsmc_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering kmgdi_wsmc_process_job");
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("KMGDI");
  bool found = false;
  (void)format_walk(d, &timer, WalkStarts{'@'}, [&](std::uint64_t pos) {
    if (walk_has_room(d.size(), pos, 3) && scan_bytes_at(d, pos, "@PJL")) {
      found = true;
      return d.size();
    }
    return pos + 1;
  });
  if (!found) return 0;
  ja_set_copy_count(ja, 1);
  (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_720TH_INCH);
  PjlTrailerInfo trailer{};
  if (pjl_parse_trailer(data, length, &trailer) == 1 && pjl_trailer_has_pages(trailer))
    ja_set_pages(ja, trailer.pages);
  return 0;
}

const AnalyzerEntry KMGDI_WSMC_ANALYZER{"kmgdi_wsmc_process_job",
                                        format_entry_adapter<kmgdi_wsmc_process_job>};
