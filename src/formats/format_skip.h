// Skipping to the next byte of a small set, for walks whose tests begin at
// more kinds of byte than the shared walk's memchr starts: sixteen bytes
// compared at a time with each member of the set, so that raster data
// between the commands is passed at memory speed.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Up to FORMAT_SKIP_MAX_BYTES bytes, tested by table or by vector compare.
inline constexpr std::size_t FORMAT_SKIP_MAX_BYTES = 12;

class FormatByteSet {
 public:
  constexpr explicit FormatByteSet(std::string_view bytes) {
    for (const char c : bytes) {
      const auto b = static_cast<std::uint8_t>(c);
      if (count_ < FORMAT_SKIP_MAX_BYTES && !table_[b]) bytes_[count_++] = b;
      table_[b] = true;
    }
  }
  [[nodiscard]] constexpr bool contains(std::uint8_t b) const { return table_[b]; }

  // The first position at or after `pos` holding a member, or `size`.
  [[nodiscard]] std::uint64_t next(const std::uint8_t* data, std::uint64_t size,
                                   std::uint64_t pos) const {
#if defined(__SSE2__)
    constexpr std::uint64_t BLOCK = 16;
    __m128i members[FORMAT_SKIP_MAX_BYTES];
    for (std::size_t i = 0; i < count_; ++i) {
      members[i] = _mm_set1_epi8(static_cast<char>(bytes_[i]));
    }
    while (pos < size && size - pos >= BLOCK) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
      __m128i hit = _mm_setzero_si128();
      for (std::size_t i = 0; i < count_; ++i) {
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, members[i]));
      }
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
      if (mask != 0) return pos + static_cast<unsigned>(__builtin_ctz(mask));
      pos += BLOCK;
    }
#endif
    while (pos < size && !table_[data[pos]]) ++pos;
    return pos < size ? pos : size;
  }

 private:
  std::array<bool, 256> table_{};
  std::array<std::uint8_t, FORMAT_SKIP_MAX_BYTES> bytes_{};
  std::size_t count_ = 0;
};
