// Token construction, the integer snap, slices and the magic-name escapes.
#include "transform/xvp_token.h"

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>

#include "foundation/ascii.h"

namespace {

constexpr const char* TOKEN_NAMES[XVP_TOKEN_KINDS] = {
    "NAME",         "NUMBER",    "STRING",      "OP",      "NEWLINE",
    "LPAR",         "RPAR",      "PLUS",        "MINUS",   "STAR",
    "STRING_REGEX", "TOKEN_EOF", "ERRORTOKEN",  "COMMENT", "NL",
};

constexpr std::string_view KEYWORD_OPERATORS[] = {"NOT", "AND", "OR", "XOR"};
constexpr std::string_view KEYWORD_OTHERS[] = {
    "IF",     "THEN",   "ELSE",         "FIND",  "REPLACE", "ADD_HEADER", "STRIP_HEADER",
    "ENABLE_TEST_MODE", "INSERT",       "DELETE", "DELETE_UNTIL", "FIRST", "LAST",
};

// Tolerance of the integer snap.
constexpr double SNAP_EPSILON = 0.000001;

bool starts_and_ends_with(std::string_view text, std::string_view mark) {
  return text.size() >= 2 * mark.size() && text.substr(0, mark.size()) == mark &&
         text.substr(text.size() - mark.size()) == mark;
}

// The value of a number text of the scanner's grammar. A value beyond the
// double range is infinite (the evaluator refuses it); one below it is 0.
double number_value(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    const auto e = text.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
    return tiny ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return error == std::errc{} ? value : 0.0;
}

// Backslash escapes of a double-quoted string, in one pass: "\\" stays two
// backslashes, "\"" is a double quote, "\n", "\t", "\f" are LF, tab and FF;
// any other backslash is kept with the byte after it.
std::string unescape_double_quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    switch (next) {
      case '\\': out += "\\\\"; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'f': out += '\f'; break;
      default:
        out += '\\';
        out += next;
    }
  }
  return out;
}

// "\/" becomes "/" (one pass, so "\\" before a slash stays an escaped
// backslash); the enclosing slashes go.
std::string regex_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      if (text[i + 1] != '/') out += '\\';
      out += text[++i];
      continue;
    }
    out += text[i];
  }
  if (out.size() > 1 && out.front() == '/' && out.back() == '/') out = out.substr(1, out.size() - 2);
  return out;
}

std::string format_number(bool integer, double value) {
  char buffer[512];
  const std::optional<std::int64_t> whole = integer ? xvp_round_to_int64(value) : std::nullopt;
  if (whole.has_value()) {
    std::snprintf(buffer, sizeof buffer, "%" PRId64, *whole);
  } else if (integer && std::isfinite(value)) {
    std::snprintf(buffer, sizeof buffer, "%.0f", std::floor(value + 0.5));
  } else {
    std::snprintf(buffer, sizeof buffer, "%f", value);
  }
  return buffer;
}

// Replaces each byte of `from` by `to` (empty: removes it).
void map_bytes(std::string* text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text->size());
  for (char c : *text) {
    if (from.find(c) != std::string_view::npos) {
      out += to;
    } else {
      out += c;
    }
  }
  *text = std::move(out);
}

// Puts "\" before every byte of `special` and drops CR and LF.
void escape_bytes(std::string* text, std::string_view special) {
  std::string out;
  out.reserve(text->size() + 8);
  for (char c : *text) {
    if (c == '\r' || c == '\n') continue;
    if (special.find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  *text = std::move(out);
}

}  // namespace

std::string xvp_concat(std::initializer_list<std::string_view> parts) {
  std::string out;
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  out.reserve(size);
  for (std::string_view part : parts) out.append(part);
  return out;
}

const char* xvp_token_type_cstr(int kind) {
  return kind >= 0 && kind < XVP_TOKEN_KINDS ? TOKEN_NAMES[kind] : nullptr;
}

xvp_token construct_xvp_token_ex(int line, int kind, std::string_view text) {
  xvp_token token;
  token.kind = kind;
  token.line = line;
  switch (kind) {
    case XVP_NUMBER:
      token.text = text;
      token.value = number_value(text);
      break;
    case XVP_STRING_REGEX:
      token.text = regex_text(text);
      break;
    case XVP_STRING:
      if (text.size() >= 6 && starts_and_ends_with(text, "\"\"\"")) {
        token.text = text.substr(3, text.size() - 6);
      } else if (starts_and_ends_with(text, "\"")) {
        token.text = unescape_double_quoted(text.substr(1, text.size() - 2));
      } else {
        token.text = text;
      }
      break;
    default:
      token.text = text;
  }
  return token;
}

xvp_token construct_xvp_token(int kind, std::string_view text) {
  return construct_xvp_token_ex(-1, kind, text);
}

xvp_token construct_xvp_token_cstr(std::string_view text) {
  xvp_token token;
  token.kind = XVP_STRING;
  token.verbatim = 1;
  token.text = text;
  return token;
}

xvp_token construct_xvp_token_number(bool integer, double value) {
  return construct_xvp_token(XVP_NUMBER, format_number(integer, value));
}

xvp_token xvp_token_copy_negate(const xvp_token& number) {
  const bool integer = number.text.find('.') == std::string::npos;
  return construct_xvp_token_number(integer, -number.value);
}

double snap(double x) {
  if (!std::isfinite(x) || std::fabs(x) > XVP_INTEGER_MAX) return x;
  const double n = std::floor(x + 0.5);
  return std::fabs(x - n) <= SNAP_EPSILON ? n : x;
}

std::optional<std::int64_t> xvp_round_to_int64(double x) {
  if (!std::isfinite(x) || std::fabs(x) > XVP_INTEGER_MAX) return std::nullopt;
  return static_cast<std::int64_t>(std::floor(x + 0.5));
}

bool xvp_is_integral(double x) {
  const double s = snap(x);
  return std::isfinite(s) && std::fabs(s) <= XVP_INTEGER_MAX && s == std::floor(s);
}

void snap_token(xvp_token* token) {
  if (token == nullptr || token->kind != XVP_NUMBER || !xvp_is_integral(token->value)) return;
  token->value = snap(token->value);
  const std::string digits = format_number(true, token->value);
  if (digits.size() <= token->text.size()) token->text = digits;
}

int slice_assign(std::string* dst, std::string_view src, std::int64_t start, std::int64_t end) {
  const auto n = static_cast<std::int64_t>(src.size());
  if (start < 0) start = std::max<std::int64_t>(0, n + start);
  if (end <= 0) end = std::max<std::int64_t>(0, n + end);
  start = std::min(start, n);
  end = std::min(end, n);
  if (end < start) return 0;
  dst->assign(src.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
  return 1;
}

void bfindreplace_cstr(std::string* text, std::string_view find, std::string_view replacement) {
  if (find.empty()) return;
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = text->find(find); at != std::string::npos; at = text->find(find, from)) {
    out.append(*text, from, at - from);
    out += replacement;
    from = at + find.size();
  }
  out.append(*text, from, std::string::npos);
  *text = std::move(out);
}

int xvp_bstring_clean(std::string* text) {
  map_bytes(text, "\"()<>\r\n", "_");
  return 1;
}

int xvp_bstring_escape_pjl(std::string* text) {
  escape_bytes(text, "\\\"");
  return 1;
}

int xvp_bstring_escape_ps(std::string* text) {
  escape_bytes(text, "\\()");
  return 1;
}

bool xvp_equal_caseless(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_to_lower(static_cast<unsigned char>(a[i])) !=
        ascii_to_lower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool xvp_is_keyword_operator(std::string_view text) {
  for (std::string_view word : KEYWORD_OPERATORS) {
    if (xvp_equal_caseless(text, word)) return true;
  }
  return false;
}

bool xvp_is_reserved_symbol(std::string_view text) {
  for (std::string_view word : KEYWORD_OTHERS) {
    if (xvp_equal_caseless(text, word)) return true;
  }
  return false;
}
