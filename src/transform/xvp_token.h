// Tokens of the transform-script language and the small utilities that the
// scanner, the evaluator, the interpreter and the string search share: token
// construction by kind, the integer snap every truth test goes through, and
// the escape functions that variable names ending in a magic suffix apply.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Token kinds (the index of xvp_token_type_cstr's names).
enum XvpTokenKind : std::int32_t {
  XVP_NAME = 0,
  XVP_NUMBER = 1,
  XVP_STRING = 2,
  XVP_OP = 3,
  XVP_NEWLINE = 4,
  XVP_LPAR = 5,
  XVP_RPAR = 6,
  XVP_PLUS = 7,
  XVP_MINUS = 8,
  XVP_STAR = 9,
  XVP_STRING_REGEX = 10,
  XVP_TOKEN_EOF = 11,
  XVP_ERRORTOKEN = 12,
  XVP_COMMENT = 13,
  XVP_NL = 14,
};
inline constexpr int XVP_TOKEN_KINDS = 15;

// Search window of a string token: the first MiB of the spool file.
inline constexpr std::int64_t XVP_DEFAULT_SEARCH_LIMIT = 1048576;
// Largest magnitude taken as a 64-bit integer: every integer up to it is
// exact in a double, so offsets, lengths and windows convert without loss.
inline constexpr double XVP_INTEGER_MAX = 9007199254740992.0;  // 2^53

struct xvp_token {
  std::int32_t kind = XVP_NAME;
  std::int32_t line = -1;  // script line it was read on; -1 when built by the program
  double value = 0;        // NUMBER: its value; STRING, STRING_REGEX: 1 found, 0 not
  std::int64_t search_limit = XVP_DEFAULT_SEARCH_LIMIT;  // window of a string search
  std::int32_t last = 0;   // 0: FIRST match, 1: LAST match
  // 1 for a value (a job's text, a capture, a substitution's result) rather
  // than text of the script: variables are never substituted into it again.
  std::int32_t verbatim = 0;
  std::string text;
};

// A statement is a list of tokens; a scanned script is a list of statements.
using XvpStatement = std::vector<xvp_token>;
using XvpScript = std::vector<XvpStatement>;

// A script's variables (and its match variables), in the order they were
// first set.
struct XvpVariable {
  std::string name;
  xvp_token value;
};
using XvpVariables = std::vector<XvpVariable>;

// Name of a kind, nullptr above 14.
[[nodiscard]] const char* xvp_token_type_cstr(int kind);

// A token of a kind from its text, by the kind's rules: a NUMBER takes the
// value of its text; a STRING_REGEX loses its enclosing slashes and has
// "\/" turned into "/"; a double-quoted STRING is unescaped, a triple-quoted
// one is taken as written.
[[nodiscard]] xvp_token construct_xvp_token_ex(int line, int kind, std::string_view text);
[[nodiscard]] xvp_token construct_xvp_token(int kind, std::string_view text);
// A STRING holding `text` exactly (no unescaping), marked verbatim.
[[nodiscard]] xvp_token construct_xvp_token_cstr(std::string_view text);
// A NUMBER of `value`, printed as an integer (rounded half up) with
// `integer`, else with six decimals; the value is the printed value.
[[nodiscard]] xvp_token construct_xvp_token_number(bool integer, double value);
// A NUMBER of the negated value, printed as an integer when the token's text
// has no ".".
[[nodiscard]] xvp_token xvp_token_copy_negate(const xvp_token& number);

// floor(x + 0.5) when x lies within 1e-6 of that integer, else x. Values
// that are not finite or beyond XVP_INTEGER_MAX are returned as they are.
[[nodiscard]] double snap(double x);
// The integer a value stands for: floor(x + 0.5), when x is finite and
// within XVP_INTEGER_MAX; empty otherwise.
[[nodiscard]] std::optional<std::int64_t> xvp_round_to_int64(double x);
// true when snap(x) is an integer.
[[nodiscard]] bool xvp_is_integral(double x);
// Sets a NUMBER whose value snaps to an integer to that integer, and its
// text to the integer's digits when they are no longer than the text.
void snap_token(xvp_token* token);

// dst = src[start, end): a negative start counts from the end; an end of 0
// or less counts from the end (0: to the end). 0 when the range is reversed.
[[nodiscard]] int slice_assign(std::string* dst, std::string_view src, std::int64_t start,
                               std::int64_t end);
// Replaces every occurrence of `find` (not empty) by `replacement`.
void bfindreplace_cstr(std::string* text, std::string_view find, std::string_view replacement);

// The magic-name functions, applied to variable values (result 1 or 0).
// clean: double quote, "(", ")", "<", ">", CR and LF become "_".
[[nodiscard]] int xvp_bstring_clean(std::string* text);
// PJL string value: "\" and the double quote are escaped with "\", CR and
// LF are removed (a value can never start a line of its own).
[[nodiscard]] int xvp_bstring_escape_pjl(std::string* text);
// PostScript string literal: "\", "(" and ")" are escaped with "\", CR and
// LF are removed.
[[nodiscard]] int xvp_bstring_escape_ps(std::string* text);

// The parts joined into one text (appended: gcc 12 misreads chains of
// operator+ on strings as overlapping copies).
[[nodiscard]] std::string xvp_concat(std::initializer_list<std::string_view> parts);

// Reserved words.
[[nodiscard]] bool xvp_is_keyword_operator(std::string_view text);
// One of the 13 other reserved words (IF, THEN, ... LAST), without case.
[[nodiscard]] bool xvp_is_reserved_symbol(std::string_view text);
[[nodiscard]] bool xvp_equal_caseless(std::string_view a, std::string_view b);
