// The records behind replacement_regex.h, shared by its source files only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/bstrlib.h"
#include "foundation/regex.h"
#include "foundation/regex_first_bytes.h"
#include "modify/replacement_regex.h"

// A replace pattern split at its places: texts[0], group digits[0],
// texts[1], ... texts[digits.size()].
struct ReplacementFormat {
  std::vector<std::string> texts;
  std::vector<int> digits;
};

struct ReplaceTokenMatch {
  std::int64_t offset = -1;
  std::uint64_t length = 0;
  std::int32_t used = 0;
  BstringPtr replacement;  // none: the matched bytes are deleted
};

struct ReplaceToken {
  std::int32_t index = 0;
  std::string friendly_name;
  std::string pattern;
  std::string replace_pattern;
  std::uint64_t match_size = REPLACE_TOKEN_WHOLE;
  int options = 0;
  std::uint64_t offset = 0;
  std::uint64_t length = REPLACE_TOKEN_WHOLE;
  bool repeat = false;
  bool required = false;
  // Slot 0 is always empty; the count is the number of names plus 1, or 0.
  int capture_count = 0;
  std::string capture_names[REPLACE_TOKEN_CAPTURE_NAMES_MAX + 1];
  int association_count = 0;
  std::int32_t associations[REPLACE_TOKEN_ASSOCIATIONS_MAX] = {};
  MatchCriteria criteria{};
  // Filled while running.
  RegexFirstByteTable first_bytes{};
  std::uint64_t search_end = 0;
  RegexPtr compiled;
  ReplacementFormat format;
  RegexPtr printer_type_compiled;
  RegexFirstByteTable presence_first_bytes{};
  RegexPtr presence_compiled;
  std::vector<ReplaceTokenMatch> matches;
};

struct ReplaceTokenList {
  std::string name;
  std::vector<std::unique_ptr<ReplaceToken>> tokens;
  std::uint64_t offset = REPLACE_TOKEN_WHOLE;
  std::uint64_t length = 0;
  std::int64_t default_insertion_point = REPLACE_TOKEN_NO_INSERTION_POINT;
  std::int32_t match_limit = 0;
};

// The rules of a list that passed the criteria (borrowed), in list order.
struct ReplaceTokenView {
  std::string name;
  std::vector<ReplaceToken*> tokens;
  std::int64_t default_insertion_point = REPLACE_TOKEN_NO_INSERTION_POINT;
  std::int32_t match_limit = 0;
};

// Splits a replace pattern at each backslash-digit pair.
void compile_replacement_format(const std::string& replace_pattern, ReplacementFormat* format);

// The text of a format filled from `count` substrings (slot 0 the whole
// match), each given as bytes and length. nullptr when the format has a place
// the substrings cannot fill, when more than 5 substrings are given, or when
// the text would exceed REPLACE_TOKEN_TEXT_MAX; `too_long` tells the last
// case apart.
[[nodiscard]] bstring apply_replacement_format(const ReplacementFormat& format,
                                               const std::string_view* substrings, int count,
                                               bool* too_long);

// The rule's text with its capture names in place of the groups (inserted
// or associated without a match of its own); nullptr when there is none.
[[nodiscard]] bstring token_text_from_capture_names(const ReplaceToken& token);

// The passes of a run (replacement_regex_run.cpp, replacement_regex_apply.cpp).
[[nodiscard]] int compile_token_list(ReplaceTokenList* list);
[[nodiscard]] int build_token_view(ReplaceTokenList* list, const std::uint8_t* data,
                                   std::uint64_t length, int language, const char* printer_type,
                                   ReplaceTokenView* view);
[[nodiscard]] int exec_token_list(ReplaceTokenView* view, const std::uint8_t* data,
                                  std::uint64_t length);
[[nodiscard]] int associate_token_list(ReplaceTokenList* list, ReplaceTokenView* view);
[[nodiscard]] int apply_matched_tokens(ReplaceTokenView* view, ReplacementList* replacements);
[[nodiscard]] int do_pure_insertions(ReplaceTokenView* view, ReplacementList* replacements);
