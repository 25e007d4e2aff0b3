// Whether the JBIG-coded bitmaps that host-based printer drivers send hold
// any marks, told without decoding them.
//
// Each stripe of such a bitmap is the output of JBIG's arithmetic coder,
// ended by an SDNORM (FF 02) or SDRST (FF 03) marker. Coded with typical
// prediction (the TPBON option of the bitmap's header), a white stripe gives
// only zero bytes, and encoders leave trailing zero bytes out since a decoder
// supplies them: a white stripe stands in the data as its marker alone. A
// decoder reads a stripe of zero bytes as that same white stripe, so data
// made of nothing but zero bytes and end-of-stripe markers is a white bitmap.
// Any other byte (coded data, a stuffed FF 00, another marker) may be a mark.
#pragma once

#include <cstdint>

#include "scan/byte_cursor.h"

// The 20-byte bitmap header (BIH) and its options byte.
inline constexpr std::uint64_t JBIG_BIH_SIZE = 20;
inline constexpr std::uint64_t JBIG_BIH_OPTIONS = 19;
inline constexpr std::uint8_t JBIG_OPTION_TPBON = 0x08;

// true when `stripes` (coded stripe data of one bitmap, or a piece of it
// that ends on a stripe boundary or in zero padding) holds only zero bytes
// and end-of-stripe markers; also true for no bytes at all.
[[nodiscard]] bool jbig_stripes_are_blank(ByteSpan stripes);

// true when `bih` is a bitmap header whose bitmap is coded with typical
// prediction (the case in which blank stripes are told apart by their bytes).
[[nodiscard]] bool jbig_bih_has_typical_prediction(ByteSpan bih);

// The pages of a manual duplex job whose driver may have made an odd page
// count even with a blank back side: `pages` less one when the job is
// `two_sided`, the count even and `blank_pages` of its pages blank. A
// document whose last page is blank and whose count is even looks the same
// in such a stream; formats that mark the odd form say so in `two_sided`.
[[nodiscard]] int pages_without_blank_back_side(int pages, bool two_sided, int blank_pages);
