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
// a test of the literals' first four bytes (see next_begin); the pairs and
// the leads then decide at the few positions it lets through.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "foundation/ascii.h"

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
  // that follows one of those others' first bytes. The rare first bytes
  // share three groups.
  static constexpr int group(std::uint8_t folded_first, std::size_t length) {
    constexpr std::string_view FIRSTS[] = {"%", "<", "/", "d", "c", "s", "p", "e",
                                           "ni", "b", "af", "!#", "`(", "hu", "gox"};
    if (length == 1) return 15;
    for (std::size_t g = 0; g < std::size(FIRSTS); ++g) {
      if (FIRSTS[g].find(static_cast<char>(folded_first)) != std::string_view::npos) return static_cast<int>(g);
    }
    return 11 + folded_first % 3;
  }
  void clear() {
    for (auto& byte : low) {
      for (auto& half : byte) half.fill(0);
    }
    for (auto& byte : high) {
      for (auto& half : byte) half.fill(0);
    }
  }
  // A literal's first bytes; past its end any byte may follow.
  void add(std::string_view literal) {
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

// The first position in [p, end) where some group lets all four bytes
// pass and `begins` holds, or the first position of [p, end) not tested: a
// block of 32 positions is tested only while its loads stay inside the `n`
// bytes of `d`.
template <typename Begins>
__attribute__((target("avx2"))) inline std::uint64_t next_lead_avx2(const LeadNibbles& t, const std::uint8_t* d,
                                                                    std::uint64_t p, std::uint64_t end,
                                                                    std::uint64_t n, Begins begins) {
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
  while (p < end && n - p >= LEAD_REACH) {
    __m256i first = ones;
    __m256i second = ones;
    for (std::size_t k = 0; k < LEAD_BYTES; ++k) lead_groups(d + p + k, tables[k], &first, &second);
    const __m256i none = _mm256_cmpeq_epi8(_mm256_or_si256(first, second), zero);
    for (auto mask = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(none)); mask != 0; mask &= mask - 1) {
      const std::uint64_t hit = p + static_cast<unsigned>(__builtin_ctz(mask));
      if (hit >= end) return end;
      if (begins(hit)) return hit;
    }
    p += BLOCK;
  }
  return p < end ? p : end;
}

inline const bool HAVE_AVX2 = [] {
  __builtin_cpu_init();  // may run before the runtime's own set-up
  return __builtin_cpu_supports("avx2") != 0;
}();
#endif

}  // namespace ps_pairs_detail

class PsLiteralFilter {
 public:
  void clear() {
    pairs_.fill(0);
    for (auto& list : leads_) list.clear();
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
    nibbles_.add(literal);
    const auto first = static_cast<std::uint8_t>(literal[0]);
    const auto firsts = variants(first, caseless);
    for (std::size_t v = 0; v < firsts.size(); ++v) {
      const std::uint8_t a = firsts[v];
      if (v > 0 && a == firsts[0]) break;
      leads_[a].push_back(lead);
      if (literal.size() == 1) {
        for (int b = 0; b < 256; ++b) add_pair(a, static_cast<std::uint8_t>(b));
      } else {
        for (std::uint8_t b : variants(static_cast<std::uint8_t>(literal[1]), caseless)) add_pair(a, b);
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
    if (ps_pairs_detail::HAVE_AVX2) {
      p = ps_pairs_detail::next_lead_avx2(nibbles_, d, p, stop, n,
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
    for (const Lead& lead : leads_[p[0]]) {
      if (lead.matches(p, n)) return true;
    }
    return false;
  }

 private:
  struct Lead {
    std::array<std::uint8_t, 8> bytes;
    std::uint8_t length;
    bool caseless;
    [[nodiscard]] bool matches(const std::uint8_t* p, std::uint64_t n) const {
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
  void add_pair(std::uint8_t a, std::uint8_t b) {
    const unsigned key = static_cast<unsigned>(a) | static_cast<unsigned>(b) << 8;
    pairs_[key >> 6] |= std::uint64_t{1} << (key & 63);
  }
  std::array<std::uint64_t, 1024> pairs_{};
  std::array<std::vector<Lead>, 256> leads_;
  ps_pairs_detail::LeadNibbles nibbles_;
};
