// The transform-script expression evaluator: a top-down operator-precedence
// parser that computes while it parses. Its input is an expression whose
// names were already replaced by values and whose strings were searched in
// the spool file, so a string literal's number is its found flag.
#pragma once

#include <cstdio>
#include <optional>
#include <string_view>

#include "transform/xvp_token.h"

// Value types of the evaluator.
enum XvpValueType : int { XVP_UNDEF = 0, XVP_T_STR = 1, XVP_T_NUM = 2, XVP_T_BOOL = 3, XVP_T_OP = 4 };

// Nested operand parses allowed beyond the first (twelve nested
// parentheses are too many).
inline constexpr int XVP_EVAL_MAX_DEPTH = 10;

// The value of the expression: a string literal's copy (found flag as its
// value), a NUMBER for a number (integral values as integers, others with
// six decimals), "1" or "0" for a truth value. Empty on failure (logged).
[[nodiscard]] std::optional<xvp_token> xvp_evaluate_expression(std::FILE* job_log,
                                                               const XvpStatement& tokens);
// Whether the operator table has a row for `text` (without case).
[[nodiscard]] bool is_supported_operator(std::string_view text);
