// The literal-prefix reader must never claim a byte that a match need not
// begin with; a shorter prefix only costs speed.
#include "foundation/regex_prefix.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "foundation/regex.h"

namespace {

std::string prefix_of(const char* pattern, int options) {
  std::uint8_t out[REGEX_PREFIX_MAX];
  const std::size_t n = regex_literal_prefix(pattern, options, out);
  return std::string(reinterpret_cast<const char*>(out), n);
}

struct PrefixCase {
  const char* pattern;
  int options;
  const char* prefix;
};

TEST(RegexPrefix, ReadsOnlyCertainLiterals) {
  constexpr int A = PCRE_ANCHORED;
  const PrefixCase cases[] = {
      {"@PJL\\s+SET", A, "@PJL"},
      {"@PJL SET COPIES=(\\d+)", A, "@PJL SET"},   // at most 8 bytes
      {"%%Pages:", 0, ""},                          // unanchored: no prefix
      {"abc", A | PCRE_EXTENDED, ""},               // blanks may not count
      {"abc?d", A, "ab"},                           // a quantified atom ends it
      {"ab*", A, "a"},
      {"ab+", A, "a"},
      {"ab{2}", A, "a"},
      {"abc|xyz", A, ""},                           // top-level alternative
      {"ab(?:c|d)", A, "ab"},                       // nested alternative is fine
      {"ab[|]c|d", A, ""},                          // the class hides one '|', not the other
      {"ab[|]cd", A, "ab"},
      {"ab[]|]x", A, "ab"},                         // ']' first in a class is a member
      {"ab[[:alpha:]|]x", A, "ab"},
      {"\\x1B&l(\\d+)X", A, "\x1B&l"},
      {"\\x1BE", A, "\x1B" "E"},                    // \x takes two digits at most
      {"\\x1", A, ""},
      {"\\e%-12345X", A, "\x1B%-12345"},
      {"\\<name\\>", A, "<name>"},                  // escaped punctuation is literal
      {"\\Qa|b\\E", A, ""},                         // quoting is not followed
      {"a(?#|)b", A, ""},                           // nor comments
      {"\\d+", A, ""},
      {"\\bshowpage", A, ""},
      {"^abc", A, ""},
      {".abc", A, ""},
      {"(?i)abc", A, ""},
      {"a\\tb\\r\\n", A, "a\tb\r\n"},
      {"AbC", A | PCRE_CASELESS, "AbC"},
  };
  for (const PrefixCase& c : cases) {
    EXPECT_EQ(prefix_of(c.pattern, c.options), c.prefix) << c.pattern;
  }
  EXPECT_EQ(prefix_of(nullptr, PCRE_ANCHORED), "");
}

// Every subject that an anchored expression matches begins with its prefix.
TEST(RegexPrefix, MatchesAlwaysBeginWithThePrefix) {
  const char* patterns[] = {"ab?c", "a|b", "ab(c|d)e", "\\x61\\x62c", "a\\x62+", "ab[c|]d",
                            "abc\\b", "a\\Kbc", "ab(?=c)", "aB(?i)c"};
  const int options[] = {PCRE_ANCHORED, PCRE_ANCHORED | PCRE_CASELESS};
  std::mt19937 rng(5);
  for (const char* pattern : patterns) {
    for (int opt : options) {
      const RegexPtr re(regex_compile(pattern, opt));
      ASSERT_NE(re, nullptr) << pattern;
      const std::string prefix = prefix_of(pattern, opt);
      for (int round = 0; round < 2000; ++round) {
        std::string subject(rng() % 7, ' ');
        for (char& ch : subject) ch = "abcdeABC|"[rng() % 9];
        if (regex_match(re.get(), subject.data(), subject.size()) == 0) continue;
        ASSERT_GE(subject.size(), prefix.size()) << pattern << " on " << subject;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
          const bool same = (opt & PCRE_CASELESS) != 0 ? (subject[i] | 0x20) == (prefix[i] | 0x20)
                                                       : subject[i] == prefix[i];
          ASSERT_TRUE(same) << pattern << " on " << subject;
        }
      }
    }
  }
}

}  // namespace
