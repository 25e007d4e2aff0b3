// Inline-copy detection over arbitrary bytes: the first three bytes choose
// the copies, the pages and the mode; the rest is the job. A found copy
// count always makes up the whole job.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <memory>

#include "foundation/ja.h"
#include "scan/inline_copies.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int copies = data[0] % 8;
  const int pages = copies * (1 + data[1] % 4);
  const int mode = data[2] & 1;
  const std::size_t length = size - 3;
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data + 3, length);
  const std::uint8_t* copy = input.data();

  const int has = has_num_inline_copies(copy, length, copies, pages, mode);
  if (has != 0 && has != 1) std::abort();
  std::unique_ptr<JobAttribs, JobAttribsDeleter> ja(analyzer_create_job_attribs());
  if (ja != nullptr) {
    ja->pages = pages;
    if (data[1] & 0x80) ja_set_printer_type(ja.get(), "HP Universal Printing");
    std::uint64_t one = 0;
    const int found = find_inline_copies(copy, length, ja.get(), &one);
    if (found != -1 && (found < 2 || one * static_cast<std::uint64_t>(found) != length)) {
      std::abort();
    }
  }
  return 0;
}
