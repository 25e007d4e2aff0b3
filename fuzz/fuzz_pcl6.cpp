// The PCL XL analyzer over arbitrary bytes, with and without colour
// detection: never reads outside the buffer, always analyses (0), finds the
// same pages either way (embedded data is stepped over by its length
// whatever the colour flag), and never reports more colour pages than
// pages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "analysis/pcl6.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  const std::uint8_t* copy = input.data();
  JobAttribsPtr plain(analyzer_create_job_attribs());
  JobAttribsPtr colour(analyzer_create_job_attribs());
  const int plain_result = pcl6_process_job(copy, size, 0, plain.get());
  const int colour_result = pcl6_process_job(copy, size, 1, colour.get());
  if (plain_result != 0 || colour_result != 0) std::abort();
  if (plain->pages != colour->pages) std::abort();
  if (colour->color_pages > colour->pages && colour->pages > 0) std::abort();
  return 0;
}
