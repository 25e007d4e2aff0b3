// Row decoders for PCL XL image data: run-length (the PackBits scheme of
// TIFF) and delta row (PCL5 mode 3 commands against the previous row, each
// row led by its uint16 byte count). Both hand out one decoded row at a
// time, so memory stays one or two rows whatever the image's height, and
// both stop at the end of the compressed bytes, at `max_rows`, or when the
// row visitor asks to stop. Nothing is read or written outside the given
// spans.
#pragma once

#include <cstdint>
#include <vector>

#include "scan/byte_cursor.h"

// Longest row the decoders build: a 65535-pixel row of 8-bit RGB padded to
// 4 bytes (PCL XL widths are uint16).
inline constexpr std::uint64_t PXL_MAX_ROW_BYTES = 65535ull * 3 + 3;

enum class PxlDecodeResult {
  DONE,       // every row asked for was decoded, or the visitor stopped
  SHORT,      // the compressed bytes ended first (the rows so far were visited)
  BAD_DATA,   // the compressed bytes are not valid for the scheme
};

// Visits one decoded row; returns true to stop decoding.
using PxlRowVisitor = bool (*)(ByteSpan row, void* context);

// Run-length data: the block is one PackBits stream whose output is cut
// into rows of `row_bytes` (runs may cross rows). `row` is the caller's
// buffer, resized to row_bytes.
[[nodiscard]] PxlDecodeResult pxl_decode_rle_rows(ByteSpan compressed, std::uint64_t row_bytes,
                                                  std::uint64_t max_rows,
                                                  std::vector<std::uint8_t>& row,
                                                  PxlRowVisitor visit, void* context);

// Delta-row data: each row is a little-endian uint16 count of its command
// bytes, then the commands, applied to the previous row (zeros before the
// first). `row` is the caller's buffer (the seed row), resized to row_bytes
// and cleared.
[[nodiscard]] PxlDecodeResult pxl_decode_delta_rows(ByteSpan compressed, std::uint64_t row_bytes,
                                                    std::uint64_t max_rows,
                                                    std::vector<std::uint8_t>& row,
                                                    PxlRowVisitor visit, void* context);
