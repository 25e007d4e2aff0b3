// The PostScript analyzer over arbitrary bytes, with and without colour
// detection: every walk, pattern window, decoder and image test stays in
// the buffer, and the record it fills stays sane.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "analysis/postscript.h"
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
  for (int color = 0; color <= 1; ++color) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    if (postscript_process_job(copy, size, color, ja.get()) != 0) std::abort();
    if (ja->pages < 0 || ja->copy_count < 1) std::abort();
    if (color == 1 && (ja->color_pages < 0 || ja->color_pages > ja->pages)) std::abort();
  }
  std::free(copy);
  return 0;
}
