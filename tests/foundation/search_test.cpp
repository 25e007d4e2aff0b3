// Byte searches checked against plain references: memmem, a naive
// overlapping count and a naive backward scan, over fixed tables and many
// seeded random haystacks.
#include "foundation/search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::int64_t ref_first(const Bytes& hay, const Bytes& needle) {
  if (needle.empty() || needle.size() > hay.size()) return -1;
  const void* at = memmem(hay.data(), hay.size(), needle.data(), needle.size());
  return at == nullptr ? -1 : static_cast<const std::uint8_t*>(at) - hay.data();
}

std::int64_t ref_count(const Bytes& hay, const Bytes& needle) {
  if (needle.empty() || needle.size() > hay.size()) return -1;
  std::int64_t n = 0;
  for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i) {
    n += std::memcmp(hay.data() + i, needle.data(), needle.size()) == 0 ? 1 : 0;
  }
  return n;
}

std::int64_t ref_last(const Bytes& hay, const Bytes& needle) {
  if (needle.empty() || needle.size() > hay.size()) return -1;
  for (std::size_t i = hay.size() - needle.size() + 1; i-- > 0;) {
    if (std::memcmp(hay.data() + i, needle.data(), needle.size()) == 0) {
      return static_cast<std::int64_t>(i);
    }
  }
  return -1;
}

std::int64_t offset_of(const std::uint8_t* found, const Bytes& hay) {
  return found == nullptr ? -1 : found - hay.data();
}

// Every search against its reference for one haystack and needle.
void expect_like_reference(const Bytes& hay, const Bytes& needle) {
  SCOPED_TRACE("hay=" + std::string(hay.begin(), hay.end()).substr(0, 80) +
               " needle=" + std::string(needle.begin(), needle.end()).substr(0, 80));
  const std::int64_t first = ref_first(hay, needle);
  EXPECT_EQ(offset_of(search_bm_(hay.data(), hay.size(), needle.data(), needle.size(), 0), hay),
            first);
  EXPECT_EQ(
      offset_of(search_bm_cache_(hay.data(), hay.size(), needle.data(), needle.size(), 0), hay),
      first);
  EXPECT_EQ(search_count(hay.data(), hay.size(), needle.data(), needle.size()),
            ref_count(hay, needle));
  EXPECT_EQ(offset_of(search_bm_reverse(hay.data(), hay.size(), needle.data(), needle.size()), hay),
            ref_last(hay, needle));
}

struct FixedCase {
  const char* hay;
  const char* needle;
  std::int64_t first;
  std::int64_t count;
  std::int64_t last;
};

TEST(Search, FixedCasesMatchExpectedOffsetsAndCounts) {
  const FixedCase cases[] = {
      {"aabab", "bab", 2, 1, 2},             // candidate fails after two matched bytes
      {"aabababab", "aabab", 0, 1, 0},
      {"xxaababyaabab", "aabab", 2, 2, 8},
      {"aaaa", "aa", 0, 3, 2},               // overlapping occurrences
      {"abababa", "aba", 0, 3, 4},
      {"needle at end: NEEDLE", "NEEDLE", 15, 1, 15},
      {"NEEDLE first", "NEEDLE", 0, 1, 0},
      {"abc", "abcd", -1, -1, -1},           // longer than the buffer
      {"abc", "", -1, -1, -1},               // empty pattern
      {"abc", "abc", 0, 1, 0},
      {"%!PS-Adobe-3.0\n%%Page: 1 1\n%%Page: 2 2\n", "%%Page:", 15, 2, 27},
      {"abcabdabcabcabd", "abcabd", 0, 2, 9},
  };
  for (const FixedCase& c : cases) {
    SCOPED_TRACE(std::string(c.hay) + " / " + c.needle);
    const Bytes hay = bytes_of(c.hay);
    const std::size_t m = std::strlen(c.needle);
    EXPECT_EQ(offset_of(search_bm_(hay.data(), hay.size(), c.needle, m, 0), hay), c.first);
    EXPECT_EQ(offset_of(search_bm_ref_(hay.data(), hay.size(), c.needle, 1), hay), c.first);
    EXPECT_EQ(search_count(hay.data(), hay.size(), c.needle, m), c.count);
    EXPECT_EQ(search_count_ref(hay.data(), hay.size(), c.needle), c.count);
    EXPECT_EQ(offset_of(search_bm_reverse(hay.data(), hay.size(), c.needle, m), hay), c.last);
  }
}

TEST(Search, MissingArgumentsFindNothing) {
  const char hay[] = "abc";
  EXPECT_EQ(search_bm_(static_cast<const char*>(nullptr), 3, "a", 1, 0), nullptr);
  EXPECT_EQ(search_bm_(hay, 3, nullptr, 1, 0), nullptr);
  EXPECT_EQ(search_bm_ref_(hay, 3, nullptr, 0), nullptr);
  EXPECT_EQ(search_count(nullptr, 3, "a", 1), -1);
  EXPECT_EQ(search_count(hay, 3, nullptr, 1), -1);
  EXPECT_EQ(search_count_ref(hay, 3, nullptr), -1);
  EXPECT_EQ(search_bm_reverse(hay, 3, nullptr, 1), nullptr);
  EXPECT_EQ(search_bm_cache_(hay, 3, "", 0, 0), nullptr);
  // A zero length never reads the buffer.
  EXPECT_EQ(search_bm_(hay, 0, "a", 1, 0), nullptr);
}

TEST(Search, OneBytePatternIsFoundAtEveryPosition) {
  for (std::size_t at = 0; at < 64; ++at) {
    Bytes hay(64, 'x');
    hay[at] = 'y';
    const std::uint8_t y = 'y';
    EXPECT_EQ(offset_of(search_bm_(hay.data(), hay.size(), &y, 1, 0), hay),
              static_cast<std::int64_t>(at));
    EXPECT_EQ(search_count(hay.data(), hay.size(), &y, 1), 1);
  }
}

TEST(Search, RandomHaystacksAgreeWithReferences) {
  std::mt19937_64 rng(20240611);
  const int alphabets[] = {2, 3, 4, 256};
  for (int alphabet : alphabets) {
    std::uniform_int_distribution<int> byte(0, alphabet - 1);
    for (int round = 0; round < 300; ++round) {
      Bytes hay(std::uniform_int_distribution<std::size_t>(0, 300)(rng));
      for (auto& b : hay) b = static_cast<std::uint8_t>(alphabet == 256 ? byte(rng) : 'a' + byte(rng));
      const std::size_t m = std::uniform_int_distribution<std::size_t>(1, 24)(rng);
      Bytes needle(m);
      if (round % 2 == 0 && hay.size() >= m) {
        // Taken from the haystack, so it occurs at least once.
        const std::size_t from = std::uniform_int_distribution<std::size_t>(0, hay.size() - m)(rng);
        needle.assign(hay.begin() + static_cast<std::ptrdiff_t>(from),
                      hay.begin() + static_cast<std::ptrdiff_t>(from + m));
      } else {
        for (auto& b : needle) b = static_cast<std::uint8_t>(alphabet == 256 ? byte(rng) : 'a' + byte(rng));
      }
      expect_like_reference(hay, needle);
    }
  }
}

// Large inputs take the pair-skip path.
TEST(Search, LargeRandomHaystacksAgreeWithReferences) {
  std::mt19937_64 rng(99);
  const int alphabets[] = {2, 4, 16, 256};
  for (int alphabet : alphabets) {
    for (int round = 0; round < 12; ++round) {
      Bytes hay(std::uniform_int_distribution<std::size_t>(4096, 40000)(rng));
      for (auto& b : hay) b = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(alphabet));
      const std::size_t m = std::uniform_int_distribution<std::size_t>(2, round < 6 ? 12 : 700)(rng);
      const std::size_t from = std::uniform_int_distribution<std::size_t>(0, hay.size() - m)(rng);
      Bytes needle(hay.begin() + static_cast<std::ptrdiff_t>(from),
                   hay.begin() + static_cast<std::ptrdiff_t>(from + m));
      expect_like_reference(hay, needle);
      needle[m / 2] = static_cast<std::uint8_t>(needle[m / 2] + 1);  // most likely absent
      expect_like_reference(hay, needle);
      // At the very end only.
      Bytes tail(hay.size(), 0);
      std::copy(needle.begin(), needle.end(), tail.end() - static_cast<std::ptrdiff_t>(m));
      expect_like_reference(tail, needle);
    }
  }
}

TEST(Search, PeriodicPatternsAgreeWithReferences) {
  const char* patterns[] = {"bab", "aabab", "abaabaab", "aaaaaaab", "baaaaaaa", "abcabcabcab"};
  const char* fills[] = {"ab", "aab", "aaab", "abc", "a"};
  for (const char* p : patterns) {
    for (const char* f : fills) {
      std::string hay;
      while (hay.size() < 200) hay += f;
      std::string big;
      while (big.size() < 5000) big += f;
      expect_like_reference(bytes_of(big + p + big), bytes_of(p));
      expect_like_reference(bytes_of(hay), bytes_of(p));
      expect_like_reference(bytes_of(hay + p), bytes_of(p));
      expect_like_reference(bytes_of(p + hay), bytes_of(p));
    }
  }
}

// Long patterns: the good-suffix table lives on the heap; near misses share
// all but the last byte or the first 500 bytes with the pattern.
TEST(Search, LongPatternsAgreeWithReferences) {
  std::mt19937_64 rng(7);
  const std::size_t lengths[] = {257, 499, 500, 501, 600, 1500, 5000};
  for (std::size_t m : lengths) {
    Bytes needle(m);
    for (auto& b : needle) b = static_cast<std::uint8_t>('a' + rng() % 3);
    // Near misses: the first 500 bytes (or all but the last byte) occur
    // before the real occurrence, and a truncated copy ends the buffer.
    Bytes hay;
    hay.insert(hay.end(), needle.begin(), needle.end() - 1);
    hay.push_back('z');
    hay.insert(hay.end(), needle.begin(), needle.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(m - 1, 500)));
    hay.push_back('z');
    const std::size_t real = hay.size();
    hay.insert(hay.end(), needle.begin(), needle.end());
    expect_like_reference(hay, needle);
    EXPECT_EQ(offset_of(search_bm_cache_(hay.data(), hay.size(), needle.data(), m, 0), hay),
              static_cast<std::int64_t>(real));
    hay.insert(hay.end(), needle.begin(), needle.end() - 1);
    expect_like_reference(hay, needle);
  }
}

TEST(Search, LongPeriodicPatternCountsEveryOverlap) {
  const Bytes hay(200000, 'a');
  const Bytes needle(1000, 'a');
  EXPECT_EQ(search_count(hay.data(), hay.size(), needle.data(), needle.size()), 199001);
  EXPECT_EQ(offset_of(search_bm_cache_(hay.data(), hay.size(), needle.data(), needle.size(), 0), hay),
            0);
  // A long run that matches all of the pattern but its last byte, everywhere.
  Bytes almost(599, 'a');
  almost.push_back('b');
  EXPECT_EQ(search_bm_cache_(hay.data(), hay.size(), almost.data(), almost.size(), 0), nullptr);
  Bytes ending(hay);
  ending.push_back('b');
  expect_like_reference(ending, almost);
}

struct ContainsCase {
  const char* hay;
  const char* text;
  std::int64_t exact;  // offset for the case-sensitive test, -1 when absent
  std::int64_t folded; // offset ignoring case
};

TEST(Search, ContainsStringWithAndWithoutCase) {
  const ContainsCase cases[] = {
      {"@PJL ENTER LANGUAGE=POSTSCRIPT", "LANGUAGE", 11, 11},
      {"@PJL enter language=postscript", "LANGUAGE", -1, 11},
      {"@pjl", "@PJL", -1, 0},
      {"abc", "", -1, -1},          // an empty text is never found
      {"ab", "abc", -1, -1},
      {"xx[Zz]", "[z", -1, 2},      // only letters fold
      {"A@", "a`", -1, -1},         // '@' and '`' differ by the case bit but are not letters
  };
  for (const ContainsCase& c : cases) {
    SCOPED_TRACE(std::string(c.hay) + " / " + c.text);
    const std::uint64_t n = std::strlen(c.hay);
    std::int64_t offset = 99;
    EXPECT_EQ(util_contains_string_offset(c.hay, n, c.text, &offset), c.exact >= 0 ? 1 : 0);
    EXPECT_EQ(offset, c.exact);
    EXPECT_EQ(util_contains_string(c.hay, n, c.text), c.exact >= 0 ? 1 : 0);
    offset = 99;
    EXPECT_EQ(util_contains_string_case_offset(c.hay, n, c.text, &offset), c.folded >= 0 ? 1 : 0);
    EXPECT_EQ(offset, c.folded);
    EXPECT_EQ(util_contains_string_case(c.hay, n, c.text), c.folded >= 0 ? 1 : 0);
  }
  std::int64_t offset = 5;
  EXPECT_EQ(util_contains_string_offset(nullptr, 3, "a", &offset), 0);
  EXPECT_EQ(offset, -1);
  EXPECT_EQ(util_contains_string_case(nullptr, 3, "a"), 0);
  EXPECT_EQ(util_contains_string_case("abc", 3, nullptr), 0);
}

}  // namespace
