// Pieces of the ZjStream analyzer shared between its files.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

struct JobAttribs;

// Record types and item ids that the analyzer reads.
inline constexpr std::uint32_t ZJT_START_DOC = 0;
inline constexpr std::uint32_t ZJT_END_DOC = 1;
inline constexpr std::uint32_t ZJT_START_PAGE = 2;
inline constexpr std::uint32_t ZJT_END_PAGE = 3;
// Records that carry bitmap data behind their items: JBIG stripe data
// (foo2zjs) and the bands of the HP colour models' form (foo2hp); and an
// uncompressed bitmap.
inline constexpr std::uint32_t ZJT_JBIG_BID = 5;
inline constexpr std::uint32_t ZJT_RAW_IMAGE = 8;
inline constexpr std::uint32_t ZJT_BAND = 0x0C;
// The pause of a manual duplex job, before the back sides (foo2hp).
inline constexpr std::uint32_t ZJT_DUPLEX_PAUSE = 0x0B;
inline constexpr std::uint16_t ZJI_DUPLEX = 2;
inline constexpr std::uint16_t ZJI_PAPER = 3;
inline constexpr std::uint16_t ZJI_COPIES = 4;
// The colour mode is the number of bitmaps (planes) of the page: 1 is gray.
inline constexpr std::uint16_t ZJI_COLOR_MODE = 7;
inline constexpr std::uint16_t ZJI_QUANTITY = 15;
// End-of-page items of the HP colour models: whether the page has cyan,
// magenta or yellow dots (one item each, in this order).
inline constexpr std::uint16_t ZJI_CYAN_DOTS = 0x8200;
inline constexpr std::uint16_t ZJI_YELLOW_DOTS = 0x8202;

inline constexpr std::uint64_t ZJ_HEADER_SIZE = 16;
inline constexpr std::uint64_t ZJ_ITEM_SIZE = 12;

[[nodiscard]] inline bool zj_is_two_sided(std::uint32_t value) { return value == 2 || value == 3; }

[[nodiscard]] inline std::uint32_t zj_be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

// How a run of items was read: to its end, or up to an item that begins
// too near the end of the data or whose size carries it too far.
enum class ZjItemsStatus { COMPLETE, BAD_LOCATION, BAD_SIZE };
struct ZjItemsRead {
  const std::uint8_t* at;  // where the items end, or the item that failed
  ZjItemsStatus status;
};

// Calls apply(id, value) for each of `count` items from `item` on. Each
// item is read whole (12 bytes) and must leave `reserve` bytes behind it:
// the record parse keeps room for one more record header (16), a read
// bounded by the record's own end keeps none (0).
template <typename Apply>
ZjItemsRead zj_walk_items(const std::uint8_t* item, const std::uint8_t* end, std::uint32_t count,
                          std::ptrdiff_t reserve, Apply apply) {
  const std::ptrdiff_t need = std::max(reserve, static_cast<std::ptrdiff_t>(ZJ_ITEM_SIZE));
  for (std::uint32_t i = 0; i < count; ++i) {
    if (item > end || end - item < need) return {item, ZjItemsStatus::BAD_LOCATION};
    const auto size = static_cast<std::int32_t>(zj_be32(item));
    if (size < 0 || size > (end - item) - reserve) return {item, ZjItemsStatus::BAD_SIZE};
    apply(static_cast<std::uint16_t>((item[4] << 8) | item[5]), zj_be32(item + 8));
    item += size;
  }
  return {item, ZjItemsStatus::COMPLETE};
}
inline constexpr std::ptrdiff_t ZJ_ITEMS_BEFORE_HEADER = 16;
inline constexpr std::ptrdiff_t ZJ_ITEMS_IN_RECORD = 0;

// What the records say of each page's colour and marks, gathered while the
// record parse reads them. A page is judged colour when its end record says
// it has cyan, magenta or yellow dots, gray when that record says it has
// none or its start record names one bitmap; a page of several bitmaps
// without the dot items is not judged (drivers send all four planes of a
// colour job's gray pages too). A page is blank when none of its bitmap
// records holds marks.
struct ZjPageMarks {
  // The page being read.
  std::uint32_t planes = 0;  // the start record's colour mode, 0 when it has none
  int colour_dots = -1;      // the end record's dot items: -1 none, 0 no colour, 1 colour
  bool has_marks = false;
  // The pages read.
  int colour_pages = 0;
  int unjudged_pages = 0;
  int blank_pages = 0;
  bool several_planes = false;  // a page's colour mode names more than one bitmap
  bool duplex_pause = false;
};

// A start-page record: `first_item` its items, `count` of them.
void zj_marks_start_page(ZjPageMarks* m, const std::uint8_t* first_item, const std::uint8_t* end,
                         std::uint32_t count);
// Any other record inside a page: the bitmap records are looked at.
void zj_marks_record(ZjPageMarks* m, const std::uint8_t* record, std::uint32_t size,
                     std::uint32_t type, std::uint32_t count);
// The end-page record, which closes the page.
void zj_marks_end_page(ZjPageMarks* m, const std::uint8_t* record, std::uint32_t size,
                       std::uint32_t count);

// The record parse: 1 when the stream was read to its end (the findings are
// in `ja`), 0 when it must fall back to the byte scan.
[[nodiscard]] int zjstream_parse_records(const std::uint8_t* data, std::uint64_t length,
                                         std::uint64_t magic, JobAttribs* ja);

// The byte scan over the whole data.
void zjstream_scan_bytes(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);
