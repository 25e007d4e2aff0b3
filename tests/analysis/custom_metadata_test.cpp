// The user-name override from print data: prefix and suffix, patterns, and
// the limits that keep an untrusted name and a hostile pattern in bounds.
#include "analysis/custom_metadata.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "foundation/util.h"

namespace {

using namespace std::string_literals;
using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;

class CustomMetadataTest : public AnalysisTest {
 protected:
  static void set(char* field, const std::string& value) {
    util_safe_strncpy(field, value.c_str(), CONFIG_TEXT_SIZE);
  }
  static void pair(const std::string& prefix, const std::string& suffix) {
    set(global_ctx.username_override_prefix, prefix);
    set(global_ctx.username_override_suffix, suffix);
  }
  // The name found in `data`, or "(none)" when the buffer was left alone.
  static std::string extract(const std::string& data, std::size_t size = 1024) {
    ExactBuffer buffer(data);
    std::vector<char> name(size, '\0');
    util_safe_strncpy(name.data(), "(none)", size);
    custom_metaddata_extract_username(buffer.data(), buffer.size(), name.data(), size);
    return name.data();
  }
};

TEST_F(CustomMetadataTest, PrefixAndSuffix) {
  pair("@PJL SET USERNAME=\"", "\"");
  const std::string pjl = "\x1b%-12345X@PJL JOB\r\n@PJL SET USERNAME=\"";
  struct Case {
    const char* name;
    std::string data;
    std::string user;
  };
  const std::vector<Case> cases = {
      {"plain", pjl + "kim\"\r\n", "kim"},
      {"first prefix wins", pjl + "kim\"\r\n@PJL SET USERNAME=\"lee\"", "kim"},
      {"no suffix within 128 bytes", pjl + std::string(128, 'a') + "\"", "(none)"},
      {"suffix at the 128-byte edge", pjl + std::string(127, 'a') + "\"", std::string(127, 'a')},
      {"cut at a NUL byte", pjl + "kim\0zz\""s, "kim"},
      {"control bytes dropped", pjl + "k\ri\x1bm\x7f\"", "kim"},
      {"prefix at the very end", pjl, "(none)"},
      {"nothing between the marks", pjl + "\"\r\n", "(none)"},
      {"no prefix", "USERNAME kim", "(none)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(extract(c.data), c.user);
  }
  EXPECT_EQ(extract(pjl + "a-very-long-name\"", 7), "a-very");
  EXPECT_TRUE(logged("custom_metaddata: Found username 'kim' at 38 between '@PJL SET USERNAME=\"' "
                     "and '\"'"))
      << log();
  EXPECT_EQ(custom_metadata_is_replace_username(), 1);
  // Once both marks are found the patterns are not tried, even for an empty name.
  set(global_ctx.username_override_regex[0], "NAME=(\\w+)");
  EXPECT_EQ(extract(pjl + "kim\" NAME=lee"), "kim");
  EXPECT_EQ(extract(pjl + "\" NAME=lee"), "(none)");
  EXPECT_EQ(extract(pjl + std::string(130, 'a') + "\" NAME=lee"), "lee");
}

// Only the first MiB is searched: a suffix past it is not found.
TEST_F(CustomMetadataTest, SearchStaysInTheFirstMebibyte) {
  pair("USER=", ";");
  std::string data(CUSTOM_METADATA_WINDOW - 8, ' ');
  data += "USER=kim;";
  EXPECT_EQ(extract(data), "(none)");
  data = std::string(CUSTOM_METADATA_WINDOW - 9, ' ') + "USER=kim;";
  EXPECT_EQ(extract(data + "trailing"), "kim");
}

TEST_F(CustomMetadataTest, HalfAPairIsAnError) {
  set(global_ctx.username_override_prefix, "USER=");
  EXPECT_EQ(custom_metadata_is_replace_username(), 0);
  EXPECT_TRUE(logged("Only one of UsernameOverridePrefix=USER= and UsernameOverrideSuffix= is "
                     "specified in spoolwarden.conf"))
      << log();
  set(global_ctx.username_override_regex[4], "NAME=(\\w+)");
  EXPECT_EQ(extract("USER=kim; NAME=lee"), "lee");
  EXPECT_EQ(custom_metadata_is_replace_username(), 1);
}

TEST_F(CustomMetadataTest, Patterns) {
  struct Case {
    const char* name;
    std::vector<std::string> patterns;  // UsernameOverrideRegex1 to 5
    std::string data;
    std::string user;
    const char* log;
  };
  const std::vector<Case> cases = {
      {"first matching pattern in order", {"", "A=(\\w+)", "B=(\\w+)"}, "B=bee A=ann", "ann",
       "custom_metaddata: is_regex_match 2:  username = 'ann'"},
      {"a later pattern when the first finds nothing", {"Z=(\\w+)", "", "", "", "B=(\\w+)"},
       "B=bee", "bee", "is_regex_match 5: Matched pattern 'B=(\\w+)' with 'B=bee'"},
      {"no capture group", {"B=\\w+"}, "B=bee", "(none)",
       "UsernameOverrideRegex1=B=\\w+ does not have a capture group"},
      {"empty capture", {"B=(\\d*)bee"}, "B=bee", "(none)",
       "UsernameOverrideRegex1=B=(\\d*)bee captured an empty string in match 'B=bee'"},
      {"pattern that does not compile", {"B=(\\w+", "A=(\\w+)"}, "B=bee A=ann", "ann", nullptr},
      {"named group", {"U=(?<user>\\w+)"}, "U=kim", "kim",
       "custom_metaddata: is_regex_match 1:  username = 'kim'"},
      {"named group, P form", {"U=(?P<user>\\w+)"}, "U=kim", "kim", nullptr},
      {"named group, quote form", {"U=(?'user'\\w+)"}, "U=kim", "kim", nullptr},
      {"a lookbehind is no capture group", {"(?<=U=)\\w+"}, "U=kim", "(none)",
       "UsernameOverrideRegex1=(?<=U=)\\w+ does not have a capture group"},
      {"a parenthesis in a class is no capture group", {"U=[(]\\w+"}, "U=(kim", "(none)",
       "does not have a capture group"},
      {"control bytes stripped", {"U=([^;]+);"}, "U=k\ni\tm;", "kim", nullptr},
      {"name cut to the field", {"U=(\\w+)"}, "U=" + std::string(3000, 'x'), std::string(1023, 'x'),
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (auto& p : global_ctx.username_override_regex) p[0] = '\0';
    for (std::size_t i = 0; i < c.patterns.size(); ++i) {
      set(global_ctx.username_override_regex[i], c.patterns[i]);
    }
    clear_log();
    EXPECT_EQ(extract(c.data), c.user);
    if (c.log != nullptr) { EXPECT_TRUE(logged(c.log)) << log(); }
  }
}

// A pattern that backtracks exponentially over hostile data stops at the
// engine's limits instead of running away, and finds no name.
TEST_F(CustomMetadataTest, HostilePatternIsBounded) {
  set(global_ctx.username_override_regex[0], "^(a+)+$");
  const std::string data = std::string(40, 'a') + "!";
  EXPECT_EQ(extract(data), "(none)");
  set(global_ctx.username_override_regex[0], "(\\w*)*X");
  EXPECT_EQ(extract(std::string(1 << 16, 'w')), "(none)");
}

TEST_F(CustomMetadataTest, NothingConfigured) {
  EXPECT_EQ(custom_metadata_is_replace_username(), 0);
  EXPECT_EQ(extract("USER=kim;"), "(none)");
  EXPECT_EQ(extract(""), "(none)");
}

}  // namespace
