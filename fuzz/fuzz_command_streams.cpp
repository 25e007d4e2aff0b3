// The RISO, RPCS and Sharp SPLC walks over arbitrary bytes: they stay inside
// the data (the RISO name, the RPCR header, the SPLC commands read behind
// their first bytes) and report no negative page count.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/riso.h"
#include "formats/rpcs.h"
#include "formats/sharpgdi_splc.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  JobAttribsPtr riso(analyzer_create_job_attribs());
  JobAttribsPtr rpcs(analyzer_create_job_attribs());
  JobAttribsPtr splc(analyzer_create_job_attribs());
  if (!riso || !rpcs || !splc) return 0;
  if (riso_process_job(input.data(), size, 1, riso.get()) != 0 || riso->pages < 0) std::abort();
  if (rpcs_process_job(input.data(), size, rpcs.get()) != 0 || rpcs->pages < 0) std::abort();
  if (sharp_gdi_splc_process_job(input.data(), size, splc.get()) != 0 || splc->pages < 0)
    std::abort();
  return 0;
}
