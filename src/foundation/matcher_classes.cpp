// The skip-ahead's byte classes. A position can begin a match only when its
// byte pair is in the pair table; the vector filter cannot look up 64 KiB, so
// the pairs are covered by at most eight buckets, each a rectangle of first
// bytes (a set of high nibbles times a set of low nibbles) times a rectangle
// of second bytes, and a byte's bucket bits are found by looking up its two
// nibbles. Buckets start as one per first byte and are merged where the
// merge admits the fewest pairs that are not in the table.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "foundation/matcher.h"
#include "foundation/matcher_internal.h"

namespace {

constexpr int NIBBLES = 16;
constexpr int BUCKETS = 8;
// Past this many buckets the cheapest merge is not searched for (a table
// with hundreds of different first bytes and second-byte sets), so that
// building the classes stays cheap.
constexpr int SEARCHED_BUCKETS = 48;

struct PairBucket {
  std::uint16_t first_high;
  std::uint16_t first_low;
  std::uint16_t second_high;
  std::uint16_t second_low;
};

bool same_second(const PairBucket& a, const PairBucket& b) {
  return a.second_high == b.second_high && a.second_low == b.second_low;
}

int pairs_admitted(const PairBucket& b) {
  return std::popcount(b.first_high) * std::popcount(b.first_low) * std::popcount(b.second_high) *
         std::popcount(b.second_low);
}

PairBucket merged(const PairBucket& a, const PairBucket& b) {
  return {static_cast<std::uint16_t>(a.first_high | b.first_high),
          static_cast<std::uint16_t>(a.first_low | b.first_low),
          static_cast<std::uint16_t>(a.second_high | b.second_high),
          static_cast<std::uint16_t>(a.second_low | b.second_low)};
}

struct Buckets {
  std::array<PairBucket, 256> items;
  int used = 0;

  void merge(int into, int from) {
    items[into] = merged(items[into], items[from]);
    items[from] = items[used - 1];
    --used;
  }
};

std::uint16_t nibble_bit(unsigned nibble) { return static_cast<std::uint16_t>(1u << nibble); }

// One bucket per first byte that begins some pair: the first byte times the
// rectangle of the second bytes that follow it. The pair table is read in
// order, eight entries at a time, as nearly all of it is zero.
void first_byte_buckets(const MatcherIndex& index, Buckets& buckets) {
  std::array<PairBucket, 256> by_first{};
  constexpr unsigned PAIRS = 256u * 256u;
  for (unsigned pair = 0; pair < PAIRS; pair += sizeof(std::uint64_t)) {
    std::uint64_t word;
    std::memcpy(&word, index.may_start_pair + pair, sizeof(word));
    if (word == 0) continue;
    for (unsigned k = 0; k < sizeof(word); ++k) {
      if (index.may_start_pair[pair + k] == 0) continue;
      const unsigned first = (pair + k) & 0xFFu;
      const unsigned second = (pair + k) >> 8;
      PairBucket& bucket = by_first[first];
      bucket.second_high = static_cast<std::uint16_t>(bucket.second_high | nibble_bit(second >> 4));
      bucket.second_low = static_cast<std::uint16_t>(bucket.second_low | nibble_bit(second & 15));
    }
  }
  for (unsigned first = 0; first < 256; ++first) {
    PairBucket bucket = by_first[first];
    if (bucket.second_high == 0) continue;
    bucket.first_high = nibble_bit(first >> 4);
    bucket.first_low = nibble_bit(first & 15);
    buckets.items[static_cast<std::size_t>(buckets.used++)] = bucket;
  }
}

// Merges that admit no extra pair: equal second rectangles whose first
// rectangles share their high or their low nibbles.
void merge_exact(Buckets& buckets) {
  for (int a = 0; a < buckets.used; ++a) {
    for (int b = a + 1; b < buckets.used;) {
      const PairBucket& x = buckets.items[a];
      const PairBucket& y = buckets.items[b];
      if (same_second(x, y) && (x.first_high == y.first_high || x.first_low == y.first_low)) {
        buckets.merge(a, b);
        b = a + 1;  // the merged bucket may now equal one passed over
      } else {
        ++b;
      }
    }
  }
}

void merge_cheapest(Buckets& buckets) {
  int best_a = 0;
  int best_b = 1;
  int best_cost = -1;
  for (int a = 0; a < buckets.used; ++a) {
    for (int b = a + 1; b < buckets.used; ++b) {
      const PairBucket& x = buckets.items[a];
      const PairBucket& y = buckets.items[b];
      const int cost = pairs_admitted(merged(x, y)) - pairs_admitted(x) - pairs_admitted(y);
      if (best_cost < 0 || cost < best_cost) {
        best_cost = cost;
        best_a = a;
        best_b = b;
      }
    }
  }
  buckets.merge(best_a, best_b);
}

void set_bits(std::uint8_t* table, std::uint16_t nibbles, int bucket) {
  for (int n = 0; n < NIBBLES; ++n) {
    if ((nibbles >> n) & 1u) table[n] = static_cast<std::uint8_t>(table[n] | (1u << bucket));
  }
}

}  // namespace

void matcher_fill_classes(MatcherIndex* index) {
  Buckets buckets;
  first_byte_buckets(*index, buckets);
  merge_exact(buckets);
  while (buckets.used > SEARCHED_BUCKETS) buckets.merge(buckets.used - 2, buckets.used - 1);
  while (buckets.used > BUCKETS) merge_cheapest(buckets);
  std::memset(index->first_low, 0, sizeof(index->first_low));
  std::memset(index->first_high, 0, sizeof(index->first_high));
  std::memset(index->second_low, 0, sizeof(index->second_low));
  std::memset(index->second_high, 0, sizeof(index->second_high));
  for (int k = 0; k < buckets.used; ++k) {
    const PairBucket& b = buckets.items[static_cast<std::size_t>(k)];
    set_bits(index->first_high, b.first_high, k);
    set_bits(index->first_low, b.first_low, k);
    set_bits(index->second_high, b.second_high, k);
    set_bits(index->second_low, b.second_low, k);
  }
}
