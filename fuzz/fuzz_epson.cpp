// The Epson walks over arbitrary bytes: ESC/P2, ESC/P-R with both of its
// fall-backs (codes 55 and 48) and the ESC/P3 page counter. They stay inside
// the data and never count more colour pages than pages when asked. The
// ESC/P2 walk (and ESC/P-R's fall-back to it) may refuse a job it cannot
// follow (-1: not analysed).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/epson.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  JobAttribsPtr escp2(analyzer_create_job_attribs());
  JobAttribsPtr escpr(analyzer_create_job_attribs());
  JobAttribsPtr endp(analyzer_create_job_attribs());
  JobAttribsPtr escp3(analyzer_create_job_attribs());
  if (!escp2 || !escpr || !endp || !escp3) return 0;
  const int escp2_result = epson_process_job(input.data(), size, 1, escp2.get());
  if (escp2_result != 0 && escp2_result != -1) std::abort();
  if (escp2->color_pages > escp2->pages && escp2->pages >= 0) std::abort();
  const int escpr_result = epson_process_job_new(input.data(), size, 1, LANG_ESCPR, escpr.get());
  if (escpr_result != 0 && escpr_result != -1) std::abort();
  if (epson_process_job_new(input.data(), size, 1, LANG_EPSON_ENDP, endp.get()) != 0) std::abort();
  if (epson2_process_job(input.data(), size, escp3.get()) != 0) std::abort();
  return 0;
}
