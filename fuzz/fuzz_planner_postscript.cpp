// The PostScript planner over arbitrary bytes, asked for everything it does
// (and as the C2270, whose rules search the whole job): never reads outside
// the buffer, and when it succeeds its edits form a valid list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/bstrlib.h"
#include "foundation/ja.h"
#include "foundation/watermark.h"
#include "fuzz_input.h"
#include "modify/planner_postscript.h"
#include "modify/replacement_list.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  watermark_params request{};
  std::strcpy(request.text, "(FUZZ)\\");
  request.font_size = 24;
  request.force_duplex = 1;
  request.force_grayscale = 1;
  request.copies = 3;
  JobAttribsPtr job(analyzer_create_job_attribs());
  job->language = 1;
  if (size % 2 == 0) std::strcpy(job->printer_type, "ApeosPort-IV C2270");
  ReplacementListPtr list(replacement_list_create(size, -1, nullptr));
  (void)find_start_of_ps(input.data(), size);
  if (plan_replacements_postscript(&request, job.get(), input.data(), size, list.get()) != 1)
    return 0;
  replacement_list_sort(list.get());
  if (replacement_list_is_valid(input.data(), size, list.get()) != 1) std::abort();
  return 0;
}
