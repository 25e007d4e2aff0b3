// The PNG and JPEG colour tests over arbitrary bytes: every decoder error is
// caught, nothing is read outside the buffer, results stay in -1..1.
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
  if (png < -1 || png > 1 || jpeg < -1 || jpeg > 1) std::abort();
  return 0;
}
