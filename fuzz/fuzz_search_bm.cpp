// Differential fuzzing of the forward search, the long-pattern search and the
// occurrence count against memmem and a naive overlapping count. The first
// input byte splits the rest into needle and haystack.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/search.h"

namespace {

std::int64_t naive_count(const std::uint8_t* hay, std::size_t n, const std::uint8_t* needle,
                         std::size_t m) {
  if (m == 0 || m > n) return -1;
  std::int64_t count = 0;
  for (std::size_t i = 0; i + m <= n; ++i) count += std::memcmp(hay + i, needle, m) == 0 ? 1 : 0;
  return count;
}

void check(const std::uint8_t* hay, std::size_t n, const std::uint8_t* needle, std::size_t m) {
  const void* expected = m == 0 || m > n ? nullptr : memmem(hay, n, needle, m);
  if (search_bm_(hay, n, needle, m, 0) != expected) std::abort();
  if (search_bm_cache_(hay, n, needle, m, 0) != expected) std::abort();
  if (search_count(hay, n, needle, m) != naive_count(hay, n, needle, m)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // Exact-size heap copies so that a one-byte over-read is caught.
  const std::size_t m = std::min<std::size_t>(data[0], size - 1);
  std::vector<std::uint8_t> needle(data + 1, data + 1 + m);
  std::vector<std::uint8_t> hay(data + 1 + m, data + size);
  check(hay.data(), hay.size(), needle.data(), needle.size());
  // Long patterns (heap tables): repeat the needle past 500 bytes and plant
  // it (and a copy with its last byte changed) in a repeated haystack.
  if (m > 0 && m < 64 && hay.size() < 512) {
    std::vector<std::uint8_t> long_needle;
    while (long_needle.size() <= 500) {
      long_needle.insert(long_needle.end(), needle.begin(), needle.end());
    }
    std::vector<std::uint8_t> long_hay(hay);
    long_hay.insert(long_hay.end(), long_needle.begin(), long_needle.end() - 1);
    long_hay.push_back(static_cast<std::uint8_t>(long_needle.back() + 1));
    long_hay.insert(long_hay.end(), hay.begin(), hay.end());
    long_hay.insert(long_hay.end(), long_needle.begin(), long_needle.end());
    std::vector<std::uint8_t> exact_hay(long_hay);
    check(exact_hay.data(), exact_hay.size(), long_needle.data(), long_needle.size());
  }
  // Inputs of 4096 bytes or more take the pair-skip path: repeat the haystack
  // and end it with the needle.
  if (m > 0 && !hay.empty() && hay.size() < 512) {
    std::vector<std::uint8_t> big;
    while (big.size() < 4096) big.insert(big.end(), hay.begin(), hay.end());
    big.insert(big.end(), needle.begin(), needle.end());
    check(big.data(), big.size(), needle.data(), needle.size());
  }
  return 0;
}
