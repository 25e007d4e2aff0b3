// The transform-script interpreter: one run of one script over one job. It
// holds the job's variables, runs the statements in order, searches the
// script's strings in the read-only mapped spool file and collects the edits
// the statements ask for. Nothing is changed while the script runs: every
// search sees the spool file as it was, and the edits are applied afterwards
// (xvp_xform.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/ja.h"
#include "foundation/owned.h"
#include "foundation/os_file.h"
#include "transform/xvp_token.h"

struct mapped_mem;

// Kinds of collected edits.
inline constexpr std::int32_t XVP_INSERTION_EDIT = 0;
inline constexpr std::int32_t XVP_INSERTION_STRIP_HEADER = 1;
inline constexpr std::size_t XVP_INSERTION_NAME_SIZE = 128;

// One edit collected by a statement.
struct insertion {
  std::int32_t kind = XVP_INSERTION_EDIT;
  char name[XVP_INSERTION_NAME_SIZE] = {};  // "std", "INSERT", "DELETE", ...
  std::int64_t offset = 0;  // negative: the end of the file (INSERT only)
  std::uint64_t length = 0;  // bytes deleted from the offset on
  std::string text;          // bytes inserted at the offset
};
using insertion_list = std::vector<insertion>;

// Appends one edit; 1 or 0.
[[nodiscard]] int insertion_list_append(insertion_list* list, const char* name, std::int32_t kind,
                                        std::int64_t offset, std::uint64_t length,
                                        std::string_view text);

// The match of one search: groups 0 (the whole match) to 4 with their
// offsets in the file.
struct XvpMatch {
  struct Group {
    bool set = false;
    std::int64_t start = 0;
    std::int64_t end = 0;
  };
  int highest = 0;
  Group groups[5];
};

struct interpreter {
  std::int32_t test_mode = 0;  // EnableTransformTestMode, or a script's ENABLE_TEST_MODE
  std::int32_t verbosity = 1;
  XvpVariables variables;
  XvpVariables match_variables;
  insertion_list edits;
  std::int32_t n_repeats = 1;  // REPEAT_ALL
  JobAttribs ja{};
  const mapped_mem* spool = nullptr;  // owned by the caller
  std::FILE* job_log = nullptr;
  char job_log_path[OS_PATH_BUFFER_SIZE] = {};
  xvp_token false_token;
  xvp_token true_token;
  // Whether the last evaluation's own last string was found and recorded
  // its match: FIND ... REPLACE replaces only at its own match.
  bool recorded_match = false;
};

// A new interpreter over the mapped spool file for the job; the job log is
// opened (without it the run goes on, except in test mode). nullptr on
// failure (logged).
[[nodiscard]] interpreter* interpreter_create(const mapped_mem* spool, const JobAttribs* ja,
                                              int test_mode);
// Releases everything; the job log file is deleted unless test mode is on.
void interpreter_free(interpreter* in);
using InterpreterPtr = Owned<interpreter, interpreter_free>;

// Scans the script and runs its statements in order; the first failing
// statement ends the run with 0 (the statements before it keep their
// effects). A script without statements succeeds.
[[nodiscard]] int interpreter_parse(interpreter* in, const char* script_path);
// The same for a script held in memory.
[[nodiscard]] int interpreter_parse_text(interpreter* in, std::string_view script);
[[nodiscard]] int interpreter_parse_statement(interpreter* in, const XvpStatement& statement);
// Both dictionaries to the job log.
void interpreter_pprint(const interpreter* in);

// ---- expressions, string search and substitution ----

// Replaces names by values, takes the options that follow strings, searches
// every string in the spool file and evaluates. With `record`, the last
// string's match becomes the match variables. A lone token is returned as
// it is unless `always` is set. Empty on failure (logged).
[[nodiscard]] std::optional<xvp_token> interpreter_evaluate_expression(interpreter* in,
                                                                      const XvpStatement& tokens,
                                                                      bool record, bool always);
// The string with "%name%" replaced by variables and "$1", "$ofs1", "$len1"
// by match variables, in one pass: substituted values are not expanded
// again and nothing is unescaped.
[[nodiscard]] xvp_token interpreter_apply_variables(const interpreter* in, const xvp_token& text);
// Searches a STRING (plain bytes) or STRING_REGEX token in `data` within
// the token's window and FIRST/LAST setting: 1 found (the match goes to
// `match` when given), 0 not found, -1 for a bad regular expression, an
// empty search text or a search that hit its limits (logged).
[[nodiscard]] int xvp_regex_match_(std::FILE* job_log, const xvp_token& token,
                                   const std::uint8_t* data, std::uint64_t length,
                                   XvpMatch* match);
// Takes the options that follow each string (window, FIRST, LAST) out of
// the list into the strings; false (logged) for an invalid option.
[[nodiscard]] bool xvp_take_string_options(std::FILE* job_log, XvpStatement* tokens);
// Makes the match variables of a match ($k, $ofsk, $lenk).
void xvp_record_match(interpreter* in, const XvpMatch& match);
// The variable or else the match variable `name`, nullptr when neither
// exists.
[[nodiscard]] const xvp_token* xvp_lookup(const interpreter* in, std::string_view name);
// Whether an assignment to `name` keeps its text as written (the name
// holds "__no_replace__", without case).
[[nodiscard]] bool xvp_name_keeps_text(std::string_view name);
// Sets a variable (replacing an earlier value).
void xvp_set_variable(XvpVariables* variables, std::string_view name, const xvp_token& value);
