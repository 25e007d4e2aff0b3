// The ZjStream analyzer's entry: the record parse when asked for and
// possible, else (or when it refuses the stream) the byte scan.
#include "formats/zjstream.h"

#include <algorithm>

#include "formats/zjstream_internal.h"
#include "foundation/log.h"
#include "foundation/search.h"

namespace {
// The "JZJZ" text must stand this near the start for the record parse.
constexpr std::uint64_t ZJ_MAGIC_WINDOW = 1024;
}  // namespace

int zjstream_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja,
                         int record_parse) {
  if (data == nullptr) length = 0;
  if (record_parse != 0) {
    const std::uint8_t* magic =
        search_bm_ref(data, std::min<std::uint64_t>(length, ZJ_MAGIC_WINDOW), "JZJZ");
    if (magic != nullptr) {
      if (zjstream_parse_records(data, length, static_cast<std::uint64_t>(magic - data), ja) == 1)
        return 0;
      LOG_ERROR("Could not parse zjstream. Falling back to old method");
    }
  }
  zjstream_scan_bytes(data, length, ja);
  return 0;
}

namespace {
int zjstream_adapter(const std::uint8_t* data, std::uint64_t length, int record_parse,
                     JobAttribs* ja) {
  return zjstream_process_job(data, length, ja, record_parse);
}
}  // namespace

const AnalyzerEntry ZJSTREAM_ANALYZER{"zjstream_process_job", zjstream_adapter};
