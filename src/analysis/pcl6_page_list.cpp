// The page list of the PCL XL analyzer and the judgement of empty pages.
//
// A page's marking size is its length less the bytes of operators that
// mark nothing: raster operations, font removal, page scale and origin,
// colour spaces, neutral axis, trapping and halftone settings (each counted
// as a fixed size) and driver comments with their data. Pages whose marking
// size stays small are empty.
#include <algorithm>
#include <cstring>
#include <new>

#include "analysis/pcl6_attr.h"
#include "analysis/pcl6_internal.h"
#include "foundation/log.h"

namespace {

// Where an embedded PageCopies-EndPage is looked for, past the page start.
constexpr std::uint64_t EMBEDDED_END_PAGE_FROM = 5;
constexpr std::uint64_t PAGE_COPIES_VALUE_BYTES = 3;
// How far back of a Comment operator its data is looked for.
constexpr std::uint64_t COMMENT_WINDOW = 70;

// The non-marking size that an attribute-operator pair F8 a op stands for.
std::uint64_t non_marking_pair(std::uint8_t attr, std::uint8_t op) {
  if (attr == 0x2C && op == 0x7B) return 3;   // SetROP
  if (attr == 0xA8 && op == 0x55) return 25;  // RemoveFont
  if (attr == 0x2B && op == 0x77) return 8;   // SetPageScale
  if (attr == 0x2A && op == 0x75) return 8;   // SetPageOrigin
  if (attr == 0x03 && op == 0x6A) return 5;   // SetColorSpace
  if (attr >= 0x1D && attr <= 0x20 && (op == 0x7E || op == 0x92 || op == 0x6D)) {
    return 5;  // neutral axis, colour trapping, halftone method
  }
  return 0;
}

// The bytes of a Comment whose F8 81 begins at `f`: its CommentData array
// with header, the attribute id and the operator.
std::uint64_t comment_size(ByteSpan job, std::uint64_t f) {
  const std::uint64_t op = f + 2;
  PxlAttr attr;
  if (pxl_read_attrs_before(job, op, COMMENT_WINDOW, &attr, 1) != 1) return 0;
  if (attr.id != PXL_ATTR_COMMENT_DATA || attr.value.tag != PXL_TAG_UBYTE_ARRAY) return 0;
  return op + 1 - attr.value.start;
}

std::uint64_t non_marking_size(ByteSpan job, std::uint64_t start, std::uint64_t end,
                               std::uint64_t* comments) {
  std::uint64_t total = 0;
  *comments = 0;
  std::uint64_t i = start;
  while (i + 2 < end) {
    const auto f = scan_find_byte(job.first(end - 2), i, PXL_ATTR_ID);
    if (!f) break;
    const std::uint8_t attr = job[*f + 1];
    const std::uint8_t op = job[*f + 2];
    if (attr == PXL_ATTR_COMMENT_DATA && op == PXL_OP_COMMENT) {
      *comments += comment_size(job, *f);
    } else {
      total += non_marking_pair(attr, op);
    }
    i = *f + 1;
  }
  return total + *comments;
}

// Folds the latest page into the counts.
void fold_open_page(ByteSpan job, page_list* list) {
  if (!list->has_open) return;
  Pcl6PageDesc& d = list->open;
  d.empty = d.end >= d.start && page_marks_less_than(job, d.start, d.end, d.data_bytes,
                                                     MIN_PAGE_LEN) ? 1 : 0;
  const int number = ++list->n_total;
  const bool odd = number % 2 == 1;
  if (odd == (d.empty != 0)) list->blank_backs = false;
  list->n_empty += d.empty;
  if (d.empty == 0 && d.color != 0) ++list->n_color;
  LOG_DEBUG("page_list_get_number_pages: page %3d of %d: start=%8u, end=%8u : size=%8u, "
            "empty=%d,color=%d,print_color=%d)",
            number, list->n_begin, static_cast<unsigned>(d.start), static_cast<unsigned>(d.end),
            static_cast<unsigned>(d.end >= d.start ? d.end - d.start : 0), d.empty, d.color,
            d.empty == 0 && d.color != 0 ? 1 : 0);
  list->has_open = false;
}

}  // namespace

page_list* page_list_create() { return new (std::nothrow) page_list(); }

void page_list_free(page_list* list) { delete list; }

void page_list_add_beginpage(page_list* list, ByteSpan job, std::uint64_t offset) {
  if (list == nullptr || list->inconsistent) return;
  if (list->n_begin != list->n_end) {
    LOG_DEBUG("page_list_add_beginpage: Inconsistent state. n_begin=%d,n_end=%d", list->n_begin,
              list->n_end);
    list->inconsistent = true;
    return;
  }
  fold_open_page(job, list);
  list->open = Pcl6PageDesc{offset, offset, 0, 0, 0};
  list->has_open = true;
  list->latest = offset;
  ++list->n_begin;
}

void page_list_add_endpage(page_list* list, std::uint64_t offset) {
  if (list == nullptr || list->inconsistent) return;
  if (list->n_end + 1 != list->n_begin) {
    LOG_DEBUG("page_list_add_endpage: Inconsistent state. n_begin=%d,n_end=%d", list->n_begin,
              list->n_end);
    list->inconsistent = true;
    return;
  }
  list->open.end = offset;
  list->latest = offset;
  ++list->n_end;
}

void page_list_add_data(page_list* list, std::uint64_t bytes) {
  if (list != nullptr && list->has_open) list->open.data_bytes += bytes;
}

void page_list_color_callback(PCL6Color* /*detector*/, void* data) {
  auto* list = static_cast<page_list*>(data);
  if (list == nullptr) {
    LOG_ERROR("page_list_color_callback: page_list == NULL");
    return;
  }
  if (!list->has_open) {
    LOG_ERROR("page_list_color_callback: desc == NULL, n_begin=%d", list->n_begin);
    return;
  }
  list->open.color = 1;
}

int get_marking_size(ByteSpan job, std::uint64_t start, std::uint64_t end, std::uint64_t* size) {
  *size = 0;
  end = std::min<std::uint64_t>(end, job.size());
  if (end < start) {
    LOG_ERROR("get_marking_size: endpage < beginpage");
    return 0;
  }
  LOG_DEV("get_marking_size: page_len=%lu", static_cast<unsigned long>(end - start));
  if (end > start + EMBEDDED_END_PAGE_FROM) {
    const ByteSpan page = job.first(end);
    const auto embedded = scan_find(page, start + EMBEDDED_END_PAGE_FROM, "\xF8\x31\x44");
    if (embedded && *embedded >= start + PAGE_COPIES_VALUE_BYTES) {
      end = *embedded - PAGE_COPIES_VALUE_BYTES;
      LOG_DEV("get_marking_size: found embedded endpage: page_len=%lu",
              static_cast<unsigned long>(end - start));
    }
  }
  std::uint64_t comments = 0;
  const std::uint64_t non_marking = non_marking_size(job, start, end, &comments);
  const std::uint64_t length = end - start;
  LOG_DEV("get_marking_size: comment_data_size=%u", static_cast<unsigned>(comments));
  if (non_marking > length) {
    LOG_ERROR("get_marking_size: non_marking_size > page_len: page_len=%lu,non-marking=l%u",
              static_cast<unsigned long>(length), static_cast<unsigned>(non_marking));
    return 1;
  }
  *size = length - non_marking;
  LOG_DEV("get_marking_size: full_page_len=%lu,non-marking=%lu,marking=%lu",
          static_cast<unsigned long>(length), static_cast<unsigned long>(non_marking),
          static_cast<unsigned long>(*size));
  return 1;
}

int is_empty_except_non_marking(ByteSpan job, std::uint64_t start, std::uint64_t end) {
  std::uint64_t size = 0;
  if (get_marking_size(job, start, end, &size) == 0) {
    LOG_ERROR("is_empty_except_non_marking: get_non_marking_size failed");
    return 0;
  }
  return size < MIN_PAGE_LEN ? 1 : 0;
}

bool page_marks_less_than(ByteSpan job, std::uint64_t start, std::uint64_t end,
                          std::uint64_t data_bytes, std::uint64_t limit) {
  if (end < start || data_bytes >= limit) return false;
  std::uint64_t size = 0;
  return get_marking_size(job, start, end, &size) == 1 && size < limit;
}

bool page_list_get_number_pages(ByteSpan job, page_list* list, bool duplex, int* pages,
                                int* color_pages) {
  if (list == nullptr || list->inconsistent || list->n_begin < 1 ||
      list->n_begin != list->n_end) {
    return false;
  }
  fold_open_page(job, list);
  // Empty pages are left out only as the blank back sides of a duplex job;
  // a simplex job's empty page still takes a sheet.
  const bool blank_duplex = duplex && list->blank_backs && list->n_empty > 0;
  const int discounted = blank_duplex ? list->n_empty : 0;
  LOG_DEBUG("page_list_get_number_pages: n_total_pages=%d,n_empty_pages=%d,is_not_blank_duplex=%d,"
            "n_blank_duplex_pages=%d,n_color_pages=%d",
            list->n_total, list->n_empty, blank_duplex ? 0 : 1, discounted, list->n_color);
  *pages = list->n_total - discounted;
  *color_pages = list->n_color;
  LOG_DEBUG("page_list count: n_total_pages=%d,n_empty_pages=%d,pages=%d,color_pages=%d",
            list->n_total, list->n_empty, *pages, *color_pages);
  return true;
}
