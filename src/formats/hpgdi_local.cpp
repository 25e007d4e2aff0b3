// The local HP GDI form, also RISO GDI: a running page count record, one
// settings record (copies, duplex, grayscale) and a page-size record, each
// tested at every position.
#include <cstring>

#include "formats/dots.h"
#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/hpgdi.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/pjl.h"

namespace {

struct HpLocal {
  int pages = 0;  // the last running count read, plus 1
  int copies = 0;
  int width_mm = -1;
  int height_mm = -1;
  bool copies_read = false;
  bool size_known = false;
  bool duplex = false;
  bool grayscale = false;
};

bool zero_at(const std::uint8_t* p, std::initializer_list<int> offsets) {
  for (int o : offsets) {
    if (p[o] != 0) return false;
  }
  return true;
}

bool settings_record_at(const std::uint8_t* p) {
  return p[0] == 0x01 && p[1] == 0x04 && p[3] == 0x01 && p[4] == 0xDC && p[5] == 0x00 &&
         p[10] == 0x80 && p[11] == 0x07 && p[13] == 0 &&
         std::memcmp(p + 16, "\x00\x00\x00\x00\x64\x00", 6) == 0 && p[24] == 0x07 && p[25] == 0 &&
         p[29] == 0;
}

void read_settings(HpLocal* h, ByteSpan d, std::uint64_t pos) {
  const std::uint8_t* p = d.data() + pos;
  h->copies_read = true;
  h->copies = *scan_le16_at(d, pos + 22);
  LOG_DEBUG("found copy count at %u: %u", static_cast<unsigned>(pos), static_cast<unsigned>(h->copies));
  if (p[30] == 2 || p[30] == 3) {
    h->duplex = true;
    LOG_DEBUG("found duplex marker at %u", static_cast<unsigned>(pos));
  }
  if (p[28] == 1) {
    h->grayscale = true;
    LOG_DEBUG("found grayscale marker at %u", static_cast<unsigned>(pos));
  }
}

// The size record: two LE16 sizes at 0 and 4, 05 04 at 24; HP's form has
// "X" at 8 and "T" at 12 and counts 600 dpi dots, RISO's 300 dpi dots.
bool read_size(HpLocal* h, ByteSpan d, std::uint64_t pos) {
  const std::uint8_t* p = d.data() + pos;
  if (p[24] != 0x05 || p[25] != 0x04 || !zero_at(p, {2, 3, 6, 7, 9, 10, 11, 13, 14, 15, 22, 23}))
    return false;
  const std::uint16_t w = *scan_le16_at(d, pos);
  const std::uint16_t hgt = *scan_le16_at(d, pos + 4);
  if (p[8] == 'X' && p[12] == 'T' && p[18] == 0 && p[19] == 0) {
    h->width_mm = dots_to_mm(w, DOTS_PER_MM_600_DPI);
    h->height_mm = dots_to_mm(hgt, DOTS_PER_MM_600_DPI);
    LOG_DEBUG("found HP hex page dimensions at %u: %dx%d", static_cast<unsigned>(pos), h->width_mm,
              h->height_mm);
  } else if (p[0] != 0 && p[1] != 0 && p[4] != 0 && p[5] != 0) {
    h->width_mm = dots_to_mm(w, DOTS_PER_MM_300_DPI);
    h->height_mm = dots_to_mm(hgt, DOTS_PER_MM_300_DPI);
    LOG_DEBUG("found RISO hex page dimensions at %u: %dx%d", static_cast<unsigned>(pos),
              h->width_mm, h->height_mm);
  } else {
    return false;
  }
  h->size_known = true;
  return true;
}

std::uint64_t local_step(HpLocal* h, ByteSpan d, std::uint64_t pos) {
  const std::uint8_t* p = d.data() + pos;
  if (walk_has_room(d.size(), pos, 9) && std::memcmp(p, "\x06\x00\x00\x00\x07\x30\x00", 7) == 0) {
    h->pages = *scan_be16_at(d, pos + 7) + 1;
    LOG_DEBUG("found HP style running page count at %u: %d", static_cast<unsigned>(pos), h->pages - 1);
    return pos + 9;
  }
  if (walk_has_room(d.size(), pos, 10) &&
      std::memcmp(p, "\x06\x00\x00\x00\x07\x18\x00\x00", 8) == 0) {
    h->pages = *scan_le16_at(d, pos + 8) + 1;
    LOG_DEBUG("found RISO style running page count at %u: %d", static_cast<unsigned>(pos),
              h->pages - 1);
    return pos + 10;
  }
  if (!h->copies_read && walk_has_room(d.size(), pos, 31) && settings_record_at(p)) {
    read_settings(h, d, pos);
    return pos + 31;
  }
  if (!h->size_known && walk_has_room(d.size(), pos, 26) && read_size(h, d, pos)) return pos + 26;
  return pos + 1;
}

}  // namespace

int hp_gdi_local_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering hp_gdi_local_process_job");
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("HP GDI (local)");
  HpLocal h;
  (void)format_walk(d, &timer, WalkStarts::any(),
                    [&](std::uint64_t pos) { return local_step(&h, d, pos); });
  if (h.pages > 0) ja_set_pages(ja, h.pages);
  if (h.copies > 0) ja_set_copy_count(ja, h.copies);
  if (h.width_mm > 0 && h.height_mm > 0) ja_set_page_width_height_mm(ja, h.width_mm, h.height_mm);
  if (h.duplex) ja_set_is_duplex(ja, 1);
  if (h.grayscale) ja_set_is_grayscale(ja, 1);
  (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_720TH_INCH);
  return 0;
}

const AnalyzerEntry HP_GDI_LOCAL_ANALYZER{"hp_gdi_local_process_job",
                                          format_entry_adapter<hp_gdi_local_process_job>};
