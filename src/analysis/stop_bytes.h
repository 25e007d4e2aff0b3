// The next of three bytes of interest in a buffer, sixteen bytes at a time:
// the whole-file walk of the TIFF analyzer stops only where a test can
// begin. The mask of the current sixteen bytes is kept, so stops close
// together cost a bit scan, not a new search.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "scan/byte_cursor.h"

class StopBytes {
 public:
  StopBytes(ByteSpan data, std::uint8_t a, std::uint8_t b, std::uint8_t c)
      : data_(data), a_(_mm_set1_epi8(static_cast<char>(a))), b_(_mm_set1_epi8(static_cast<char>(b))),
        c_(_mm_set1_epi8(static_cast<char>(c))), a8_(a), b8_(b), c8_(c) {}

  // Offset of the first stop byte at or after `pos`, or the size of the data.
  [[nodiscard]] std::uint64_t next(std::uint64_t pos) {
    const std::uint64_t size = data_.size();
    while (pos < size) {
      if (pos < block_ || pos >= block_ + 16) load(pos);
      const unsigned rest = mask_ >> (pos - block_);
      if (rest != 0) return pos + static_cast<std::uint64_t>(__builtin_ctz(rest));
      pos = block_ + 16;
    }
    return size;
  }

 private:
  void load(std::uint64_t pos) {
    block_ = pos;
    const std::uint8_t* p = data_.data() + pos;
    if (data_.size() - pos >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, a_), _mm_cmpeq_epi8(block, b_)),
                                        _mm_cmpeq_epi8(block, c_));
      mask_ = static_cast<unsigned>(_mm_movemask_epi8(hits));
      return;
    }
    mask_ = 0;  // the last bytes, one at a time
    for (std::uint64_t i = 0; i < data_.size() - pos; ++i) {
      if (p[i] == a8_ || p[i] == b8_ || p[i] == c8_) mask_ |= 1u << i;
    }
  }

  ByteSpan data_;
  __m128i a_, b_, c_;
  std::uint8_t a8_, b8_, c8_;
  std::uint64_t block_ = UINT64_MAX - 16;  // no block loaded yet
  unsigned mask_ = 0;
};
