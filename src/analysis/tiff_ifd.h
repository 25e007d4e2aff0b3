// TIFF image headers: the byte-order header and the image file directories
// (IFDs) with the few fields the analyzers need (size, resolution, colour
// model). Offsets count from the TIFF's first byte (its "II" or "MM"); every
// offset and count from the data is checked against the bytes there are.
#pragma once

#include <cstdint>
#include <optional>

#include "scan/byte_cursor.h"

// Most images of one TIFF that are looked at, and most directory entries read
// per image.
inline constexpr int TIFF_MAX_IMAGES = 100000;
inline constexpr std::uint16_t TIFF_MAX_IFD_ENTRIES = 4096;

// Photometric interpretations.
inline constexpr int TIFF_PHOTOMETRIC_WHITE_IS_ZERO = 0;
inline constexpr int TIFF_PHOTOMETRIC_BLACK_IS_ZERO = 1;
inline constexpr int TIFF_PHOTOMETRIC_PALETTE = 3;
inline constexpr int TIFF_PHOTOMETRIC_MASK = 4;
// Resolution units.
inline constexpr int TIFF_UNIT_NONE = 1;
inline constexpr int TIFF_UNIT_INCH = 2;
inline constexpr int TIFF_UNIT_CENTIMETRE = 3;

struct TiffHeader {
  bool little_endian = true;
  std::uint32_t first_ifd = 0;
};

// One image's directory.
struct TiffImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  double x_resolution = 0;  // pixels per unit; 0 when absent or invalid
  double y_resolution = 0;
  int resolution_unit = TIFF_UNIT_INCH;
  int photometric = -1;  // -1 when absent
  int samples_per_pixel = 1;
  std::uint32_t next_ifd = 0;  // 0 for the last image
};

// The header at the start of `tiff`: "II*\0" or "MM\0*" and the first
// directory's offset. None when the bytes are not a TIFF header.
[[nodiscard]] std::optional<TiffHeader> tiff_read_header(ByteSpan tiff);

// The directory at `offset`; none when it does not lie whole in `tiff`.
[[nodiscard]] std::optional<TiffImage> tiff_read_ifd(ByteSpan tiff, const TiffHeader& header,
                                                     std::uint32_t offset);

// The number of images in the directory chain (stops at a broken or
// looping link, and at TIFF_MAX_IMAGES); 0 when there is no valid header.
[[nodiscard]] int tiff_count_images(ByteSpan tiff);

// Images of the directory chain whose colour model holds no colour (see
// tiff_image_is_gray); the chain is walked as by tiff_count_images.
[[nodiscard]] int tiff_count_gray_images(ByteSpan tiff);

// true when the image's colour model holds no colour: bilevel or gray
// (WhiteIsZero, BlackIsZero) or a transparency mask, with at most one extra
// (alpha) sample. A palette, RGB, CMYK or an absent model may hold colour.
[[nodiscard]] bool tiff_image_is_gray(const TiffImage& image);

// Millimetres of `pixels` at `resolution` pixels per `unit`, rounded half
// up; none when the resolution is not positive or the unit has no length.
[[nodiscard]] std::optional<double> tiff_length_mm(std::uint32_t pixels, double resolution, int unit);
