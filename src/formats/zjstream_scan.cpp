// The ZjStream byte scan: record headers found by their "ZZ" mark (bytes
// 14-15), reached with memchr, so the compressed page data between them is
// passed at memchr speed.
#include <algorithm>
#include <cstring>

#include "formats/dmpaper.h"
#include "formats/format_walk.h"
#include "formats/zjstream_internal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

// Positions after a header at which its items are looked for.
constexpr std::uint64_t ZJ_ITEM_SCAN_SPAN = 256;
// The scan stands on a record's type field, 4 bytes into its header; the
// header's "ZZ" mark is 10 bytes further on.
constexpr std::uint64_t ZJ_MARK_FROM_TYPE = 10;
constexpr std::uint64_t ZJ_PAST_HEADER = 12;

struct ZjScan {
  int end_pages = 0;
  std::uint32_t quantity = 0;
  std::uint32_t copies = 0;
  bool doc_seen = false;
  bool page_seen = false;
};

bool type_at(ByteSpan d, std::uint64_t pos, std::uint32_t type, std::uint64_t room) {
  if (d.size() - pos <= room) return false;
  const auto t = scan_be32_at(d, pos);
  return t && *t == type && d[pos + ZJ_MARK_FROM_TYPE] == 0x5A && d[pos + ZJ_MARK_FROM_TYPE + 1] == 0x5A;
}

// Calls apply(id, value) for every 12-byte item recognised after the header
// at `pos`, up to the next "ZZ" mark.
template <typename Apply>
void zj_scan_items(ByteSpan d, std::uint64_t pos, Apply apply) {
  const std::uint64_t from = pos + ZJ_PAST_HEADER;
  const std::uint64_t to = std::min<std::uint64_t>(d.size(), from + ZJ_ITEM_SCAN_SPAN);
  for (std::uint64_t q = from; q < to; ++q) {
    if (q + 1 < d.size() && d[q] == 0x5A && d[q + 1] == 0x5A) return;
    if (d.size() - q < ZJ_ITEM_SIZE) continue;
    if (d[q] != 0 || d[q + 1] != 0 || d[q + 2] != 0 || d[q + 3] != ZJ_ITEM_SIZE || d[q + 4] != 0 ||
        d[q + 6] != 1)
      continue;
    apply(d[q + 5], *scan_be32_at(d, q + 8));
  }
}

void zj_start_of_doc(ByteSpan d, std::uint64_t pos, ZjScan* s, JobAttribs* ja) {
  LOG_DEV("matched start of doc at %u", static_cast<unsigned>(pos));
  s->doc_seen = true;
  zj_scan_items(d, pos, [&](std::uint8_t id, std::uint32_t value) {
    if (id == ZJI_QUANTITY) {
      LOG_DEBUG("found qty of: %d", static_cast<int>(value));
      s->quantity = value;
    } else if (id == ZJI_DUPLEX && value != 1) {
      LOG_DEBUG("found duplex");
      ja_set_is_duplex(ja, 1);
    }
  });
}

void zj_first_page(ByteSpan d, std::uint64_t pos, ZjScan* s, JobAttribs* ja) {
  LOG_DEV("matched start of page at %u", static_cast<unsigned>(pos));
  s->page_seen = true;
  zj_scan_items(d, pos, [&](std::uint8_t id, std::uint32_t value) {
    if (id == ZJI_COPIES) {
      LOG_DEBUG("found copies of: %d", static_cast<int>(value));
      s->copies = value;
    } else if (id == ZJI_PAPER) {
      LOG_DEBUG("DMPAPER code found: %d", static_cast<int>(value));
      ja_set_paper_size_name(ja, dmpaper_code_to_name(value));
    } else if (id == ZJI_COLOR_MODE) {
      LOG_DEBUG("color mode of: %d", static_cast<int>(value));
      if (value == 1) {
        LOG_DEBUG("grayscale detected");
        ja_set_is_grayscale(ja, 1);
      }
    }
  });
}

// The tests at a type field; returns where the scan may look next.
std::uint64_t zj_scan_at(ByteSpan d, std::uint64_t pos, ZjScan* s, JobAttribs* ja) {
  if (type_at(d, pos, ZJT_END_PAGE, 12)) {
    ++s->end_pages;
    LOG_DEBUG("found end of page at: %d", static_cast<int>(pos));
  }
  if (!s->doc_seen && type_at(d, pos, ZJT_START_DOC, 20)) {
    zj_start_of_doc(d, pos, s, ja);
    return pos + ZJ_PAST_HEADER;
  }
  if (!s->page_seen && type_at(d, pos, ZJT_START_PAGE, 20)) {
    zj_first_page(d, pos, s, ja);
    return pos + ZJ_PAST_HEADER;
  }
  return pos + 1;
}

void raise_copies(JobAttribs* ja, std::uint32_t value) {
  const int v = static_cast<int>(std::min<std::uint32_t>(value, INT32_MAX));
  if (v > ja->copy_count) ja_set_copy_count(ja, v);
}

}  // namespace

void zjstream_scan_bytes(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering zjstream_process_job");
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("ZJ Stream");
  ZjScan s;
  // The walk stops at "ZZ" marks; the tests stand on the type field 10
  // bytes before the mark, and where they say to go on is a type field too.
  (void)format_walk(d, &timer, WalkStarts{0x5A}, [&](std::uint64_t mark) {
    if (mark < ZJ_MARK_FROM_TYPE || mark + 1 >= length || d[mark + 1] != 0x5A) return mark + 1;
    return zj_scan_at(d, mark - ZJ_MARK_FROM_TYPE, &s, ja) + ZJ_MARK_FROM_TYPE;
  });
  ja_set_pages(ja, s.end_pages);
  raise_copies(ja, s.quantity);
  raise_copies(ja, s.copies);
}
