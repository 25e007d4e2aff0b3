// Does a PNG image held in memory contain colour? Decoded by libpng row by
// row from the caller's bytes (one row in memory at a time), stopping at the
// first coloured pixel.
#pragma once

#include <cstdint>

// Images with more pixels than this are not decoded and taken as colour.
inline constexpr std::uint64_t IMAGE_TV_MAX_PIXELS = std::uint64_t{1} << 30;

// Largest difference between the red, green and blue of one pixel (in
// levels of 255) that is still grey: renderers' colour conversion writes
// greys such as 76,77,76, which print as grey. The colour tests of images and
// of XPS vector colours share it.
inline constexpr int COLOR_GRAY_TOLERANCE = 2;

// true when three samples of `max_level` levels differ by more than the
// tolerance.
[[nodiscard]] constexpr bool samples_differ(int a, int b, int c, int max_level = 255) {
  const int high = a > b ? (a > c ? a : c) : (b > c ? b : c);
  const int low = a < b ? (a < c ? a : c) : (b < c ? b : c);
  return (high - low) * 255 > COLOR_GRAY_TOLERANCE * max_level;
}

// 1 when a pixel of the image has red, green and blue that differ by more
// than COLOR_GRAY_TOLERANCE (grey and grey-with-alpha images are not decoded; a palette image is
// colour only where a pixel uses a coloured entry; 8 and 16 bits per sample
// are compared as they are); 0 when no pixel is coloured; -1 (logged, with
// `name`) when the bytes are not a valid PNG image. An image with more than
// IMAGE_TV_MAX_PIXELS pixels is taken as colour without decoding.
[[nodiscard]] int png_has_color(const std::uint8_t* data, std::uint64_t length, const char* name);
