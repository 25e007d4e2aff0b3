// PCL6Color: pages, the dispatch on the operator at a position, and the
// colours of brushes, pens and colour spaces.
#include <new>

#include "analysis/pcl6color_internal.h"
#include "foundation/log.h"

namespace {

// Positions this close to the job start hold no operator worth a look.
constexpr std::uint64_t FIRST_EXAMINED_POSITION = 20;
// The KM vendor-unique image operator: C0 04 F8 65 before it.
constexpr std::uint8_t KM_IMAGE_MARK[] = {PXL_TAG_UBYTE, 0x04, PXL_ATTR_ID,
                                          PXL_ATTR_COMPRESS_MODE};

// The sheet a 1-based page prints on with `nup` pages per sheet.
int sheet_of(int page, int nup) { return (page + nup - 1) / nup; }

void increment_color_pagecount(PCL6Color* d) {
  ++d->color_pagecount;
  if (d->nup > 0) {
    if (sheet_of(d->page_index, d->nup) != sheet_of(d->last_color_page, d->nup)) {
      ++d->nup_color_pages;
      LOG_DEV("Incremented NUP color page count: %d", d->nup_color_pages);
    }
  }
  d->last_color_page = d->page_index;
}

void start_page(PCL6Color* d, int page) {
  LOG_DEV("New Page (%d): %d", d->page_index, page);
  if (d->has_color_on_page) {
    LOG_DEV("Previous page (%d) has color: %u", d->page_index, 1u);
    increment_color_pagecount(d);
  }
  d->has_color_on_page = false;
  d->page_index = page;
}

// The RGB triple of a brush or pen: an RGBColor ubyte array of three, else
// a PrimaryArray of three.
bool source_rgb(ByteSpan job, std::uint64_t pos, int rgb[3], bool* primary) {
  PxlAttr attrs[PXL_MAX_ATTRS];
  const int n = pxl_read_attrs_before(job, pos, PCL6_COLOR_WINDOW, attrs, PXL_MAX_ATTRS);
  for (const std::uint8_t id : {PXL_ATTR_RGB_COLOR, PXL_ATTR_PRIMARY_ARRAY}) {
    const PxlAttr* a = pxl_find_attr(attrs, n, id);
    if (a == nullptr || a->value.tag != PXL_TAG_UBYTE_ARRAY || a->value.count != 3) continue;
    for (int i = 0; i < 3; ++i) rgb[i] = job[a->value.data + i];
    *primary = id == PXL_ATTR_PRIMARY_ARRAY;
    return true;
  }
  return false;
}

// SetBrushSource and SetPenSource with an RGB colour. A brush that only
// paints white space is no colour; a pen has no such exception.
void check_source(PCL6Color* d, ByteSpan job, std::uint64_t pos, bool brush) {
  if (job[pos - 2] != PXL_ATTR_ID) return;
  const unsigned at = static_cast<unsigned>(pos);
  if (brush) {
    LOG_DEV("Found potential brush source : %u", at);
  } else {
    LOG_DEV("Found potential pen source : %d", static_cast<int>(pos));
  }
  int rgb[3];
  bool primary = false;
  if (!source_rgb(job, pos, rgb, &primary) || !pcl6_rgb_is_color(rgb[0], rgb[1], rgb[2])) return;
  if (brush && pcl6color_brush_paints_whitespace(d, job, pos)) {
    LOG_DEV("Colored whitespace! Ignore.");
    return;
  }
  const char* found = brush ? (primary ? "Found color in SetBrushSource primary array at %u (%d,%d,%d)"
                                       : "Found color in SetBrushSource at %u (%d,%d,%d)")
                            : (primary ? "Found color in SetPenSource primary array at %u (%d,%d,%d)"
                                       : "Found color in SetPenSource at %u (%d,%d,%d)");
  log_debug_printf_func(__FILE_NAME__, __LINE__, found, at, rgb[0], rgb[1], rgb[2]);
  pcl6color_found_color(d);
}

// SetColorSpace: the colour space and palette that later images use.
void set_color_space(PCL6Color* d, ByteSpan job, std::uint64_t pos) {
  if (job[pos - 2] != PXL_ATTR_ID) return;
  // The common form, C0 s F8 03 right after another operator: the colour
  // space alone, read without a walk through the palette window.
  if (job[pos - 4] == PXL_TAG_UBYTE && job[pos - 1] == PXL_ATTR_COLOR_SPACE &&
      job[pos - 6] != PXL_ATTR_ID) {
    d->space = Pcl6ColorSpace{job[pos - 3], -1, 0, 0};
    LOG_DEV("Setting last_color_space.code=%d at offset=%u", d->space.color_space,
            static_cast<unsigned>(pos));
    return;
  }
  PxlAttr attrs[PXL_MAX_ATTRS];
  const int n = pxl_read_attrs_before(job, pos, PCL6_IMAGE_WINDOW, attrs, PXL_MAX_ATTRS);
  const PxlAttr* space = pxl_find_attr(attrs, n, PXL_ATTR_COLOR_SPACE);
  const auto code = space != nullptr ? pxl_value_int(job, space->value) : std::nullopt;
  if (!code) return;
  Pcl6ColorSpace cs;
  cs.color_space = static_cast<int>(*code);
  if (const PxlAttr* depth = pxl_find_attr(attrs, n, PXL_ATTR_PALETTE_DEPTH)) {
    cs.palette_depth = static_cast<int>(pxl_value_int(job, depth->value).value_or(-1));
  }
  const PxlAttr* palette = pxl_find_attr(attrs, n, PXL_ATTR_PALETTE_DATA);
  if (palette != nullptr && palette->value.tag == PXL_TAG_UBYTE_ARRAY) {
    cs.palette_data = palette->value.data;
    cs.palette_size = palette->value.size;
  }
  d->space = cs;
  LOG_DEV("Setting last_color_space.code=%d at offset=%u", cs.color_space,
          static_cast<unsigned>(pos));
}

void check_km_image(PCL6Color* d, ByteSpan job, std::uint64_t pos) {
  if (pos < sizeof KM_IMAGE_MARK || d->space.color_space != PXL_COLOR_SPACE_RGB) return;
  for (std::size_t i = 0; i < sizeof KM_IMAGE_MARK; ++i) {
    if (job[pos - sizeof KM_IMAGE_MARK + i] != KM_IMAGE_MARK[i]) return;
  }
  LOG_DEV("Found KM image with color_space=%d at offset=%u", d->space.color_space,
          static_cast<unsigned>(pos));
  pcl6color_found_color(d);
}

void check_read_image(PCL6Color* d, ByteSpan job, std::uint64_t pos) {
  if (pcl6color_read_image_has_color(d, job, pos)) pcl6color_found_color(d);
}

}  // namespace

void pcl6color_found_color(PCL6Color* d) {
  d->has_color_on_page = true;
  if (d->callback != nullptr) d->callback(d, d->callback_data);
}

PCL6Color* PCL6ColorNew() {
  auto* d = new (std::nothrow) PCL6Color();
  if (d == nullptr) LOG_ERROR("Calloc failed");
  return d;
}

void PCL6ColorFree(PCL6Color* detector) { delete detector; }

void PCL6SetColorCallback(PCL6Color* detector, PCL6ColorCallback callback, void* data) {
  if (detector == nullptr) return;
  detector->callback = callback;
  detector->callback_data = data;
}

void PCL6ColorSetNup(PCL6Color* detector, int nup) {
  if (detector != nullptr) detector->nup = nup;
}

void PCL6ColorParseAtPos(PCL6Color* d, ByteSpan job, std::uint64_t pos, int page) {
  if (d == nullptr || pos >= job.size()) return;
  if (page != d->page_index) start_page(d, page);
  if (pos < FIRST_EXAMINED_POSITION) return;
  // The colour space, the image and the fonts are followed on every page,
  // so that a page after a colour page starts from the right state; the
  // colour tests stop once the page has colour.
  const bool test = !d->has_color_on_page;
  switch (job[pos]) {
    case PXL_OP_SET_COLOR_SPACE: set_color_space(d, job, pos); break;
    case PXL_OP_BEGIN_IMAGE: pcl6color_begin_image(d, job, pos); break;
    case PXL_OP_BEGIN_CHAR: pcl6color_begin_char(d, job, pos); break;
    case PXL_OP_READ_CHAR: pcl6color_read_char(d, job, pos); break;
    case PXL_OP_VENDOR_UNIQUE: if (test) check_km_image(d, job, pos); break;
    case PXL_OP_SET_BRUSH_SOURCE: if (test) check_source(d, job, pos, true); break;
    case PXL_OP_SET_PEN_SOURCE: if (test) check_source(d, job, pos, false); break;
    case PXL_OP_READ_IMAGE: if (test) check_read_image(d, job, pos); break;
    default: break;
  }
}

void PCL6ColorCommitLastPage(PCL6Color* d) {
  if (d == nullptr) return;
  LOG_DEBUG("Commiting last PCL6 page");
  if (d->has_color_on_page) {
    LOG_DEV("Last page has color");
    increment_color_pagecount(d);
  }
  d->has_color_on_page = false;
  ++d->page_index;
}

int PCL6ColorGetColorPageCount(const PCL6Color* d) {
  if (d == nullptr) return 0;
  return d->nup_color_pages > 0 ? d->nup_color_pages : d->color_pagecount;
}

int PCL6GuessedJpegColor(const PCL6Color* d) {
  return d != nullptr && d->guessed_jpeg_color ? 1 : 0;
}
