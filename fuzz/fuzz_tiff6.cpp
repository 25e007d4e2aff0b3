// The TIFF6 analyzer and the TIFF directory reader over arbitrary bytes:
// every offset and count from the data is checked before use.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "analysis/tiff6.h"
#include "analysis/tiff_ifd.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  JobAttribsPtr ja(analyzer_create_job_attribs());
  if (ja == nullptr) return 0;
  const int result = tiff6_process_job(input.data(), size, ja.get());
  if (result == 0 && ja->pages <= 0) std::abort();
  const int images = tiff_count_images(ByteSpan(input.data(), size));
  if (images < 0 || images > TIFF_MAX_IMAGES) std::abort();
  return 0;
}
