// The PJL planner: forces copies, duplex and grayscale by rewriting the SET
// lines of a job's PJL header (and a few makers' PJL comments), inserting
// such lines before the ENTER LANGUAGE line for settings the header does not
// make. The rules are data (planner_pjl_rules.cpp), run by the replace-token
// engine (replacement_regex.h). Also finds the ENTER LANGUAGE line for the
// modification driver before any planner runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct JobAttribs;
struct ReplacementList;
struct watermark_params;

// Bytes searched for "@PJL ENTER LANGUAGE" from the start of the job.
inline constexpr std::uint64_t PJL_ENTER_LANGUAGE_WINDOW = 20480;
// Bytes from the ENTER LANGUAGE line in which its language name is read.
inline constexpr std::uint64_t PJL_ENTER_LANGUAGE_LINE = 50;

// One substitution rule: the line "@PJL <variable>=<value>" whose value
// matches `value_pattern` gets `replacement` (in which "%d" stands for the
// forced value). A rule that is not optional is required: its line is
// inserted when nothing of its list matched and the header does not set the
// variable.
struct substitution_rule {
  const char* name;
  const char* variable;
  const char* value_pattern;
  const char* replacement;
  std::int32_t optional;
};

// The second rule's line follows a match of the first when the header does
// not set the second's variable.
struct association_rule {
  const char* first;
  const char* second;
};

extern const substitution_rule substitution_rules_copies[];
extern const std::size_t substitution_rules_copies_count;
extern const substitution_rule substitution_rules_duplex[];
extern const std::size_t substitution_rules_duplex_count;
extern const association_rule association_rules_duplex[];
extern const std::size_t association_rules_duplex_count;
extern const substitution_rule substitution_rules_grayscale[];
extern const std::size_t substitution_rules_grayscale_count;

// Offset of "@PJL ENTER LANGUAGE" within the first 20480 bytes, -1 when
// there is none. The language it names goes to `language_name` (may be
// nullptr; truncated to `size`), empty when the line starts within 50 bytes
// of the end or names none.
[[nodiscard]] std::int64_t detect_pjl_header(const std::uint8_t* data, std::uint64_t length,
                                             char* language_name, std::size_t size);

// Replacement planner (the modification driver's contract): 1 on success,
// 0 on failure. Sets the copies, duplex and grayscale flags of what it
// carried out. A job without a PJL header succeeds with nothing done.
[[nodiscard]] int plan_replacements_pjl(const watermark_params* request, const JobAttribs* job,
                                        const std::uint8_t* data, std::uint64_t length,
                                        ReplacementList* list);

// Rewrites the items of a Kyocera compound comment (@PJL COMMENT="a;b;c;d;")
// within the first `header_length` bytes: DUPLEX OFF, COLORMODE COLOR and
// QTY n as the request forces them. 0 only when an edit cannot be appended.
[[nodiscard]] int replace_kyocera_compound(const watermark_params* request,
                                           const std::uint8_t* data, std::uint64_t header_length,
                                           ReplacementList* list);

// Runs one rule table over the PJL header (bytes 0 to `header_length`) and
// appends its edits. `format_argument` replaces "%d" in the replacements
// (negative: none). 1 on success, 0 on failure.
[[nodiscard]] int apply_pjl_replace_tokens(ReplacementList* list, const char* list_name,
                                           const std::uint8_t* data, std::uint64_t length,
                                           std::uint64_t header_length, std::int32_t match_limit,
                                           int language, const char* printer_type,
                                           const substitution_rule* rules, std::size_t count,
                                           const association_rule* pairs, std::size_t pair_count,
                                           std::int32_t format_argument);

// The grayscale table and association pairs for a job (driver variants);
// used by plan_replacements_pjl, exposed for its tests.
struct PjlGrayscaleRules {
  std::vector<substitution_rule> rules;
  std::vector<association_rule> pairs;
};
[[nodiscard]] int pjl_grayscale_rules(const JobAttribs* job, const std::uint8_t* data,
                                      std::uint64_t length, const char* pjl_language,
                                      PjlGrayscaleRules* out);
