// PCL6Color: the PCL XL colour-page detector. The PCL XL analyzer calls it
// at every position of its walk with the number of the page that position
// belongs to (1-based); the detector looks at the operator there and at the
// attributes written just before it (brush and pen colours, colour spaces
// and palettes, the pixels of images) and marks the page as colour. A
// coloured brush that only paints white space does not count, and with
// several pages per sheet (N-up) the colour sheets are counted apart.
//
//   PCL6ColorPtr detector(PCL6ColorNew());
//   PCL6SetColorCallback(detector.get(), on_colour, &page_list);
//   for each position p: PCL6ColorParseAtPos(detector.get(), job, p, page);
//   PCL6ColorCommitLastPage(detector.get());
//   int colour_pages = PCL6ColorGetColorPageCount(detector.get());
//
// Nothing here fails an analysis: unreadable attributes, truncated data and
// images that cannot be decoded end the check at that position without
// colour.
#pragma once

#include <cstdint>

#include "foundation/owned.h"
#include "scan/byte_cursor.h"

struct PCL6Color;

// Called when the current page gets colour, with the detector and the data
// registered beside the callback.
using PCL6ColorCallback = void (*)(PCL6Color* detector, void* data);

// A new detector; null (ERROR "Calloc failed") when memory runs out.
[[nodiscard]] PCL6Color* PCL6ColorNew();
// Frees a detector; null is ignored.
void PCL6ColorFree(PCL6Color* detector);
using PCL6ColorPtr = Owned<PCL6Color, PCL6ColorFree>;

// Registers the colour callback (ignored without a detector).
void PCL6SetColorCallback(PCL6Color* detector, PCL6ColorCallback callback, void* data);
// Pages per sheet; 2 or more makes the detector count colour sheets too.
void PCL6ColorSetNup(PCL6Color* detector, int nup);

// Examines the operator at offset `pos` of the job. `page` is the 1-based
// number of the page the position belongs to; a new number closes the
// previous page (counting it when it had colour).
void PCL6ColorParseAtPos(PCL6Color* detector, ByteSpan job, std::uint64_t pos, int page);

// Closes the last page (counting it when it had colour) and moves past it.
void PCL6ColorCommitLastPage(PCL6Color* detector);
// The colour sheets when N-up counting found any, else the colour pages;
// 0 without a detector.
[[nodiscard]] int PCL6ColorGetColorPageCount(const PCL6Color* detector);
// 1 when colour was assumed from JPEG image data (0 without a detector).
[[nodiscard]] int PCL6GuessedJpegColor(const PCL6Color* detector);

// Whether an RGB triple counts as colour. Components within
// PCL6_GRAY_TOLERANCE of each other are gray: drivers that render gray in
// RGB do not always write three equal values (Ghostscript's pxlcolor writes
// a 0.3 gray as 4C 4D 4C).
inline constexpr int PCL6_GRAY_TOLERANCE = 2;
[[nodiscard]] constexpr bool pcl6_rgb_is_color(int r, int g, int b) {
  const int lo = r < g ? (r < b ? r : b) : (g < b ? g : b);
  const int hi = r > g ? (r > b ? r : b) : (g > b ? g : b);
  return hi - lo > PCL6_GRAY_TOLERANCE;
}
