// Regular-expression wrapper: option mapping, capture records and offsets,
// the caller's offset-vector bound, integer groups, bounded matching, and the
// switch from interpreted to JIT-compiled matching.
#include "foundation/regex.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

RegexPtr compile(const char* pattern, int options = 0) {
  return RegexPtr(regex_compile(pattern, options));
}

int match(const char* pattern, int options, const std::string& subject) {
  return regex_quick_match(pattern, options, subject.data(), subject.size());
}

struct OptionCase {
  const char* pattern;
  int options;
  const char* subject;
  int expected;
};

TEST(Regex, CompileOptionsChangeWhatMatches) {
  const OptionCase cases[] = {
      {"postscript", 0, "LANGUAGE=POSTSCRIPT", 0},
      {"postscript", PCRE_CASELESS, "LANGUAGE=POSTSCRIPT", 1},
      {"LANGUAGE", PCRE_ANCHORED, "@PJL LANGUAGE", 0},
      {"@PJL", PCRE_ANCHORED, "@PJL LANGUAGE", 1},
      {"@pjl", PCRE_ANCHORED | PCRE_CASELESS, "@PJL LANGUAGE", 1},
      {"a.b", 0, "a\nb", 0},
      {"a.b", PCRE_DOTALL, "a\nb", 1},
      {"^b", 0, "a\nb", 0},
      {"^b", PCRE_MULTILINE, "a\nb", 1},
      {"a b c", 0, "abc", 0},
      {"a b c", PCRE_EXTENDED, "abc", 1},
      {"a$", 0, "a\n", 1},
      {"a$", PCRE_DOLLAR_ENDONLY, "a\n", 0},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + c.subject);
    EXPECT_EQ(match(c.pattern, c.options, c.subject), c.expected);
  }
  // Binary subjects: NUL and high bytes are ordinary characters.
  const std::string binary("\x8B\0\n\xFF\x01\x8B", 6);
  EXPECT_EQ(match("\\x8B.{4}\\x8B", PCRE_DOTALL, binary), 1);
  EXPECT_EQ(match("\\x8B.{4}\\x8B", 0, binary), 0);  // the dot stops at the line feed
}

TEST(Regex, UngreedySwapsQuantifiers) {
  RegexPtr greedy = compile("<(.*)>");
  RegexPtr lazy = compile("<(.*)>", PCRE_UNGREEDY);
  const std::string subject = "<a><b>";
  RegexMatchInfo info;
  ASSERT_EQ(regex_match_with_info(greedy.get(), subject.data(), subject.size(), &info), 1);
  EXPECT_STREQ(info.texts[1], "a><b");
  regex_free_match_info(&info);
  ASSERT_EQ(regex_match_with_info(lazy.get(), subject.data(), subject.size(), &info), 1);
  EXPECT_STREQ(info.texts[1], "a");
  regex_free_match_info(&info);
}

TEST(Regex, CompileFailuresReportTextAndOffset) {
  char error[64];
  int offset = -1;
  EXPECT_EQ(regex_compile_ex("ab(c", 0, error, sizeof(error), &offset), nullptr);
  EXPECT_GT(std::strlen(error), 0u);
  EXPECT_EQ(offset, 4);
  // A tiny buffer is filled and terminated, never overrun.
  char tiny[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(regex_compile_ex("[", 0, tiny, 3, nullptr), nullptr);
  EXPECT_EQ(tiny[2], '\0');
  EXPECT_EQ(tiny[3], 'x');
  // An option bit that has no meaning here is refused, not ignored.
  EXPECT_EQ(regex_compile_ex("a", 0x40000000, error, sizeof(error), nullptr), nullptr);
  EXPECT_EQ(regex_compile(nullptr, 0), nullptr);
  regex_free(nullptr);
}

TEST(Regex, MissingRegexOrSubjectMatchesNothing) {
  EXPECT_EQ(regex_match(nullptr, "a", 1), 0);
  RegexPtr re = compile("a*");
  EXPECT_EQ(regex_match(re.get(), nullptr, 0), 1);  // the empty subject
  EXPECT_EQ(regex_match(re.get(), nullptr, 5), 0);
  int rc = 7;
  std::int64_t ovector[3];
  EXPECT_EQ(regex_exec(nullptr, "a", 1, ovector, 3, &rc), 0);
}

TEST(Regex, ExecWritesOnlyTheCallersVector) {
  RegexPtr re = compile("(\\d+)-(\\d+)-(\\d+)");
  const std::string subject = "id 12-345-6789";
  std::int64_t vector[16];
  // A vector of 3 entries holds one pair: the match still counts, with rc 0.
  for (auto& v : vector) v = 0x5A5A;
  int rc = 99;
  EXPECT_EQ(regex_exec(re.get(), subject.data(), subject.size(), vector, 3, &rc), 1);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(vector[0], 3);
  EXPECT_EQ(vector[1], 14);
  for (int i = 2; i < 16; ++i) EXPECT_EQ(vector[i], 0x5A5A) << i;
  // Room for all four pairs: every offset, and rc counts the pairs.
  for (auto& v : vector) v = 0x5A5A;
  EXPECT_EQ(regex_exec(re.get(), subject.data(), subject.size(), vector, 12, &rc), 1);
  EXPECT_EQ(rc, 4);
  const std::int64_t expected[] = {3, 14, 3, 5, 6, 9, 10, 14};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(vector[i], expected[i]) << i;
  for (int i = 8; i < 16; ++i) EXPECT_EQ(vector[i], 0x5A5A) << i;
  // No match: rc -1 and result 0; a null vector is allowed.
  EXPECT_EQ(regex_exec(re.get(), "none", 4, nullptr, 0, &rc), 0);
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(regex_exec(re.get(), subject.data(), subject.size(), nullptr, 30, &rc), 1);
  EXPECT_EQ(regex_quick_exec("(b)", 0, "abc", 3, vector, 6, &rc), 1);
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(vector[2], 1);
  EXPECT_EQ(vector[3], 2);
}

struct InfoCase {
  const char* pattern;
  const char* subject;
  int result;
  int highest;
  const char* texts[5];  // nullptr: nothing captured
  std::int64_t starts[5];
  std::int64_t ends[5];
};

TEST(Regex, MatchInfoRecordsWholeMatchAndFourGroups) {
  const InfoCase cases[] = {
      {"COPIES=(\\d+)", "@PJL SET COPIES=3\n", 1, 1, {"COPIES=3", "3"}, {9, 16}, {17, 17}},
      // Group 2 did not take part; group 3 did.
      {"(a)(x)?(b)", "zab", 1, 3, {"ab", "a", nullptr, "b"}, {1, 1, 0, 2}, {3, 2, 0, 3}},
      // Groups beyond 4 are not recorded.
      {"(a)(b)(c)(d)(e)", "abcde", 1, 4, {"abcde", "a", "b", "c", "d"}, {0, 0, 1, 2, 3},
       {5, 1, 2, 3, 4}},
      // An empty whole match counts as no match.
      {"x*", "abc", 0, 0, {}, {}, {}},
      {"(q)", "abc", 0, 0, {}, {}, {}},
      // An empty group inside a non-empty match is still recorded.
      {"a()b", "ab", 1, 1, {"ab", ""}, {0, 1}, {2, 1}},
  };
  for (const InfoCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + c.subject);
    RegexPtr re = compile(c.pattern);
    ASSERT_NE(re, nullptr);
    RegexMatchInfo info;
    regex_init_match_info(&info);
    info.starts[0] = 77;  // stale values are cleared
    EXPECT_EQ(regex_match_with_info(re.get(), c.subject, std::strlen(c.subject), &info), c.result);
    EXPECT_EQ(info.highest_group, c.highest);
    for (int g = 0; g < REGEX_MATCH_INFO_GROUPS; ++g) {
      if (c.texts[g] == nullptr) {
        EXPECT_EQ(info.texts[g], nullptr) << g;
      } else {
        EXPECT_STREQ(info.texts[g], c.texts[g]) << g;
      }
      EXPECT_EQ(info.starts[g], c.starts[g]) << g;
      EXPECT_EQ(info.ends[g], c.ends[g]) << g;
    }
    regex_free_match_info(&info);
    EXPECT_EQ(info.texts[0], nullptr);
  }
  regex_free_match_info(nullptr);
}

struct IntCase {
  const char* pattern;
  const char* subject;
  int result;
  int value;  // expected when result is 1
};

TEST(Regex, IntegerGroupsAreDecimalAndSaturated) {
  const IntCase cases[] = {
      {"COPIES=(\\d+)", "@PJL SET COPIES=12\n", 1, 12},
      {"=(-?\\d+)", "x=-40", 1, -40},
      {"=(\\d+)", "x=99999999999999999999", 1, INT_MAX},
      {"=(-\\d+)", "x=-99999999999999999999", 1, INT_MIN},
      {"=(\\w+)", "x=12abc", 1, 12},
      {"=(\\w*)", "x=", 0, 0},    // empty group 1
      {"=\\d+", "x=5", 0, 0},     // no group 1
      {"=(\\d+)", "x=", 0, 0},    // no match
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + c.subject);
    int value = -12345;
    EXPECT_EQ(regex_quick_match_with_int_group(c.pattern, 0, c.subject, std::strlen(c.subject),
                                               &value),
              c.result);
    EXPECT_EQ(value, c.result == 1 ? c.value : -12345);
  }
}

TEST(Regex, RunawayPatternsStopAtTheMatchLimit) {
  // Nested quantifiers on a subject that almost matches: exponential without
  // a limit, so the limit must end it as an error (no match).
  const std::string subject = std::string(40, 'a') + "!";
  RegexPtr re = compile("^(a+)+$");
  int rc = 0;
  std::int64_t vector[30];
  EXPECT_EQ(regex_exec(re.get(), subject.data(), subject.size(), vector, 30, &rc), 0);
  EXPECT_LT(rc, -1);
  EXPECT_EQ(regex_match(re.get(), subject.data(), subject.size()), 0);
}

TEST(Regex, CompiledExpressionIsReusable) {
  RegexPtr re = compile("%%Pages:\\s*(\\d+)");
  const char* subjects[] = {"%%Pages: 3", "%%Pages:  17", "%%Pages: (atend)"};
  const int expected[] = {3, 17, -1};
  for (int i = 0; i < 3; ++i) {
    int value = -1;
    const int found = regex_match_with_int_group(re.get(), subjects[i], std::strlen(subjects[i]),
                                                 &value);
    EXPECT_EQ(found, expected[i] >= 0 ? 1 : 0);
    EXPECT_EQ(value, expected[i]);
  }
  EXPECT_EQ(std::strcmp(re->pattern, "%%Pages:\\s*(\\d+)"), 0);
}

// An expression is interpreted for its first matches and JIT-compiled after
// (at once for a long subject): every match, whichever program ran it, finds
// the same text and groups, also when several threads cross the switch at
// once.
TEST(Regex, MatchesAreTheSameBeforeAndAfterTheJitCompilation) {
  RegexPtr re = compile("\\x1b&l(\\d+)([A-Za-z])", PCRE_CASELESS);
  // The last subject is long enough to have the program compiled at once.
  const std::string subjects[] = {"\x1b&l26A", "xx\x1b&L2a", "\x1b&lA", std::string(300, 'q'),
                                  std::string(REGEX_JIT_SUBJECT_BYTES, 'x') + "\x1b&l7b"};
  const int rounds = 4 * static_cast<int>(REGEX_JIT_AFTER_MATCHES);
  auto run = [&](std::vector<std::string>* seen) {
    for (int round = 0; round < rounds; ++round) {
      for (const std::string& subject : subjects) {
        std::int64_t vector[9] = {};
        const int found = regex_exec(re.get(), subject.data(), subject.size(), vector, 9, nullptr);
        seen->push_back(!found ? "-" : subject.substr(vector[2], vector[3] - vector[2]) + "/" +
                                           subject.substr(vector[4], vector[5] - vector[4]));
      }
    }
  };
  std::vector<std::vector<std::string>> seen(4);
  std::vector<std::thread> threads;
  for (auto& results : seen) threads.emplace_back(run, &results);
  for (std::thread& thread : threads) thread.join();
  for (const auto& results : seen) {
    ASSERT_EQ(results.size(), static_cast<std::size_t>(rounds) * 5);
    for (std::size_t i = 0; i < results.size(); i += 5) {
      EXPECT_EQ(results[i], "26/A");
      EXPECT_EQ(results[i + 1], "2/a");
      EXPECT_EQ(results[i + 2], "-");
      EXPECT_EQ(results[i + 3], "-");
      EXPECT_EQ(results[i + 4], "7/b");
    }
  }
}

}  // namespace
