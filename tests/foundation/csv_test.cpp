#include "foundation/csv.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ListCase {
  const char* list;
  const char* value;
  int expected;
};

TEST(CsvContainsValue, WholeItemsIgnoringCase) {
  const ListCase cases[] = {
      {"alpha,beta,gamma", "beta", 1},
      {"alpha, Beta ,gamma", "BETA", 1},      // trimmed, caseless
      {"alpha,beta", "bet", 0},               // no fragments
      {"alpha,beta", "alpha,beta", 0},
      {"alpha,", "alpha", 1},
      {"\talpha\n", "alpha", 1},
      {"", "alpha", 0},
      {"alpha", "", 0},
      {nullptr, "alpha", 0},
      {"alpha", nullptr, 0},
      {"a;b", "b", 0},                        // other separator
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(std::string(c.list ? c.list : "(null)") + " / " + (c.value ? c.value : "(null)"));
    EXPECT_EQ(csv_contains_value(c.list, ',', c.value), c.expected);
  }
  EXPECT_EQ(csv_contains_value("a;b", ';', "B"), 1);
}

TEST(CsvPartialMatch, ItemsInsideTheValue) {
  const ListCase cases[] = {
      {"Test Page,Supplies", "Printing a TEST PAGE now", 1},
      {"test page", "Report.pdf", 0},
      {"report,", "Monthly Report.pdf", 1},
      {"report,", "Invoice.pdf", 0},          // a trailing comma adds no item
      // Empty items, a typo such as ",," or " , ", must not match every value.
      {"report,,invoice", "Holiday.jpg", 0},
      {"report,,invoice", "invoice 12", 1},
      {" , ", "anything", 0},
      {",report", "anything", 0},
      {"", "anything", 0},
      {"x", "", 0},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(std::string(c.list) + " / " + c.value);
    EXPECT_EQ(util_partially_matches_value(c.list, ',', c.value), c.expected);
  }
}

}  // namespace

namespace {

TEST(CsvWildcard, PatternsMatchTheWholeValueIgnoringCase) {
  const ListCase cases[] = {
      {"HP-LaserJet*", "hp-laserjet-4050", 1},
      {"HP-LaserJet*", "HP-LASERJET", 1},
      {"HP-LaserJet*", "Office-HP-LaserJet-2", 0},  // only at the start
      {"?", "a", 1},
      {"?", "ab", 0},
      {"?", "", 0},
      {"lp?", "LP1", 1},
      {"lp1", "lp1\n", 0},                         // "$" alone would allow a final line feed
      {"*-color", "floor2-Color", 1},
      {"*-color", "floor2-colour", 0},
      {"a.b", "a.b", 1},                            // dots are literal
      {"a.b", "axb", 0},
      {"x+(y)[z]|$^", "X+(Y)[Z]|$^", 1},            // regex syntax is literal
      {"a\\Eb.*", "a\\Eb.*", 1},                    // even a quote terminator
      {"a\\Eb.*", "a\\Ebxxxx", 0},
      {"a\\", "A\\", 1},
      {"one, , two*", "TWO-x", 1},
      {"one, , two*", "three", 0},                  // empty items are skipped
      {"one,", "one", 1},
      {"", "one", 0},
      {"*", "", 0},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(std::string(c.list) + " / " + c.value);
    EXPECT_EQ(csv_contains_value_wildcard(c.list, ',', c.value), c.expected);
  }
}

}  // namespace
