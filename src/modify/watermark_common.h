// What the watermark planners share: unit conversion to the printers' 600
// dots per inch, positions given from any page edge turned into top-left
// coordinates, the page size of a paper name or PCL page-size code, the gray
// value of a requested gray level, and byte strings written to the log.
//
// Nothing here reads print data; the paper names come from the job record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "foundation/bstrlib.h"

// One row of the PCL page table: sizes in millimetres, portrait.
struct pcl5_page_attrib {
  std::int32_t pcl_code;  // PCL page-size code; PCL_PAGE_CODE_NONE when the row has none
  const char* name;
  double width_mm;
  double height_mm;
};

inline constexpr std::int32_t PCL_PAGE_CODE_NONE = -1;
inline constexpr std::size_t PCL5_PAGE_ATTRIBS_COUNT = 93;

// The table, in its historical order (the first row also answers code 1).
[[nodiscard]] std::span<const pcl5_page_attrib> pcl5_page_attribs();

// A position (x, y) or a boundary (width, height), in the request's points
// unless a caller says otherwise.
struct watermark_point {
  double x;
  double y;
};

// Orientation value when the caller does not know it; any other value is
// landscape when its lowest bit is set.
inline constexpr std::int32_t PAGE_ORIENTATION_UNKNOWN = -1;

[[nodiscard]] double points_to_600dpi(double points);
[[nodiscard]] double mm_to_600dpi(double mm);

// x from the left edge: x itself when 0 or more (or not a number), else
// counted back from `width`.
[[nodiscard]] double xform_pos_x(double x, double width);
// y from the top edge of a page `height` high, given from the bottom when 0
// or more (or not a number), from the top when negative.
[[nodiscard]] double xform_pos_y(double y, double height);

// Turns a position given from the left/bottom (or, negative, from the
// right/top) into top-left coordinates inside `boundary`. A boundary without
// height is logged as a failed assertion; the values are computed anyway.
void resolve_watermark_coords(const watermark_point* position, const watermark_point* boundary,
                              watermark_point* out);

// Page height (bottom) or width (right) in millimetres: `known_mm` when it is
// above 0; else the row of `paper_name` (its exact name, or the longest row
// name it begins with, ignoring case); else the row of `pcl_code`; else 0,
// logged. Landscape (lowest bit of `orientation`) swaps the dimensions of a
// row found.
[[nodiscard]] double get_bottom_page_mm(std::int32_t pcl_code, const char* paper_name,
                                        std::int32_t orientation, double known_mm);
[[nodiscard]] double get_right_page_mm(std::int32_t pcl_code, const char* paper_name,
                                       std::int32_t orientation, double known_mm);

// Gray value of a WatermarkGrayLevel (0 black to 1 outline); 0 for any other.
[[nodiscard]] double gray_level_to_number(std::int32_t gray_level);

// Writes the bytes as "0x%02X," each into `out` (terminated), as many as fit
// `size`. 0 without an output buffer (logged), else 1.
int byte_seq_to_hex(const std::uint8_t* bytes, std::size_t count, char* out, std::size_t size);
int bstring_to_hex(const_bstring b, char* out, std::size_t size);

// Development log: "bstring_bytes:<label> [<n> bytes]{<hex>}".
void print_bstring_bytes(const char* label, const_bstring b);
// Debug log: "bstring:<number>-<length>]'<text>'", zero bytes shown as "~".
void print_bstring(int number, const_bstring b);

// Appends `addition` to `target` and destroys `addition` (it is consumed in
// every case). BSTR_OK, or BSTR_ERR when the append failed or there was no
// addition (logged).
int bconcat_destroy(bstring target, bstring addition);
