// The ZjStream analyzer over arbitrary bytes, with the record parse (code
// 28) and with the byte scan only (code 67).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/zjstream.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  for (int record_parse : {1, 0}) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    if (ja == nullptr) return 0;
    if (zjstream_process_job(input.data(), size, ja.get(), record_parse) != 0) std::abort();
    if (ja->pages < 0) std::abort();
  }
  return 0;
}
