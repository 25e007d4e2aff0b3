// Does a JPEG image held in memory contain colour? Decoded by libjpeg from
// the caller's bytes one scanline at a time, stopping at the first coloured
// pixel.
#pragma once

#include <cstdint>

// 1 when a decoded pixel has red, green and blue (for CMYK and YCCK images:
// cyan, magenta and yellow) that differ by more than COLOR_GRAY_TOLERANCE
// (png_tv.h); 0 when none has, or when
// the image is grey (one component, not decoded); -1 (logged, with `name`)
// when the bytes are not a valid JPEG image. Data that stops early is decoded
// as far as it goes. An image with more than IMAGE_TV_MAX_PIXELS pixels
// (png_tv.h) is taken as colour without decoding.
[[nodiscard]] int jpeg_has_color(const std::uint8_t* data, std::uint64_t length, const char* name);
