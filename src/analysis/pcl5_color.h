// The PCL5 colour-page detector: decides page by page whether a PCL5 or
// HP-GL/2 job prints anything in colour. It follows the PCL colour model (64
// palettes, each with a colour space, a pixel encoding and coloured or
// uncoloured entries) just far enough to know whether the current drawing
// colour, the current HP-GL/2 pen or the pixels of a raster row are coloured.
//
// The PCL5 scanner feeds it every scan position outside the job header
// that can change its state (an ESC, an HP-GL/2 mnemonic, and every byte
// while a colour waits for confirmation) with the page index; a new index
// closes the previous page. A page counts as colour only
// on positive evidence. Raster data that it cannot judge (compression
// methods it does not decode under a palette that can hold colour, or
// configured raster data with colour components) leaves the page undecided:
// such a job's colour pages are unknown, never silently gray.
#pragma once

#include <cstdint>

#include "foundation/owned.h"
#include "scan/byte_cursor.h"

inline constexpr int PCL5_PALETTE_COUNT = 64;
inline constexpr int PCL5_PALETTE_ENTRIES = 256;
// Bytes of one decoded raster row (and of each seed row).
inline constexpr std::uint64_t PCL5_RASTER_ROW_MAX = 32768;
// Planes of one raster row that are judged; rows of more planes leave the
// page undecided.
inline constexpr int PCL5_RASTER_PLANES_MAX = 4;
// Components of a direct pixel that differ by at most this many levels (of
// 255) are gray: drivers' colour conversions round neutral tones unevenly.
inline constexpr int PCL5_GRAY_TOLERANCE = 2;

// The scanner's modes, as passed to PCL5ColorParseAtPos.
inline constexpr int PCL5_MODE_RASTER = 0;
inline constexpr int PCL5_MODE_HPGL = 1;
inline constexpr int PCL5_MODE_PCL = 2;

struct PCL5Palette {
  int color_space;
  int pixel_encoding;   // 0 indexed by plane, 1 indexed by pixel, 2 direct by plane, 3 direct by pixel
  bool indexed;
  bool by_pixel;
  int bits_per_index;   // 1 to 8 (bits per primary for direct encodings)
  int size;             // 2 to 256 entries
  int colored_count;
  // Raster planes under this palette are judged pixel by pixel: only the
  // Simple Colour KCMY palette, whose black plane carries neutral tones.
  // Planes without one mix gray from dithered colour planes that differ
  // pixel by pixel, so their colour cannot be told from the data.
  bool planes_judged;
  // Entries whose colour is not gray. The KCMY palette marks the entries
  // whose cyan, magenta and yellow bits differ.
  bool colored[PCL5_PALETTE_ENTRIES];
};

struct PCL5RasterRows;  // decoding buffers (pcl5_color_raster.cpp)

struct PCL5Color {
  int page_index;
  int color_pagecount;
  bool has_color_on_page;
  // Raster rows on the current page could not be judged.
  bool undecided_on_page;
  int undecided_pagecount;
  std::uint64_t skip_position;
  bool tentative_color;
  std::uint64_t tentative_expiry;
  int current_palette;
  PCL5Palette palettes[PCL5_PALETTE_COUNT];
  int hpgl_pen;
  bool hpgl_pen_up;
  bool color_preserved;
  // Colour components collected by ESC*v#A, #B and #C for ESC*v#I.
  std::int64_t components[3];
  std::uint32_t component_fractions[3];
  int raster_width;
  int row_width;
  int compression;
  // Configured raster data (ESC*g#W) announced colour components that the
  // detector cannot judge; cleared by a reset.
  bool configured_color_raster;
  // The next plane of the current raster row.
  int plane;
  PCL5RasterRows* rows;
};

// A new detector: every palette reset, palette 0 current; null when memory
// runs out.
[[nodiscard]] PCL5Color* PCL5ColorNew();
// Frees the detector; null is ignored.
void PCL5ColorFree(PCL5Color* detector);
using PCL5ColorPtr = Owned<PCL5Color, PCL5ColorFree>;

// Examines the position `pos` of the job `data` (`length` bytes) on page
// `page_index` in `mode` (PCL5_MODE_*).
void PCL5ColorParseAtPos(PCL5Color* detector, const std::uint8_t* data, std::uint64_t length,
                         std::uint64_t pos, int page_index, int mode);
// End of the job: counts the last page when it has colour.
void PCL5ColorParseComplete(PCL5Color* detector);
[[nodiscard]] int PCL5ColorGetColorPageCount(const PCL5Color* detector);
// Pages whose raster data could not be judged and had no colour otherwise.
[[nodiscard]] int PCL5ColorGetUndecidedPageCount(const PCL5Color* detector);
// A group of a combined raster command that the scanner read without an
// ESC*b before it (Ghostscript's DeskJet drivers go on after a group that an
// upper-case letter ended): `letter` and `value` as written, `block` the
// data of a plane or row group. Judged as the command's own groups.
void PCL5ColorRasterGroup(PCL5Color* detector, std::uint8_t letter, std::int64_t value,
                          ByteSpan block);
// Resets every palette, selects palette 0 and resets HP-GL/2 without colour
// preserved (a printer reset or universal exit).
void PCL5ColorResetFound(PCL5Color* detector);
// Pen up cleared, colour preserved as given (entering HP-GL/2).
void PCL5ColorResetHPGL(PCL5Color* detector, int color_preserved);
