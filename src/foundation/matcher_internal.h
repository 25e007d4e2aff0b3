// What the matcher's skip-ahead shares with the lookup's construction.
#pragma once

#include "foundation/matcher.h"

// Fills the nibble byte classes of an index whose may_start and
// may_start_pair entries are already set.
void matcher_fill_classes(MatcherIndex* index);

// matcher_next_candidate without vector instructions: the same contract and
// results, for processors without SSSE3 and for tests that compare the two.
[[nodiscard]] std::uint64_t matcher_next_candidate_portable(const MatchToken* table, int count,
                                                            const std::uint8_t* data,
                                                            std::uint64_t length,
                                                            std::uint64_t from);
