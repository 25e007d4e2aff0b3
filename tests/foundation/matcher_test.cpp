// Token matcher: first-character filter, once-only rows, offset limits,
// captured values and texts, initialisation failures, reads that stay
// inside the bytes the caller says are available, and the skip-ahead that
// must never pass a position at which a row matches.
#include "foundation/matcher.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/matcher_internal.h"

namespace {

// Owns an initialised copy of a table.
class Table {
 public:
  explicit Table(std::vector<MatchToken> rows) : rows_(std::move(rows)) {}
  ~Table() { matcher_free_tokens(rows_.data(), count()); }
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  int init() { return matcher_init_tokens(rows_.data(), count()); }
  int count() const { return static_cast<int>(rows_.size()); }
  // Tests the position `at` of the subject with all bytes from there on.
  int test(const std::string& subject, std::size_t at) {
    return matcher_test_tokens(rows_.data(), count(), subject.data() + at, subject.size() - at, at);
  }
  // Runs the table at every position; returns the total number of hits.
  int scan(const std::string& subject) {
    int hits = 0;
    for (std::size_t at = 0; at < subject.size(); ++at) hits += test(subject, at);
    return hits;
  }
  MatchToken& operator[](int i) { return rows_[static_cast<std::size_t>(i)]; }

 private:
  std::vector<MatchToken> rows_;
};

MatchToken row(int first, const char* pattern, int options = PCRE_ANCHORED, int once = 0,
               std::uint64_t limit = 0) {
  MatchToken token{};
  token.first_char = first;
  token.pattern = pattern;
  token.options = options;
  token.once_only = once;
  token.offset_limit = limit;
  return token;
}

TEST(Matcher, FirstCharacterFiltersRowsWithoutCase) {
  Table table({
      row('%', "%%Page:"),
      row('S', "showpage", PCRE_ANCHORED | PCRE_CASELESS),  // stored lower-cased
      row(0, "gsave"),                                       // any first byte
      row('x', "gsave"),  // would match, but the first byte is not x
  });
  ASSERT_EQ(table.init(), 0);
  EXPECT_EQ(table[1].first_char, 's');
  const std::string subject = "%%Page: 1 1\nSHOWPAGE showpage gsave";
  EXPECT_EQ(table.scan(subject), 4);
  EXPECT_EQ(table[0].hit_count, 1);
  EXPECT_EQ(table[1].hit_count, 2);
  EXPECT_EQ(table[2].hit_count, 1);
  EXPECT_EQ(table[3].hit_count, 0);
}

TEST(Matcher, HighByteFirstCharacters) {
  Table table({row('\x8B', "\\x8B\\x01"), row(0x8C, "\\x8C")});
  ASSERT_EQ(table.init(), 0);
  EXPECT_EQ(table[0].first_char, 0x8B);
  EXPECT_EQ(table.scan(std::string("a\x8B\x01\x8C\x8B", 5)), 2);
}

TEST(Matcher, OnceOnlyRowsMatchOncePerInitialisation) {
  Table table({row('@', "@PJL", PCRE_ANCHORED, 1), row('@', "@PJL")});
  ASSERT_EQ(table.init(), 0);
  const std::string subject = "@PJL\n@PJL\n@PJL\n";
  EXPECT_EQ(table.scan(subject), 4);
  EXPECT_EQ(table[0].hit_count, 1);
  EXPECT_EQ(table[1].hit_count, 3);
  // A new initialisation clears the hit counts, so the row matches again.
  ASSERT_EQ(table.init(), 0);
  EXPECT_EQ(table[0].hit_count, 0);
  EXPECT_EQ(table.test(subject, 0), 2);
}

TEST(Matcher, OffsetLimitStopsTestingAtThatPosition) {
  Table table({row('a', "a", PCRE_ANCHORED, 0, 100)});
  ASSERT_EQ(table.init(), 0);
  const std::string subject(200, 'a');
  EXPECT_EQ(table.test(subject, 99), 1);
  EXPECT_EQ(table.test(subject, 100), 0);
  EXPECT_EQ(table.test(subject, 150), 0);
  EXPECT_EQ(table.scan(subject), 100);
}

TEST(Matcher, GroupsGiveTextsAndNumbers) {
  Table table({
      row('@', "@PJL SET (\\w+)=(\\w+)(?:\\s+(\\d+))?", PCRE_ANCHORED | PCRE_CASELESS),
      row('@', "@PJL JOB NAME=\"([^\"]*)\""),
  });
  ASSERT_EQ(table.init(), 0);
  EXPECT_EQ(table.test("@PJL SET COPIES=3 17\n", 0), 1);
  EXPECT_STREQ(table[0].texts[0], "COPIES");
  EXPECT_STREQ(table[0].texts[1], "3");
  EXPECT_STREQ(table[0].texts[2], "17");
  EXPECT_EQ(table[0].values[1], 3);
  EXPECT_EQ(table[0].values[2], 17);
  // A capture that begins with a letter replaces the text, not the number;
  // a group that did not take part keeps its last text and number.
  EXPECT_EQ(table.test("@PJL SET DUPLEX=OFF\n", 0), 1);
  EXPECT_STREQ(table[0].texts[0], "DUPLEX");
  EXPECT_STREQ(table[0].texts[1], "OFF");
  EXPECT_EQ(table[0].values[1], 3);
  EXPECT_STREQ(table[0].texts[2], "17");
  EXPECT_EQ(table[0].values[2], 17);
  // Numbers saturate; leading digits count.
  EXPECT_EQ(table.test("@pjl set COPIES=99999999999x\n", 0), 1);
  EXPECT_EQ(table[0].values[1], INT_MAX);
  EXPECT_STREQ(table[0].texts[1], "99999999999x");
  // An empty group leaves the previous text.
  EXPECT_EQ(table.test("@PJL JOB NAME=\"report\"", 0), 1);
  EXPECT_EQ(table.test("@PJL JOB NAME=\"\"", 0), 1);
  EXPECT_STREQ(table[1].texts[0], "report");
  EXPECT_EQ(table[1].hit_count, 2);
}

TEST(Matcher, ExpressionSeesOnlyTheAvailableBytes) {
  Table table({row('%', "%%BoundingBox: (\\d+)")});
  ASSERT_EQ(table.init(), 0);
  const std::string subject = "%%BoundingBox: 12345";
  EXPECT_EQ(matcher_test_tokens(&table[0], 1, subject.data(), 17, 0), 1);
  EXPECT_EQ(table[0].values[0], 12);
  EXPECT_EQ(matcher_test_tokens(&table[0], 1, subject.data(), 14, 0), 0);
  // Unanchored rows search through the available bytes.
  Table search({row(0, "showpage", 0)});
  ASSERT_EQ(search.init(), 0);
  EXPECT_EQ(search.test("gsave 1 2 showpage", 0), 1);
}

TEST(Matcher, NothingIsReadWhenNoBytesAreAvailable) {
  // The position is the first byte after a readable page: a read there faults.
  const long page = sysconf(_SC_PAGESIZE);
  void* map = mmap(nullptr, static_cast<std::size_t>(2 * page), PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  auto* bytes = static_cast<char*>(map);
  ASSERT_EQ(mprotect(bytes + page, static_cast<std::size_t>(page), PROT_NONE), 0);
  std::memset(bytes, '%', static_cast<std::size_t>(page));
  Table table({row(0, "%"), row('%', "%")});
  ASSERT_EQ(table.init(), 0);
  EXPECT_EQ(matcher_test_tokens(&table[0], 2, bytes + page, 0, static_cast<std::uint64_t>(page)),
            0);
  EXPECT_EQ(matcher_test_tokens(&table[0], 2, bytes + page - 1, 1,
                                static_cast<std::uint64_t>(page - 1)),
            2);
  munmap(map, static_cast<std::size_t>(2 * page));
}

TEST(Matcher, InitialisationFailuresStopAtTheBadRow) {
  {
    Table table({row('a', "a"), row('b', nullptr), row('c', "c")});
    EXPECT_EQ(table.init(), -1);
    EXPECT_NE(table[0].compiled, nullptr);
    EXPECT_EQ(table[2].compiled, nullptr);
  }
  {
    Table table({row('a', "a"), row('b', "b(")});
    EXPECT_EQ(table.init(), -1);
    EXPECT_EQ(table[1].compiled, nullptr);
    EXPECT_EQ(table.test("a", 0), 1);  // what did compile still works
  }
  matcher_free_tokens(nullptr, 3);
  EXPECT_EQ(matcher_test_tokens(nullptr, 3, "a", 1, 0), 0);
}

TEST(Matcher, PartOfATableCanBeTested) {
  Table table({row('a', "a"), row('a', "a"), row('a', "a")});
  ASSERT_EQ(table.init(), 0);
  // Fewer rows than were initialised: only those are tested.
  EXPECT_EQ(matcher_test_tokens(&table[0], 2, "a", 1, 0), 2);
  EXPECT_EQ(table[2].hit_count, 0);
  EXPECT_EQ(table.test("a", 0), 3);
  // One row on its own, as a caller that filters rows itself passes it.
  EXPECT_EQ(matcher_test_tokens(&table[2], 1, "a", 1, 0), 1);
  EXPECT_EQ(matcher_test_tokens(&table[1], 1, "b", 1, 0), 0);
  EXPECT_EQ(table[0].hit_count, 2);
  EXPECT_EQ(table[1].hit_count, 2);
  EXPECT_EQ(table[2].hit_count, 2);
}

// --- Skip-ahead -----------------------------------------------------------

using NextCandidate = std::uint64_t (*)(const MatchToken*, int, const std::uint8_t*, std::uint64_t,
                                        std::uint64_t);

struct SkipVariant {
  const char* name;
  NextCandidate next;
};

// The dispatched operation (vector code on this machine) and the portable one.
const SkipVariant SKIP_VARIANTS[] = {
    {"dispatched", matcher_next_candidate},
    {"portable", matcher_next_candidate_portable},
};

// Copies the bytes into a heap block of exactly their size, so that a read
// one byte past the end is an AddressSanitizer error.
std::unique_ptr<std::uint8_t[]> exact_copy(const std::string& bytes) {
  auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  return copy;
}

// Positions at which some row of the table matches with all bytes from there
// on (rows without once-only flags, so testing does not change the answer).
std::vector<std::uint64_t> matching_positions(Table& table, const std::uint8_t* data,
                                              std::uint64_t length) {
  std::vector<std::uint64_t> out;
  MatchToken* rows = &table[0];
  for (std::uint64_t at = 0; at < length; ++at) {
    if (matcher_test_tokens(rows, table.count(), data + at, length - at, at) != 0) {
      out.push_back(at);
    }
  }
  return out;
}

// Walks the candidates from `from` and checks that each lies in [from,
// length), that they rise, and that none of the matching positions at or
// after `from` is passed. Returns the number of candidates.
std::size_t check_walk(const SkipVariant& variant, Table& table, const std::uint8_t* data,
                       std::uint64_t length, std::uint64_t from,
                       const std::vector<std::uint64_t>& matches) {
  SCOPED_TRACE(testing::Message() << variant.name << " length " << length << " from " << from);
  std::size_t candidates = 0;
  auto expected = matches.begin();
  while (expected != matches.end() && *expected < from) ++expected;
  std::uint64_t at = variant.next(&table[0], table.count(), data, length, from);
  while (at < length) {
    EXPECT_GE(at, from);
    while (expected != matches.end() && *expected < at) {
      ADD_FAILURE() << "match at " << *expected << " passed over to " << at;
      ++expected;
    }
    if (expected != matches.end() && *expected == at) ++expected;
    ++candidates;
    from = at + 1;
    at = variant.next(&table[0], table.count(), data, length, from);
  }
  EXPECT_EQ(at, length);
  for (; expected != matches.end(); ++expected)
    ADD_FAILURE() << "match at " << *expected << " missed";
  return candidates;
}

std::vector<MatchToken> scanner_rows() {
  return {
      row('@', "@PJL\\s+SET\\s+(\\w+)", PCRE_ANCHORED | PCRE_CASELESS),
      row(0x1B, "\\x1B&l(\\d+)X"),
      row(0x1B, "\\x1BE"),
      row('%', "%%Pages?:"),
      row('%', "%!"),
      row('/', "/Duplex\\s+true"),
      row('S', "showpage", PCRE_ANCHORED | PCRE_CASELESS),
      row('<', "<<"),
      row(0x8B, "\\x8B"),  // a one-byte prefix: any second byte
  };
}

// First bytes with a different set of low nibbles under each of eleven high
// nibbles: more byte classes than the vector lookup holds, so some merge.
std::vector<MatchToken> spread_rows() {
  std::vector<MatchToken> rows;
  static const char* patterns[] = {"\\x01\\x10", "\\x12\\x21", "\\x23\\x32", "\\x34\\x43",
                                   "\\x45\\x54", "\\x56\\x65", "\\x67\\x76", "\\x78\\x87",
                                   "\\x89\\x98", "\\x9A\\xA9", "\\xAB\\xBA", "\\xFF"};
  const int firsts[] = {0x01, 0x12, 0x23, 0x34, 0x45, 0x56, 0x67, 0x78, 0x89, 0x9A, 0xAB, 0xFF};
  for (std::size_t i = 0; i < std::size(firsts); ++i) rows.push_back(row(firsts[i], patterns[i]));
  return rows;
}

std::string random_bytes(std::size_t length, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::string out(length, '\0');
  for (char& c : out) c = static_cast<char>(rng() & 0xFF);
  return out;
}

// Bytes drawn from an alphabet, so that first characters are dense.
std::string random_text(const std::string& alphabet, std::size_t length, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::string out(length, ' ');
  for (char& c : out) c = alphabet[rng() % alphabet.size()];
  return out;
}

TEST(MatcherSkip, NeverPassesAMatchingPosition) {
  static const char scanner_chars[] = "@PJLpjl SET\x1B&lXE%Pages:!/Duplextrue<Showpag\x8B\x00";
  const std::string scanner_alphabet(scanner_chars, sizeof(scanner_chars) - 1);
  std::string spread_alphabet;
  for (int b : {0x01, 0x10, 0x12, 0x21, 0x23, 0x32, 0x34, 0x43, 0x45, 0x54, 0x56, 0x65, 0x67, 0x76,
                0x78, 0x87, 0x89, 0x98, 0x9A, 0xA9, 0xAB, 0xBA, 0xFF, 0x11, 0x22, 0x02, 0xBB}) {
    spread_alphabet.push_back(static_cast<char>(b));
  }
  const struct {
    const char* name;
    std::vector<MatchToken> rows;
    std::string data;
  } cases[] = {
      {"random bytes", scanner_rows(), random_bytes(4096, 1)},
      {"dense first characters", scanner_rows(), random_text(scanner_alphabet, 4096, 2)},
      {"page-description text", scanner_rows(),
       "%!PS\n%%Pages: 2\n<< /Duplex true >> setpagedevice\nshowpage SHOWPAGE %%Page: 1 1\n"
       "\x1B&l2X\x1B"
       "E@PJL SET COPIES=2\n@pjl  set x\n\x8B"},
      {"merged classes, random bytes", spread_rows(), random_bytes(4096, 3)},
      {"merged classes, dense", spread_rows(), random_text(spread_alphabet, 4096, 4)},
      {"case of the first byte",
       {row('S', "S"), row('p', "p\\d", PCRE_ANCHORED | PCRE_CASELESS)},
       random_text("sSpP0123 xyz", 1024, 5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Table table(c.rows);
    ASSERT_EQ(table.init(), 0);
    const auto data = exact_copy(c.data);
    const std::uint64_t length = c.data.size();
    const auto matches = matching_positions(table, data.get(), length);
    ASSERT_FALSE(matches.empty());
    for (const SkipVariant& variant : SKIP_VARIANTS) {
      const std::size_t candidates = check_walk(variant, table, data.get(), length, 0, matches);
      // In data without dense first characters the walk skips nearly all.
      if (std::string(c.name).find("random bytes") != std::string::npos) {
        EXPECT_LT(candidates, length / 16);
      }
      for (std::uint64_t from : {std::uint64_t{1}, std::uint64_t{15}, std::uint64_t{17},
                                 length - 17, length - 16, length - 1}) {
        check_walk(variant, table, data.get(), length, from, matches);
      }
    }
  }
}

// Every length from 0 to 70 (around the 16-byte blocks), from exact-size
// buffers, with matches at the first and the last positions and at block
// edges, walked from every start.
TEST(MatcherSkip, BlockEdgesAndBufferEnds) {
  Table table({row('%', "%%"), row('E', "E"), row('<', "<<?")});
  ASSERT_EQ(table.init(), 0);
  for (std::size_t length = 0; length <= 70; ++length) {
    for (const char* pattern : {"%%", "E", "<", "%E", "x"}) {
      // Filler that holds no first character, then the pattern at the start,
      // at every 16th position and at the very end.
      std::string bytes(length, 'x');
      const std::size_t size = std::strlen(pattern);
      for (std::size_t at = 0; at + size <= length; at += 16) bytes.replace(at, size, pattern);
      if (length >= size) bytes.replace(length - size, size, pattern);
      if (length >= 17 + size) bytes.replace(17, size, pattern);
      const auto data = exact_copy(bytes);
      const auto matches = matching_positions(table, data.get(), length);
      for (const SkipVariant& variant : SKIP_VARIANTS) {
        for (std::uint64_t from = 0; from <= length; ++from) {
          check_walk(variant, table, data.get(), length, from, matches);
        }
      }
    }
  }
}

// A skipping scan gives the same hits, values and texts as testing every
// position, once-only rows and offset limits included.
TEST(MatcherSkip, SkippingScanEqualsTheFullScan) {
  const std::vector<MatchToken> rows = {
      row('@', "@PJL SET COPIES=(\\d+)", PCRE_ANCHORED | PCRE_CASELESS, 1),
      row('%', "%%Page: (\\S+) (\\d+)"),
      row('s', "showpage", PCRE_ANCHORED, 0, 200),
  };
  std::string subject;
  for (int i = 0; i < 40; ++i) {
    subject += "@PJL SET COPIES=" + std::to_string(i) + "\n%%Page: p" + std::to_string(i) + " " +
               std::to_string(i) + "\nsave showpage restore\n";
  }
  const auto data = exact_copy(subject);
  const std::uint64_t length = subject.size();
  Table every(rows);
  Table skip(rows);
  ASSERT_EQ(every.init(), 0);
  ASSERT_EQ(skip.init(), 0);
  const int all_hits = every.scan(subject);
  int skip_hits = 0;
  for (std::uint64_t at = matcher_next_candidate(&skip[0], skip.count(), data.get(), length, 0);
       at < length;
       at = matcher_next_candidate(&skip[0], skip.count(), data.get(), length, at + 1)) {
    skip_hits += matcher_test_tokens(&skip[0], skip.count(), data.get() + at, length - at, at);
  }
  EXPECT_EQ(skip_hits, all_hits);
  for (int r = 0; r < skip.count(); ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(skip[r].hit_count, every[r].hit_count);
    for (int g = 0; g < MATCH_TOKEN_GROUPS; ++g) {
      EXPECT_EQ(skip[r].values[g], every[r].values[g]);
      EXPECT_STREQ(skip[r].texts[g] ? skip[r].texts[g] : "",
                   every[r].texts[g] ? every[r].texts[g] : "");
    }
  }
  EXPECT_EQ(skip[0].values[0], 0);   // once-only: the first occurrence's value
  EXPECT_EQ(skip[1].values[1], 39);  // every hit: the last occurrence's value
}

// Rows that are no longer tested do not make candidates: a once-only row
// after its hit, a row at or past its offset limit, a row whose literal
// prefix the bytes do not begin with.
TEST(MatcherSkip, RowsNoLongerTestedMakeNoCandidates) {
  Table table({row('@', "@PJL", PCRE_ANCHORED, 1), row('%', "%%Page", PCRE_ANCHORED, 0, 40)});
  ASSERT_EQ(table.init(), 0);
  const std::string bytes = "@PJL.....@PJL....%%Page..%%Pag...........%%Page...@PJ";
  const auto data = exact_copy(bytes);
  const std::uint64_t length = bytes.size();
  for (const SkipVariant& variant : SKIP_VARIANTS) {
    SCOPED_TRACE(variant.name);
    ASSERT_EQ(table.init(), 0);
    EXPECT_EQ(variant.next(&table[0], 2, data.get(), length, 0), 0u);
    EXPECT_EQ(table.test(bytes, 0), 1);
    // "@PJL" at 9 is passed now that the once-only row has hit; "%%Pag" at
    // 25 lacks the prefix's last byte; "%%Page" at 41 lies past the limit.
    EXPECT_EQ(variant.next(&table[0], 2, data.get(), length, 1), 17u);
    EXPECT_EQ(variant.next(&table[0], 2, data.get(), length, 18), length);
  }
}

// Without the whole table's lookup every position is a candidate; past the
// end or without data there is none.
TEST(MatcherSkip, TablesWithoutTheirLookupKeepEveryPosition) {
  Table table({row('a', "a"), row('b', "b")});
  const std::string bytes = "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxa";
  const auto data = exact_copy(bytes);
  const std::uint64_t length = bytes.size();
  for (const SkipVariant& variant : SKIP_VARIANTS) {
    SCOPED_TRACE(variant.name);
    // Zero-initialised rows: never initialised.
    EXPECT_EQ(variant.next(&table[0], 2, data.get(), length, 3), 3u);
    ASSERT_EQ(table.init(), 0);
    EXPECT_EQ(variant.next(&table[0], 2, data.get(), length, 3), length - 1);
    // A part of the table: its rows are not what the lookup describes.
    EXPECT_EQ(variant.next(&table[0], 1, data.get(), length, 3), 3u);
    EXPECT_EQ(variant.next(&table[1], 1, data.get(), length, 3), 3u);
    EXPECT_EQ(variant.next(&table[0], 2, data.get(), length, length), length);
    EXPECT_EQ(variant.next(&table[0], 2, data.get(), length, length + 5), length);
    EXPECT_EQ(variant.next(&table[0], 2, nullptr, length, 0), length);
    EXPECT_EQ(variant.next(nullptr, 2, data.get(), length, 0), length);
    matcher_free_tokens(&table[0], 2);
  }
}

}  // namespace
