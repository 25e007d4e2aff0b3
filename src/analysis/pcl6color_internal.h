// The PCL XL colour detector's state and the tests it is split into
// (pcl6color.cpp: pages and dispatch; pcl6color_image.cpp: images;
// pcl6color_text.cpp: fonts, characters and the white-space test).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/pcl6_attr.h"
#include "analysis/pcl6color.h"

// Backward windows: colours of a brush or pen, the attributes of a font
// name, and the attributes of images and colour spaces (a 768-byte palette
// with its header fits).
inline constexpr std::uint64_t PCL6_COLOR_WINDOW = 50;
inline constexpr std::uint64_t PCL6_IMAGE_WINDOW = 1000;
// Positions the white-space test looks ahead of a coloured brush.
inline constexpr std::uint64_t PCL6_WHITESPACE_LOOKAHEAD = 200;
// Font names kept, their longest length, and characters registered.
inline constexpr int PCL6_MAX_FONT_NAMES = 39;
inline constexpr std::size_t PCL6_FONT_NAME_SIZE = 40;
inline constexpr int PCL6_MAX_REGISTERED_CHARS = 255;
// Registered characters from which double-byte codes 0 to 5 are taken as
// white space (fonts downloaded with the blank glyphs first).
inline constexpr int PCL6_WHITESPACE_GLYPH_CHARS = 10;

// Enumerations of the PCL XL format.
inline constexpr int PXL_COLOR_SPACE_GRAY = 1;
inline constexpr int PXL_COLOR_SPACE_RGB = 2;
inline constexpr int PXL_MAPPING_DIRECT = 0;
inline constexpr int PXL_MAPPING_INDEXED = 1;
enum PxlCompression { PXL_NO_COMPRESSION = 0, PXL_RLE = 1, PXL_JPEG = 2, PXL_DELTA_ROW = 3 };

// The colour space set by the last SetColorSpace.
struct Pcl6ColorSpace {
  int color_space = PXL_COLOR_SPACE_RGB;
  int palette_depth = -1;            // 0 1-bit, 1 4-bit, 2 8-bit; -1 none given
  std::uint64_t palette_data = 0;    // offset of the palette's bytes in the job
  std::uint64_t palette_size = 0;    // 0: no palette
};

// The image begun by the last BeginImage.
struct Pcl6Image {
  bool valid = false;
  Pcl6ColorSpace space;  // the colour space it was begun in
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  int depth_bits = 8;    // bits per component (or per index)
  int mapping = PXL_MAPPING_DIRECT;
  bool xl2hb_marked = false;  // an XL2HB driver comment marks colour per block
};

struct Pcl6RegisteredChar {
  std::int64_t code = 0;
  std::int64_t data_size = 0;
  int font = -1;
};

struct PCL6Color {
  int page_index = 0;
  int color_pagecount = 0;
  bool has_color_on_page = false;
  // An image on the page whose colour could not be judged (its compression
  // or palette is one the detector cannot read); pages with one and no
  // colour found otherwise are undecided, never gray.
  bool undecided_on_page = false;
  int undecided_pages = 0;
  int nup_color_pages = 0;
  int nup = 0;
  int last_color_page = 0;
  Pcl6ColorSpace space;
  Pcl6Image image;
  std::array<std::array<char, PCL6_FONT_NAME_SIZE + 1>, PCL6_MAX_FONT_NAMES> font_names{};
  int num_font_names = 0;
  int current_font = -1;
  std::array<Pcl6RegisteredChar, PCL6_MAX_REGISTERED_CHARS> chars{};
  int num_chars = 0;
  bool guessed_jpeg_color = false;
  PCL6ColorCallback callback = nullptr;
  void* callback_data = nullptr;
  std::vector<std::uint8_t> row;  // decoding buffer, one image row
};

// Marks the current page as colour and calls the callback.
void pcl6color_found_color(PCL6Color* d);
// Marks the current page as holding an image whose colour cannot be judged.
void pcl6color_found_undecided(PCL6Color* d);

// Images (pcl6color_image.cpp).
void pcl6color_begin_image(PCL6Color* d, ByteSpan job, std::uint64_t pos);
// true when the ReadImage at `pos` paints colour.
[[nodiscard]] bool pcl6color_read_image_has_color(PCL6Color* d, ByteSpan job, std::uint64_t pos);
// true when `count` pixels of three components of `bits` bits each, packed
// from the start of `bytes`, hold a colour (not all gray).
[[nodiscard]] bool pcl6color_rgb_has_color(ByteSpan bytes, std::uint64_t count, int bits);

// Fonts, characters, white space (pcl6color_text.cpp).
void pcl6color_begin_char(PCL6Color* d, ByteSpan job, std::uint64_t pos);
void pcl6color_read_char(PCL6Color* d, ByteSpan job, std::uint64_t pos);
// true when the coloured brush set at `pos` only paints white space.
[[nodiscard]] bool pcl6color_brush_paints_whitespace(const PCL6Color* d, ByteSpan job,
                                                     std::uint64_t pos);
