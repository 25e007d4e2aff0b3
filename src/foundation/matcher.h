// The token matcher: a caller's table of precompiled patterns tested at one
// position of a buffer. Analyzers call it at every scan position, so a row is
// tried only when the position's first bytes, its offset limit and its
// once-only flag allow; a lookup built once per initialisation lists for each
// byte value the rows that can start with it and marks the byte pairs that
// can begin a match.
#pragma once

#include <cstdint>

#include "foundation/regex.h"

struct pcre2_real_match_data_8;

inline constexpr int MATCH_TOKEN_GROUPS = 3;

// Lookup shared by the rows of an initialised table (built by
// matcher_init_tokens, freed by matcher_free_tokens; not for callers).
struct MatchToken;
struct MatcherRowFilter;
struct MatcherIndex {
  // The table and row count it was initialised with; a call with another
  // start or count (a part of the table) walks its rows without the lookup.
  const MatchToken* table;
  int count;
  // Non-zero when some row can match at a position that begins with the byte.
  std::uint8_t may_start[256];
  // Entry b0 + 256 * b1 non-zero: some row can match at a position that
  // begins with the bytes b0, b1.
  std::uint8_t may_start_pair[256 * 256];
  // Byte-pair buckets for matcher_next_candidate, looked up by the low and
  // the high nibble of a byte: a position whose bytes are b0, b1 can begin
  // a match only when first_low[b0 & 15] & first_high[b0 >> 4] &
  // second_low[b1 & 15] & second_high[b1 >> 4] is non-zero. The buckets
  // admit every pair of may_start_pair and possibly more.
  alignas(16) std::uint8_t first_low[16];
  alignas(16) std::uint8_t first_high[16];
  alignas(16) std::uint8_t second_low[16];
  alignas(16) std::uint8_t second_high[16];
  // Rows for byte b are rows[begin[b] .. begin[b + 1]), in table order.
  std::uint32_t begin[257];
  std::int32_t* rows;
  // Per row: the literal bytes every match of an anchored row begins with.
  MatcherRowFilter* filters;
  // Match data shared by the rows.
  pcre2_real_match_data_8* data;
};

// One row of a caller's table. The first five fields are the caller's; the
// rest are set by matcher_init_tokens and matcher_test_tokens.
struct MatchToken {
  // Byte value the position must begin with (compared without ASCII case);
  // 0 means any. An int so that both 'x' and 0x8B initialise it.
  int first_char;
  const char* pattern;
  // Compile options (PCRE_* bits of regex.h).
  std::int32_t options;
  // When set, the row is no longer tested after its first hit.
  std::int32_t once_only;
  // 0: none; otherwise the row is tested only at positions below it.
  std::uint64_t offset_limit;

  Regex* compiled;
  std::int32_t hit_count;
  // Decimal values of groups 1 to 3 (kept from the last capture that began
  // with a digit).
  std::int32_t values[MATCH_TOKEN_GROUPS];
  // Zero-terminated malloc'ed copies of groups 1 to 3 (last non-empty
  // capture), or nullptr.
  char* texts[MATCH_TOKEN_GROUPS];
  // Shared lookup built by matcher_init_tokens; freed by matcher_free_tokens.
  MatcherIndex* index;
};

// Compiles every row, clears hit counts, values and texts and lower-cases the
// first characters. A row without a pattern or one that does not compile is
// logged and stops at once with -1 (the caller still calls
// matcher_free_tokens); 0 when all compiled.
[[nodiscard]] int matcher_init_tokens(MatchToken* table, int count);
// The part of matcher_test_tokens past the quick test of the first bytes.
[[nodiscard]] int matcher_test_candidates(MatchToken* table, int count, const void* buffer,
                                          std::uint64_t available, std::uint64_t position);

// Tests the rows at `buffer` (the scan position) with `available` bytes and
// the position's offset `position`. `table` and `count` are the initialised
// table or any part of it (a single row, say). Returns how many rows
// matched; their hit counts, values and texts are updated. Inline because
// analyzers call it at every position and nearly every position is rejected
// by its first two bytes.
[[nodiscard]] inline int matcher_test_tokens(MatchToken* table, int count, const void* buffer,
                                             std::uint64_t available, std::uint64_t position) {
  // The length comes first: at the end of a mapping there is no byte to read.
  if (available == 0 || table == nullptr) return 0;
  const MatcherIndex* index = table[0].index;
  // Only the count is compared here: a part of the table that has as many
  // rows as the whole would run past the initialised rows.
  if (index != nullptr && index->count == count && buffer != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    // Two bytes rather than one: rows' first bytes are common in binary data
    // and in page-description text, and a branch that is rarely taken costs
    // little.
    if (available >= 2) {
      const unsigned pair = bytes[0] | (static_cast<unsigned>(bytes[1]) << 8);
      if (index->may_start_pair[pair] == 0) return 0;
    } else if (index->may_start[bytes[0]] == 0) {
      return 0;
    }
  }
  return matcher_test_candidates(table, count, buffer, available, position);
}
// Skip-ahead for scan loops: the first position p >= from below length at
// which matcher_test_tokens(table, count, data + p, n, p) could return
// non-zero for some n >= 1 bytes available, or length when there is none.
// A position is a candidate when its first two bytes (its first byte alone
// at the last position) can begin a match and some row listed for its first
// byte is still tested there (not a once-only row that has hit, not at or
// past its offset limit) and has a literal prefix that agrees with the bytes
// up to length. It never passes a position at which a row matches as long as
// the rows' hit counts do not change between this call and the test; it may
// stop at one where none does. A table that is not initialised as a whole
// (no lookup, or a part of it) gives `from` itself, so every position stays a
// candidate. Typical loop:
//   for (p = matcher_next_candidate(t, c, d, len, 0); p < len;
//        p = matcher_next_candidate(t, c, d, len, p + 1)) matcher_test_tokens(...);
[[nodiscard]] std::uint64_t matcher_next_candidate(const MatchToken* table, int count,
                                                   const std::uint8_t* data,
                                                   std::uint64_t length, std::uint64_t from);

// Frees the compiled patterns, the texts and the lookup; safe on a table that
// was never or only partly initialised (zero-initialised rows).
void matcher_free_tokens(MatchToken* table, int count);
