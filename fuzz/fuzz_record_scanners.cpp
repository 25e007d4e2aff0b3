// The record scanners (QPDL, Lexmark SMART, HBPL, HP GDI remote and local,
// Konica Minolta GDI, WSMC and Bizhub, HiperC, Canon GARO, FXPLW) over
// arbitrary bytes: the first byte picks the scanner, so that the fuzzer can
// learn each one's records; the rest is the job.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "formats/canongaro.h"
#include "formats/fxplw.h"
#include "formats/hbpl.h"
#include "formats/hiperc.h"
#include "formats/hpgdi.h"
#include "formats/kmgdi.h"
#include "formats/lexmark.h"
#include "formats/qpdl.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

namespace {
const AnalyzerEntry* const SCANNERS[] = {
    &QPDL_ANALYZER,          &LEXMARK_SMART_ANALYZER, &HBPL_ANALYZER,
    &HP_GDI_REMOTE_ANALYZER, &HP_GDI_LOCAL_ANALYZER,  &KMGDI_ANALYZER,
    &KMGDI_WSMC_ANALYZER,    &KMGDI_BIZHUB_ANALYZER,  &HIPERC_ANALYZER,
    &CANONGARO_ANALYZER,     &FXPLW_ANALYZER,
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const AnalyzerEntry* scanner = SCANNERS[data[0] % std::size(SCANNERS)];
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data + 1, size - 1);
  JobAttribsPtr ja(analyzer_create_job_attribs());
  if (ja == nullptr) return 0;
  if (scanner->analyze(input.data(), size - 1, 0, ja.get()) != 0) std::abort();
  return 0;
}
