// The PNG and JPEG colour tests over arbitrary bytes: every decoder error is
// caught, nothing is read outside the buffer, results are verdicts, and no
// image makes a decoder take more memory than the replay allows (a few
// hundred bytes declaring a huge progressive JPEG once took 2 GB).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "analysis/jpeg_tv.h"
#include "analysis/png_tv.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  const int png = png_has_color(input.data(), size, "fuzz.png");
  const int jpeg = jpeg_has_color(input.data(), size, "fuzz.jpg");
  const auto verdict = [](int v) { return v >= IMAGE_UNJUDGED && v <= IMAGE_COLOR; };
  if (!verdict(png) || !verdict(jpeg)) std::abort();
  return 0;
}
