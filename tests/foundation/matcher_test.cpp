// Token matcher: first-character filter, once-only rows, offset limits,
// captured values and texts, initialisation failures, and reads that stay
// inside the bytes the caller says are available.
#include "foundation/matcher.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

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

}  // namespace
