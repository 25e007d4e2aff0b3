#include "foundation/util.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

int format(char** out, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const int result = util_safe_vsnprintf(out, fmt, args);
  va_end(args);
  return result;
}

TEST(UtilBounded, CopyAndAppendTruncateAndTerminate) {
  struct Case {
    const char* start;
    const char* source;
    std::size_t size;
    bool append;
    const char* expected;
  };
  const Case cases[] = {
      {"", "abcdefghij", 4, false, "abc"},     // ten characters into four bytes
      {"", "abc", 4, false, "abc"},            // exactly fits
      {"", "", 4, false, ""},
      {"ab", "cd", 5, true, "abcd"},           // whole result fits
      {"ab", "cdef", 5, true, "abcd"},         // as much as fits
      {"abcd", "e", 5, true, "abcd"},          // already full
      {"ab", "", 5, true, "ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.start) + "+" + c.source);
    char buffer[16];
    std::memset(buffer, 'Z', sizeof buffer);
    std::strcpy(buffer, c.start);
    if (c.append) {
      util_safe_strncat(buffer, c.source, c.size);
    } else {
      util_safe_strncpy(buffer, c.source, c.size);
    }
    EXPECT_STREQ(buffer, c.expected);
    EXPECT_EQ(buffer[c.size], 'Z') << "wrote past size";
  }
}

TEST(UtilBounded, AppendToUnterminatedTargetStaysInside) {
  char buffer[5] = {'a', 'b', 'c', 'd', 'e'};
  util_safe_strncat(buffer, "x", sizeof buffer);
  EXPECT_STREQ(buffer, "abcd");
}

TEST(UtilBounded, NewTextCopiesTheGivenBytesAndTerminates) {
  // Stops at the length inside a longer text, keeps zero bytes before it.
  const TextPtr cut(util_new_text("abcdef", 3));
  ASSERT_NE(cut, nullptr);
  EXPECT_STREQ(cut.get(), "abc");
  const TextPtr with_zero(util_new_text("a\0b", 3));
  ASSERT_NE(with_zero, nullptr);
  EXPECT_EQ(std::memcmp(with_zero.get(), "a\0b\0", 4), 0);
  const TextPtr none(util_new_text(nullptr, 0));
  ASSERT_NE(none, nullptr);
  EXPECT_STREQ(none.get(), "");
}

TEST(UtilBounded, FormatGrowsAndUsesTheArgumentsEveryAttempt) {
  // Longer than the first buffer: the second attempt must see the same
  // arguments as the first.
  const std::string big(3000, 'q');
  char* raw = nullptr;
  ASSERT_EQ(format(&raw, "%s-%d-%s-%ld", big.c_str(), 7, "tail", 123456789L), 1);
  TextPtr text(raw);
  EXPECT_EQ(std::string(text.get()), big + "-7-tail-123456789");

  ASSERT_EQ(format(&raw, "%s", std::string(1023, 'a').c_str()), 1);
  text.reset(raw);
  EXPECT_EQ(std::strlen(text.get()), 1023u);

  ASSERT_EQ(format(&raw, "%d", 5), 1);
  text.reset(raw);
  EXPECT_STREQ(text.get(), "5");
}

TEST(UtilBounded, FormatFailureClearsTheOutput) {
  char* raw = reinterpret_cast<char*>(0x1);
  EXPECT_EQ(format(&raw, nullptr), 0);
  EXPECT_EQ(raw, nullptr);
}

TEST(UtilCompare, EqualityWithAndWithoutCase) {
  const char* same = "Abc";
  struct Case {
    const char* a;
    const char* b;
    int exact;
    int caseless;
  };
  const Case cases[] = {
      {same, same, 1, 1},  {"abc", "abc", 1, 1}, {"abc", "ABC", 0, 1}, {"abc", "abd", 0, 0},
      {"abc", "abcd", 0, 0}, {nullptr, "a", 0, 0}, {"a", nullptr, 0, 0}, {nullptr, nullptr, 1, 1},
      {"", "", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a ? c.a : "(null)") + "/" + (c.b ? c.b : "(null)"));
    EXPECT_EQ(util_equal_str(c.a, c.b), c.exact);
    EXPECT_EQ(util_case_equal_str(c.a, c.b), c.caseless);
  }
}

TEST(UtilCompare, PrefixesAndByteRanges) {
  EXPECT_EQ(util_strncase_equals("HELLO world", "hello there", 5), 1);
  EXPECT_EQ(util_strncase_equals("HELLO", "help", 4), 0);
  EXPECT_EQ(util_strncase_equals("ab", "AB", 10), 1);  // both end together
  EXPECT_EQ(util_strncase_equals("ab", "ABC", 10), 0);
  EXPECT_EQ(util_equal_bytes("a\0b", "a\0b", 3), 1);
  EXPECT_EQ(util_equal_bytes("a\0b", "a\0c", 3), 0);
  EXPECT_EQ(util_equal_bytes("x", "y", 0), 1);
  EXPECT_EQ(util_case_equal_bytes("%!PS", "%!ps", 4), 1);
  EXPECT_EQ(util_equal_bytes_str("@PJL JOB", "@PJL"), 1);
  EXPECT_EQ(util_equal_bytes_str("@PJ", "@PJL"), 0);
  EXPECT_EQ(util_case_equal_bytes_str("@pjl job", "@PJL"), 1);
  EXPECT_EQ(util_equal_bytes_str(nullptr, "x"), 0);
  EXPECT_EQ(util_case_equal_bytes_str("x", nullptr), 0);
}

TEST(UtilText, CaseChangesAndChomp) {
  char text[] = "MiXeD 123 \xC4";
  EXPECT_STREQ(strlwr(text), "mixed 123 \xC4");
  EXPECT_STREQ(strupr(text), "MIXED 123 \xC4");
  char lowered[8];
  std::memset(lowered, 'Z', sizeof lowered);
  util_strlower(lowered, "AB", sizeof lowered);
  EXPECT_STREQ(lowered, "ab");
  EXPECT_EQ(lowered[3], 'Z');  // stops after the terminator
  char line[] = "line\n\n";
  EXPECT_STREQ(util_chomp(line), "line\n");
  char plain[] = "x";
  EXPECT_STREQ(util_chomp(plain), "x");
}

TEST(UtilNames, BasenameDirnameAndSanitize) {
  struct Case {
    const char* path;
    const char* base;
    const char* dir;
  };
  const Case cases[] = {
      {"/var/spool/cups/d001", "d001", "/var/spool/cups"},
      {"file", "file", "."},
      {"dir/", "", "dir"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_STREQ(util_basename(c.path), c.base);
    char dir[64];
    EXPECT_STREQ(util_dirname(dir, c.path, sizeof dir), c.dir);
  }
  char small[5];
  EXPECT_STREQ(util_dirname(small, "/abcdefg/h", sizeof small), "/abc");

  char name[] = "a/b:c\"d*e<f>g?h\\i|j k";
  EXPECT_EQ(util_sanitize_fname(name), 0);
  EXPECT_STREQ(name, "a_b_c_d_e_f_g_h_i_j k");
}

TEST(UtilNames, JoinArgvQuotesNonOptions) {
  const char* argv[] = {"lp", "-d", "printer one", "-o", "raw", nullptr};
  TextPtr line(util_join_argv(argv, 64));
  ASSERT_NE(line, nullptr);
  EXPECT_STREQ(line.get(), "\"lp\" -d \"printer one\" -o \"raw\"");
  // 30 characters and the terminator: 31 bytes fit, 30 do not.
  EXPECT_NE(TextPtr(util_join_argv(argv, 31)), nullptr);
  EXPECT_EQ(TextPtr(util_join_argv(argv, 30)), nullptr);
}

TEST(UtilNames, JoinWithSeparator) {
  const char* parts[] = {"a", "", "b c"};
  struct Case {
    int count;
    const char* separator;
    const char* expected;
  };
  const Case cases[] = {
      {3, ", ", "a, , b c"}, {3, nullptr, "ab c"}, {1, ",", "a"}, {0, ",", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    TextPtr joined(util_join(parts, c.count, c.separator));
    ASSERT_NE(joined, nullptr);
    EXPECT_STREQ(joined.get(), c.expected);
  }
  EXPECT_EQ(TextPtr(util_join(parts, -1, ",")), nullptr);
}

TEST(UtilNames, FindMax) {
  const int values[] = {3, -9, 12, 7};
  EXPECT_EQ(util_find_max(values, 4), 12);
  EXPECT_EQ(util_find_max(values, 2), 3);
  const int negative[] = {-5, -3};
  EXPECT_EQ(util_find_max(negative, 2), -3);
  EXPECT_EQ(util_find_max(values, 0), -1);
}

TEST(UtilFiles, ReadersBoundAndTerminate) {
  sw_test::TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const fs::path dir = temp.path();
  const std::string path = temp.write("data", "0123456789");

  char buffer[6];
  EXPECT_EQ(util_read_file_contents(path.c_str(), buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "01234");
  EXPECT_EQ(util_read_file_contents((dir / "none").c_str(), buffer, sizeof buffer), -1);

  TextPtr head(util_get_file_as_string(path.c_str(), 4));
  ASSERT_NE(head, nullptr);
  EXPECT_STREQ(head.get(), "0123");
  TextPtr whole(util_get_file_as_string(path.c_str(), 1000));
  ASSERT_NE(whole, nullptr);
  EXPECT_STREQ(whole.get(), "0123456789");
  EXPECT_EQ(TextPtr(util_get_file_as_string((dir / "none").c_str(), 10)), nullptr);
}

TEST(UtilFiles, VersionLineOnlyForTheVersionOption) {
  const char* other[] = {"prog", "--help"};
  util_print_version(2, other, "prog");  // returns
  const char* two[] = {"prog", "--version", "x"};
  util_print_version(3, two, "prog");  // returns
  const char* version[] = {"prog", "--version"};
  EXPECT_EXIT(util_print_version(2, version, "spoolwarden"), ::testing::ExitedWithCode(0),
              "");
}

TEST(UtilEncoding, UrlEncodeAndDecode) {
  struct Case {
    const char* plain;
    const char* encoded;
  };
  const Case cases[] = {
      {"a b", "a+b"},
      {"AZaz09-._~", "AZaz09-._~"},
      {"a/b?c=d&e", "a%2Fb%3Fc%3Dd%26e"},
      {"\xE2\x98\xBA", "%E2%98%BA"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plain);
    TextPtr encoded(util_url_encode(c.plain));
    EXPECT_STREQ(encoded.get(), c.encoded);
    TextPtr decoded(util_url_decode(c.encoded));
    EXPECT_STREQ(decoded.get(), c.plain);
  }
  const Case decode_only[] = {{"100%", "100%"}, {"5%a", "5%a"}, {"%zz", "%zz"}, {"%4a%4A", "JJ"}};
  for (const Case& c : decode_only) {
    SCOPED_TRACE(c.plain);
    TextPtr decoded(util_url_decode(c.plain));
    EXPECT_STREQ(decoded.get(), c.encoded);
  }
}

TEST(UtilEncoding, AddressShapes) {
  struct Case {
    const char* text;
    int v4;
    int v6;
  };
  const Case cases[] = {
      {"192.168.1.10", 1, 0}, {"10.1.2", 1, 0},  {"", 0, 0},          {"printer1", 0, 0},
      {"::1", 0, 1},          {"fe80::1%eth0", 0, 1}, {"2001:db8::ffff:1.2.3.4", 0, 1},
      {"fe80:1", 0, 0},       {"fe80::g", 0, 0}, {"%eth0::", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(util_is_ipv4_address(c.text), c.v4);
    EXPECT_EQ(util_is_ipv6_address(c.text), c.v6);
    EXPECT_EQ(util_is_ip_address(c.text), c.v4 || c.v6);
  }
  EXPECT_EQ(util_is_ip_address(nullptr), 0);
}

// ---- XML entities ----

struct EntityCase {
  const char* source;
  std::string decoded;
};

const std::vector<EntityCase>& entity_cases() {
  static const std::vector<EntityCase> cases = {
      {"plain", "plain"},
      {"a &lt;b&gt; &amp; &quot;c&quot; &apos;d&apos;", "a <b> & \"c\" 'd'"},
      {"&#x263A;", "\xE2\x98\xBA"},
      {"&#X263a;", "\xE2\x98\xBA"},
      {"&#65;&#x41;", "AA"},
      {"&#233;", "\xC3\xA9"},
      {"&#x1F600;", "\xF0\x9F\x98\x80"},
      {"&#x10FFFF;", "\xF4\x8F\xBF\xBF"},
      {"&#x110000;", "&#x110000;"},         // above Unicode: kept
      {"&#99999999999999999999;", "&#99999999999999999999;"},
      {"&amp;lt;", "&lt;"},                 // one pass only
      {"&#;", "&#;"},                       // no digits
      {"&#x;", "&#x;"},
      {"&#0;", "&#0;"},                     // a NUL would cut the text
      {"&#x0000;", "&#x0000;"},
      {"&#12a;", "&#12a;"},                 // number must end at the ";"
      {"&# 65;", "&# 65;"},
      {"&#+65;", "&#+65;"},
      {"&#-1;", "&#-1;"},
      {"&unknown; &", "&unknown; &"},
      {"no semicolon &amp", "no semicolon &amp"},
      {"&&&amp;", "&&&"},
      {"&lt", "&lt"},
      {"", ""},
  };
  return cases;
}

TEST(UtilXmlEntities, DecodeToTargetAndInPlace) {
  for (const EntityCase& c : entity_cases()) {
    SCOPED_TRACE(c.source);
    std::vector<char> target(std::strlen(c.source) + 1, 'Z');
    EXPECT_EQ(util_xml_decode_entities_utf8(target.data(), c.source), c.decoded.size());
    EXPECT_EQ(std::string(target.data()), c.decoded);

    std::vector<char> in_place(c.source, c.source + std::strlen(c.source) + 1);
    EXPECT_EQ(util_xml_decode_entities_utf8(in_place.data(), nullptr), c.decoded.size());
    EXPECT_EQ(std::string(in_place.data()), c.decoded);
  }
}

}  // namespace
