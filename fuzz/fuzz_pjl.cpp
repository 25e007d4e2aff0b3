// The job-level readers over arbitrary bytes: the PJL header (with the
// header step), the PJL trailer, the XPIF ticket and the Kyocera trailer
// never read outside the buffer and give results in their ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <memory>

#include "foundation/ja.h"
#include "scan/kyocerameta.h"
#include "scan/pjl.h"
#include "scan/xpif.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  const std::uint8_t* copy = input.data();

  PjlHeaderInfo header;
  const int read = pjl_parse_header(copy, size, &header);
  if (read != 0 && read != 1) std::abort();
  if (header.copies < -1 || header.qty < -1) std::abort();
  std::unique_ptr<JobAttribs, JobAttribsDeleter> ja(analyzer_create_job_attribs());
  if (ja != nullptr) {
    (void)pjl_set_job_attributes(copy, size, ja.get(), PJL_UNIT_720TH_INCH);
    if (ja->copy_count < 1) std::abort();
  }
  PjlTrailerInfo trailer;
  if (pjl_parse_trailer(copy, size, &trailer) == 1 && trailer.duplex < -1) std::abort();
  if (xpif_parse_header(copy, size, &header) == 1 && header.qty == 0) std::abort();
  KyoceraTrailerInfo kyocera;
  if (kyocerameta_parse_trailer(copy, size, &kyocera) == 1 &&
      (kyocera.color_pages > INT32_MAX || kyocera.mono_pages > INT32_MAX)) {
    std::abort();
  }
  return 0;
}
