// The remote HP GDI form: an XQX stream is read record by record
// (formats/xqx.cpp); other data, or a stream whose records do not fit, is
// searched for the records below, byte by byte.
#include <cstring>

#include "formats/dots.h"
#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/hpgdi.h"
#include "formats/xqx.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/pjl.h"

namespace {

constexpr std::uint8_t END_OF_PAGE[] = {0x02, 0, 0, 0, 0x06, 0, 0, 0, 0, 0,
                                        0,    0, 0x04, 0, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t DIMENSIONS_WIDTH[] = {0x20, 0, 0, 0x0F, 0, 0, 0, 0x04, 0, 0};
constexpr std::uint8_t DIMENSIONS_HEIGHT[] = {0x20, 0, 0, 0x10, 0, 0, 0, 0x04, 0, 0};
constexpr std::uint8_t DUPLEX[] = {0x12, 0, 0, 0, 0x04, 0, 0, 0, 0, 0x20, 0, 0};
// foo2xqx writes the copies only as a start-of-page item: id 20 00 00 05,
// size 4, then the count (BE32). Counts above this are taken for noise.
constexpr std::uint8_t COPIES_ITEM[] = {0x20, 0, 0, 0x05, 0, 0, 0, 0x04};
constexpr std::uint32_t MAX_COPIES = 9999;

struct HpRemote {
  int pages = 0;
  int width_mm = -1;
  int height_mm = -1;
  bool size_known = false;
  bool duplex = false;
  std::uint32_t copies = 0;  // 0 until the copies item is read
};

bool bytes_at(ByteSpan d, std::uint64_t pos, std::span<const std::uint8_t> bytes) {
  return walk_marker_at(d, pos, bytes);
}

std::uint64_t remote_step(HpRemote* h, ByteSpan d, std::uint64_t pos) {
  if (walk_has_room(d.size(), pos, 21) && bytes_at(d, pos, END_OF_PAGE) &&
      (d[pos + 20] == 0x02 || d[pos + 20] == 0x03)) {
    ++h->pages;
    LOG_DEBUG("found end of page at: %u", static_cast<unsigned>(pos));
    return pos + 20;
  }
  if (!h->size_known && walk_has_room(d.size(), pos, 24) && bytes_at(d, pos, DIMENSIONS_WIDTH) &&
      bytes_at(d, pos + 12, DIMENSIONS_HEIGHT)) {
    h->size_known = true;
    h->width_mm = dots_to_mm(*scan_be16_at(d, pos + 10), DOTS_PER_MM_600_DPI_NARROW);
    h->height_mm = dots_to_mm(*scan_be16_at(d, pos + 22), DOTS_PER_MM_QPDL);
    LOG_DEBUG("found hex page dimensions at %u: %dx%d", static_cast<unsigned>(pos), h->width_mm,
              h->height_mm);
    return pos + 23;
  }
  if (!h->duplex && walk_has_room(d.size(), pos, 13) && bytes_at(d, pos, DUPLEX) &&
      d[pos + 12] == 0x01) {
    h->duplex = true;
    LOG_DEBUG("found duplex magic number at %u", static_cast<unsigned>(pos));
    return pos + 12;
  }
  if (h->copies == 0 && walk_has_room(d.size(), pos, 11) && bytes_at(d, pos, COPIES_ITEM)) {
    const std::uint32_t copies = *scan_be32_at(d, pos + 8);
    if (copies >= 1 && copies <= MAX_COPIES) {
      h->copies = copies;
      LOG_DEBUG("found copies item at %u: %u", static_cast<unsigned>(pos), copies);
      return pos + 12;
    }
  }
  return pos + 1;
}

}  // namespace

int hp_gdi_remote_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering hp_gdi_remote_process_job");
  if (xqx_process_records(data, length, ja) == 1) {
    (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_720TH_INCH);
    return 0;
  }
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("HP GDI (remote)");
  HpRemote h;
  // Each record tested begins with its id and has a known byte a few on
  // (the id's last byte or the size), so the walk stops only where such a
  // pair stands.
  const FormatPairSet pairs{{0x02, 4, 0x06}, {0x20, 3, 0x0F}, {0x20, 3, 0x05}, {0x12, 4, 0x04}};
  (void)format_walk_pairs(d, 0, &timer, pairs,
                          [&](std::uint64_t pos) { return remote_step(&h, d, pos); });
  if (h.pages != 0) ja_set_pages(ja, h.pages);
  if (h.width_mm > 0 && h.height_mm > 0) ja_set_page_width_height_mm(ja, h.width_mm, h.height_mm);
  if (h.duplex) ja_set_is_duplex(ja, 1);
  if (h.copies > 0) ja_set_copy_count(ja, static_cast<int>(h.copies));
  (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_720TH_INCH);
  return 0;
}

const AnalyzerEntry HP_GDI_REMOTE_ANALYZER{"hp_gdi_remote_process_job",
                                           format_entry_adapter<hp_gdi_remote_process_job>};
