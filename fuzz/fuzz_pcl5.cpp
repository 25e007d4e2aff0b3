// The PCL5 analyzer over arbitrary bytes, with and without colour
// detection: the scan and the detector stay inside the buffer, the analysis
// succeeds, colour detection does not change the page count, and the colour
// pages are not counted (-1), not judged (a raster it cannot decode) or
// between 0 and the pages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "analysis/pcl5.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

namespace {

using JaPtr = JobAttribsPtr;

JaPtr analyse(const std::vector<std::uint8_t>& input, int color) {
  JaPtr ja(analyzer_create_job_attribs());
  if (pcl5_process_job(input.data(), input.size(), color, ja.get()) != 0) std::abort();
  return ja;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  const JaPtr plain = analyse(input, 0);
  const JaPtr colour = analyse(input, 1);
  if (plain->pages != colour->pages || plain->copy_count != colour->copy_count) std::abort();
  if (plain->color_pages != -1) std::abort();
  if (colour->color_pages < COLOR_PAGES_UNJUDGED || colour->color_pages > std::max(colour->pages, 0)) std::abort();
  return 0;
}
