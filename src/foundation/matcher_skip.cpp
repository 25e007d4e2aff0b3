// Skip-ahead for the token matcher. Scanning a spool file tests every
// position, and nearly every position is rejected by its first two bytes, so
// most of a scan's time goes on that rejection. Here sixteen positions at a
// time are tested against the byte-pair buckets (see matcher_classes.cpp) by
// looking up each byte's two nibbles with a shuffle; the few positions that
// pass are confirmed with the literal prefixes of the rows still tested
// there.
#include <bit>
#include <cstdint>
#include <cstring>

#include "foundation/matcher.h"
#include "foundation/matcher_internal.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MATCHER_SKIP_X86 1
#endif

namespace {

// True when some row would run its expression at the position: a row listed
// for its first byte is still tested there and its literal prefix agrees
// with the bytes up to the end of the data. (The pair table adds nothing
// here: a row's pairs are the first two bytes of its prefix.)
bool position_may_match(const MatcherIndex& index, const std::uint8_t* data, std::uint64_t length,
                        std::uint64_t at) {
  const std::uint8_t first = data[at];
  const std::uint32_t end = index.begin[first + 1];
  for (std::uint32_t k = index.begin[first]; k < end; ++k) {
    const std::int32_t r = index.rows[k];
    if (!matcher_row_active(index.table[r], at)) continue;
    if (matcher_prefix_allows(index.filters[r], data + at, length - at)) return true;
  }
  return false;
}

std::uint64_t next_scalar(const MatcherIndex& index, const std::uint8_t* data, std::uint64_t length,
                          std::uint64_t from) {
  for (std::uint64_t at = from; at < length; ++at) {
    if (index.may_start[data[at]] != 0 && position_may_match(index, data, length, at)) return at;
  }
  return length;
}

#ifdef MATCHER_SKIP_X86

// Positions i of the 16 bytes whose byte is in the class set (bit i set).
__attribute__((target("ssse3"))) inline __m128i class_bits(__m128i bytes, __m128i low_table,
                                                           __m128i high_table) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i low = _mm_and_si128(bytes, nibble);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble);
  return _mm_and_si128(_mm_shuffle_epi8(low_table, low), _mm_shuffle_epi8(high_table, high));
}

__attribute__((target("ssse3"))) std::uint64_t next_ssse3(const MatcherIndex& index,
                                                          const std::uint8_t* data,
                                                          std::uint64_t length,
                                                          std::uint64_t from) {
  const __m128i first_low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(index.first_low));
  const __m128i first_high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(index.first_high));
  const __m128i second_low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(index.second_low));
  const __m128i second_high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(index.second_high));
  const __m128i zero = _mm_setzero_si128();
  constexpr std::uint64_t BLOCK = 16;
  std::uint64_t at = from;
  // Each block reads the 16 positions' bytes and the byte after each, so the
  // last byte read is data[at + 16].
  while (length - at > BLOCK) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
    const __m128i shared = _mm_and_si128(class_bits(first, first_low, first_high),
                                         class_bits(second, second_low, second_high));
    const __m128i miss = _mm_cmpeq_epi8(shared, zero);
    auto passed = static_cast<std::uint32_t>(~_mm_movemask_epi8(miss)) & 0xFFFFu;
    while (passed != 0) {
      const std::uint64_t candidate = at + static_cast<std::uint64_t>(std::countr_zero(passed));
      if (position_may_match(index, data, length, candidate)) return candidate;
      passed &= passed - 1;
    }
    at += BLOCK;
  }
  return next_scalar(index, data, length, at);
}

using NextFunction = std::uint64_t (*)(const MatcherIndex&, const std::uint8_t*, std::uint64_t,
                                       std::uint64_t);

NextFunction choose_next() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3") ? next_ssse3 : next_scalar;
}

#endif

}  // namespace

namespace {

// The index to skip with: nullptr when the table was not initialised as a
// whole, so that every position stays a candidate.
const MatcherIndex* whole_table_index(const MatchToken* table, int count) {
  const MatcherIndex* index = table[0].index;
  if (index == nullptr || index->table != table || index->count != count) return nullptr;
  return index;
}

}  // namespace

std::uint64_t matcher_next_candidate(const MatchToken* table, int count, const std::uint8_t* data,
                                     std::uint64_t length, std::uint64_t from) {
  if (from >= length || data == nullptr || table == nullptr || count <= 0) return length;
  const MatcherIndex* index = whole_table_index(table, count);
  if (index == nullptr) return from;
#ifdef MATCHER_SKIP_X86
  static const NextFunction next = choose_next();
  return next(*index, data, length, from);
#else
  return next_scalar(*index, data, length, from);
#endif
}

std::uint64_t matcher_next_candidate_portable(const MatchToken* table, int count,
                                              const std::uint8_t* data, std::uint64_t length,
                                              std::uint64_t from) {
  if (from >= length || data == nullptr || table == nullptr || count <= 0) return length;
  const MatcherIndex* index = whole_table_index(table, count);
  if (index == nullptr) return from;
  return next_scalar(*index, data, length, from);
}
