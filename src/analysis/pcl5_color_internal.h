// Parts of the PCL5 colour-page detector shared by its source files: the
// palette operations, the raster judgement and the HP-GL/2 steps. Not for
// other callers.
#pragma once

#include <cstdint>

#include "analysis/pcl5_color.h"
#include "analysis/pcl5_command.h"

namespace pcl5_color {

// Positions examined at once: the job and the position.
struct At {
  ByteSpan data;
  std::uint64_t pos;
  // Bytes left from pos.
  [[nodiscard]] std::uint64_t left() const { return data.size() - pos; }
  [[nodiscard]] std::uint8_t byte(std::uint64_t ahead = 0) const { return data[pos + ahead]; }
  [[nodiscard]] bool has(std::uint64_t n) const { return n <= left(); }
};

// ---- palettes (pcl5_color_palette.cpp) ----

// The start and reset state: colour space 0, indexed by pixel, 2 entries,
// none coloured.
void palette_reset(PCL5Palette* palette);
[[nodiscard]] PCL5Palette& current_palette(PCL5Color* detector);
// Stores space and encoding, sizes the palette to 2 to the power of
// `bits_per_index` (clamped to 2 to 256 entries), clears every entry and
// marks the default coloured entries (1 to 6 from 8 entries on, 1 and 2 for
// 4 to 7 entries).
void palette_set_mode(PCL5Color* detector, int space, int encoding, int bits_per_index);
// Marks one entry (index modulo 256) coloured or not; keeps the count exact.
void palette_set_index_color(PCL5Palette* palette, std::int64_t index, bool colored);
// Simple Colour (ESC*r#U): 1 monochrome, 3 RGB planes, -3 CMY planes, -4
// KCMY planes; other values change nothing.
void palette_set_simple_color(PCL5Color* detector, std::int64_t mode);
// Palette control: select (ESC&p#S) and copy the current palette to a
// number (ESC&p#I with ESC&p6C). Numbers outside 0 to 63 are ignored.
void palette_select(PCL5Color* detector, std::int64_t number);
void palette_copy(PCL5Color* detector, std::int64_t target);
// The entry of `index` in the current palette is coloured (indexes wrap at
// the palette's size; negative indexes are entry 0).
[[nodiscard]] bool palette_entry_colored(const PCL5Color* detector, std::int64_t index);
// Colour components differ (not a gray): compared with their fractions.
[[nodiscard]] bool components_differ(const std::int64_t values[3], const std::uint32_t fractions[3]);

// ---- raster (pcl5_color_raster.cpp) ----

// ESC*b at the position: compression, Y offsets and the data blocks of the
// whole command are read and judged. Returns the position behind the
// command, or 0 when it is not one.
[[nodiscard]] std::uint64_t raster_transfer(PCL5Color* detector, At at);
// ESC*r: start and end of raster graphics, raster width, Simple Colour.
[[nodiscard]] std::uint64_t raster_control(PCL5Color* detector, At at);
// ESC*g#W: configured raster data. Returns the position behind its data.
[[nodiscard]] std::uint64_t raster_configure(PCL5Color* detector, At at);
// Seed rows cleared and the next plane back to the first.
void raster_clear_seed_rows(PCL5Color* detector);
[[nodiscard]] PCL5RasterRows* raster_rows_new();
void raster_rows_free(PCL5RasterRows* rows);

// ---- HP-GL/2 (pcl5_color_hpgl.cpp) ----

// One HP-GL/2 position. Returns the position behind what it understood, or
// 0 when nothing was recognised there.
[[nodiscard]] std::uint64_t hpgl_step(PCL5Color* detector, At at);

// Marks the current page coloured.
void mark_color(PCL5Color* detector);

}  // namespace pcl5_color
