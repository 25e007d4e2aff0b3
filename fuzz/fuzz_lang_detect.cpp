// Language detection over arbitrary bytes: never reads outside the buffer,
// always gives a code of the table, and gives the same code twice (the
// per-call token state must not leak from one call into the next).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "scan/lang_detect.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  const std::uint8_t* copy = input.data();
  const int first = analyzer_lang_detect(copy, size);
  const int second = analyzer_lang_detect(copy, size);
  if (first < 0 || first > 69 || first != second) std::abort();
  return 0;
}
