// Colour of XPS pages: the colours of a page's paths, glyphs and brushes and,
// when none is coloured, its images. Image verdicts are kept per image part
// for the whole job, so an image that many pages use is decoded once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scan/xps_zip.h"

class PositionTimer;

// true when a colour attribute value ("#RRGGBB", "#AARRGGBB", "sc#r,g,b",
// "sc#a,r,g,b", hexadecimal digits in either case) is coloured: red, green
// and blue differ by more than COLOR_GRAY_TOLERANCE (png_tv.h) and it is not
// fully transparent. Other values
// (resource references, named or context colours) are not judged.
[[nodiscard]] bool xps_color_value_is_color(std::string_view value);

// The image part that an ImageSource value names, resolved against the page:
// a part reference, or the image of a "{ColorConvertedBitmap image profile}"
// extension. Empty when the value names none that can be resolved.
[[nodiscard]] std::string xps_image_source_part(std::string_view page, std::string_view source);

struct XpsColorScan {
  XpsZip* zip = nullptr;
  const XpsFileList* list = nullptr;
  std::unordered_map<std::string, int> image_verdicts;  // part -> 1, 0, -1, IMAGE_UNJUDGED
  std::uint64_t bytes_read = 0;                          // page text and images read so far
};

// 1 when the page holds colour (or an image taken as colour), 0 when not,
// -1 when an image it uses is missing or broken, COLOR_PAGES_UNJUDGED
// (foundation/ja.h) when no colour is seen but an image is too large to
// judge. A page part that cannot be read counts as not colour (logged).
[[nodiscard]] int xps_page_color(XpsColorScan* scan, const std::string& page);

// The number of colour sheets of `pages` at `pages_per_sheet` (a sheet is
// colour when any of its pages is); -1 when a page's image is missing or
// broken; COLOR_PAGES_UNJUDGED (foundation/ja.h) when a page's colour cannot
// be judged, or when the timer runs out before every page was judged.
[[nodiscard]] int get_num_color_pages(XpsColorScan* scan, const std::vector<std::string>& pages,
                                      int pages_per_sheet, PositionTimer* timer);
