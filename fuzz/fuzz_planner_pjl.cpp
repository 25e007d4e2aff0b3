// The PJL planner over arbitrary bytes: the first byte chooses what the
// request forces and the job's language, the rest is the job. The planner
// finds the header, never reads outside the job, and leaves a valid list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/ja.h"
#include "foundation/watermark.h"
#include "modify/planner_pjl.h"
#include "modify/replacement_list.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t choice = data[0];
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data + 1, size - 1);
  const std::uint64_t length = input.size();

  char language_name[128];
  const std::int64_t end = detect_pjl_header(input.data(), length, language_name,
                                             sizeof language_name);
  if (end >= 0 && static_cast<std::uint64_t>(end) >= length) std::abort();
  ReplacementListPtr list(replacement_list_create(length, end, language_name));
  JobAttribsPtr job(analyzer_create_job_attribs());
  if (list == nullptr || job == nullptr) return 0;
  job->language = (choice & 0x08) != 0 ? 1 : 4;
  if ((choice & 0x10) != 0) ja_set_printer_type(job.get(), "HP Color LaserJet CP4005 PCL 6");
  watermark_params request{};
  request.force_duplex = choice & 0x01;
  request.force_grayscale = (choice >> 1) & 0x01;
  request.copies = (choice & 0x04) != 0 ? (choice >> 5) + 1 : 0;
  if (plan_replacements_pjl(&request, job.get(), input.data(), length, list.get()) != 1) {
    return 0;
  }
  replacement_list_sort(list.get());
  if (replacement_list_is_valid(input.data(), length, list.get()) != 1) std::abort();
  return 0;
}
