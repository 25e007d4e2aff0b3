// Skip-ahead for the token matcher. Scanning a spool file tests every
// position, and nearly every position is rejected by its first two bytes, so
// most of a scan's time goes on that rejection. Here sixteen positions at a
// time are tested against two byte classes (the first bytes that can begin a
// match, the bytes that can follow them) by looking up each byte's two
// nibbles with a shuffle; the few positions that pass are confirmed with the
// pair table.
#include <array>
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

constexpr int NIBBLES = 16;
constexpr int CLASS_BITS = 8;

// A rectangle of byte values: the high nibbles in `high` (bit per nibble)
// times the low nibbles in `low`.
struct NibbleClass {
  std::uint16_t high;
  std::uint16_t low;
};

int class_size(const NibbleClass& c) { return std::popcount(c.high) * std::popcount(c.low); }

NibbleClass merged(const NibbleClass& a, const NibbleClass& b) {
  return {static_cast<std::uint16_t>(a.high | b.high), static_cast<std::uint16_t>(a.low | b.low)};
}

// Merges the two classes whose union adds the fewest byte values that are
// not in the set (rectangles of different high nibbles never overlap).
void merge_cheapest(std::array<NibbleClass, NIBBLES>& classes, int& used) {
  int best_a = 0;
  int best_b = 1;
  int best_cost = -1;
  for (int a = 0; a < used; ++a) {
    for (int b = a + 1; b < used; ++b) {
      const int cost = class_size(merged(classes[a], classes[b])) - class_size(classes[a]) -
                       class_size(classes[b]);
      if (best_cost < 0 || cost < best_cost) {
        best_cost = cost;
        best_a = a;
        best_b = b;
      }
    }
  }
  classes[best_a] = merged(classes[best_a], classes[best_b]);
  classes[best_b] = classes[used - 1];
  --used;
}

// Describes the set of byte values (`member[b]` non-zero) as at most eight
// nibble rectangles, one bit each: exact when the high nibbles fall into at
// most eight groups of equal low-nibble sets, a superset otherwise.
void fill_nibble_tables(const bool* member, std::uint8_t* low, std::uint8_t* high) {
  std::array<NibbleClass, NIBBLES> classes{};
  int used = 0;
  for (int h = 0; h < NIBBLES; ++h) {
    std::uint16_t lows = 0;
    for (int l = 0; l < NIBBLES; ++l) {
      if (member[h * NIBBLES + l]) lows = static_cast<std::uint16_t>(lows | (1u << l));
    }
    if (lows == 0) continue;
    int k = 0;
    while (k < used && classes[k].low != lows) ++k;
    if (k == used) classes[used++] = {0, lows};
    classes[k].high = static_cast<std::uint16_t>(classes[k].high | (1u << h));
  }
  while (used > CLASS_BITS) merge_cheapest(classes, used);
  std::memset(low, 0, NIBBLES);
  std::memset(high, 0, NIBBLES);
  for (int k = 0; k < used; ++k) {
    for (int n = 0; n < NIBBLES; ++n) {
      if ((classes[k].low >> n) & 1u) low[n] = static_cast<std::uint8_t>(low[n] | (1u << k));
      if ((classes[k].high >> n) & 1u) high[n] = static_cast<std::uint8_t>(high[n] | (1u << k));
    }
  }
}

bool pair_allows(const MatcherIndex& index, const std::uint8_t* data, std::uint64_t length,
                 std::uint64_t at) {
  if (at + 1 < length) {
    const unsigned pair = data[at] | (static_cast<unsigned>(data[at + 1]) << 8);
    return index.may_start_pair[pair] != 0;
  }
  return index.may_start[data[at]] != 0;
}

std::uint64_t next_scalar(const MatcherIndex& index, const std::uint8_t* data,
                          std::uint64_t length, std::uint64_t from) {
  for (std::uint64_t at = from; at < length; ++at) {
    if (index.may_start[data[at]] != 0 && pair_allows(index, data, length, at)) return at;
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
  const __m128i second_high =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(index.second_high));
  const __m128i zero = _mm_setzero_si128();
  constexpr std::uint64_t BLOCK = 16;
  std::uint64_t at = from;
  // Each block reads the 16 positions' bytes and the byte after each, so the
  // last byte read is data[at + 16].
  while (length - at > BLOCK) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
    const __m128i miss =
        _mm_or_si128(_mm_cmpeq_epi8(class_bits(first, first_low, first_high), zero),
                     _mm_cmpeq_epi8(class_bits(second, second_low, second_high), zero));
    auto passed = static_cast<std::uint32_t>(~_mm_movemask_epi8(miss)) & 0xFFFFu;
    while (passed != 0) {
      const std::uint64_t candidate = at + static_cast<std::uint64_t>(std::countr_zero(passed));
      if (pair_allows(index, data, length, candidate)) return candidate;
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

void matcher_fill_classes(MatcherIndex* index) {
  bool first[256] = {};
  bool second[256] = {};
  for (unsigned pair = 0; pair < 256u * 256u; ++pair) {
    if (index->may_start_pair[pair] == 0) continue;
    first[pair & 0xFFu] = true;
    second[pair >> 8] = true;
  }
  fill_nibble_tables(first, index->first_low, index->first_high);
  fill_nibble_tables(second, index->second_low, index->second_high);
}

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
