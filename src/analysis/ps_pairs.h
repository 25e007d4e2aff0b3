// The walk of the PostScript analyzer looks closer only at positions where
// one of its checks, token rows or colour tests can begin. PsLiteralFilter
// holds the literal each of them begins with: a bit per byte pair (8 KiB,
// it stays in the first-level cache) rejects most positions with one test,
// and the few left are compared with the literals that begin with their
// first byte.
//
// Text of program-heavy prologs and content streams is dense in such pairs
// ("de" of def, "co" of count, "ex" of exch, "du" of dup, ...), so where the
// processor has AVX2 the walk first passes over 32 positions at a time with
// a test of the literals' first four bytes (see next_begin), two-letter
// literals compared whole; the pairs and the leads then decide at the few
// positions it lets through.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "foundation/ascii.h"
#include "foundation/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PS_PAIRS_X86 1
#endif

namespace ps_pairs_detail {

// Bytes of each literal the vector test compares, and bytes it reads from
// the first position of a block of 32 on.
inline constexpr std::size_t LEAD_BYTES = 4;
inline constexpr std::uint64_t LEAD_REACH = 32 + LEAD_BYTES - 1;

// The first four bytes of every literal, ASCII case folded by setting bit 5
// of each byte (both cases of a letter, and nothing else that differs, meet
// in one value), in sixteen groups: a group lets a position pass when each
// of the four bytes from it has a low and a high nibble that literals of the
// group have at that place. A group is chosen by the literal's first byte,
// one per frequent first byte, so that its nibbles stay few; its bit is in
// the first or the second half of the tables (groups 0 to 7, 8 to 15).
struct LeadNibbles {
  // [byte][half][nibble]
  std::array<std::array<std::array<std::uint8_t, 16>, 2>, LEAD_BYTES> low{};
  std::array<std::array<std::array<std::uint8_t, 16>, 2>, LEAD_BYTES> high{};

  static constexpr std::uint8_t fold(std::uint8_t c) { return static_cast<std::uint8_t>(c | 0x20); }
  // Literals of one byte have a group of their own: any bytes may follow
  // them, and in a group with others they would let through every byte
  // that follows one of those others' first bytes. First bytes that share a
  // group share its high nibble where they can: a group lets through every
  // mix of its first bytes' nibbles, and mixes of letters with the blank or
  // a digit ("e " and "0 ") fill PostScript. The rare first bytes (a
  // procedure's name may begin with any) join the group of their row.
  static constexpr int group(std::uint8_t folded_first, std::size_t length) {
    constexpr std::string_view FIRSTS[] = {"%", "<", "/", "d", "c", "s", "pr{", "e",
                                           "b", "ni", "afghjo`", "ux", "!#", " >", "1("};
    if (length == 1) return 15;
    for (std::size_t g = 0; g < std::size(FIRSTS); ++g) {
      if (FIRSTS[g].find(static_cast<char>(folded_first)) != std::string_view::npos) return static_cast<int>(g);
    }
    switch (folded_first >> 4) {
      case 6: return 10;
      case 7: return 11;
      case 2: return 12;
      case 3: return 14;
      default: return 13;
    }
  }
  // Literals of two letters ("sc", "rg" of the colour tests) are compared
  // whole instead: in the group of their first letter they would let every
  // position through that begins like any longer word of the group ("set",
  // "st", "co"), as any bytes may follow them.
  static constexpr std::size_t SHORT_MAX = 4;
  std::array<std::array<std::uint8_t, 2>, SHORT_MAX> shorts{};
  std::size_t short_count = 0;

  void clear() {
    for (auto& byte : low) {
      for (auto& half : byte) half.fill(0);
    }
    for (auto& byte : high) {
      for (auto& half : byte) half.fill(0);
    }
    short_count = 0;
  }
  // A literal's first bytes; past its end any byte may follow.
  void add(std::string_view literal) {
    if (add_short(literal)) return;
    const int g = group(fold(static_cast<std::uint8_t>(literal[0])), literal.size());
    const auto half = static_cast<std::size_t>(g / 8);
    const auto bit = static_cast<std::uint8_t>(1U << (g % 8));
    for (std::size_t k = 0; k < LEAD_BYTES; ++k) {
      auto& lo = low[k][half];
      auto& hi = high[k][half];
      if (k < literal.size()) {
        // Both bytes that fold to the literal's: bit 5 of a byte is bit 1
        // of its high nibble, so the text is looked up as it stands.
        const std::uint8_t c = fold(static_cast<std::uint8_t>(literal[k]));
        lo[c & 15] = static_cast<std::uint8_t>(lo[c & 15] | bit);
        hi[c >> 4] = static_cast<std::uint8_t>(hi[c >> 4] | bit);
        hi[(c >> 4) & ~2] = static_cast<std::uint8_t>(hi[(c >> 4) & ~2] | bit);
      } else {
        for (auto& b : lo) b = static_cast<std::uint8_t>(b | bit);
        for (auto& b : hi) b = static_cast<std::uint8_t>(b | bit);
      }
    }
  }
  // Kept as a whole pair (folded) while there is room; false otherwise.
  bool add_short(std::string_view literal) {
    if (literal.size() != 2 || !ascii_is_alpha(static_cast<std::uint8_t>(literal[0]))) return false;
    const std::array<std::uint8_t, 2> pair{fold(static_cast<std::uint8_t>(literal[0])),
                                           fold(static_cast<std::uint8_t>(literal[1]))};
    for (std::size_t k = 0; k < short_count; ++k) {
      if (shorts[k] == pair) return true;
    }
    if (short_count == SHORT_MAX) return false;
    shorts[short_count++] = pair;
    return true;
  }
};

#if defined(PS_PAIRS_X86)
__attribute__((target("avx2"))) inline __m256i lead_table(const std::array<std::uint8_t, 16>& t) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.data())));
}

// The vector tables of one byte of the literals.
struct LeadTables {
  __m256i low[2];
  __m256i high[2];
};

// The lanes of the 32 positions at `at` where one of the short literals
// stands (folded as the groups fold).
__attribute__((target("avx2"))) inline std::uint32_t short_lanes(const std::uint8_t* at, const LeadNibbles& t) {
  const __m256i fold = _mm256_set1_epi8(0x20);
  const __m256i first = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), fold);
  const __m256i second = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1)), fold);
  __m256i hits = _mm256_setzero_si256();
  for (std::size_t k = 0; k < t.short_count; ++k) {
    const __m256i a = _mm256_cmpeq_epi8(first, _mm256_set1_epi8(static_cast<char>(t.shorts[k][0])));
    const __m256i b = _mm256_cmpeq_epi8(second, _mm256_set1_epi8(static_cast<char>(t.shorts[k][1])));
    hits = _mm256_or_si256(hits, _mm256_and_si256(a, b));
  }
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(hits));
}

// The groups of each half that let each of the 32 bytes at `at` pass.
__attribute__((target("avx2"))) inline void lead_groups(const std::uint8_t* at, const LeadTables& t, __m256i* first,
                                                        __m256i* second) {
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  const __m256i lo = _mm256_and_si256(v, nibble);
  const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
  *first = _mm256_and_si256(*first, _mm256_and_si256(_mm256_shuffle_epi8(t.low[0], lo), _mm256_shuffle_epi8(t.high[0], hi)));
  *second = _mm256_and_si256(*second, _mm256_and_si256(_mm256_shuffle_epi8(t.low[1], lo), _mm256_shuffle_epi8(t.high[1], hi)));
}

// The lanes of the 32 positions at `at` whose byte pair has its bit in
// `pairs` (a bit per pair, the first byte the low eight bits of its
// number).
__attribute__((target("avx2"))) inline std::uint32_t pair_lanes(const std::uint8_t* at, const std::uint64_t* pairs) {
  const auto* words = reinterpret_cast<const int*>(pairs);
  const __m256i low5 = _mm256_set1_epi32(31);
  const __m256i one = _mm256_set1_epi32(1);
  std::uint32_t lanes = 0;
  for (int j = 0; j < 4; ++j) {
    const __m256i first = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at + 8 * j)));
    const __m256i second = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at + 8 * j + 1)));
    const __m256i key = _mm256_or_si256(first, _mm256_slli_epi32(second, 8));
    const __m256i word = _mm256_i32gather_epi32(words, _mm256_srli_epi32(key, 5), 4);
    const __m256i bit = _mm256_and_si256(_mm256_srlv_epi32(word, _mm256_and_si256(key, low5)), one);
    const auto set = static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(bit, one))));
    lanes |= set << (8 * j);
  }
  return lanes;
}

// The first position in [p, end) where some group lets all four bytes
// pass and `begins` holds, or the first position of [p, end) not tested: a
// block of 32 positions is tested only while its loads stay inside the `n`
// bytes of `d`.
template <typename Begins>
__attribute__((target("avx2"))) inline std::uint64_t next_lead_avx2(const LeadNibbles& t, const std::uint64_t* pairs,
                                                                    const std::uint8_t* d, std::uint64_t p,
                                                                    std::uint64_t end, std::uint64_t n, Begins begins) {
  constexpr std::uint64_t BLOCK = 32;
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ones = _mm256_set1_epi8(-1);
  LeadTables tables[LEAD_BYTES];
  for (std::size_t k = 0; k < LEAD_BYTES; ++k) {
    for (std::size_t h = 0; h < 2; ++h) {
      tables[k].low[h] = lead_table(t.low[k][h]);
      tables[k].high[h] = lead_table(t.high[k][h]);
    }
  }
  const bool shorts = t.short_count != 0;
  while (p < end && n - p >= LEAD_REACH) {
    __m256i first = ones;
    __m256i second = ones;
    for (std::size_t k = 0; k < LEAD_BYTES; ++k) lead_groups(d + p + k, tables[k], &first, &second);
    const __m256i none = _mm256_cmpeq_epi8(_mm256_or_si256(first, second), zero);
    auto mask = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(none));
    if (shorts) mask |= short_lanes(d + p, t);
    if (std::popcount(mask) > 2) mask &= pair_lanes(d + p, pairs);
    for (; mask != 0; mask &= mask - 1) {
      const std::uint64_t hit = p + static_cast<unsigned>(__builtin_ctz(mask));
      if (hit >= end) return end;
      if (begins(hit)) return hit;
    }
    p += BLOCK;
  }
  return p < end ? p : end;
}

#endif

}  // namespace ps_pairs_detail

class PsLiteralFilter {
 public:
  void clear() {
    pairs_.fill(0);
    for (std::uint16_t key : bucket_keys_) bucket_of_[key] = 0;
    bucket_keys_.clear();
    buckets_.assign(1, {});
    any_after_.fill(false);
    nibbles_.clear();
  }
  // A check begins with `literal` (ASCII case ignored when `caseless`). A
  // literal of one byte admits any byte after it.
  void add(std::string_view literal, bool caseless) {
    if (literal.empty()) return;
    Lead lead{};
    lead.length = static_cast<std::uint8_t>(std::min<std::size_t>(literal.size(), lead.bytes.size()));
    for (std::size_t i = 0; i < lead.length; ++i) {
      const auto c = static_cast<std::uint8_t>(literal[i]);
      lead.bytes[i] = caseless ? ascii_to_lower(c) : c;
    }
    lead.caseless = caseless;
    for (std::size_t i = 0; i < lead.length; ++i) {
      lead.value |= std::uint64_t{lead.bytes[i]} << (8 * i);
      lead.mask |= std::uint64_t{0xff} << (8 * i);
      if (caseless && ascii_is_alpha(lead.bytes[i])) lead.fold |= std::uint64_t{0x20} << (8 * i);
    }
    nibbles_.add(literal);
    const auto first = static_cast<std::uint8_t>(literal[0]);
    const auto firsts = variants(first, caseless);
    for (std::size_t v = 0; v < firsts.size(); ++v) {
      const std::uint8_t a = firsts[v];
      if (v > 0 && a == firsts[0]) break;
      if (literal.size() == 1) {
        any_after_[a] = true;
        for (int b = 0; b < 256; ++b) add_pair(a, static_cast<std::uint8_t>(b));
        continue;
      }
      const auto seconds = variants(static_cast<std::uint8_t>(literal[1]), caseless);
      for (std::size_t w = 0; w < seconds.size(); ++w) {
        const std::uint8_t b = seconds[w];
        if (w > 0 && b == seconds[0]) break;
        add_pair(a, b);
        add_to_bucket(a, b, lead);
      }
    }
  }
  // Any check may begin at these `n` bytes (n >= 1).
  [[nodiscard]] bool pair(std::uint8_t a, std::uint8_t b) const {
    const unsigned key = static_cast<unsigned>(a) | static_cast<unsigned>(b) << 8;
    return ((pairs_[key >> 6] >> (key & 63)) & 1) != 0;
  }
  // The first position from `p` below `stop` whose byte pair is in the set
  // (the leads not yet compared), or `stop`. `n` is the length of `d`; the
  // last byte of `d` is always returned for a closer look.
  [[nodiscard]] std::uint64_t next_pair(const std::uint8_t* d, std::uint64_t p, std::uint64_t stop,
                                        std::uint64_t n) const {
    const std::uint64_t* bits = pairs_.data();
    const std::uint64_t end = stop < n ? stop : n - 1;
    auto hit = [&](std::uint64_t i) {
      const unsigned key = static_cast<unsigned>(d[i]) | static_cast<unsigned>(d[i + 1]) << 8;
      return ((bits[key >> 6] >> (key & 63)) & 1) != 0;
    };
    for (; p < end; ++p) {
      if (hit(p)) return p;
    }
    return p < stop ? p : stop;
  }
  // The first position from `p` below `stop` at which may_begin holds, or
  // `stop`. `n` is the length of `d`.
  [[nodiscard]] std::uint64_t next_begin(const std::uint8_t* d, std::uint64_t p, std::uint64_t stop,
                                         std::uint64_t n) const {
#if defined(PS_PAIRS_X86)
    if (CPU_HAS_AVX2) {
      p = ps_pairs_detail::next_lead_avx2(nibbles_, pairs_.data(), d, p, stop, n,
                                          [&](std::uint64_t q) { return may_begin(d + q, n - q); });
      // Where a literal begins, or the end: the pairs decide only in the
      // last bytes, where no block of 32 can be loaded.
      if (p >= stop || n - p >= ps_pairs_detail::LEAD_REACH) return p;
    }
#endif
    for (; p < stop; ++p) {
      p = next_pair(d, p, stop, n);
      if (p >= stop) return stop;
      if (may_begin(d + p, n - p)) return p;
    }
    return stop;
  }
  [[nodiscard]] bool may_begin(const std::uint8_t* p, std::uint64_t n) const {
    if (!pair(p[0], n > 1 ? p[1] : 0)) return false;
    if (any_after_[p[0]]) return true;
    if (n < 2) return false;
    const std::uint16_t bucket = bucket_of_[static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8];
    for (const Lead& lead : buckets_[bucket]) {
      if (lead.matches(p, n)) return true;
    }
    return false;
  }

 private:
  // A literal's first eight bytes, also as one word: `value` the bytes (in
  // lower case where caseless), `mask` the bytes the literal has, `fold` bit 5
  // of its letters, which a caseless compare sets in the text (both cases of
  // a letter, and nothing else, then meet the literal's byte).
  struct Lead {
    std::array<std::uint8_t, 8> bytes;
    std::uint8_t length;
    bool caseless;
    std::uint64_t value = 0;
    std::uint64_t mask = 0;
    std::uint64_t fold = 0;
    [[nodiscard]] bool matches(const std::uint8_t* p, std::uint64_t n) const {
      if (n >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, sizeof word);
        return ((word | fold) & mask) == value;
      }
      const std::uint64_t k = std::min<std::uint64_t>(length, n);
      for (std::uint64_t i = 0; i < k; ++i) {
        const std::uint8_t c = caseless ? ascii_to_lower(p[i]) : p[i];
        if (c != bytes[i]) return false;
      }
      return true;
    }
  };
  static std::array<std::uint8_t, 2> variants(std::uint8_t c, bool caseless) {
    if (!caseless || !ascii_is_alpha(c)) return {c, c};
    return {ascii_to_lower(c), ascii_to_upper(c)};
  }
  // The literals of two bytes or more are kept by their first two bytes
  // (both cases of each where caseless): text full of words that begin like
  // some literal ("set" of setgray and setrgbcolor) then compares only the
  // literals that begin with that pair.
  void add_to_bucket(std::uint8_t a, std::uint8_t b, const Lead& lead) {
    const auto key = static_cast<std::uint16_t>(a | b << 8);
    if (bucket_of_[key] == 0) {
      bucket_of_[key] = static_cast<std::uint16_t>(buckets_.size());
      bucket_keys_.push_back(key);
      buckets_.emplace_back();
    }
    buckets_[bucket_of_[key]].push_back(lead);
  }
  void add_pair(std::uint8_t a, std::uint8_t b) {
    const unsigned key = static_cast<unsigned>(a) | static_cast<unsigned>(b) << 8;
    pairs_[key >> 6] |= std::uint64_t{1} << (key & 63);
  }
  std::array<std::uint64_t, 1024> pairs_{};
  // Bucket 0 is empty: the pairs no literal of two bytes or more begins with.
  std::array<std::uint16_t, 65536> bucket_of_{};
  std::vector<std::uint16_t> bucket_keys_;
  std::vector<std::vector<Lead>> buckets_ = std::vector<std::vector<Lead>>(1);
  std::array<bool, 256> any_after_{};
  ps_pairs_detail::LeadNibbles nibbles_;
};
