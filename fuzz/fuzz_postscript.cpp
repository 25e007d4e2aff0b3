// The PostScript analyzer over arbitrary bytes, with and without colour
// detection: every walk, pattern window, decoder and image test stays in
// the buffer, and the record it fills stays sane.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "analysis/postscript.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  const std::uint8_t* copy = input.data();
  for (int color = 0; color <= 1; ++color) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    if (postscript_process_job(copy, size, color, ja.get()) != 0) std::abort();
    if (ja->pages < 0 || ja->copy_count < 1) std::abort();
    // Colour on: judged (0 to pages), or looked at and not judgeable.
    if (color == 1 && ja->color_pages != COLOR_PAGES_UNJUDGED &&
        (ja->color_pages < 0 || ja->color_pages > ja->pages)) {
      std::abort();
    }
  }
  return 0;
}
