// The CUPS raster analyzer over arbitrary bytes: it stays inside the data,
// and an analysed stream has at least one page.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/cupsraster.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  JobAttribsPtr ja(analyzer_create_job_attribs());
  if (ja == nullptr) return 0;
  const int result = cupsraster_process_job(input.data(), size, ja.get());
  if (result == 0 && (ja->pages < 1 || ja->copy_count < 1)) std::abort();
  return 0;
}
