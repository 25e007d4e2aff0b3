// The transform-script scanner: a line-oriented tokenizer with one anchored
// pseudo-token pattern per position, strings that continue over lines and
// statements that continue inside parentheses or after a backslash; then
// reserved words are folded and the tokens grouped into statements.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>
#include <vector>

#include "transform/xvp_token.h"

// Longest script line (bytes, line feed included). A longer line fails the
// scan, unless it is made only of blanks, which makes it a blank line.
inline constexpr std::size_t XVP_LINE_MAX = 1048576;

// The pseudo-token pattern, matched anchored at each position of a line:
// blanks, then as group 1 the token (the first alternative that matches).
extern const char XVP_PSEUDO_TOKEN_PATTERN[];

// Reads the script at `script_path` into `statements` (appended; none on
// failure). 1 on success, 0 on failure (logged, to the job log too).
[[nodiscard]] int xvp_scan(std::FILE* job_log, const char* script_path, XvpScript* statements);
// The same over a script held in memory.
[[nodiscard]] int xvp_scan_text(std::FILE* job_log, std::string_view script,
                                XvpScript* statements);
// The tokenizer over an open stream: appends every token, blank-line and
// comment tokens included, to `tokens`. 1 or 0.
[[nodiscard]] int generate_tokens(std::FILE* job_log, std::FILE* in, std::vector<xvp_token>* tokens);
