// Each ZjStream page's colour and marks, from its start record, its bitmap
// records and its end record.
#include <algorithm>

#include "formats/jbig_blank.h"
#include "formats/zjstream_internal.h"
#include "foundation/log.h"

namespace {

// Whether a bitmap record's data (the bytes behind its items) may hold
// marks; a record whose items do not fit in it is taken to hold some.
bool zj_data_has_marks(const std::uint8_t* record, std::uint32_t size, std::uint32_t count) {
  const std::uint8_t* end = record + size;
  const ZjItemsRead items =
      zj_walk_items(record + ZJ_HEADER_SIZE, end, count, ZJ_ITEMS_IN_RECORD, [](auto, auto) {});
  if (items.status != ZjItemsStatus::COMPLETE) return true;
  return !jbig_stripes_are_blank(ByteSpan(items.at, end));
}

}  // namespace

void zj_marks_start_page(ZjPageMarks* m, const std::uint8_t* first_item, const std::uint8_t* end,
                         std::uint32_t count) {
  m->planes = 0;
  m->colour_dots = -1;
  m->has_marks = false;
  (void)zj_walk_items(first_item, end, count, ZJ_ITEMS_BEFORE_HEADER,
                      [&](std::uint16_t id, std::uint32_t value) {
                        if (id == ZJI_COLOR_MODE) m->planes = value;
                      });
  if (m->planes > 1) m->several_planes = true;
}

void zj_marks_record(ZjPageMarks* m, const std::uint8_t* record, std::uint32_t size,
                     std::uint32_t type, std::uint32_t count) {
  if (m->has_marks) return;
  if (type == ZJT_RAW_IMAGE) {
    m->has_marks = true;
  } else if (type == ZJT_JBIG_BID || type == ZJT_BAND) {
    m->has_marks = zj_data_has_marks(record, size, count);
  }
}

void zj_marks_end_page(ZjPageMarks* m, const std::uint8_t* record, std::uint32_t size,
                       std::uint32_t count) {
  // The end record's items are read within the record only: a defect there
  // leaves the page unjudged and never ends the record parse.
  (void)zj_walk_items(record + ZJ_HEADER_SIZE, record + size, count, ZJ_ITEMS_IN_RECORD,
                      [&](std::uint16_t id, std::uint32_t value) {
                        if (id < ZJI_CYAN_DOTS || id > ZJI_YELLOW_DOTS) return;
                        m->colour_dots = std::max(m->colour_dots, value != 0 ? 1 : 0);
                      });
  int colour = -1;
  if (m->colour_dots >= 0) {
    colour = m->colour_dots;
  } else if (m->planes == 1) {
    colour = 0;
  }
  if (colour < 0) {
    ++m->unjudged_pages;
  } else if (colour == 1) {
    ++m->colour_pages;
  }
  if (!m->has_marks) ++m->blank_pages;
  LOG_DEBUG("zjstream: page planes=%u,colour=%d,marks=%d", m->planes, colour, m->has_marks ? 1 : 0);
}
