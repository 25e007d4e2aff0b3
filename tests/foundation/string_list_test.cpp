#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/containers.h"
#include "support/test_support.h"

namespace {

using sw_test::LogCapture;

std::vector<std::string> entries_of(const string_list* list) {
  std::vector<std::string> out;
  for (int i = 0; i < string_list_size(list); ++i) out.emplace_back(string_list_get(list, i));
  return out;
}

StringListPtr list_of(const std::vector<std::string>& texts) {
  StringListPtr list(string_list_create());
  for (const std::string& text : texts) EXPECT_EQ(string_list_append(list.get(), text.c_str()), 1);
  return list;
}

std::string joined(char* text) { return sw_test::take_text(text, "<none>"); }

TEST(StringList, AppendCopiesTheCountedBytesAndTwoZeros) {
  struct Case {
    const char* name;
    std::string bytes;  // given in an exact-size heap buffer, no terminator
    std::uint64_t length;
    std::string stored;  // the copy through its two closing zeros
  };
  const Case cases[] = {
      {"whole counted buffer", "abc", 3, std::string("abc\0\0", 5)},
      {"prefix of a buffer", "abcdef", 2, std::string("ab\0\0", 4)},
      {"run of zero-separated texts", std::string("a\0bc", 4), 4, std::string("a\0bc\0\0", 6)},
      {"single byte", "z", 1, std::string("z\0\0", 3)},
  };
  StringListPtr list(string_list_create());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto exact = std::make_unique<char[]>(c.bytes.size());
    std::memcpy(exact.get(), c.bytes.data(), c.bytes.size());
    ASSERT_EQ(string_list_append_ex(list.get(), exact.get(), c.length), 1);
    const char* copy = string_list_get(list.get(), string_list_size(list.get()) - 1);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, exact.get());
    EXPECT_EQ(std::string(copy, c.stored.size()), c.stored);
  }
  // Length 0 means the text's own length.
  ASSERT_EQ(string_list_append_ex(list.get(), "own length", 0), 1);
  EXPECT_STREQ(string_list_get(list.get(), 4), "own length");
}

TEST(StringList, GetSizeAndStrings) {
  LogCapture log;
  StringListPtr list = list_of({"zero", "one"});
  EXPECT_EQ(string_list_size(list.get()), 2);
  EXPECT_EQ(string_list_size(nullptr), -1);
  char* const* strings = string_list_strings(list.get());
  EXPECT_STREQ(strings[0], "zero");
  EXPECT_STREQ(strings[1], "one");

  struct Case {
    int index;
    const char* logged;
  };
  const Case out_of_range[] = {
      {2, "string_list_get: index out of range index=2,size=2"},
      {-1, "string_list_get: index out of range index=4294967295,size=2"},
      {1000000, "string_list_get: index out of range index=1000000,size=2"},
  };
  for (const Case& c : out_of_range) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(string_list_get(list.get(), c.index), nullptr);
    EXPECT_TRUE(log.contains(c.logged));
  }
  EXPECT_EQ(string_list_append(list.get(), nullptr), 0);
  EXPECT_TRUE(log.contains("string_list_append_ex: called with s=NULL"));
  EXPECT_EQ(string_list_size(list.get()), 2);
}

TEST(StringList, ManyEntriesKeepTheirTexts) {
  StringListPtr list(string_list_create());
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(string_list_append(list.get(), std::to_string(i).c_str()), 1);
  for (int i = 0; i < 5000; i += 499) EXPECT_EQ(string_list_get(list.get(), i), std::to_string(i));
  string_list_reset(list.get());
  EXPECT_EQ(string_list_size(list.get()), 0);
  ASSERT_EQ(string_list_append(list.get(), "after reset"), 1);
  EXPECT_EQ(entries_of(list.get()), std::vector<std::string>{"after reset"});
}

TEST(StringList, Join) {
  struct Case {
    std::vector<std::string> entries;
    const char* separator;
    const char* expected;
  };
  const Case cases[] = {
      {{}, ",", "<none>"},
      {{"a"}, ",", "a"},
      {{"a", "b", "c"}, ", ", "a, b, c"},
      {{"", "x", ""}, "|", "|x|"},
      {{"ab", "cd"}, "", "abcd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    StringListPtr list = list_of(c.entries);
    EXPECT_EQ(joined(string_list_join(list.get(), c.separator)), c.expected);
  }
  const char* texts[] = {"p", nullptr, "q"};
  EXPECT_EQ(joined(strings_join(texts, 3, "-")), "p--q");

  LogCapture log;
  EXPECT_EQ(strings_join(texts, 0, "-"), nullptr);
  EXPECT_EQ(strings_join(nullptr, 2, "-"), nullptr);
  EXPECT_EQ(strings_join(texts, 2, nullptr), nullptr);
  EXPECT_TRUE(log.contains("strings_join: invalid parameters"));
}

TEST(StringList, Split) {
  struct Case {
    const char* text;
    const char* delimiters;
    std::vector<std::string> tokens;  // empty: no list at all
  };
  const Case cases[] = {
      {"a,b,,c", ",", {"a", "b", "c"}},
      {",,lead,and,trail,,", ",", {"lead", "and", "trail"}},
      {"  a  b ", " ", {"a", "b"}},
      {"a;b,c", ",;", {"a", "b", "c"}},
      {"whole", ",", {"whole"}},
      {",,,", ",", {}},
      {"", ",", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    StringListPtr list(string_list_split(c.text, c.delimiters));
    if (c.tokens.empty()) {
      EXPECT_EQ(list, nullptr);
    } else {
      ASSERT_NE(list, nullptr);
      EXPECT_EQ(entries_of(list.get()), c.tokens);
    }
  }
}

TEST(StringList, ContainsCaseAndSort) {
  StringListPtr list = list_of({"pear", "Apple", "fig"});
  EXPECT_EQ(string_list_contains_case(list.get(), "APPLE"), 1);
  EXPECT_EQ(string_list_contains_case(list.get(), "FiG"), 1);
  EXPECT_EQ(string_list_contains_case(list.get(), "app"), 0);
  EXPECT_EQ(string_list_contains_case(list.get(), "figs"), 0);
  EXPECT_EQ(string_list_contains_case(nullptr, "fig"), 0);

  string_list_sort(list.get(), [](const char* a, const char* b) { return std::strcmp(a, b); });
  EXPECT_EQ(entries_of(list.get()), (std::vector<std::string>{"Apple", "fig", "pear"}));
}

TEST(StringList, PrintShowsFurtherTextsOfARun) {
  StringListPtr list = list_of({"plain"});
  ASSERT_EQ(string_list_append_ex(list.get(), "first\0second\0third", 18), 1);
  testing::internal::CaptureStdout();
  string_list_print("heading", list.get());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "-- heading --\n"
            "   0: 'plain'\n"
            "   1: 'first' ('second', 'third', )\n");
}

}  // namespace
