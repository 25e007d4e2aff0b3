// The PCL XL planner over arbitrary bytes, asked for everything it does:
// never reads outside the buffer, and when it succeeds its edits form a
// valid list whose rewrite the planner's own item walk reads to the end with
// the same pages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/bstrlib.h"
#include "foundation/ja.h"
#include "foundation/watermark.h"
#include "fuzz_input.h"
#include "modify/pcl6_items.h"
#include "modify/planner_pcl6.h"
#include "modify/replacement_list.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  watermark_params request{};
  std::strcpy(request.text, "FUZZ");
  request.font_size = 24;
  request.force_duplex = 1;
  request.force_grayscale = 1;
  JobAttribsPtr job(analyzer_create_job_attribs());
  ReplacementListPtr list(replacement_list_create(size, -1, "PCLXL"));
  if (plan_replacements_pcl6(&request, job.get(), input.data(), size, list.get()) != 1) return 0;
  replacement_list_sort(list.get());
  if (replacement_list_is_valid(input.data(), size, list.get()) != 1) std::abort();
  bstring out = replacement_list_flatten(input.data(), size, list.get());
  if (out == nullptr) std::abort();
  PxlScan before;
  PxlScan after;
  if (!pxl_scan_items(scan_bytes(input.data(), size), &before)) std::abort();
  const bool walked = pxl_scan_items(scan_bytes(reinterpret_cast<const std::uint8_t*>(out->data),
                                                static_cast<std::uint64_t>(out->slen)),
                                     &after);
  if (!walked || after.pages.size() != before.pages.size()) std::abort();
  bdestroy(out);
  return 0;
}
