// Whether a stretch of a PCL5 job puts anything on paper, judged by its
// raster rows decoded: the blank back side a duplex driver adds to an odd
// page count, and the last page of a job that no form feed ends.
#pragma once

#include <cstdint>

#include "scan/byte_cursor.h"

// How raster rows are written at a point of a job: the compression method
// and the byte of a white row (FF for direct RGB colour, else 0).
struct Pcl5RasterFormat {
  std::int64_t compression = 0;
  std::uint8_t white = 0;
};

// What the bytes [from, to) print.
struct Pcl5StretchInk {
  // Bytes of decoded raster rows that are not white (rows of compression
  // methods that are not decoded count all their bytes).
  std::uint64_t ink_bytes = 0;
  // Text, transparent data or HP-GL/2: marks that are not judged.
  bool other_marks = false;
  // Raster rows and planes, blank or not.
  std::uint64_t raster_rows = 0;
};

// Walks the commands of [from, to) (raster data stepped over by its
// counts, "@PJL" lines passed over), starting with the raster written as
// `format` says. Never reads outside the data.
[[nodiscard]] Pcl5StretchInk pcl5_stretch_ink(ByteSpan data, std::uint64_t from,
                                              std::uint64_t to, Pcl5RasterFormat format);

// Ink bytes at which a stretch counts as printed: a driver's blank page may
// carry one stray byte of dots (hpcups' LaserJet classes put a single dot
// at the top of every page, the blank ones included).
inline constexpr std::uint64_t PCL5_BLANK_PAGE_MAX_INK = 1;

// True when the stretch carries no more than PCL5_BLANK_PAGE_MAX_INK ink
// bytes and no other marks.
[[nodiscard]] bool pcl5_stretch_is_blank(ByteSpan data, std::uint64_t from, std::uint64_t to,
                                         Pcl5RasterFormat format);

// The same for a page a raster driver wrote: at least one raster row, and
// no more ink than a blank one (the blank back side of a duplex job).
[[nodiscard]] bool pcl5_stretch_is_blank_raster_page(ByteSpan data, std::uint64_t from,
                                                     std::uint64_t to, Pcl5RasterFormat format);
