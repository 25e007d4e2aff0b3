// The next of three bytes of interest in a buffer, sixteen bytes at a time:
// the whole-file walks of the PDF and TIFF analyzers stop only where a test
// can begin.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "scan/byte_cursor.h"

// Offset of the first byte equal to a, b or c at or after `from`, or the size
// of `data` when there is none.
[[nodiscard]] inline std::uint64_t find_any_of3(ByteSpan data, std::uint64_t from, std::uint8_t a,
                                                std::uint8_t b, std::uint8_t c) {
  const std::uint8_t* base = data.data();
  const std::uint64_t size = data.size();
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
  std::uint64_t i = from;
  for (; i + 16 <= size; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + i));
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, va), _mm_cmpeq_epi8(block, vb)),
                                      _mm_cmpeq_epi8(block, vc));
    const int mask = _mm_movemask_epi8(hits);
    if (mask != 0) return i + static_cast<std::uint64_t>(__builtin_ctz(static_cast<unsigned>(mask)));
  }
  for (; i < size; ++i) {
    if (base[i] == a || base[i] == b || base[i] == c) return i;
  }
  return size;
}
