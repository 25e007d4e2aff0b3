// String search in the spool file, match variables, the preparation of an
// expression for the evaluator, and variable substitution into texts.
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <string>

#include "foundation/ascii.h"
#include "foundation/config.h"
#include "foundation/mapped_mem.h"
#include "foundation/owned.h"
#include "foundation/regex.h"
#include "foundation/search.h"
#include "foundation/timeout.h"
#include "transform/xvp_cook.h"
#include "transform/xvp_eval.h"
#include "transform/xvp_logs.h"

namespace {

using RegexPtr = Owned<Regex, regex_free>;

using MagicFunction = int (*)(std::string*);
struct MagicName {
  const char* suffix;
  MagicFunction function;
};
// Suffixes of variable names that escape the value for where it is used.
constexpr MagicName MAGIC_NAME_FUNCS[] = {
    {"__clean__", xvp_bstring_clean},
    {"__esc_pjl__", xvp_bstring_escape_pjl},
    {"__esc_ps__", xvp_bstring_escape_ps},
};
constexpr char NO_REPLACE[] = "__no_replace__";
// Options and names are shown cut to this many characters.
constexpr int SHOWN_MAX = 127;
// Attempts of a LAST search between two looks at the clock.
constexpr std::uint64_t SEARCH_POLL_ATTEMPTS = 10000;

bool is_string(const xvp_token& t) { return t.kind == XVP_STRING || t.kind == XVP_STRING_REGEX; }

bool is_number_text(const std::string& text) {
  static const RegexPtr number(
      regex_compile(R"(^[+-]?(?:\d+(?:\.\d*)?|(?:\d*\.)?\d+)$)", PCRE_DOLLAR_ENDONLY));
  return number != nullptr && regex_match(number.get(), text.data(), text.size()) == 1;
}

// A captured text as a value: "true"/"false" and numbers are NUMBERs, other
// texts STRINGs. The text stays as captured, so that "$1" substitutes the
// bytes that were matched ("007", "3.5").
xvp_token capture_token(const std::string& text) {
  if (xvp_equal_caseless(text, "true") || xvp_equal_caseless(text, "false")) {
    xvp_token t = construct_xvp_token(XVP_NUMBER, text);
    t.value = xvp_equal_caseless(text, "true") ? 1 : 0;
    return t;
  }
  if (is_number_text(text)) {
    xvp_token t = construct_xvp_token(XVP_NUMBER, text);
    if (std::isfinite(t.value)) return t;
  }
  return construct_xvp_token_cstr(text);
}

// The bytes of the window a token searches: [0, end).
std::uint64_t window_end(const xvp_token& token, std::uint64_t length) {
  std::int64_t w = token.search_limit;
  if (w <= 0) {
    // 0 covers the file, -n all but its last n bytes.
    const std::int64_t size = static_cast<std::int64_t>(std::min<std::uint64_t>(length, INT64_MAX));
    w = w < -size ? 0 : size + w;
  }
  return std::min(length, static_cast<std::uint64_t>(w));
}

// Whether a pattern can overlap itself (it has a proper border).
bool self_overlapping(std::string_view p) {
  for (std::size_t k = 1; k < p.size(); ++k) {
    if (p.substr(0, k) == p.substr(p.size() - k)) return true;
  }
  return false;
}

int search_text(const xvp_token& token, const std::uint8_t* data, std::uint64_t end,
                XvpMatch* match) {
  const std::string& text = token.text;
  const std::uint8_t* hit = nullptr;
  if (token.last == 0) {
    hit = search_bm(data, end, text.data(), text.size());
  } else if (!self_overlapping(text)) {
    // Occurrences cannot overlap, so the last of the matches found one after
    // the other is simply the last occurrence.
    hit = search_bm_reverse(data, end, text.data(), text.size());
  } else {
    for (std::uint64_t from = 0; from < end;) {
      const std::uint8_t* next = search_bm(data + from, end - from, text.data(), text.size());
      if (next == nullptr) break;
      hit = next;
      from = static_cast<std::uint64_t>(next - data) + text.size();
    }
  }
  if (hit == nullptr) return 0;
  if (match != nullptr) {
    *match = XvpMatch{};
    match->groups[0] = {true, hit - data, hit - data + static_cast<std::int64_t>(text.size())};
  }
  return 1;
}

void take_groups(const std::int64_t* ov, int rc, XvpMatch* match) {
  *match = XvpMatch{};
  const int pairs = rc <= 0 ? 5 : std::min(rc, 5);
  for (int g = 0; g < pairs; ++g) {
    if (ov[2 * g] < 0 || ov[2 * g + 1] < ov[2 * g]) continue;
    match->groups[g] = {true, ov[2 * g], ov[2 * g + 1]};
    match->highest = g;
  }
}

// The regular-expression search. LAST walks the matches as perl's //g does:
// after an empty match the next attempt at the same place must not be empty
// (else it moves on one byte), and every attempt sees the whole subject.
int search_regex(std::FILE* log, const xvp_token& token, const std::uint8_t* data,
                 std::uint64_t end, XvpMatch* match) {
  char error[256] = "";
  int error_offset = 0;
  const RegexPtr regex(regex_compile_ex(token.text.c_str(), PCRE_MULTILINE | PCRE_DOTALL, error,
                                        sizeof error, &error_offset));
  if (regex == nullptr) {
    XVP_ERROR(log, "Bad regular expression:\n\tpattern=%s\n\terror='%s' at offset %d",
              token.text.c_str(), error, error_offset);
    return -1;
  }
  std::int64_t ov[15] = {};
  std::int64_t found[15] = {};
  int found_rc = -1;
  std::uint64_t at = 0;
  int options = 0;
  // A LAST search of a pattern that matches everywhere makes one attempt per
  // match: bounded by the analyzers' time limit, polled by count.
  Timeout limit{};
  TimeoutStart(&limit);
  TimeoutSetLimit(&limit, global_ctx.parse_timeout);
  for (std::uint64_t attempts = 1;; ++attempts) {
    if (attempts % SEARCH_POLL_ATTEMPTS == 0 && TimeoutIsTimeUp(&limit)) {
      XVP_ERROR(log, "Regular expression search took more than %d seconds: pattern=%s",
                global_ctx.parse_timeout, token.text.c_str());
      return -1;
    }
    int rc = 0;
    if (regex_exec_at(regex.get(), data, end, at, options, ov, 15, &rc) == 0) {
      if (rc != -1) {
        XVP_ERROR(log, "Regular expression search failed (error %d): pattern=%s", rc,
                  token.text.c_str());
        return -1;
      }
      if (options == 0 || at >= end) break;
      options = 0;  // no non-empty match where the empty one was: move on
      ++at;
      continue;
    }
    std::memcpy(found, ov, sizeof found);
    found_rc = rc;
    if (token.last == 0) break;
    at = static_cast<std::uint64_t>(ov[1]);
    options = ov[1] == ov[0] ? REGEX_EXEC_NOTEMPTY_ATSTART | REGEX_EXEC_ANCHORED : 0;
  }
  if (found_rc < 0) return 0;
  if (match != nullptr) take_groups(found, found_rc, match);
  return 1;
}

std::string shown(const std::string& text) { return text.substr(0, SHOWN_MAX); }

// The value of a name in an expression: TRUE and FALSE, else the variable or
// match variable, escaped when the name carries a magic suffix.
std::optional<xvp_token> value_of_name(const interpreter* in, const xvp_token& name) {
  if (xvp_equal_caseless(name.text, "TRUE")) return in->true_token;
  if (xvp_equal_caseless(name.text, "FALSE")) return in->false_token;
  std::string base = name.text;
  MagicFunction function = nullptr;
  for (const MagicName& magic : MAGIC_NAME_FUNCS) {
    if (base.find(magic.suffix) == std::string::npos) continue;
    bfindreplace_cstr(&base, magic.suffix, "");
    function = magic.function;
    break;
  }
  const xvp_token* value = xvp_lookup(in, base);
  if (value == nullptr) return std::nullopt;
  if (function == nullptr || value->kind != XVP_STRING) return *value;
  std::string text = value->text;
  (void)function(&text);
  return construct_xvp_token_cstr(text);
}

bool replace_names(interpreter* in, XvpStatement* tokens) {
  for (xvp_token& t : *tokens) {
    if (t.kind != XVP_NAME || xvp_is_reserved_symbol(t.text)) continue;
    std::optional<xvp_token> value = value_of_name(in, t);
    if (!value.has_value()) {
      XVP_STATEMENT_ERROR(in->job_log, *tokens, "No value for token %s", t.text.c_str());
      return false;
    }
    value->line = t.line;
    t = std::move(*value);
  }
  return true;
}

// A window option: a finite number within the 64-bit range of offsets.
bool window_option(std::FILE* log, const xvp_token& option, xvp_token* string) {
  const double w = std::trunc(option.value);
  if (!std::isfinite(w) || std::fabs(w) > XVP_INTEGER_MAX) {
    XVP_ERROR(log, "Invalid search window '%s' for string '%s'", shown(option.text).c_str(),
              shown(string->text).c_str());
    return false;
  }
  string->search_limit = static_cast<std::int64_t>(w);
  return true;
}

}  // namespace

bool xvp_take_string_options(std::FILE* log, XvpStatement* tokens) {
  XvpStatement out;
  out.reserve(tokens->size());
  for (std::size_t i = 0; i < tokens->size(); ++i) {
    out.push_back((*tokens)[i]);
    xvp_token& string = out.back();
    if (!is_string(string)) continue;
    int options = 0;
    for (; i + 1 < tokens->size(); ++i, ++options) {
      const xvp_token& option = (*tokens)[i + 1];
      if (option.kind == XVP_NUMBER) {
        if (!window_option(log, option, &string)) return false;
      } else if (option.kind == XVP_NAME) {
        if (xvp_equal_caseless(option.text, "FIRST")) {
          string.last = 0;
        } else if (xvp_equal_caseless(option.text, "LAST")) {
          string.last = 1;
        } else if (options == 0) {
          XVP_ERROR(log, "Invalid STRING option '%s' for string '%s'", shown(option.text).c_str(),
                    shown(string.text).c_str());
          return false;
        }
      } else {
        break;
      }
    }
  }
  *tokens = std::move(out);
  return true;
}

int xvp_regex_match_(std::FILE* job_log, const xvp_token& token, const std::uint8_t* data,
                     std::uint64_t length, XvpMatch* match) {
  if (token.text.empty()) {
    XVP_ERROR(job_log, "Empty search text: nothing can be searched for");
    return -1;
  }
  const std::uint64_t end = window_end(token, length);
  if (token.kind == XVP_STRING_REGEX) return search_regex(job_log, token, data, end, match);
  return search_text(token, data, end, match);
}

void xvp_set_variable(XvpVariables* variables, std::string_view name, const xvp_token& value) {
  for (XvpVariable& v : *variables) {
    if (v.name == name) {
      v.value = value;
      return;
    }
  }
  variables->push_back(XvpVariable{std::string(name), value});
}

const xvp_token* xvp_lookup(const interpreter* in, std::string_view name) {
  for (const XvpVariables* dict : {&in->variables, &in->match_variables}) {
    for (const XvpVariable& v : *dict) {
      if (v.name == name) return &v.value;
    }
  }
  return nullptr;
}

void xvp_record_match(interpreter* in, const XvpMatch& match) {
  const auto* data = in->spool->data;
  in->match_variables.clear();
  for (int k = 0; k <= match.highest; ++k) {
    const XvpMatch::Group& g = match.groups[k];
    if (!g.set) continue;
    const std::string text(reinterpret_cast<const char*>(data) + g.start,
                           static_cast<std::size_t>(g.end - g.start));
    const std::string n = std::to_string(k);
    xvp_set_variable(&in->match_variables, xvp_concat({"$", n}), capture_token(text));
    xvp_set_variable(&in->match_variables, xvp_concat({"$ofs", n}),
                     construct_xvp_token_number(true, static_cast<double>(g.start)));
    xvp_set_variable(&in->match_variables, xvp_concat({"$len", n}),
                     construct_xvp_token_number(true, static_cast<double>(g.end - g.start)));
  }
}

std::optional<xvp_token> interpreter_evaluate_expression(interpreter* in,
                                                         const XvpStatement& tokens, bool record,
                                                         bool always) {
  in->recorded_match = false;
  XvpStatement list = tokens;
  if (!replace_names(in, &list) || !xvp_take_string_options(in->job_log, &list)) {
    return std::nullopt;
  }
  if (list.size() == 1 && !always) return list.front();
  std::size_t last_string = list.size();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (is_string(list[i])) last_string = i;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (!is_string(list[i])) continue;
    XvpMatch match;
    const int found = xvp_regex_match_(in->job_log, list[i], in->spool->data, in->spool->size,
                                       &match);
    if (found < 0) return std::nullopt;
    list[i].value = found;
    if (record && i == last_string && found == 1) {
      xvp_record_match(in, match);
      in->recorded_match = true;
    }
  }
  return xvp_evaluate_expression(in->job_log, list);
}

namespace {

// The value a "%name%" reference stands for: the variable `name`, escaped
// by the magic suffixes in its own name; a reference whose name carries a
// magic suffix that the variable lacks escapes that variable's value.
std::optional<std::string> reference_value(const interpreter* in, const std::string& name) {
  std::string base = name;
  const xvp_token* value = nullptr;
  for (const XvpVariable& v : in->variables) {
    if (v.name == name) value = &v.value;
  }
  if (value == nullptr) {
    for (const MagicName& magic : MAGIC_NAME_FUNCS) bfindreplace_cstr(&base, magic.suffix, "");
    if (base == name) return std::nullopt;
    for (const XvpVariable& v : in->variables) {
      if (v.name == base) value = &v.value;
    }
    if (value == nullptr) return std::nullopt;
  }
  std::string text = value->text;
  for (const MagicName& magic : MAGIC_NAME_FUNCS) {
    if (name.find(magic.suffix) != std::string::npos && !magic.function(&text)) {
      LOG_ERROR("Magic '%s' failed for var '%s'", magic.suffix, name.c_str());
      return std::nullopt;
    }
  }
  return text;
}

// The longest match variable named at `at` ("$1", "$ofs1", "$len1").
const XvpVariable* match_variable_at(const interpreter* in, const std::string& text,
                                     std::size_t at) {
  const XvpVariable* best = nullptr;
  for (const XvpVariable& v : in->match_variables) {
    if (text.compare(at, v.name.size(), v.name) == 0 &&
        (best == nullptr || v.name.size() > best->name.size())) {
      best = &v;
    }
  }
  return best;
}

}  // namespace

xvp_token interpreter_apply_variables(const interpreter* in, const xvp_token& token) {
  (void)TV_ASSERT(token.kind == XVP_STRING);
  const std::string& text = token.text;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '%') {
      const std::size_t close = text.find('%', i + 1);
      if (close != std::string::npos) {
        const std::optional<std::string> value = reference_value(in, text.substr(i + 1, close - i - 1));
        if (value.has_value()) {
          out += *value;
          i = close + 1;
          continue;
        }
      }
    } else if (text[i] == '$') {
      if (const XvpVariable* v = match_variable_at(in, text, i); v != nullptr) {
        out += v->value.text;
        i += v->name.size();
        continue;
      }
    }
    out += text[i++];
  }
  return construct_xvp_token_cstr(out);
}

bool xvp_name_keeps_text(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = ascii_to_lower(c);
  return lower.find(NO_REPLACE) != std::string::npos;
}
