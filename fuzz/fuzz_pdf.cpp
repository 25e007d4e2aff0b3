// The PDF analyzer over arbitrary bytes: the walk, the page-tree and
// object-stream readers and the PJL and PWG steps stay inside the buffer,
// and the record keeps values in their ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "analysis/pdf.h"
#include "analysis/pdf_internal.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  JobAttribsPtr ja(analyzer_create_job_attribs());
  if (ja == nullptr) return 0;
  const int result = pdf_process_job(input.data(), size, ja.get());
  if (result == 0 && ja->pages <= 0) std::abort();
  if (ja->copy_count < 1) std::abort();
  const std::string_view text(reinterpret_cast<const char*>(input.data()), size < 64 ? size : 64);
  if (const auto box = pdf_box_size(text); box && (box->width_mm < 0 || box->height_mm < 0)) {
    std::abort();
  }
  return 0;
}
