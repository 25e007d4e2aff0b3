// Palettes of the PCL5 colour-page detector: modes, entries, Simple Colour,
// selection and copies.
#include <algorithm>
#include <cstring>

#include "analysis/pcl5_color_internal.h"
#include "foundation/log.h"

namespace pcl5_color {

namespace {

constexpr int BITS_PER_INDEX_MAX = 8;
constexpr int DEFAULT_ENCODING = 1;  // indexed by pixel

void set_encoding_flags(PCL5Palette* palette, int encoding) {
  // The encoding modulo 4: 0 indexed by plane, 1 indexed by pixel, 2 direct
  // by plane, 3 direct by pixel. A negative encoding from the data folds
  // into the same four.
  const int kind = ((encoding % 4) + 4) % 4;
  palette->pixel_encoding = encoding;
  palette->indexed = kind < 2;
  palette->by_pixel = (kind % 2) == 1;
}

void clear_entries(PCL5Palette* palette) {
  std::memset(palette->colored, 0, sizeof palette->colored);
  palette->colored_count = 0;
  palette->planes_judged = false;
}

}  // namespace

void palette_reset(PCL5Palette* palette) {
  palette->color_space = 0;
  set_encoding_flags(palette, DEFAULT_ENCODING);
  palette->bits_per_index = 1;
  palette->size = 2;
  clear_entries(palette);
}

PCL5Palette& current_palette(PCL5Color* detector) {
  return detector->palettes[detector->current_palette];
}

void palette_set_index_color(PCL5Palette* palette, std::int64_t index, bool colored) {
  const auto entry = static_cast<int>(((index % PCL5_PALETTE_ENTRIES) + PCL5_PALETTE_ENTRIES) %
                                      PCL5_PALETTE_ENTRIES);
  if (palette->colored[entry] == colored) return;
  palette->colored[entry] = colored;
  palette->colored_count += colored ? 1 : -1;
}

void palette_set_mode(PCL5Color* detector, int space, int encoding, int bits_per_index) {
  PCL5Palette& palette = current_palette(detector);
  // Bits per index come from the data: clamped before the shift.
  const int bits = std::clamp(bits_per_index, 0, BITS_PER_INDEX_MAX);
  palette.color_space = space;
  set_encoding_flags(&palette, encoding);
  palette.bits_per_index = std::max(bits, 1);
  palette.size = std::clamp(1 << bits, 2, PCL5_PALETTE_ENTRIES);
  clear_entries(&palette);
  if (palette.size >= 8) {
    LOG_DEV("PaletteSetMode: palette_size=%d, setting palette entries 1..6 TRUE", palette.size);
    for (int i = 1; i <= 6; ++i) palette_set_index_color(&palette, i, true);
  } else if (palette.size >= 4) {
    LOG_DEV("PaletteSetMode: palette_size=%d, setting palette entries 1..2 TRUE", palette.size);
    for (int i = 1; i <= 2; ++i) palette_set_index_color(&palette, i, true);
  }
  LOG_DEV("Set palette mode (palette_num=%d). PixelEncoding: %d  Colors: %d",
          detector->current_palette, palette.pixel_encoding, palette.colored_count);
}

void palette_set_simple_color(PCL5Color* detector, std::int64_t mode) {
  switch (mode) {
    case 1:
      PCL5ColorResetFound(detector);
      return;
    case 3:
    case -3:
      // RGB and CMY planes: index 0 and 7 are black and white, 1 to 6 the
      // primaries and their mixtures.
      palette_set_mode(detector, mode == 3 ? 0 : 1, 0, 3);
      break;
    case -4: {
      // KCMY planes: bit 0 is black, bits 1 to 3 cyan, magenta and yellow;
      // an entry is coloured when those three differ.
      palette_set_mode(detector, 1, 0, 4);
      PCL5Palette& palette = current_palette(detector);
      clear_entries(&palette);
      for (int i = 0; i < 16; ++i) {
        const int cmy = i >> 1;
        palette_set_index_color(&palette, i, cmy != 0 && cmy != 7);
      }
      palette.planes_judged = true;
      break;
    }
    default:
      return;
  }
  raster_clear_seed_rows(detector);
  LOG_DEV("Simple color mode %d: palette no %d", static_cast<int>(mode), detector->current_palette);
}

void palette_select(PCL5Color* detector, std::int64_t number) {
  if (number < 0 || number >= PCL5_PALETTE_COUNT) {
    LOG_DEBUG("select_palette:  Invalid index");
    return;
  }
  raster_clear_seed_rows(detector);
  detector->current_palette = static_cast<int>(number);
  const PCL5Palette& palette = current_palette(detector);
  LOG_DEV("select_palette: palette_no=%d", detector->current_palette);
  LOG_DEV("Selected palette no: %d.  PixelEncoding: %d  Colors: %d", detector->current_palette,
          palette.pixel_encoding, palette.colored_count);
}

void palette_copy(PCL5Color* detector, std::int64_t target) {
  if (target < 0 || target >= PCL5_PALETTE_COUNT || target == detector->current_palette) return;
  LOG_DEV("Copy palette %d to %d", detector->current_palette, static_cast<int>(target));
  detector->palettes[target] = current_palette(detector);
}

bool palette_entry_colored(const PCL5Color* detector, std::int64_t index) {
  const PCL5Palette& palette = detector->palettes[detector->current_palette];
  if (index < 0) index = 0;
  return palette.colored[index % palette.size];
}

bool components_differ(const std::int64_t values[3], const std::uint32_t fractions[3]) {
  return values[0] != values[1] || values[1] != values[2] || fractions[0] != fractions[1] ||
         fractions[1] != fractions[2];
}

}  // namespace pcl5_color
