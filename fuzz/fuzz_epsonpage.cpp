// The ESC/Page analyzer and its blank-last-page test over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/epsonpage.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  JobAttribsPtr ja(analyzer_create_job_attribs());
  if (ja == nullptr) return 0;
  if (epsonpage_process_job(input.data(), size, ja.get()) != 0) std::abort();
  const int blank = is_last_page_blank(input.data(), size);
  if (blank != 0 && blank != 1) std::abort();
  return 0;
}
