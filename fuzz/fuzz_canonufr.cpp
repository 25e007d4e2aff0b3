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
  // -1 only for a LIPS job without PJL whose commands cannot be followed.
  const int result = canonufr_process_job(input.data(), size, ja.get());
  if (result != 0 && result != -1) std::abort();
  return 0;
}
