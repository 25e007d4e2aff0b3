// The Konica Minolta Bizhub form: start-of-page records (the first gives
// the page size in 600 dpi dots) and a copy record.
#include <cstring>

#include "formats/dots.h"
#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/kmgdi.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

struct Bizhub {
  int pages = 0;
  int copies = -1;  // the merge takes only copy counts above 1
  int width_mm = -1;
  int height_mm = -1;
  bool size_known = false;
};

std::uint64_t bizhub_step(Bizhub* b, ByteSpan d, std::uint64_t pos) {
  const std::uint8_t* p = d.data() + pos;
  if (walk_has_room(d.size(), pos, 6) && std::memcmp(p, "\x03\x00\x03\x00\x9E\x04", 6) == 0) {
    ++b->pages;
    LOG_DEBUG("Found start page marker at %u", static_cast<unsigned>(pos));
    if (b->size_known || !walk_has_room(d.size(), pos, 18)) return pos + 6;
    b->size_known = true;
    b->width_mm = dots_to_mm(*scan_le16_at(d, pos + 12), DOTS_PER_MM_600_DPI);
    b->height_mm = dots_to_mm(*scan_le16_at(d, pos + 16), DOTS_PER_MM_600_DPI);
    LOG_DEBUG("Found page dimensions at %u: %dx%d", static_cast<unsigned>(pos), b->width_mm,
              b->height_mm);
    return pos + 18;
  }
  if (walk_has_room(d.size(), pos, 12) && std::memcmp(p, "\x01\x00\x02\x00\xEE\x04", 6) == 0) {
    b->copies = p[12];
    LOG_DEBUG("Using copy count of %d at %u", b->copies, static_cast<unsigned>(pos));
    return pos + 6;
  }
  return pos + 1;
}

}  // namespace

int kmgdi_bizhub_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering kmgdi_bizhub_process_job");
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("KMGDI");
  Bizhub b;
  (void)format_walk(d, &timer, WalkStarts{0x03, 0x01},
                    [&](std::uint64_t pos) { return bizhub_step(&b, d, pos); });
  ja_set_pages(ja, b.pages);
  ja_set_copy_count(ja, b.copies);
  if (b.size_known) ja_set_page_width_height_mm(ja, b.width_mm, b.height_mm);
  return 0;
}

const AnalyzerEntry KMGDI_BIZHUB_ANALYZER{"kmgdi_bizhub_process_job",
                                          format_entry_adapter<kmgdi_bizhub_process_job>};
