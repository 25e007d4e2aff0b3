// The PCL XL analyzer over arbitrary bytes, with and without colour
// detection: never reads outside the buffer, always analyses (0), finds the
// same pages either way (embedded data is stepped over by its length
// whatever the colour flag), and never reports more colour pages than
// pages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "analysis/pcl6.h"
#include "foundation/config.h"
#include "foundation/ja.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  config_init_session_defaults(&global_ctx);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size heap copy so that a one-byte over-read is caught.
  auto* copy = static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size));
  if (copy == nullptr) return 0;
  if (size > 0) std::memcpy(copy, data, size);
  JobAttribsPtr plain(analyzer_create_job_attribs());
  JobAttribsPtr colour(analyzer_create_job_attribs());
  const int plain_result = pcl6_process_job(copy, size, 0, plain.get());
  const int colour_result = pcl6_process_job(copy, size, 1, colour.get());
  std::free(copy);
  if (plain_result != 0 || colour_result != 0) std::abort();
  if (plain->pages != colour->pages) std::abort();
  if (colour->color_pages > colour->pages && colour->pages > 0) std::abort();
  return 0;
}
