// The XQX record walk: every record visited once, items read in place and
// bitmap data stepped over by its length.
#include "formats/xqx.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "formats/dmpaper.h"
#include "formats/dots.h"
#include "formats/jbig_blank.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"
#include "scan/pjl.h"
#include "scan/position_timer.h"

namespace {

constexpr std::string_view XQX_MAGIC = ",XQX";
constexpr std::uint64_t XQX_MAGIC_WINDOW = 10240;

constexpr std::uint32_t XQX_START_DOC = 1;
// The end of the document; with items it opens the last page of a manual
// duplex job of an odd page count.
constexpr std::uint32_t XQX_END_DOC = 2;
constexpr std::uint32_t XQX_START_PAGE = 3;
constexpr std::uint32_t XQX_END_PAGE = 4;
constexpr std::uint32_t XQX_START_PLANE = 5;
constexpr std::uint32_t XQX_JBIG = 7;

constexpr std::uint32_t XQXI_DMDUPLEX = 0x10000002;  // 1 one-sided, 2 long edge, 3 short edge
constexpr std::uint32_t XQXI_DMPAPER = 0x20000001;   // a Windows DMPAPER code
constexpr std::uint32_t XQXI_COPIES = 0x20000005;
constexpr std::uint32_t XQXI_RESOLUTION_X = 0x20000008;  // dots per inch
constexpr std::uint32_t XQXI_RESOLUTION_Y = 0x20000009;
constexpr std::uint32_t XQXI_VIDEO_X = 0x2000000F;  // the page's bitmap in dots
constexpr std::uint32_t XQXI_VIDEO_Y = 0x20000010;
constexpr std::uint32_t XQXI_BIH = 0x40000002;  // the plane's JBIG bitmap header

constexpr std::uint64_t XQX_RECORD_HEADER = 8;
constexpr std::uint64_t XQX_ITEM_HEADER = 8;
// More items than foo2xqx writes in one record: a larger count is no record.
constexpr std::uint32_t XQX_MAX_ITEMS = 100;
constexpr std::uint32_t XQX_MAX_COPIES = 9999;

// The first page's settings.
struct XqxPage {
  bool read = false;
  std::uint32_t copies = 0;
  std::uint32_t paper = 0;
  std::uint32_t res_x = 0;
  std::uint32_t res_y = 0;
  std::uint32_t video_x = 0;
  std::uint32_t video_y = 0;
};

struct XqxWalk {
  ByteSpan d;
  int pages = 0;
  int blank_pages = 0;
  bool duplex = false;
  bool odd_form = false;  // a page was opened by the end-of-document record
  bool page_has_marks = false;
  bool plane_typical = false;  // the current plane's bitmap uses typical prediction
  XqxPage first;
};

// Calls apply(id, value bytes) for `count` items from `pos`; returns where
// they end, or nothing when an item does not fit in the data.
template <typename Apply>
std::optional<std::uint64_t> xqx_items(ByteSpan d, std::uint64_t pos, std::uint32_t count,
                                       Apply apply) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto id = scan_be32_at(d, pos);
    const auto size = scan_be32_at(d, pos + 4);
    if (!id || !size || *size > d.size() - pos - XQX_ITEM_HEADER) return std::nullopt;
    apply(*id, d.subspan(pos + XQX_ITEM_HEADER, *size));
    pos += XQX_ITEM_HEADER + *size;
  }
  return pos;
}

std::uint32_t item_value(ByteSpan value) { return scan_be32_at(value, 0).value_or(0); }

void xqx_page_item(XqxPage* page, std::uint32_t id, ByteSpan value) {
  const std::uint32_t v = item_value(value);
  switch (id) {
    case XQXI_COPIES:
      page->copies = v;
      break;
    case XQXI_DMPAPER:
      page->paper = v;
      break;
    case XQXI_RESOLUTION_X:
      page->res_x = v;
      break;
    case XQXI_RESOLUTION_Y:
      page->res_y = v;
      break;
    case XQXI_VIDEO_X:
      page->video_x = v;
      break;
    case XQXI_VIDEO_Y:
      page->video_y = v;
      break;
    default:
      break;
  }
}

void xqx_item(XqxWalk* w, std::uint32_t type, std::uint32_t id, ByteSpan value) {
  if (type == XQX_START_DOC && id == XQXI_DMDUPLEX) {
    const std::uint32_t v = item_value(value);
    w->duplex = v == 2 || v == 3;
  } else if ((type == XQX_START_PAGE || type == XQX_END_DOC) && !w->first.read) {
    xqx_page_item(&w->first, id, value);
  } else if (type == XQX_START_PLANE && id == XQXI_BIH) {
    w->plane_typical = jbig_bih_has_typical_prediction(value);
  }
}

// Reads the record at `pos`: where the next one begins, the data's size at
// the end of the document, or nothing when the record does not fit.
std::optional<std::uint64_t> xqx_record(XqxWalk* w, std::uint64_t pos) {
  const auto type = scan_be32_at(w->d, pos);
  const auto count = scan_be32_at(w->d, pos + 4);
  if (!type || !count) return std::nullopt;
  const std::uint64_t body = pos + XQX_RECORD_HEADER;
  if (*type == XQX_JBIG) {
    if (*count > w->d.size() - body) return std::nullopt;
    // Only a plane coded with typical prediction shows a blank stripe as
    // its end marker alone.
    if (!w->plane_typical || !jbig_stripes_are_blank(w->d.subspan(body, *count)))
      w->page_has_marks = true;
    return body + *count;
  }
  if (*count > XQX_MAX_ITEMS) return std::nullopt;
  if (*type == XQX_END_DOC && *count == 0) return w->d.size();
  if (*type == XQX_START_PLANE) w->plane_typical = false;  // until its header says so
  const auto next = xqx_items(
      w->d, body, *count, [&](std::uint32_t id, ByteSpan value) { xqx_item(w, *type, id, value); });
  if (*type == XQX_START_PAGE || *type == XQX_END_DOC) w->first.read = true;
  if (*type == XQX_END_DOC) w->odd_form = true;
  if (*type == XQX_END_PAGE) {
    ++w->pages;
    if (!w->page_has_marks) ++w->blank_pages;
    w->page_has_marks = false;
  }
  return next;
}

void xqx_report(const XqxWalk& w, JobAttribs* ja) {
  // foo2xqx makes an odd page count even with a blank back side; such a
  // job's last page is opened by the end-of-document record.
  ja_set_pages(ja, pages_without_blank_back_side(w.pages, w.duplex && w.odd_form, w.blank_pages));
  if (w.duplex) ja_set_is_duplex(ja, 1);
  const XqxPage& p = w.first;
  if (p.copies >= 1 && p.copies <= XQX_MAX_COPIES)
    ja_set_copy_count(ja, static_cast<int>(p.copies));
  const char* paper = dmpaper_code_to_name(p.paper);
  if (paper[0] != '\0') {
    ja_set_paper_size_name(ja, paper);
  } else if (p.res_x > 0 && p.res_y > 0 && p.video_x > 0 && p.video_y > 0) {
    // A paper without a DMPAPER name: the page's bitmap, in the dots per
    // inch that the page states.
    ja_set_page_width_height_mm(ja, p.video_x * mm_per_dot(p.res_x),
                                p.video_y * mm_per_dot(p.res_y));
  }
}

}  // namespace

int xqx_process_records(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  XqxWalk w;
  w.d = scan_bytes(data, length);
  const auto magic =
      scan_find(w.d.first(std::min<std::uint64_t>(length, XQX_MAGIC_WINDOW)), 0, XQX_MAGIC);
  if (!magic) return 0;
  WalkTimer timer("HP GDI (remote)");
  std::uint64_t pos = *magic + XQX_MAGIC.size();
  // The document ends with its end record, or where the PJL trailer's
  // universal exit (or the data) ends the records.
  // A walk out of time reports what it has read (the timer logs it).
  while (pos < length && !scan_bytes_at(w.d, pos, PJL_UEL) && !timer.expired(pos)) {
    const auto next = xqx_record(&w, pos);
    if (!next) {
      LOG_DEBUG("xqx: no record fits at %llu, reading the stream byte by byte",
                static_cast<unsigned long long>(pos));
      return 0;
    }
    pos = *next;
  }
  LOG_DEBUG("xqx: pages=%d,blank=%d,duplex=%d", w.pages, w.blank_pages, w.duplex ? 1 : 0);
  xqx_report(w, ja);
  return 1;
}
