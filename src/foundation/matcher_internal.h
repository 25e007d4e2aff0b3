// What the matcher's test and its skip-ahead share: the per-row prefix
// filter and the construction of the skip-ahead's byte classes.
#pragma once

#include <cstdint>
#include <cstring>

#include "foundation/ascii.h"
#include "foundation/matcher.h"
#include "foundation/regex_prefix.h"

// What a position must begin with for the row to be worth running.
// The prefix is also kept as 8-byte words: a position passes when
// (its first 8 bytes | fold) & mask == value, where fold sets the case bit
// of the prefix's letters (a byte ORed with 0x20 equals a lower-case letter
// only when it is that letter in either case).
struct MatcherRowFilter {
  std::uint8_t prefix[REGEX_PREFIX_MAX];
  std::uint8_t length;
  bool caseless;
  std::uint64_t value;
  std::uint64_t mask;
  std::uint64_t fold;
};
static_assert(REGEX_PREFIX_MAX == sizeof(std::uint64_t));


// False when the available bytes cannot begin with the row's prefix. The
// first byte is not compared when fewer than eight bytes are available: the
// per-byte row lists have already admitted it.
inline bool matcher_prefix_allows(const MatcherRowFilter& filter, const std::uint8_t* bytes,
                                  std::uint64_t available) {
  if (filter.length > available) return false;
  if (available >= sizeof(std::uint64_t)) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof(word));
    return ((word | filter.fold) & filter.mask) == filter.value;
  }
  if (filter.caseless) {
    for (std::size_t i = 1; i < filter.length; ++i) {
      if (ascii_to_lower(bytes[i]) != ascii_to_lower(filter.prefix[i])) return false;
    }
    return true;
  }
  return std::memcmp(bytes + 1, filter.prefix + 1, filter.length > 0 ? filter.length - 1u : 0u) ==
         0;
}

// False when the row is no longer tested at the position: a once-only row
// that has hit, or a position at or past the row's offset limit.
inline bool matcher_row_active(const MatchToken& row, std::uint64_t position) {
  if (row.offset_limit != 0 && position >= row.offset_limit) return false;
  return row.once_only == 0 || row.hit_count == 0;
}

// Fills the byte-pair buckets of an index whose may_start_pair entries are
// already set.
void matcher_fill_classes(MatcherIndex* index);

// matcher_next_candidate without vector instructions: the same contract and
// results, for processors without SSSE3 and for tests that compare the two.
[[nodiscard]] std::uint64_t matcher_next_candidate_portable(const MatchToken* table, int count,
                                                            const std::uint8_t* data,
                                                            std::uint64_t length,
                                                            std::uint64_t from);
