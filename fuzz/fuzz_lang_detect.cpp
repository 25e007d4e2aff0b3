// Language detection over arbitrary bytes: never reads outside the buffer,
// always gives a code of the table, and gives the same code twice (the
// per-call token state must not leak from one call into the next).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/config.h"
#include "scan/lang_detect.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  config_init_session_defaults(&global_ctx);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size heap copy so that a one-byte over-read is caught.
  auto* copy = static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size));
  if (copy == nullptr) return 0;
  if (size > 0) std::memcpy(copy, data, size);
  const int first = analyzer_lang_detect(copy, size);
  const int second = analyzer_lang_detect(copy, size);
  std::free(copy);
  if (first < 0 || first > 69 || first != second) std::abort();
  return 0;
}
