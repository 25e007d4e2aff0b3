// The Canon UFR and LIPS analyzer over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/canonufr.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  JobAttribsPtr ja(analyzer_create_job_attribs());
  if (ja == nullptr) return 0;
  if (canonufr_process_job(input.data(), size, ja.get()) != 0) std::abort();
  return 0;
}
