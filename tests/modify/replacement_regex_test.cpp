// Replace-token rules: matching, replacement texts, criteria, associations,
// required rules and the limits that keep hostile data and costly patterns
// bounded. Each case runs a list over bytes and compares the rewrite.
#include "modify/replacement_regex.h"

#include <string>
#include <vector>

#include "foundation/regex.h"
#include "modify/replacement_list.h"
#include "modify_test_support.h"

namespace {

using modify_test::ModifyTest;

struct Rule {
  const char* name = "R";
  const char* pattern = "";
  const char* replace = "";
  int options = 0;
  std::uint64_t match_size = REPLACE_TOKEN_WHOLE;
  std::uint64_t length = REPLACE_TOKEN_WHOLE;
  int repeat = 0;
  int required = 0;
  std::vector<const char*> captures = {};
};

const std::uint8_t* bytes(const std::string& s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

ReplaceTokenListPtr make_rules(const std::vector<Rule>& rules, std::int64_t insertion_point = -1,
                               std::int32_t match_limit = 0) {
  ReplaceTokenListPtr list(
      replace_token_list_create("test", 0, REPLACE_TOKEN_WHOLE, insertion_point, match_limit));
  for (const Rule& r : rules) {
    std::vector<const char*> captures = r.captures;
    captures.push_back(nullptr);
    EXPECT_EQ(replacement_regex_append(list.get(), r.name, r.pattern, r.match_size, r.options, 0,
                                       r.length, r.replace, captures.data(), r.required, r.repeat,
                                       nullptr),
              1)
        << r.name;
  }
  return list;
}

// The rewrite, or "<failed>" when the run or the list fails.
std::string rewrite(ReplaceTokenList* list, const std::string& input, int language = 4,
                    const char* printer_type = "") {
  ReplacementListPtr edits(replace_token_list_to_replacement_list(list, bytes(input), input.size(),
                                                                  language, printer_type));
  if (edits == nullptr) return "<failed>";
  replacement_list_sort(edits.get());
  if (replacement_list_is_valid(bytes(input), input.size(), edits.get()) != 1) return "<invalid>";
  BstringPtr out(replacement_list_flatten(bytes(input), input.size(), edits.get()));
  return out == nullptr ? "<failed>" : std::string(bdata(out.get()), blength(out.get()));
}

std::string rewrite(const std::vector<Rule>& rules, const std::string& input) {
  ReplaceTokenListPtr list = make_rules(rules);
  return rewrite(list.get(), input);
}

TEST_F(ModifyTest, RulesReplaceWhatTheirPatternsMatch) {
  using namespace std::string_literals;
  struct Case {
    const char* what;
    std::vector<Rule> rules;
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"group between two texts",
       {{.pattern = "@A=(\\d+)\n", .replace = "@A=[\\1]\n"}},
       "x@A=12\ny",
       "x@A=[12]\ny"},
      {"a place without a group deletes the match",
       {{.pattern = "@A=\\d+\n", .replace = "X\\1"}},
       "x@A=12\ny",
       "xy"},
      {"no place: the text as written", {{.pattern = "@A", .replace = "@B"}}, "@A@A", "@B@A"},
      {"repeat replaces every match",
       {{.pattern = "@A", .replace = "@B", .repeat = 1}},
       "@A@A",
       "@B@B"},
      // A "%" is an ordinary character in the replace pattern and in the data.
      {"percent signs stay",
       {{.pattern = "@V=(\\S+)", .replace = "@V=100% \\1 %s%d"}},
       "@V=%s%n",
       "@V=100% %s%n %s%d"},
      // The match's length comes from the offsets: a zero byte inside it is
      // replaced with the rest.
      {"zero byte inside the match", {{.pattern = "A\\x00B", .replace = "Z"}}, "xA\0By"s, "xZy"},
      {"zero byte inside a group", {{.pattern = "A(.)B", .replace = "<\\1>"}}, "A\0B"s, "<\0>"s},
      // Patterns whose first character is not the first byte of a match.
      {"group first", {{.pattern = "(?:SET|GET) A", .replace = "X"}}, "..GET A", "..X"},
      {"class first", {{.pattern = "[0-9]+X", .replace = "N"}}, "ab12X", "abN"},
      {"escape first", {{.pattern = "\\d\\d", .replace = "N"}}, "ab12", "abN"},
      {"caseless",
       {{.pattern = "copies", .replace = "C", .options = PCRE_CASELESS}},
       "xCOPIES",
       "xC"},
      {"caseless letter in a group", {{.pattern = "(?i)(k)ey", .replace = "L"}}, "aKEY", "aL"},
      // Overlaps: a repeating rule does not match inside its own match, and
      // a second rule over bytes already taken is dropped.
      {"repeat does not overlap itself",
       {{.pattern = "aa", .replace = "b", .repeat = 1}},
       "aaaaa",
       "bba"},
      {"a later rule over taken bytes is dropped",
       {{.name = "first", .pattern = "abc", .replace = "1"},
        {.name = "second", .pattern = "bcd", .replace = "2"}},
       "abcd",
       "1d"},
      {"match size bounds a match",
       {{.pattern = "a.*b", .replace = "X", .match_size = 3}},
       "a12b",
       "a12b"},
      {"match size large enough",
       {{.pattern = "a.*b", .replace = "X", .match_size = 4}},
       "a12b",
       "X"},
      {"search length ends the walk",
       {{.pattern = "@", .replace = "#", .length = 3, .repeat = 1}},
       "ab@@",
       "ab#@"},
      {"search length past the data",
       {{.pattern = "@", .replace = "#", .length = 99}},
       "ab@",
       "ab#"},
  };
  for (const Case& c : cases) EXPECT_EQ(rewrite(c.rules, c.input), c.expected) << c.what;
}

TEST_F(ModifyTest, ReplacementTextsAreCappedAndTheRunFails) {
  const std::string input = "<" + std::string(3000, 'x') + ">";
  EXPECT_EQ(rewrite({{.pattern = "<(x+)>", .replace = "\\1"}}, input), "<failed>");
  EXPECT_TRUE(logged("longer than 2047 bytes"));
  EXPECT_EQ(rewrite({{.pattern = "<(x+)>", .replace = "ok"}}, input), "ok");
}

TEST_F(ModifyTest, OneMatchSeesAtMostSixtyFourKibibytes) {
  const std::string within = "<" + std::string(REPLACE_TOKEN_MATCH_SIZE_MAX - 2, 'x') + ">";
  const std::string beyond = "<" + std::string(REPLACE_TOKEN_MATCH_SIZE_MAX - 1, 'x') + ">";
  EXPECT_TRUE(rewrite({{.pattern = "<x*>", .replace = "ok"}}, within) == "ok");
  EXPECT_TRUE(rewrite({{.pattern = "<x*>", .replace = "ok"}}, beyond) == beyond);
}

TEST_F(ModifyTest, CostlyPatternsStopTheRunInsteadOfRunningAway) {
  const std::string input(200000, 'a');
  EXPECT_TRUE(rewrite({{.pattern = "(a|aa)+[^a]", .replace = "X", .repeat = 1}}, input) ==
              "<failed>");
  EXPECT_TRUE(logged("Matching stopped after 64 errors"));
}

TEST_F(ModifyTest, CriteriaChooseTheRulesOfAJob) {
  struct Case {
    const char* what;
    int languages[2];
    int num_languages;
    const char* printer_pattern;
    const char* presence;
    std::int64_t distance;
    int language;
    const char* printer_type;
    bool applies;
  };
  const Case cases[] = {
      {"any language", {}, 0, "", "", -1, 1, "", true},
      {"language 4 on a PostScript job", {4}, 1, "", "", -1, 1, "", false},
      {"language 4 on its job", {2, 4}, 2, "", "", -1, 4, "", true},
      {"printer pattern matches, caseless", {}, 0, "laserjet", "", -1, 4, "HP LaserJet 4", true},
      {"printer pattern does not match", {}, 0, "laserjet", "", -1, 4, "Ricoh", false},
      {"printer pattern, no printer type", {}, 0, "laserjet", "", -1, 4, "", true},
      {"presence found", {}, 0, "", "MARK\\d", -1, 4, "", true},
      {"presence missing", {}, 0, "", "MISSING", -1, 4, "", false},
      {"presence beyond its distance", {}, 0, "", "MARK\\d", 5, 4, "", false},
      {"presence within its distance", {}, 0, "", "MARK\\d", 10, 4, "", true},
  };
  const std::string input = "@A=1\n....MARK7";
  for (const Case& c : cases) {
    MatchCriteria criteria;
    init_match_criteria(&criteria);
    criteria.num_languages = c.num_languages;
    for (int i = 0; i < c.num_languages; ++i) criteria.languages[i] = c.languages[i];
    std::snprintf(criteria.printer_type_pattern, sizeof(criteria.printer_type_pattern), "%s",
                  c.printer_pattern);
    std::snprintf(criteria.presence_pattern, sizeof(criteria.presence_pattern), "%s", c.presence);
    criteria.presence_distance = c.distance;
    ReplaceTokenListPtr list(replace_token_list_create("c", 0, REPLACE_TOKEN_WHOLE, -1, 0));
    ASSERT_EQ(replacement_regex_append(list.get(), "A", "@A=1", REPLACE_TOKEN_WHOLE, 0, 0,
                                       REPLACE_TOKEN_WHOLE, "@A=2", nullptr, 0, 0, &criteria),
              1);
    const std::string out = rewrite(list.get(), input, c.language, c.printer_type);
    EXPECT_EQ(out, c.applies ? "@A=2\n....MARK7" : input) << c.what;
  }
}

TEST_F(ModifyTest, RequiredRulesAreInsertedOnlyWhenNothingMatched) {
  const std::string header = "@PJL SET A=1\n@PJL ENTER LANGUAGE=PCLXL\n";
  const std::int64_t enter = 13;
  const Rule required_b{.name = "B",
                        .pattern = "@PJL SET B(=)OFF\n",
                        .replace = "@PJL SET B\\1ON\n",
                        .required = 1,
                        .captures = {"="}};
  const Rule optional_c{.name = "C",
                        .pattern = "@PJL SET C(=)OFF\n",
                        .replace = "@PJL SET C\\1ON\n",
                        .captures = {"="}};
  {
    ReplaceTokenListPtr list = make_rules({required_b, optional_c}, enter);
    EXPECT_EQ(rewrite(list.get(), header),
              "@PJL SET A=1\n@PJL SET B=ON\n@PJL ENTER LANGUAGE=PCLXL\n");
  }
  {  // something matched: nothing is inserted
    ReplaceTokenListPtr list = make_rules({required_b, optional_c}, enter);
    const std::string with_c = "@PJL SET C=OFF\n" + header;
    EXPECT_EQ(rewrite(list.get(), with_c), "@PJL SET C=ON\n" + header);
  }
  {  // without capture names the place cannot be filled
    Rule bare = required_b;
    bare.captures = {};
    ReplaceTokenListPtr list = make_rules({bare}, enter);
    EXPECT_EQ(rewrite(list.get(), header), header);
  }
  {  // without an insertion point the run fails
    ReplaceTokenListPtr list = make_rules({required_b});
    EXPECT_EQ(rewrite(list.get(), header), "<failed>");
    EXPECT_TRUE(logged("No place to insert replacements"));
  }
}

TEST_F(ModifyTest, AnAssociatedRuleFollowsTheOtherRulesMatch) {
  const Rule duplex{.name = "DUPLEX",
                    .pattern = "@PJL SET DUPLEX(=)OFF\n",
                    .replace = "@PJL SET DUPLEX\\1ON\n",
                    .required = 1,
                    .captures = {"="}};
  const Rule binding{.name = "BINDING",
                     .pattern = "@PJL SET BINDING(=)LONGEDGE\n",
                     .replace = "@PJL SET BINDING\\1LONGEDGE\n",
                     .required = 1,
                     .captures = {"="}};
  ReplaceTokenListPtr list = make_rules({duplex, binding}, 0);
  ASSERT_EQ(replacement_regex_associate(list.get(), "DUPLEX", "BINDING"), 1);
  EXPECT_EQ(replacement_regex_associate(list.get(), "DUPLEX", "DUPLEX"), 0);
  EXPECT_EQ(replacement_regex_associate(list.get(), "DUPLEX", "NONE"), 0);
  EXPECT_EQ(rewrite(list.get(), "@PJL SET DUPLEX=OFF\n@PJL ENTER LANGUAGE=X\n"),
            "@PJL SET DUPLEX=ON\n@PJL SET BINDING=LONGEDGE\n@PJL ENTER LANGUAGE=X\n");
}

TEST_F(ModifyTest, TheMatchLimitCountsEditsOverTheWholeList) {
  const Rule qty{
      .name = "QTY", .pattern = "@PJL SET QTY=\\d+\n", .replace = "@PJL SET QTY=3\n", .repeat = 1};
  const Rule copies{
      .name = "COPIES", .pattern = "@PJL SET COPIES=\\d+\n", .replace = "@PJL SET COPIES=3\n"};
  ReplaceTokenListPtr list = make_rules({qty, copies}, -1, 1);
  EXPECT_EQ(rewrite(list.get(), "@PJL SET QTY=1\n@PJL SET QTY=1\n@PJL SET COPIES=1\n"),
            "@PJL SET QTY=3\n@PJL SET QTY=1\n@PJL SET COPIES=3\n");
}

// Two lists run into one set of edits (the PJL planner runs one per
// setting): a match of the second list that overlaps an edit of the first (a
// value that runs over into the next command, as the fuzzer wrote it) is
// dropped, so the edits stay valid and the first one stands.
TEST_F(ModifyTest, AMatchOverlappingAnotherListsEditIsDropped) {
  const std::string input =
      "@PJL COMMENT=\"DUPLEX OFF\"\n@PJL SET PRINTINFO=\"X@PJL COMMENT=\"DUPLEX OFF\"\n";
  ReplaceTokenListPtr duplex = make_rules({{.name = "DUPLEX", .pattern = "DUPLEX OFF",
                                            .replace = "DUPLEX ON", .repeat = 1}});
  ReplaceTokenListPtr info = make_rules(
      {{.name = "INFO", .pattern = "@PJL SET PRINTINFO=[^\n]*\n",
        .replace = "@PJL SET PRINTINFO=\"Y\"\n"}});
  ReplacementListPtr edits(replacement_list_create(input.size(), -1, nullptr));
  ASSERT_EQ(replace_token_list_add_replacements(duplex.get(), bytes(input), input.size(), 4, "",
                                                edits.get()),
            1);
  ASSERT_EQ(replace_token_list_add_replacements(info.get(), bytes(input), input.size(), 4, "",
                                                edits.get()),
            1);
  replacement_list_sort(edits.get());
  ASSERT_EQ(replacement_list_is_valid(bytes(input), input.size(), edits.get()), 1);
  BstringPtr out(replacement_list_flatten(bytes(input), input.size(), edits.get()));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(std::string(bdata(out.get()), blength(out.get())),
            "@PJL COMMENT=\"DUPLEX ON\"\n@PJL SET PRINTINFO=\"X@PJL COMMENT=\"DUPLEX ON\"\n");
}

TEST_F(ModifyTest, BadListsFailTheRun) {
  EXPECT_EQ(rewrite({{.name = "A", .pattern = "x"}, {.name = "A", .pattern = "y"}}, "xy"),
            "<failed>");
  EXPECT_TRUE(logged("Duplicate friendly name 'A'"));
  EXPECT_EQ(rewrite({{.name = "", .pattern = "x"}}, "xy"), "<failed>");
  EXPECT_EQ(rewrite({{.pattern = "(x"}}, "xy"), "<failed>");
  EXPECT_EQ(rewrite(std::vector<Rule>{}, "xy"), "xy");
}

TEST_F(ModifyTest, RuleWindowsMustLieInTheListsWindow) {
  ReplaceTokenListPtr list(replace_token_list_create("w", 10, 20, -1, 0));
  EXPECT_EQ(replacement_regex_append(list.get(), "a", "x", 1, 0, REPLACE_TOKEN_WHOLE,
                                     REPLACE_TOKEN_WHOLE, "", nullptr, 0, 0, nullptr),
            1);
  EXPECT_EQ(replacement_regex_append(list.get(), "b", "x", 1, 0, 5, 1, "", nullptr, 0, 0, nullptr),
            0);
  EXPECT_EQ(
      replacement_regex_append(list.get(), "c", "x", 1, 0, 20, 11, "", nullptr, 0, 0, nullptr), 0);
  EXPECT_EQ(
      replacement_regex_append(list.get(), "d", "x", 1, 0, 20, 10, "", nullptr, 0, 0, nullptr), 1);
  EXPECT_EQ(replace_token_list_size(list.get()), 2);
  EXPECT_EQ(replace_token_list_size(nullptr), -1);
  EXPECT_STREQ(replace_token_list_get_name(nullptr), "UNKNOWN ReplaceTokenList");
  EXPECT_TRUE(logged("Invalid offset 5 < 10"));
}

}  // namespace
