// Byte-range searches. The forward search is Boyer-Moore (bad-character and
// strong good-suffix rules) driven by a skip loop keyed on the window's last
// two or three bytes (or its last byte for short inputs); the tables are
// built per call, on the stack for short patterns and on the heap for long
// ones.
#include "foundation/search.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "foundation/ascii.h"
#include "foundation/log.h"

namespace {

// Patterns up to this length keep their good-suffix table on the stack.
constexpr std::uint64_t BM_STACK_PATTERN = 256;
// Inputs from this length on are worth the gram-skip table: a skip keyed on
// one byte is short in text, where most bytes occur in the pattern; runs of
// two or three bytes rarely do.
constexpr std::uint64_t GRAM_SKIP_MIN_INPUT = 4096;
constexpr std::size_t GRAM_TABLE_SIZE = 4096;
// Gram positions are stored in 16 bits; longer patterns skip by one byte.
constexpr std::uint64_t GRAM_PATTERN_MAX = 65535;
// Patterns from this length on are keyed on three bytes, shorter on two.
constexpr std::uint64_t TRIPLE_MIN_PATTERN = 8;
// Long skips jump over cache lines in a pattern the hardware prefetcher does
// not follow; ask for the memory this far ahead.
constexpr std::uintptr_t PREFETCH_AHEAD = 1024;

// A hint only: no pointer is formed, and prefetching an address outside the
// buffer does not fault.
inline void prefetch_ahead(const std::uint8_t* base, std::uint64_t pos) {
  __builtin_prefetch(
      reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(base) + pos + PREFETCH_AHEAD));
}

// Hash of the `q` bytes at p (q is 2 or 3): the top 12 bits of a
// multiplicative hash, so that grams of text spread over the table.
inline std::size_t gram_hash(const std::uint8_t* p, std::uint64_t q) {
  std::uint32_t x = p[0] | (static_cast<std::uint32_t>(p[1]) << 8);
  if (q == 3) x |= static_cast<std::uint32_t>(p[2]) << 16;
  static_assert(GRAM_TABLE_SIZE == 4096);
  return (x * 0x9E3779B1u) >> 20;
}

// The per-call tables of one pattern.
class BmTables {
 public:
  // `input_length`: the length of the input to be searched, which decides
  // whether the gram-skip table pays.
  BmTables(const std::uint8_t* pattern, std::uint64_t length, std::uint64_t input_length);
  ~BmTables();
  BmTables(const BmTables&) = delete;
  BmTables& operator=(const BmTables&) = delete;

  // False when the heap table for a long pattern could not be allocated.
  [[nodiscard]] bool ok() const { return good_suffix_ != nullptr; }
  // First occurrence at or after `from`, or -1 (UINT64_MAX).
  [[nodiscard]] std::uint64_t find(const std::uint8_t* hay, std::uint64_t n,
                                   std::uint64_t from) const;
  // Number of occurrences, overlapping ones included.
  [[nodiscard]] std::int64_t count(const std::uint8_t* hay, std::uint64_t n) const;

 private:
  void build_skip();
  void build_gram_skip();
  [[nodiscard]] std::uint64_t find_by_byte(const std::uint8_t* hay, std::uint64_t n,
                                           std::uint64_t from) const;
  template <std::uint64_t Q>
  [[nodiscard]] std::uint64_t find_by_gram(const std::uint8_t* hay, std::uint64_t n,
                                           std::uint64_t from) const;
  void build_good_suffix(std::uint64_t* suffix);
  // Shift after a mismatch at pattern index i against text byte c.
  [[nodiscard]] std::uint64_t mismatch_shift(std::uint64_t i, std::uint8_t c) const {
    // Bad-character rule: i - last(c); last(c) = m - 1 - skip(c).
    const std::uint64_t bad = skip_[c] + i >= m_ - 1 ? skip_[c] + i - (m_ - 1) : 0;
    return std::max<std::uint64_t>(good_suffix_[i], std::max<std::uint64_t>(bad, 1));
  }

  const std::uint8_t* p_;
  std::uint64_t m_;
  // Distance from each byte's last occurrence in p[0..m-2] to the end (m when
  // absent); skip0_ is the same with 0 for the pattern's last byte, which
  // stops the skip loop at candidate windows.
  std::array<std::uint64_t, 256> skip_{};
  std::array<std::uint64_t, 256> skip0_{};
  // Keyed on the hash of q bytes (a gram): the largest index i (q - 1 ..
  // m - 2) at which a gram of the pattern with that hash ends, 0 when none;
  // m - 1 for the hash of the pattern's last gram. gram_shift_ is the shift
  // after a failed candidate: m - 1 minus the largest such i below m - 1
  // sharing the last gram's hash (q - 2 when none). Only built when gram_q_
  // is not 0.
  std::uint64_t gram_q_ = 0;
  std::uint64_t gram_shift_ = 1;
  std::array<std::uint16_t, GRAM_TABLE_SIZE> gram_end_;
  std::uint64_t* good_suffix_ = nullptr;
  std::uint64_t* heap_ = nullptr;
  std::array<std::uint64_t, 2 * BM_STACK_PATTERN> stack_{};
};

BmTables::BmTables(const std::uint8_t* pattern, std::uint64_t length, std::uint64_t input_length)
    : p_(pattern), m_(length) {
  build_skip();
  if (m_ >= 3 && m_ - 1 <= GRAM_PATTERN_MAX && input_length >= GRAM_SKIP_MIN_INPUT) {
    gram_q_ = m_ >= TRIPLE_MIN_PATTERN ? 3 : 2;
    build_gram_skip();
  }
  std::uint64_t* space = stack_.data();
  if (m_ > BM_STACK_PATTERN) {
    // Two tables of m entries; m is bounded by the buffer length, so the
    // product cannot overflow on a 64-bit system for any real buffer.
    if (m_ > SIZE_MAX / (2 * sizeof(std::uint64_t))) return;
    heap_ = static_cast<std::uint64_t*>(std::malloc(2 * m_ * sizeof(std::uint64_t)));
    if (heap_ == nullptr) return;
    space = heap_;
  }
  good_suffix_ = space;
  build_good_suffix(space + m_);
}

BmTables::~BmTables() { std::free(heap_); }

void BmTables::build_skip() {
  skip_.fill(m_);
  for (std::uint64_t i = 0; i + 1 < m_; ++i) skip_[p_[i]] = m_ - 1 - i;
  skip0_ = skip_;
  skip0_[p_[m_ - 1]] = 0;
}

void BmTables::build_gram_skip() {
  const std::uint64_t q = gram_q_;
  gram_end_.fill(0);
  const std::uint64_t last = m_ - 1;
  for (std::uint64_t i = q - 1; i < last; ++i) {
    gram_end_[gram_hash(p_ + i + 1 - q, q)] = static_cast<std::uint16_t>(i);
  }
  const std::size_t last_hash = gram_hash(p_ + m_ - q, q);
  const std::uint64_t before = gram_end_[last_hash];
  gram_shift_ = last - (before != 0 ? before : q - 2);
  gram_end_[last_hash] = static_cast<std::uint16_t>(last);
}

// suffix[i]: length of the longest common suffix of p[0..i] and p.
// good_suffix_[i]: shift after a mismatch at index i (m - 1 - i bytes
// matched); good_suffix_[0] is the pattern's smallest period.
void BmTables::build_good_suffix(std::uint64_t* suffix) {
  const std::int64_t m = static_cast<std::int64_t>(m_);
  suffix[m - 1] = m_;
  std::int64_t g = m - 1;
  std::int64_t f = m - 1;
  for (std::int64_t i = m - 2; i >= 0; --i) {
    if (i > g && static_cast<std::int64_t>(suffix[i + m - 1 - f]) < i - g) {
      suffix[i] = suffix[i + m - 1 - f];
    } else {
      g = std::min(g, i);
      f = i;
      while (g >= 0 && p_[g] == p_[g + m - 1 - f]) --g;
      suffix[i] = static_cast<std::uint64_t>(f - g);
    }
  }
  for (std::int64_t i = 0; i < m; ++i) good_suffix_[i] = m_;
  std::int64_t j = 0;
  for (std::int64_t i = m - 1; i >= 0; --i) {
    if (static_cast<std::int64_t>(suffix[i]) != i + 1) continue;
    for (; j < m - 1 - i; ++j) {
      if (good_suffix_[j] == m_) good_suffix_[j] = static_cast<std::uint64_t>(m - 1 - i);
    }
  }
  for (std::int64_t i = 0; i + 1 < m; ++i) {
    good_suffix_[m - 1 - static_cast<std::int64_t>(suffix[i])] = static_cast<std::uint64_t>(m - 1 - i);
  }
}

std::uint64_t BmTables::find(const std::uint8_t* hay, std::uint64_t n, std::uint64_t from) const {
  if (m_ > n || from > n - m_) return UINT64_MAX;
  if (gram_q_ == 3) return find_by_gram<3>(hay, n, from);
  if (gram_q_ == 2) return find_by_gram<2>(hay, n, from);
  return find_by_byte(hay, n, from);
}

// The window's last gram (ending at its last byte, index m - 1) is looked
// up: a gram that ends nowhere in the pattern rules out every start that
// would hold it whole, so the window moves m - q + 1 on; a gram ending at
// index i lines up with the window moved m - 1 - i on; only a gram with the
// hash of the pattern's last gram makes a candidate. The skip step is
// constant, so the loads of consecutive windows overlap.
template <std::uint64_t Q>
std::uint64_t BmTables::find_by_gram(const std::uint8_t* hay, std::uint64_t n,
                                     std::uint64_t from) const {
  const std::uint64_t last_start = n - m_;
  const std::uint64_t last = m_ - 1;
  const std::uint64_t step = m_ - Q + 1;
  const std::uint8_t* gram = hay + (m_ - Q);  // gram + pos: the window's last gram
  std::uint64_t pos = from;
  while (pos <= last_start) {
    prefetch_ahead(gram, pos);
    std::uint64_t at = gram_end_[gram_hash(gram + pos, Q)];
    while (at == 0) {
      pos += step;
      if (pos > last_start) return UINT64_MAX;
      prefetch_ahead(gram, pos);
      at = gram_end_[gram_hash(gram + pos, Q)];
    }
    if (at != last) {
      pos += last - at;
      continue;
    }
    std::uint64_t i = m_;
    while (i > 0 && p_[i - 1] == hay[pos + i - 1]) --i;
    if (i == 0) return pos;
    --i;
    pos += std::max(gram_shift_, mismatch_shift(i, hay[pos + i]));
  }
  return UINT64_MAX;
}

std::uint64_t BmTables::find_by_byte(const std::uint8_t* hay, std::uint64_t n,
                                     std::uint64_t from) const {
  const std::uint64_t last_start = n - m_;
  const std::uint8_t* tail = hay + (m_ - 1);
  std::uint64_t pos = from;
  while (pos <= last_start) {
    // Skip loop: windows whose last byte is not the pattern's last byte.
    std::uint64_t k;
    while ((k = skip0_[tail[pos]]) != 0) {
      pos += k;
      if (pos > last_start) return UINT64_MAX;
    }
    std::uint64_t i = m_ - 1;
    while (i > 0 && p_[i - 1] == hay[pos + i - 1]) --i;
    if (i == 0) return pos;
    --i;
    pos += mismatch_shift(i, hay[pos + i]);
  }
  return UINT64_MAX;
}

std::int64_t BmTables::count(const std::uint8_t* hay, std::uint64_t n) const {
  if (m_ > n) return -1;
  const std::uint64_t last_start = n - m_;
  const std::uint64_t period = good_suffix_[0];
  std::int64_t found = 0;
  std::uint64_t pos = 0;
  // Bytes at the window's start known to match after shifting by the period
  // (keeps counting linear on periodic data such as "aaaa").
  std::uint64_t known = 0;
  while (pos <= last_start) {
    std::uint64_t i = m_;
    while (i > known && p_[i - 1] == hay[pos + i - 1]) --i;
    if (i <= known) {
      ++found;
      pos += period;
      known = m_ - period;
      continue;
    }
    --i;
    known = 0;
    pos += mismatch_shift(i, hay[pos + i]);
  }
  return found;
}

bool search_args_ok(const void* buffer, std::uint64_t length, const void* pattern,
                    std::uint64_t pattern_length) {
  return buffer != nullptr && pattern != nullptr && pattern_length > 0 &&
         pattern_length <= length;
}

// Forward search when the tables cannot be built: plain candidate scan.
const std::uint8_t* plain_find(const std::uint8_t* hay, std::uint64_t n, const std::uint8_t* pat,
                               std::uint64_t m) {
  return static_cast<const std::uint8_t*>(memmem(hay, n, pat, m));
}

const std::uint8_t* bm_find(const std::uint8_t* hay, std::uint64_t n, const std::uint8_t* pat,
                            std::uint64_t m) {
  if (m == 1) return static_cast<const std::uint8_t*>(std::memchr(hay, pat[0], n));
  BmTables tables(pat, m, n);
  if (!tables.ok()) return plain_find(hay, n, pat, m);
  const std::uint64_t at = tables.find(hay, n, 0);
  return at == UINT64_MAX ? nullptr : hay + at;
}

constexpr std::array<std::uint8_t, 256> make_fold_table() {
  std::array<std::uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = ascii_to_lower(static_cast<std::uint8_t>(c));
  }
  return table;
}
constexpr std::array<std::uint8_t, 256> FOLD = make_fold_table();

void trace_search(const void* buffer, std::uint64_t length, const void* pattern,
                  std::uint64_t pattern_length) {
  LOG_DEBUG("search_bm: haystack=%p,hlen=%llu,needle=%p,nlen=%llu", buffer,
            static_cast<unsigned long long>(length), pattern,
            static_cast<unsigned long long>(pattern_length));
}

}  // namespace

const std::uint8_t* search_bm_(const std::uint8_t* buffer, std::uint64_t length,
                               const void* pattern, std::uint64_t pattern_length, int trace) {
  if (trace) trace_search(buffer, length, pattern, pattern_length);
  if (!search_args_ok(buffer, length, pattern, pattern_length)) return nullptr;
  return bm_find(buffer, length, static_cast<const std::uint8_t*>(pattern), pattern_length);
}

const std::uint8_t* search_bm_ref_(const std::uint8_t* buffer, std::uint64_t length,
                                   const char* text, int trace) {
  if (text == nullptr) {
    LOG_ERROR("search_bm_ref should not be called with reference==NULL");
    return nullptr;
  }
  return search_bm_(buffer, length, text, std::strlen(text), trace);
}

const std::uint8_t* search_bm_cache_(const std::uint8_t* buffer, std::uint64_t length,
                                     const void* pattern, std::uint64_t pattern_length,
                                     int trace) {
  // Long patterns are searched whole (their tables go on the heap): finding
  // a prefix and confirming the rest, then going on one byte after a failed
  // candidate, takes time proportional to the buffer times the prefix on
  // data such as a long run of one byte.
  return search_bm_(buffer, length, pattern, pattern_length, trace);
}

const std::uint8_t* search_bm_reverse(const std::uint8_t* buffer, std::uint64_t length,
                                      const void* pattern, std::uint64_t pattern_length) {
  if (!search_args_ok(buffer, length, pattern, pattern_length)) return nullptr;
  const auto* pat = static_cast<const std::uint8_t*>(pattern);
  // Candidate starts are 0 .. length - m; jump between bytes equal to the
  // pattern's first byte from the end.
  std::uint64_t span = length - pattern_length + 1;
  while (span > 0) {
    const void* hit = memrchr(buffer, pat[0], span);
    if (hit == nullptr) return nullptr;
    const auto* at = static_cast<const std::uint8_t*>(hit);
    if (std::memcmp(at + 1, pat + 1, pattern_length - 1) == 0) return at;
    span = static_cast<std::uint64_t>(at - buffer);
  }
  return nullptr;
}

std::int64_t search_count(const void* buffer, std::uint64_t length, const void* pattern,
                          std::uint64_t pattern_length) {
  if (!search_args_ok(buffer, length, pattern, pattern_length)) return -1;
  BmTables tables(static_cast<const std::uint8_t*>(pattern), pattern_length, 0);
  if (!tables.ok()) return -1;
  return tables.count(static_cast<const std::uint8_t*>(buffer), length);
}

std::int64_t search_count_ref(const void* buffer, std::uint64_t length, const char* text) {
  if (text == nullptr) {
    LOG_ERROR("search_bm_ref should not be called with reference==NULL");
    return -1;
  }
  return search_count(buffer, length, text, std::strlen(text));
}

int util_contains_string_offset(const void* buffer, std::uint64_t length, const char* text,
                                std::int64_t* offset) {
  if (offset != nullptr) *offset = -1;
  if (text == nullptr || buffer == nullptr) return 0;
  const auto* hay = static_cast<const std::uint8_t*>(buffer);
  const std::uint8_t* at = search_bm_(hay, length, text, std::strlen(text), 0);
  if (at == nullptr) return 0;
  if (offset != nullptr) *offset = at - hay;
  return 1;
}

int util_contains_string(const void* buffer, std::uint64_t length, const char* text) {
  return util_contains_string_offset(buffer, length, text, nullptr);
}

int util_contains_string_case_offset(const void* buffer, std::uint64_t length, const char* text,
                                     std::int64_t* offset) {
  if (offset != nullptr) *offset = -1;
  if (text == nullptr || buffer == nullptr) return 0;
  const std::uint64_t m = std::strlen(text);
  if (m == 0 || m > length) return 0;
  const auto* hay = static_cast<const std::uint8_t*>(buffer);
  const auto* pat = reinterpret_cast<const std::uint8_t*>(text);
  const std::uint8_t first = FOLD[pat[0]];
  for (std::uint64_t pos = 0; pos <= length - m; ++pos) {
    if (FOLD[hay[pos]] != first) continue;
    std::uint64_t i = 1;
    while (i < m && FOLD[hay[pos + i]] == FOLD[pat[i]]) ++i;
    if (i == m) {
      if (offset != nullptr) *offset = static_cast<std::int64_t>(pos);
      return 1;
    }
  }
  return 0;
}

int util_contains_string_case(const void* buffer, std::uint64_t length, const char* text) {
  return util_contains_string_case_offset(buffer, length, text, nullptr);
}
