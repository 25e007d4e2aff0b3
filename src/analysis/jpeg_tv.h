// Does a JPEG image held in memory contain colour? Decoded by libjpeg from
// the caller's bytes one scanline at a time, stopping at the first coloured
// pixel, within a bound of memory and of work whatever the image declares.
#pragma once

#include <cstdint>

// IMAGE_COLOR (png_tv.h) when a decoded pixel has red, green and blue (for
// CMYK and YCCK images: cyan, magenta and yellow) that differ by more than
// COLOR_GRAY_TOLERANCE (png_tv.h); IMAGE_GRAY when none has, or when the
// image is grey (one component, not decoded); IMAGE_BROKEN (logged, with
// `name`) when the bytes are not a valid JPEG image. Data that stops early is
// decoded as far as it goes. An image of more than IMAGE_TV_MAX_SAMPLES
// samples is decoded at the largest of 1/2, 1/4 or 1/8 of its size that
// stays within them (a pixel then stands for the mean of a square of pixels;
// only colours that cancel out within one are lost); IMAGE_UNJUDGED (logged) when even 1/8 does not, or when the
// decoder would need more than IMAGE_TV_MEMORY_BUDGET bytes.
[[nodiscard]] int jpeg_has_color(const std::uint8_t* data, std::uint64_t length, const char* name);
