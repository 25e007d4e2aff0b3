// The job-level planners of the spool modification over arbitrary bytes:
// the first byte chooses the changes asked for, the second where the PJL
// header ends; the rest is the job. Whatever the bytes, every planner
// succeeds or fails cleanly and what it appends is a valid list whose
// rewrite has the size the list promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/watermark.h"
#include "modify/planner.h"
#include "modify/planner_before.h"
#include "modify/planner_canon_ufr.h"
#include "modify/planner_xpif.h"
#include "modify/replacement_list.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  watermark_params request{};
  request.force_duplex = data[0] & 1;
  request.force_grayscale = (data[0] >> 1) & 1;
  request.copies = (data[0] >> 2) & 7;
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data + 2, size - 2);
  const std::uint64_t length = input.size();
  const std::int64_t end_of_pjl =
      data[1] == 0xff ? -1 : static_cast<std::int64_t>(length * data[1] / 255);
  JobAttribsPtr job(analyzer_create_job_attribs());
  ReplacementListPtr list(replacement_list_create(length, end_of_pjl, nullptr));
  if (job == nullptr || list == nullptr) return 0;
  job->language = LANG_PCL6;
  for (replacement_planner planner :
       {plan_replacements_before, plan_replacements_xpif, plan_replacements_canon_ufr}) {
    if (planner(&request, job.get(), input.data(), length, list.get()) != 1) return 0;
    replacement_list_sort(list.get());
  }
  if (replacement_list_is_valid(input.data(), length, list.get()) != 1) return 0;
  BstringPtr out(replacement_list_flatten(input.data(), length, list.get()));
  if (out == nullptr ||
      static_cast<std::uint64_t>(blength(out.get())) != replacement_list_output_size(list.get())) {
    std::abort();
  }
  return 0;
}
