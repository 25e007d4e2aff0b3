// The ZjStream record parse: each record visited once by its size field,
// pages from the start-page and end-page records, settings from the
// start-of-document and start-page items, each page's colour and marks
// (zjstream_pages.cpp), then the copies folding and the duplex correction.
#include <algorithm>
#include <cstring>

#include "formats/dmpaper.h"
#include "formats/format_colour.h"
#include "formats/format_walk.h"
#include "formats/jbig_blank.h"
#include "formats/zjstream.h"
#include "formats/zjstream_internal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

// More items than any driver writes in one record: a larger count is noise.
constexpr std::uint32_t ZJ_MAX_ITEMS = 100;
// A page of the stream shorter than this (start record to end record) is
// the blank back side a duplex driver adds.
constexpr std::uint64_t ZJ_BLANK_PAGE_BYTES = 450;

unsigned offset_u(const std::uint8_t* p, const std::uint8_t* base) {
  return static_cast<unsigned>(p - base);
}

int clamp_count(std::uint32_t v) { return static_cast<int>(std::min<std::uint32_t>(v, INT32_MAX)); }

// Calls apply(id, value) for each of `count` items from `item` on; 0 when an
// item does not fit (logged).
template <typename Apply>
int zj_each_item(const std::uint8_t* base, const std::uint8_t* item, const std::uint8_t* end,
                 std::uint32_t count, Apply apply) {
  const ZjItemsRead read = zj_walk_items(item, end, count, ZJ_ITEMS_BEFORE_HEADER, apply);
  if (read.status == ZjItemsStatus::BAD_LOCATION) {
    LOG_ERROR("Invalid location. %u", offset_u(read.at, base));
  } else if (read.status == ZjItemsStatus::BAD_SIZE) {
    LOG_ERROR("Invalid size %d at %u. %u", static_cast<std::int32_t>(zj_be32(read.at)),
              offset_u(read.at, base), offset_u(end, base));
  }
  return read.status == ZjItemsStatus::COMPLETE ? 1 : 0;
}

struct ZjRecordWalk {
  OffsetListPtr starts{offset_list_create()};
  OffsetListPtr ends{offset_list_create()};
  int pages = 0;
  std::uint32_t quantity = 0;
  ZjPageMarks marks;
  bool in_page = false;
};

// The start of the document holds the job's duplex and quantity; its items
// are read like a page's.
int parse_zjstream_doc_params(const std::uint8_t* base, const std::uint8_t* first_item,
                              const std::uint8_t* end, std::uint32_t count, JobAttribs* ja,
                              std::uint32_t* quantity) {
  return zj_each_item(base, first_item, end, count, [&](std::uint16_t id, std::uint32_t value) {
    if (id == ZJI_DUPLEX) {
      LOG_DEBUG("zjstream: document duplex %u", value);
      ja_set_is_duplex(ja, zj_is_two_sided(value) ? 1 : 0);
    } else if (id == ZJI_QUANTITY) {
      LOG_DEBUG("zjstream: document quantity %u", value);
      *quantity = std::max(*quantity, value);
    }
  });
}

// Reads one record at `pos`: 1 to go on at its end, 0 to fall back, 2 at the
// end of the document.
int zj_read_record(const std::uint8_t* data, std::uint64_t length, std::uint64_t magic,
                   std::uint64_t pos, ZjRecordWalk* walk, std::uint32_t* size, JobAttribs* ja) {
  const std::uint8_t* base = data + magic;
  const std::uint8_t* end = data + length;
  const auto rel = static_cast<unsigned>(pos - magic);
  if (!scan_bytes_at(scan_bytes(data, length), pos + 14, "ZZ")) {
    LOG_ERROR("Not a valid Zjstream code at %u", rel);
    return 0;
  }
  const std::uint8_t* rec = data + pos;
  *size = zj_be32(rec);
  const std::uint32_t type = zj_be32(rec + 4);
  const std::uint32_t n_params = zj_be32(rec + 8);
  if (*size < ZJ_HEADER_SIZE || *size > length - pos) {
    LOG_ERROR("Invalid size %d at %u", static_cast<std::int32_t>(*size), rel);
    return 0;
  }
  if (n_params > ZJ_MAX_ITEMS) {
    LOG_ERROR("Invalid n_params %d at %u", static_cast<int>(n_params), rel);
    return 0;
  }
  if (type == ZJT_END_DOC) return 2;  // what follows (a PJL trailer) is no record
  if (type == ZJT_START_DOC) {
    return parse_zjstream_doc_params(base, rec + ZJ_HEADER_SIZE, end, n_params, ja,
                                     &walk->quantity);
  }
  if (type == ZJT_START_PAGE) {
    if (n_params == 0) {
      LOG_ERROR("Invalid n_params %d for ZJT_START_PAGE at %u", 0, rel);
      return 0;
    }
    if (parse_zjstream_params(base, rec, rec + ZJ_HEADER_SIZE, end, n_params, ja) == 0) return 0;
    if (offset_list_append(walk->starts.get(), pos - magic) == 0) return 0;
    ++walk->pages;
    zj_marks_start_page(&walk->marks, rec + ZJ_HEADER_SIZE, end, n_params);
    walk->in_page = true;
  } else if (type == ZJT_END_PAGE) {
    if (offset_list_append(walk->ends.get(), pos - magic) == 0) return 0;
    if (walk->in_page) zj_marks_end_page(&walk->marks, rec, *size, n_params);
    walk->in_page = false;
  } else if (type == ZJT_DUPLEX_PAUSE) {
    walk->marks.duplex_pause = true;
  } else if (walk->in_page) {
    zj_marks_record(&walk->marks, rec, *size, type, n_params);
  }
  return 1;
}

std::uint64_t page_bytes(const offset_list* starts, const offset_list* ends, std::uint64_t first,
                         std::uint64_t last) {
  return offset_list_get(ends, last) - offset_list_get(starts, first);
}

// true when the pages are n copies of the first pages/n pages, byte for
// byte. `compared` counts the bytes compared so far, for the time limit.
bool zj_is_copies(const std::uint8_t* base, const ZjRecordWalk& w, std::uint64_t n,
                  WalkTimer* timer, std::uint64_t* compared) {
  const std::uint64_t per_copy = static_cast<std::uint64_t>(w.pages) / n;
  const std::uint64_t span = page_bytes(w.starts.get(), w.ends.get(), 0, per_copy - 1);
  const std::uint8_t* first = base + offset_list_get(w.starts.get(), 0);
  for (std::uint64_t k = 1; k < n; ++k) {
    if (timer->expired(*compared)) return false;
    const std::uint64_t p = k * per_copy;
    if (page_bytes(w.starts.get(), w.ends.get(), p, p + per_copy - 1) != span) return false;
    const std::uint8_t* copy = base + offset_list_get(w.starts.get(), p);
    *compared += span;
    if (std::memcmp(copy, first, static_cast<std::size_t>(span)) != 0) return false;
  }
  return true;
}

// A driver that repeats the whole job for each copy: n identical runs of
// pages become pages/n pages and n copies (the largest n wins). Each
// divisor may compare the whole stream again, so a hostile stream of many
// pages is bounded by the time limit (the pages then stay unfolded).
// Returns the number of copies folded, 1 when none.
std::uint64_t zj_fold_copies(const std::uint8_t* base, const ZjRecordWalk& w, JobAttribs* ja) {
  const auto pages = static_cast<std::uint64_t>(w.pages);
  WalkTimer timer("ZJ Stream");
  std::uint64_t compared = 0;
  for (std::uint64_t n = pages; n >= 2 && !timer.has_expired(); --n) {
    if (pages % n != 0 || !zj_is_copies(base, w, n, &timer, &compared)) continue;
    LOG_DEBUG("zjstream: %llu copies of %llu pages", static_cast<unsigned long long>(n),
              static_cast<unsigned long long>(pages / n));
    ja_set_pages(ja, static_cast<int>(pages / n));
    ja_set_copy_count(ja, static_cast<int>(n));
    return n;
  }
  return 1;
}

// A duplex job whose driver added a blank back side counts one page less:
// a page too short to hold marks, or, in a manual duplex job (the driver
// pauses for the sheets to be turned), a page whose bitmaps hold none.
void zj_correct_duplex(const ZjRecordWalk& w, JobAttribs* ja) {
  if (ja->is_duplex == 0 || ja->pages <= 0 || ja->pages % 2 != 0) return;
  if (const int pages = pages_without_blank_back_side(ja->pages, w.marks.duplex_pause,
                                                      w.marks.blank_pages);
      pages != ja->pages) {
    ja_set_pages(ja, pages);
    return;
  }
  const std::uint64_t n = offset_list_size(w.starts.get());
  for (std::uint64_t i = 0; i < n; ++i) {
    const std::uint64_t s = offset_list_get(w.starts.get(), i);
    const std::uint64_t e = offset_list_get(w.ends.get(), i);
    if (e < s || e - s < ZJ_BLANK_PAGE_BYTES) {
      LOG_DEBUG("zjstream: duplex page %llu is a blank back side", static_cast<unsigned long long>(i + 1));
      ja_set_pages(ja, ja->pages - 1);
      return;
    }
  }
}

// Colour pages when every page was judged (identical copies hold the same
// share of them), and the job gray exactly when none is colour. Without a
// judgement the job is gray only when no page's colour mode names several
// bitmaps (whatever the last page's says).
void zj_report_colour(const ZjPageMarks& m, std::uint64_t copies, JobAttribs* ja) {
  if (m.unjudged_pages > 0) {
    LOG_DEBUG("zjstream: %d pages without a colour mark, colour not judged", m.unjudged_pages);
    if (m.several_planes) ja_set_is_grayscale(ja, 0);
    return;
  }
  const auto colour = static_cast<int>(static_cast<std::uint64_t>(m.colour_pages) / copies);
  format_set_judged_colour(ja, std::min(colour, ja->pages));
}

}  // namespace

int parse_zjstream_params(const std::uint8_t* base, const std::uint8_t* record,
                          const std::uint8_t* first_item, const std::uint8_t* end,
                          std::uint32_t count, JobAttribs* ja) {
  (void)record;
  return zj_each_item(base, first_item, end, count, [&](std::uint16_t id, std::uint32_t value) {
    if (id == ZJI_DUPLEX) {
      ja_set_is_duplex(ja, zj_is_two_sided(value) ? 1 : 0);
    } else if (id == ZJI_COLOR_MODE) {
      ja_set_is_grayscale(ja, value == 1 ? 1 : 0);
    } else if (id == ZJI_COPIES) {
      ja_set_copy_count(ja, clamp_count(value));
    } else if (id == ZJI_PAPER) {
      ja_set_paper_size_name(ja, dmpaper_code_to_name(value));
    }
  });
}

int zj_valid_page_lists(const offset_list* starts, const offset_list* ends) {
  const std::uint64_t n_start = offset_list_size(starts);
  const std::uint64_t n_end = offset_list_size(ends);
  if (n_start != n_end || n_start == 0) {
    LOG_DEBUG("zj_valid_page_lists: inconsistent: n_start_pages=%d,n_end_pages=%d",
              static_cast<int>(std::min<std::uint64_t>(n_start, INT32_MAX)),
              static_cast<int>(std::min<std::uint64_t>(n_end, INT32_MAX)));
    return 0;
  }
  for (std::uint64_t i = 0; i < n_start; ++i) {
    const std::uint64_t s = offset_list_get(starts, i);
    const std::uint64_t e = offset_list_get(ends, i);
    if (e < s) {
      LOG_DEBUG("zj_valid_page_lists: negative page size: i=%d: start=%u,end=%u", static_cast<int>(i),
                static_cast<unsigned>(s), static_cast<unsigned>(e));
      return 0;
    }
  }
  return 1;
}

int zjstream_parse_records(const std::uint8_t* data, std::uint64_t length, std::uint64_t magic,
                           JobAttribs* ja) {
  ZjRecordWalk walk;
  if (!walk.starts || !walk.ends) {
    LOG_ERROR("offset_list_create failed");
    return 0;
  }
  std::uint64_t pos = magic + 4;
  while (pos < length) {
    std::uint32_t size = 0;
    const int read = zj_read_record(data, length, magic, pos, &walk, &size, ja);
    if (read == 0) return 0;
    pos += size;
    if (read == 2) break;
  }
  LOG_DEBUG("Parsed %u of %u bytes. %d not parsed", static_cast<unsigned>(pos),
            static_cast<unsigned>(length), static_cast<int>(length - pos));
  if (zj_valid_page_lists(walk.starts.get(), walk.ends.get()) == 0) return 0;
  ja_set_pages(ja, walk.pages);
  if (walk.quantity > 0 && clamp_count(walk.quantity) > ja->copy_count)
    ja_set_copy_count(ja, clamp_count(walk.quantity));
  const std::uint64_t copies = walk.pages >= 2 ? zj_fold_copies(data + magic, walk, ja) : 1;
  zj_correct_duplex(walk, ja);
  zj_report_colour(walk.marks, copies, ja);
  return 1;
}
