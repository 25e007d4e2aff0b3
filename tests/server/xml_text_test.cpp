#include "server/xml_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TextCase {
  const char* name;
  std::string input;
  std::string expected;
};

}  // namespace

// Whatever bytes a caller hands over, the request text must stay well-formed
// XML 1.0 in UTF-8, or a strict server refuses the whole call.
TEST(XmlText, AppendedTextIsWellFormedUtf8) {
  const TextCase cases[] = {
      {"plain ascii", "report.pdf", "report.pdf"},
      {"markup escaped once", "a<b&c>d", "a&lt;b&amp;c&gt;d"},
      {"reference escaped again", "&amp;", "&amp;amp;"},
      {"tab, line feed, carriage return kept", "a\tb\nc\rd", "a\tb\nc\rd"},
      {"control characters replaced", std::string("a\x01" "b\x1f" "c\x0b", 6),
       "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xEF\xBF\xBD"},
      {"zero byte replaced", std::string("a\0b", 3), "a\xEF\xBF\xBD" "b"},
      {"delete kept", "a\x7f", "a\x7f"},
      {"two-byte sequence kept", "Gr\xC3\xBC\xC3\x9F" "e", "Gr\xC3\xBC\xC3\x9F" "e"},
      {"three- and four-byte sequences kept", "\xE2\x82\xAC \xF0\x9F\x96\xA8",
       "\xE2\x82\xAC \xF0\x9F\x96\xA8"},
      {"latin-1 bytes mapped", "Gr\xFC\xDF" "e", "Gr\xC3\xBC\xC3\x9F" "e"},
      {"c1 range byte mapped", "\x85", "\xC2\x85"},
      {"cut sequence at the end", "ab\xE2\x82", "ab\xC3\xA2\xC2\x82"},
      {"lone continuation byte", "\x80x", "\xC2\x80x"},
      {"overlong slash", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
      {"surrogate half", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
      {"non-characters replaced", "\xEF\xBF\xBE\xEF\xBF\xBF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"U+FFFD itself kept", "\xEF\xBF\xBD", "\xEF\xBF\xBD"},
  };
  for (const TextCase& c : cases) {
    std::string out = "<";
    xml_append_text(out, c.input);
    EXPECT_EQ(out, "<" + c.expected) << c.name;
  }
}

struct CutCase {
  const char* name;
  std::string text;
  std::size_t max;
  std::size_t expected;
};

TEST(XmlText, CutsNeverSplitASequence) {
  const std::string euro = "\xE2\x82\xAC";
  const CutCase cases[] = {
      {"short text whole", "abc", 10, 3},
      {"ascii cut exactly", "abcdef", 4, 4},
      {"before a two-byte sequence", "ab\xC3\xBC", 3, 2},
      {"after a two-byte sequence", "ab\xC3\xBC" "c", 4, 4},
      {"inside a three-byte sequence", "a" + euro + euro, 5, 4},
      {"inside a four-byte sequence", "\xF0\x9F\x96\xA8", 3, 0},
      {"invalid bytes count one each", "a\xFF\xFE\xFD", 3, 3},
      {"cut sequence in the text", "a\xE2\x82" "bc", 3, 3},
      {"zero length", euro, 0, 0},
  };
  for (const CutCase& c : cases) {
    EXPECT_EQ(utf8_cut_length(c.text, c.max), c.expected) << c.name;
  }
}

TEST(XmlText, UnfinishedSequenceAtTheEndIsLeftOut) {
  const struct {
    const char* name;
    std::string text;
    std::size_t expected;
  } cases[] = {
      {"ascii", "abc", 3},
      {"empty", "", 0},
      {"complete two-byte", "ab\xC3\xA9", 4},
      {"lead byte alone", "ab\xC3", 2},
      {"three-byte missing one", "a\xE2\x82", 1},
      {"complete three-byte", "a\xE2\x82\xAC", 4},
      {"four-byte missing one", "\xF0\x9F\x96", 0},
      {"complete four-byte", "\xF0\x9F\x96\xA8", 4},
      {"stray continuation byte kept", "a\x80", 2},
      {"invalid lead kept", "a\xFF", 2},
      {"unfinished sequence inside kept", "\xE2\x82" "b", 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8_complete_length(c.text), c.expected) << c.name;
  }
}

TEST(XmlText, SafeCopyTerminatesAtACharacterBoundary) {
  char target[5] = "xxxx";
  EXPECT_STREQ(utf8_safe_strncpy(target, "a\xE2\x82\xAC" "b", 5), "a\xE2\x82\xAC");
  EXPECT_STREQ(utf8_safe_strncpy(target, "ab\xE2\x82\xAC", 5), "ab");
  EXPECT_STREQ(utf8_safe_strncpy(target, nullptr, 5), "");
  EXPECT_STREQ(utf8_safe_strncpy(target, "abcdefg", 5), "abcd");
  char one[1] = {'x'};
  utf8_safe_strncpy(one, "abc", 1);
  EXPECT_EQ(one[0], '\0');
  EXPECT_EQ(utf8_safe_strncpy(nullptr, "abc", 4), nullptr);
}
