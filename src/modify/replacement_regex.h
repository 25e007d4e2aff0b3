// Replace-token rules: a named list of regular-expression rules turned into
// byte edits of a ReplacementList. Each rule (a replace token) finds text in
// the spool data and replaces it with a text built from its replace pattern
// and the groups of the match. A rule can be limited to some languages, to
// printer types, or to jobs in which another pattern occurs; a rule can be
// associated with another so that its text follows the other's replacement
// when it found nothing itself; and rules marked required are inserted at a
// default point when nothing of the list matched.
//
// Results are 1 for success and 0 for failure; every failure is logged where
// it is found. A list is run once: running stores compiled patterns and
// matches in its rules.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/owned.h"

struct ReplacementList;

// Offsets and lengths of -1: no window (list) or the whole data (rule).
inline constexpr std::uint64_t REPLACE_TOKEN_WHOLE = UINT64_MAX;
inline constexpr std::int64_t REPLACE_TOKEN_NO_INSERTION_POINT = -1;

inline constexpr std::size_t REPLACE_TOKEN_NAME_MAX = 79;
inline constexpr std::size_t REPLACE_TOKEN_PATTERN_MAX = 1023;
inline constexpr int REPLACE_TOKEN_CAPTURE_NAMES_MAX = 4;
inline constexpr int REPLACE_TOKEN_ASSOCIATIONS_MAX = 2;
inline constexpr int MATCH_CRITERIA_LANGUAGES_MAX = 10;
// Longest replacement text built for one match.
inline constexpr std::size_t REPLACE_TOKEN_TEXT_MAX = 2047;
// Longest stretch of data one match attempt may see, whatever a rule asks:
// with the engine's own work limits this keeps a costly pattern from turning
// a large job into hours of matching.
inline constexpr std::uint64_t REPLACE_TOKEN_MATCH_SIZE_MAX = 65536;
// Match attempts of one run that may stop at the engine's limits before the
// run gives up.
inline constexpr int REPLACE_TOKEN_MATCH_ERRORS_MAX = 64;

// When a rule applies. Distances and match sizes of -1 are unlimited.
struct MatchCriteria {
  std::int32_t num_languages;  // 0: any language
  std::int32_t languages[MATCH_CRITERIA_LANGUAGES_MAX];
  char printer_type_pattern[REPLACE_TOKEN_PATTERN_MAX + 1];  // empty: any printer
  char presence_pattern[REPLACE_TOKEN_PATTERN_MAX + 1];      // empty: none
  std::int32_t presence_options;
  std::int64_t presence_distance;  // how far into the data its match may start
  std::int64_t presence_match_size;
};

// Clears the criteria; distance and match size -1.
void init_match_criteria(MatchCriteria* criteria);

struct ReplaceTokenList;

// New empty list. `offset` REPLACE_TOKEN_WHOLE: no window checks. The
// default insertion point takes required rules (-1: none); a match limit
// above 0 caps the edits appended by one run. nullptr when memory runs out.
[[nodiscard]] ReplaceTokenList* replace_token_list_create(const char* name, std::uint64_t offset,
                                                          std::uint64_t length,
                                                          std::int64_t default_insertion_point,
                                                          std::int32_t match_limit);
// Frees the rules, their compiled patterns and matches; accepts null.
void replace_token_list_free(ReplaceTokenList* list);
using ReplaceTokenListPtr = Owned<ReplaceTokenList, replace_token_list_free>;

// The name, or "UNKNOWN ReplaceTokenList" for none.
[[nodiscard]] const char* replace_token_list_get_name(const ReplaceTokenList* list);
// Number of rules, -1 for none.
[[nodiscard]] std::int64_t replace_token_list_size(const ReplaceTokenList* list);

// Adds one rule. `pattern` is a regular expression, always matched anchored
// at the position tried; `match_size` bounds the data one match may cover
// (REPLACE_TOKEN_WHOLE: the rest of the data, up to
// REPLACE_TOKEN_MATCH_SIZE_MAX); `offset`/`length` are checked against the
// list's window. In `replace_pattern` a backslash and a digit stand for that
// group of the match. `capture_names` (an array ending with nullptr, or
// nullptr) stand in for groups 1 to 4 when the rule is inserted or
// associated without a match of its own. `criteria` may be nullptr.
[[nodiscard]] int replacement_regex_append(ReplaceTokenList* list, const char* friendly_name,
                                           const char* pattern, std::uint64_t match_size,
                                           int options, std::uint64_t offset,
                                           std::uint64_t length, const char* replace_pattern,
                                           const char* const* capture_names, int required,
                                           int repeat, const MatchCriteria* criteria);

// Makes the text of rule `second` follow the replacement of every match of
// rule `first` when `second` matched nothing itself (at most 2 per rule).
[[nodiscard]] int replacement_regex_associate(ReplaceTokenList* list, const char* first,
                                              const char* second);

// Runs the list over `data` for a job of `language` and `printer_type`
// (nullptr or empty: any) and appends its edits to `replacements`. On
// failure the edits appended so far stay; the caller discards the list.
[[nodiscard]] int replace_token_list_add_replacements(ReplaceTokenList* list,
                                                      const std::uint8_t* data,
                                                      std::uint64_t length, int language,
                                                      const char* printer_type,
                                                      ReplacementList* replacements);

// The same into a new ReplacementList over `length` bytes; nullptr on
// failure.
[[nodiscard]] ReplacementList* replace_token_list_to_replacement_list(ReplaceTokenList* list,
                                                                      const std::uint8_t* data,
                                                                      std::uint64_t length,
                                                                      int language,
                                                                      const char* printer_type);
