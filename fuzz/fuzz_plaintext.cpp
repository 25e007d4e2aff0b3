// The plain-text analyzer over arbitrary bytes, with the configured lines per
// page and with one line a page (every line feed ends a page).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "analysis/plaintext.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  JobAttribsPtr a(analyzer_create_job_attribs());
  JobAttribsPtr b(analyzer_create_job_attribs());
  if (a == nullptr || b == nullptr) return 0;
  const int ra = plaintext_process_job(input.data(), size, a.get(), 66);
  const int rb = plaintext_process_job(input.data(), size, b.get(), 1);
  // Fewer lines a page never gives fewer pages.
  if (ra != rb || (ra == 0 && (a->pages < 1 || b->pages < a->pages))) std::abort();
  return 0;
}
