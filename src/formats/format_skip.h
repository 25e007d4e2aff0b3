// Skipping to the next byte of a small set, for walks whose tests begin at
// more than one kind of byte: each block of the data is compared at once
// with every member of the set (32 bytes at a time where the processor has
// AVX2, else 16), so that raster data between the commands is passed at
// memory speed and a walk stopping every few dozen bytes pays no call per
// member as one memchr per start byte would.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string_view>

#include "foundation/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define FORMAT_SKIP_X86 1
#endif

// Up to FORMAT_SKIP_MAX_BYTES bytes, tested by table or by vector compare.
inline constexpr std::size_t FORMAT_SKIP_MAX_BYTES = 12;

namespace format_skip_detail {

// A set of bytes told apart by two 16-entry tables, one per nibble: each
// high nibble in use gets a bit, and the low nibble's entry holds the bits
// of the high nibbles it makes a member with. Up to eight high nibbles.
struct NibbleClass {
  std::array<std::uint8_t, 16> low{};
  std::array<std::uint8_t, 16> high{};
  bool usable = true;

  constexpr void build(const std::array<bool, 256>& members) {
    int bits = 0;
    for (int h = 0; h < 16; ++h) {
      bool used = false;
      for (int l = 0; l < 16; ++l) used = used || members[static_cast<std::size_t>(h * 16 + l)];
      if (!used) continue;
      if (bits == 8) {
        usable = false;
        return;
      }
      const auto bit = static_cast<std::uint8_t>(1U << bits++);
      high[static_cast<std::size_t>(h)] = bit;
      for (int l = 0; l < 16; ++l) {
        if (members[static_cast<std::size_t>(h * 16 + l)]) {
          low[static_cast<std::size_t>(l)] = static_cast<std::uint8_t>(low[static_cast<std::size_t>(l)] | bit);
        }
      }
    }
  }
};

#if defined(FORMAT_SKIP_X86)
// The first position in [pos, size) whose byte is one of `bytes`, or a
// position at which fewer than 32 bytes remain (the caller ends the search).
__attribute__((target("avx2"))) inline std::uint64_t next_avx2(const std::uint8_t* data,
                                                               std::uint64_t size,
                                                               std::uint64_t pos,
                                                               const std::uint8_t* bytes,
                                                               std::size_t count) {
  constexpr std::uint64_t BLOCK = 32;
  __m256i members[FORMAT_SKIP_MAX_BYTES];
  for (std::size_t i = 0; i < count; ++i) {
    members[i] = _mm256_set1_epi8(static_cast<char>(bytes[i]));
  }
  while (size - pos >= BLOCK) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + pos));
    __m256i hit = _mm256_cmpeq_epi8(v, members[0]);
    for (std::size_t i = 1; i < count; ++i) {
      hit = _mm256_or_si256(hit, _mm256_cmpeq_epi8(v, members[i]));
    }
    const auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(hit));
    if (mask != 0) return pos + static_cast<unsigned>(__builtin_ctz(mask));
    pos += BLOCK;
  }
  return pos;
}

inline std::uint64_t next_sse2(const std::uint8_t* data, std::uint64_t size, std::uint64_t pos,
                               const std::uint8_t* bytes, std::size_t count) {
  constexpr std::uint64_t BLOCK = 16;
  __m128i members[FORMAT_SKIP_MAX_BYTES];
  for (std::size_t i = 0; i < count; ++i) {
    members[i] = _mm_set1_epi8(static_cast<char>(bytes[i]));
  }
  while (size - pos >= BLOCK) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    __m128i hit = _mm_cmpeq_epi8(v, members[0]);
    for (std::size_t i = 1; i < count; ++i) {
      hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, members[i]));
    }
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return pos + static_cast<unsigned>(__builtin_ctz(mask));
    pos += BLOCK;
  }
  return pos;
}

__attribute__((target("avx2"))) inline __m256i nibble_member_avx2(__m256i v, __m256i low,
                                                                  __m256i high) {
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i l = _mm256_shuffle_epi8(low, _mm256_and_si256(v, nibble));
  const __m256i h = _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
  return _mm256_and_si256(l, h);  // non-zero in the lanes of members
}

__attribute__((target("avx2"))) inline __m256i table_avx2(const std::array<std::uint8_t, 16>& t) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.data())));
}

// The first position in [pos, size) whose byte is a member of `set`, or a
// position at which fewer than 64 bytes remain.
__attribute__((target("avx2"))) inline std::uint64_t next_class_avx2(const std::uint8_t* data,
                                                                     std::uint64_t size,
                                                                     std::uint64_t pos,
                                                                     const NibbleClass& set) {
  constexpr std::uint64_t BLOCK = 64;
  const __m256i low = table_avx2(set.low);
  const __m256i high = table_avx2(set.high);
  const __m256i zero = _mm256_setzero_si256();
  while (size - pos >= BLOCK) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + pos));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + pos + 32));
    const auto miss_a = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(nibble_member_avx2(a, low, high), zero)));
    const auto miss_b = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(nibble_member_avx2(b, low, high), zero)));
    const std::uint64_t hits = ~((std::uint64_t{miss_b} << 32) | miss_a);
    if (hits != 0) return pos + static_cast<unsigned>(__builtin_ctzll(hits));
    pos += BLOCK;
  }
  return pos;
}

#endif

}  // namespace format_skip_detail

class FormatByteSet {
 public:
  constexpr explicit FormatByteSet(std::string_view bytes) {
    for (const char c : bytes) add(static_cast<std::uint8_t>(c));
    classes_.build(table_);
  }
  constexpr explicit FormatByteSet(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t b : bytes) add(b);
    classes_.build(table_);
  }
  [[nodiscard]] constexpr bool contains(std::uint8_t b) const { return table_[b]; }

  // The first position at or after `pos` holding a member, or `size`.
  [[nodiscard]] std::uint64_t next(const std::uint8_t* data, std::uint64_t size,
                                   std::uint64_t pos) const {
    if (pos >= size) return size;
    // Members often stand close together: the next few bytes are looked at
    // here before a vector pass is set up.
    for (const std::uint64_t near = pos + std::min<std::uint64_t>(NEAR, size - pos); pos < near;
         ++pos) {
      if (table_[data[pos]]) return pos;
    }
#if defined(FORMAT_SKIP_X86)
    if (classes_.usable && CPU_HAS_AVX2) {
      pos = format_skip_detail::next_class_avx2(data, size, pos, classes_);
    } else if (count_ != 0 && !overflow_) {
      pos = CPU_HAS_AVX2
                ? format_skip_detail::next_avx2(data, size, pos, bytes_.data(), count_)
                : format_skip_detail::next_sse2(data, size, pos, bytes_.data(), count_);
    }
#endif
    while (pos < size && !table_[data[pos]]) ++pos;
    return pos;
  }

 private:
  constexpr void add(std::uint8_t b) {
    if (!table_[b]) {
      if (count_ < FORMAT_SKIP_MAX_BYTES) {
        bytes_[count_++] = b;
      } else {
        overflow_ = true;  // more members than vectors: the table alone decides
      }
    }
    table_[b] = true;
  }

  static constexpr std::uint64_t NEAR = 8;

  std::array<bool, 256> table_{};
  std::array<std::uint8_t, FORMAT_SKIP_MAX_BYTES> bytes_{};
  std::size_t count_ = 0;
  bool overflow_ = false;
  format_skip_detail::NibbleClass classes_;
};

// A byte that a test needs at `pos` and a second one, or one of the range
// `second` to `second_last`, it needs at `pos + offset`.
struct FormatPair {
  constexpr FormatPair(std::uint8_t first_byte, std::uint8_t at, std::uint8_t second_byte)
      : FormatPair(first_byte, at, second_byte, second_byte) {}
  constexpr FormatPair(std::uint8_t first_byte, std::uint8_t at, std::uint8_t second_from,
                       std::uint8_t second_to)
      : first(first_byte), offset(at), second(second_from), second_last(second_to) {}
  constexpr FormatPair() = default;

  std::uint8_t first = 0;
  std::uint8_t offset = 1;
  std::uint8_t second = 0;
  std::uint8_t second_last = 0;
};

inline constexpr std::size_t FORMAT_SKIP_MAX_PAIRS = 16;

namespace format_skip_detail {

#if defined(FORMAT_SKIP_X86)
// The first position in [pos, size) where one of `pairs` stands, or a
// position at which fewer than 32 + `reach` bytes remain.
__attribute__((target("avx2"))) inline std::uint64_t next_pair_avx2(
    const std::uint8_t* data, std::uint64_t size, std::uint64_t pos, const FormatPair* pairs,
    std::size_t count, std::uint64_t reach) {
  constexpr std::uint64_t BLOCK = 32;
  __m256i firsts[FORMAT_SKIP_MAX_PAIRS];
  __m256i seconds[FORMAT_SKIP_MAX_PAIRS];
  __m256i spans[FORMAT_SKIP_MAX_PAIRS];
  for (std::size_t i = 0; i < count; ++i) {
    firsts[i] = _mm256_set1_epi8(static_cast<char>(pairs[i].first));
    seconds[i] = _mm256_set1_epi8(static_cast<char>(pairs[i].second));
    spans[i] = _mm256_set1_epi8(static_cast<char>(pairs[i].second_last - pairs[i].second));
  }
  while (size - pos >= BLOCK + reach) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + pos));
    __m256i hit = _mm256_setzero_si256();
    for (std::size_t i = 0; i < count; ++i) {
      const __m256i w =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + pos + pairs[i].offset));
      // w - second <= span, unsigned: w lies in the range.
      const __m256i x = _mm256_sub_epi8(w, seconds[i]);
      const __m256i in_range = _mm256_cmpeq_epi8(_mm256_min_epu8(x, spans[i]), x);
      hit = _mm256_or_si256(hit, _mm256_and_si256(_mm256_cmpeq_epi8(v, firsts[i]), in_range));
    }
    const auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(hit));
    if (mask != 0) return pos + static_cast<unsigned>(__builtin_ctz(mask));
    pos += BLOCK;
  }
  return pos;
}

inline std::uint64_t next_pair_sse2(const std::uint8_t* data, std::uint64_t size,
                                    std::uint64_t pos, const FormatPair* pairs,
                                    std::size_t count, std::uint64_t reach) {
  constexpr std::uint64_t BLOCK = 16;
  while (size - pos >= BLOCK + reach) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    __m128i hit = _mm_setzero_si128();
    for (std::size_t i = 0; i < count; ++i) {
      const __m128i w =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + pairs[i].offset));
      const __m128i x = _mm_sub_epi8(w, _mm_set1_epi8(static_cast<char>(pairs[i].second)));
      const __m128i span =
          _mm_set1_epi8(static_cast<char>(pairs[i].second_last - pairs[i].second));
      const __m128i in_range = _mm_cmpeq_epi8(_mm_min_epu8(x, span), x);
      hit = _mm_or_si128(
          hit, _mm_and_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(pairs[i].first))),
                             in_range));
    }
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return pos + static_cast<unsigned>(__builtin_ctz(mask));
    pos += BLOCK;
  }
  return pos;
}
#endif

// The pairs that share one offset: the set of their first bytes and the
// set of their second ones. A position where a first byte stands with a
// second byte at the offset is a candidate, which the caller checks
// against the pairs themselves.
struct NibbleGroup {
  std::uint8_t offset = 0;
  NibbleClass first;
  NibbleClass second;
};

inline constexpr std::size_t FORMAT_SKIP_MAX_GROUPS = 4;

#if defined(FORMAT_SKIP_X86)
// The first candidate position in [pos, size), or a position at which
// fewer than 32 + `reach` bytes remain. `COUNT` groups: the loops over them
// unroll and their tables stay in registers.
template <std::size_t COUNT>
__attribute__((target("avx2"))) inline std::uint64_t next_candidate_avx2_n(
    const std::uint8_t* data, std::uint64_t size, std::uint64_t pos, const NibbleGroup* groups,
    std::uint64_t reach) {
  constexpr std::uint64_t BLOCK = 32;
  __m256i tables[COUNT][4];
  std::uint64_t offsets[COUNT];
  for (std::size_t g = 0; g < COUNT; ++g) {
    tables[g][0] = table_avx2(groups[g].first.low);
    tables[g][1] = table_avx2(groups[g].first.high);
    tables[g][2] = table_avx2(groups[g].second.low);
    tables[g][3] = table_avx2(groups[g].second.high);
    offsets[g] = groups[g].offset;
  }
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i zero = _mm256_setzero_si256();
  while (size - pos >= BLOCK + reach) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + pos));
    const __m256i v_low = _mm256_and_si256(v, nibble);
    const __m256i v_high = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
    // Non-zero in a lane where some group's first byte and second byte
    // both stand: the smaller of the two class bytes is non-zero.
    __m256i any = zero;
    for (std::size_t g = 0; g < COUNT; ++g) {
      const __m256i w =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + pos + offsets[g]));
      const __m256i first = _mm256_and_si256(_mm256_shuffle_epi8(tables[g][0], v_low),
                                             _mm256_shuffle_epi8(tables[g][1], v_high));
      const __m256i second = _mm256_and_si256(
          _mm256_shuffle_epi8(tables[g][2], _mm256_and_si256(w, nibble)),
          _mm256_shuffle_epi8(tables[g][3], _mm256_and_si256(_mm256_srli_epi16(w, 4), nibble)));
      any = _mm256_or_si256(any, _mm256_min_epu8(first, second));
    }
    const auto mask = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(any, zero)));
    if (mask != 0) return pos + static_cast<unsigned>(__builtin_ctz(mask));
    pos += BLOCK;
  }
  return pos;
}

__attribute__((target("avx2"))) inline std::uint64_t next_candidate_avx2(
    const std::uint8_t* data, std::uint64_t size, std::uint64_t pos, const NibbleGroup* groups,
    std::size_t count, std::uint64_t reach) {
  static_assert(FORMAT_SKIP_MAX_GROUPS == 4);
  switch (count) {
    case 1:
      return next_candidate_avx2_n<1>(data, size, pos, groups, reach);
    case 2:
      return next_candidate_avx2_n<2>(data, size, pos, groups, reach);
    case 3:
      return next_candidate_avx2_n<3>(data, size, pos, groups, reach);
    default:
      return next_candidate_avx2_n<4>(data, size, pos, groups, reach);
  }
}
#endif

}  // namespace format_skip_detail

// How a pair set groups its pairs for the vector test. By offset: a
// position is a candidate when one of the first bytes stands with one of
// the second bytes of the group. Also by first byte: the test costs one
// more group per first byte but lets through no mixed pair, worth it in
// text dense with other such pairs (in a PDF dictionary "/" begins every
// name and "P" many of them).
enum class FormatGrouping { BY_OFFSET, BY_FIRST_BYTE };

// The positions where a walk's tests can hit when each test needs two bytes
// (a start byte and one a few bytes on): far fewer than those of the start
// bytes alone, in raster data full of zeros. Near the end, where the second
// byte would lie past the data, the start byte alone is enough (the tests
// make their own room checks).
class FormatPairSet {
 public:
  constexpr FormatPairSet(std::initializer_list<FormatPair> pairs,
                          FormatGrouping grouping = FormatGrouping::BY_OFFSET)
      : FormatPairSet(std::span<const FormatPair>(pairs.begin(), pairs.size()), grouping) {}
  constexpr FormatPairSet(std::span<const FormatPair> pairs, FormatGrouping grouping)
      : by_first_(grouping == FormatGrouping::BY_FIRST_BYTE) {
    for (const FormatPair& pair : pairs) {
      if (count_ == FORMAT_SKIP_MAX_PAIRS) break;
      pairs_[count_++] = pair;
      if (pair.offset > reach_) reach_ = pair.offset;
    }
    build_groups();
  }

  // The first position at or after `pos` where a pair stands, or `size`.
  [[nodiscard]] std::uint64_t next(const std::uint8_t* data, std::uint64_t size,
                                   std::uint64_t pos) const {
    if (pos >= size) return size;
#if defined(FORMAT_SKIP_X86)
    if (count_ != 0 && grouped_ && CPU_HAS_AVX2) {
      constexpr std::uint64_t BLOCK = 32;
      for (;;) {
        pos = format_skip_detail::next_candidate_avx2(data, size, pos, groups_.data(),
                                                      group_count_, reach_);
        if (size - pos < BLOCK + reach_) break;
        if (stands_at(data, size, pos)) return pos;
        ++pos;
      }
    } else if (count_ != 0) {
      pos = CPU_HAS_AVX2
                ? format_skip_detail::next_pair_avx2(data, size, pos, pairs_.data(), count_, reach_)
                : format_skip_detail::next_pair_sse2(data, size, pos, pairs_.data(), count_, reach_);
    }
#endif
    for (; pos < size; ++pos) {
      if (stands_at(data, size, pos)) return pos;
    }
    return size;
  }

 private:
  [[nodiscard]] bool stands_at(const std::uint8_t* data, std::uint64_t size,
                               std::uint64_t pos) const {
    for (std::size_t i = 0; i < count_; ++i) {
      const FormatPair& pair = pairs_[i];
      if (data[pos] != pair.first) continue;
      if (size - pos <= pair.offset) return true;
      const std::uint8_t b = data[pos + pair.offset];
      if (b >= pair.second && b <= pair.second_last) return true;
    }
    return false;
  }

  // Whether pairs a and b fall in one group.
  [[nodiscard]] constexpr bool same_group(const FormatPair& a, const FormatPair& b) const {
    return a.offset == b.offset && (!by_first_ || a.first == b.first);
  }

  // One group per offset (and first byte), each with its first and second
  // bytes' classes; not grouped (the pairs tried one by one) when there are
  // too many groups or high nibbles.
  constexpr void build_groups() {
    grouped_ = true;
    for (std::size_t i = 0; i < count_ && grouped_; ++i) {
      bool seen = false;
      for (std::size_t j = 0; j < i; ++j) seen = seen || same_group(pairs_[j], pairs_[i]);
      if (seen) continue;
      if (group_count_ == format_skip_detail::FORMAT_SKIP_MAX_GROUPS) {
        grouped_ = false;
        break;
      }
      std::array<bool, 256> firsts{};
      std::array<bool, 256> seconds{};
      for (std::size_t j = i; j < count_; ++j) {
        const FormatPair& pair = pairs_[j];
        if (!same_group(pair, pairs_[i])) continue;
        firsts[pair.first] = true;
        for (int b = pair.second; b <= pair.second_last; ++b) seconds[static_cast<std::size_t>(b)] = true;
      }
      format_skip_detail::NibbleGroup& group = groups_[group_count_++];
      group.offset = pairs_[i].offset;
      group.first.build(firsts);
      group.second.build(seconds);
      grouped_ = group.first.usable && group.second.usable;
    }
  }

  std::array<FormatPair, FORMAT_SKIP_MAX_PAIRS> pairs_{};
  std::size_t count_ = 0;
  std::uint64_t reach_ = 0;
  std::array<format_skip_detail::NibbleGroup, format_skip_detail::FORMAT_SKIP_MAX_GROUPS> groups_{};
  std::size_t group_count_ = 0;
  bool grouped_ = false;
  bool by_first_ = false;
};
