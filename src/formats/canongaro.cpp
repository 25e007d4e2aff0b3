#include "formats/canongaro.h"

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/canon.h"
#include "scan/pjl.h"

namespace {

constexpr double GARO_PJL_UNIT_MM = 0.1;

// CD CA 10, two bytes, 12, a byte, 01, a byte, 04 FF FF, eight bytes,
// 07 D4, then the page count (BE16 at 22).
bool is_page_count_record(ByteSpan d, std::uint64_t pos) {
  if (!walk_has_room(d.size(), pos, 23)) return false;
  const std::uint8_t* p = d.data() + pos;
  return p[0] == 0xCD && p[1] == 0xCA && p[2] == 0x10 && p[5] == 0x12 && p[7] == 0x01 &&
         p[9] == 0x04 && p[10] == 0xFF && p[11] == 0xFF && p[20] == 0x07 && p[21] == 0xD4;
}

}  // namespace

int canongaro_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering canongaro_process_job");
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("Canon GARO");
  int pages = 0;
  (void)format_walk(d, &timer, WalkStarts{0xCD}, [&](std::uint64_t pos) {
    if (is_page_count_record(d, pos)) {
      pages = *scan_be16_at(d, pos + 22);
      LOG_DEBUG("Found %d pages at pos: %u", pages, static_cast<unsigned>(pos));
    }
    return pos + 1;
  });
  ja_set_pages(ja, pages);
  const int copies = canon_get_cpca_copycount(data, length);
  if (copies > 1) ja_set_copy_count(ja, copies);
  if (canon_has_cpca_grayscale(data, length, nullptr) == 1) ja_set_is_grayscale(ja, 1);
  (void)pjl_set_job_attributes_inline(data, length, ja, GARO_PJL_UNIT_MM);
  return 0;
}

const AnalyzerEntry CANONGARO_ANALYZER{"canongaro_process_job",
                                       format_entry_adapter<canongaro_process_job>};
