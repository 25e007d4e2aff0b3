// Does a PNG image held in memory contain colour? Decoded by libpng row by
// row from the caller's bytes (one row in memory at a time), stopping at the
// first coloured pixel.
#pragma once

#include <cstdint>

// The verdicts of the image colour tests.
inline constexpr int IMAGE_COLOR = 1;
inline constexpr int IMAGE_GRAY = 0;
inline constexpr int IMAGE_BROKEN = -1;    // not a valid image
inline constexpr int IMAGE_UNJUDGED = -2;  // larger than the tests decode

// A print job of a few hundred bytes may declare an image of gigabytes; the
// colour tests decode at most this many samples (pixels times components)
// of one image, about a second's work: an A3 page at 600 dpi in RGB has
// 209 million. A larger JPEG is decoded at a reduced scale, a larger PNG is
// not judged.
inline constexpr std::uint64_t IMAGE_TV_MAX_SAMPLES = std::uint64_t{1} << 28;

// Memory a decoder may take for one image. A JPEG of several scans
// (progressive) keeps the coefficients of the whole image, two bytes for
// each sample of each component whatever the output scale; one that needs
// more is not judged. libpng's chunk buffers have the same bound.
inline constexpr std::uint64_t IMAGE_TV_MEMORY_BUDGET = std::uint64_t{128} << 20;

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

// IMAGE_COLOR when a pixel of the image has red, green and blue that differ
// by more than COLOR_GRAY_TOLERANCE (grey and grey-with-alpha images are not
// decoded; a palette image is colour only where a pixel uses a coloured
// entry; 8 and 16 bits per sample are compared as they are); IMAGE_GRAY when
// no pixel is coloured; IMAGE_BROKEN (logged, with `name`) when the bytes are
// not a valid PNG image; IMAGE_UNJUDGED (logged) when the header declares
// more than IMAGE_TV_MAX_SAMPLES samples, before any row is inflated.
[[nodiscard]] int png_has_color(const std::uint8_t* data, std::uint64_t length, const char* name);
