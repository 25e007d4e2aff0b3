// The expression evaluator. Errors are signalled, not thrown: the first one
// is kept and every parse returns at once after it, so nothing is computed
// from a failed operand.
#include "transform/xvp_eval.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <strings.h>
#include <string>
#include <vector>

#include "transform/xvp_logs.h"

namespace {

struct EvalState;

struct eval_value {
  int type = XVP_UNDEF;
  double number = 0;
  const xvp_token* token = nullptr;  // the literal the value came from
};

using PrefixHandler = eval_value (*)(EvalState& s, const char* id);
using InfixHandler = eval_value (*)(EvalState& s, const char* id, int lbp, const eval_value& left);

struct TokenRow {
  const char* id;
  int lbp;
  PrefixHandler prefix;
  InfixHandler infix;
};

struct eval_entry {
  const TokenRow* row = nullptr;  // none for a literal
  eval_value value;
};

constexpr const char* VALUE_TYPE_NAMES[] = {"UNDEF", "T_STR", "T_NUM", "T_BOOL", "T_OP"};
constexpr std::size_t EVAL_ERROR_MAX = 127;

struct EvalState {
  std::vector<eval_entry> entries;
  std::size_t pos = 0;
  int depth = 0;
  bool end = false;
  bool error = false;
  std::string error_text;
  std::FILE* log = nullptr;

  const eval_entry* current() const { return end || pos >= entries.size() ? nullptr : &entries[pos]; }
};

void signal(EvalState& s, const char* format, ...) SW_PRINTF(2, 3);
void signal(EvalState& s, const char* format, ...) {
  if (s.error) return;
  char text[EVAL_ERROR_MAX + 1];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  s.error = true;
  s.error_text = text;
  (void)TV_ASSERT(false);
}

void advance(EvalState& s) {
  if (s.end) {
    signal(s, "Invalid statement");
    return;
  }
  if (++s.pos >= s.entries.size()) s.end = true;
}

// How a value is named in messages: by its literal's kind, else its type.
const char* value_name(const eval_value& v) {
  if (v.token != nullptr) return xvp_token_type_cstr(v.token->kind);
  return v.type >= 0 && v.type <= XVP_T_OP ? VALUE_TYPE_NAMES[v.type] : "UNDEF";
}

bool is_truth_operand(const eval_value& v) {
  return v.type == XVP_T_STR || v.type == XVP_T_NUM || v.type == XVP_T_BOOL;
}

eval_value undefined() { return eval_value{}; }

eval_value boolean(bool on) { return eval_value{XVP_T_BOOL, on ? 1.0 : 0.0, nullptr}; }

eval_value parse(EvalState& s, int rbp);

// ---- prefix handlers ----

eval_value prefix_group(EvalState& s, const char*) {
  const eval_value v = parse(s, 0);
  if (s.error) return undefined();
  const eval_entry* close = s.current();
  if (close == nullptr || close->row == nullptr || std::string_view(close->row->id) != ")") {
    signal(s, "Missing ')'");
    return undefined();
  }
  advance(s);
  return v;
}

eval_value prefix_not(EvalState& s, const char*) {
  const eval_value v = parse(s, 1);
  if (s.error) return undefined();
  if (!is_truth_operand(v)) {
    signal(s, "Value after NOT is not boolean");
    return undefined();
  }
  return boolean(snap(v.number) == 0);
}

eval_value prefix_negate(EvalState& s, const char*) {
  const eval_value v = parse(s, 10);
  if (s.error) return undefined();
  if (v.type != XVP_T_NUM) {
    signal(s, "Value to right of - is not a number");
    return undefined();
  }
  return eval_value{XVP_T_NUM, -v.number, v.token};
}

// ---- infix handlers ----

// The operand to the right of a binary operator, at its binding power
// ("^" one lower, so that it is right-associative).
eval_value right_operand(EvalState& s, const char* id, int lbp) {
  return parse(s, std::string_view(id) == "^" ? lbp - 1 : lbp);
}

bool integer_operand(EvalState& s, const eval_value& v, const char* side, std::int64_t* out) {
  const std::optional<std::int64_t> n = xvp_round_to_int64(v.number);
  if (!n.has_value() || static_cast<double>(*n) != snap(v.number)) {
    signal(s, "Value to %s of %% is not an integer", side);
    return false;
  }
  *out = *n;
  return true;
}

std::optional<double> compute(EvalState& s, char op, double l, double r, const eval_value& left,
                              const eval_value& right) {
  switch (op) {
    case '+': return l + r;
    case '-': return l - r;
    case '*': return l * r;
    case '/':
      if (r == 0) {
        signal(s, "Divide by zero");
        return std::nullopt;
      }
      return l / r;
    case '%': {
      std::int64_t a = 0;
      std::int64_t b = 0;
      if (!integer_operand(s, left, "left", &a) || !integer_operand(s, right, "right", &b)) {
        return std::nullopt;
      }
      if (b == 0) {
        signal(s, "Divide by zero (mod)");
        return std::nullopt;
      }
      // Both lie within 2^53, so the remainder cannot overflow.
      return static_cast<double>(a % b);
    }
    default: return std::pow(l, r);  // '^': 0^0 is 1, (-2)^2 is 4
  }
}

eval_value infix_arithmetic(EvalState& s, const char* id, int lbp, const eval_value& left) {
  const eval_value right = right_operand(s, id, lbp);
  if (s.error) return undefined();
  if (left.type != XVP_T_NUM) {
    signal(s, "Value to left of %s is not a number", id);
    return undefined();
  }
  if (right.type != XVP_T_NUM) {
    signal(s, "Value to right of %s is not a number", id);
    return undefined();
  }
  const std::optional<double> result = compute(s, id[0], left.number, right.number, left, right);
  if (!result.has_value()) return undefined();
  if (std::isnan(*result)) {
    signal(s, "NaN");
    return undefined();
  }
  if (std::isinf(*result)) {
    signal(s, "Inf");
    return undefined();
  }
  return eval_value{XVP_T_NUM, *result, right.token};
}

// Caseless comparison first, byte comparison to break a tie.
int compare_texts(const std::string& a, const std::string& b) {
  const int caseless = strcasecmp(a.c_str(), b.c_str());
  if (caseless != 0) return caseless;
  return a.compare(b);
}

eval_value infix_compare(EvalState& s, const char* id, int lbp, const eval_value& left) {
  const eval_value right = right_operand(s, id, lbp);
  if (s.error) return undefined();
  double d = 0;
  if (left.type == XVP_T_NUM && right.type == XVP_T_NUM) {
    d = snap(left.number) - snap(right.number);
  } else if (left.type == XVP_T_STR && right.type == XVP_T_STR && left.token && right.token) {
    d = compare_texts(left.token->text, right.token->text);
  } else {
    const std::string_view op = id;
    signal(s, "Incompatible types : %s %s %s", value_name(left), op == "==" ? "=" : id,
           value_name(right));
    return undefined();
  }
  const std::string_view op = id;
  if (op == "==") return boolean(d == 0);
  if (op == "!=") return boolean(d != 0);
  if (op == "<") return boolean(d < 0);
  if (op == ">") return boolean(d > 0);
  if (op == "<=") return boolean(d <= 0);
  return boolean(d >= 0);
}

eval_value infix_logic(EvalState& s, const char* id, int lbp, const eval_value& left) {
  const eval_value right = right_operand(s, id, lbp);
  if (s.error) return undefined();
  if (!is_truth_operand(left)) {
    signal(s, "Value to left of %s is not boolean", id);
    return undefined();
  }
  if (!is_truth_operand(right)) {
    signal(s, "Value to right of %s is not boolean", id);
    return undefined();
  }
  const double l = snap(left.number);
  const double r = snap(right.number);
  const std::string_view op = id;
  if (op == "AND") return boolean(l != 0 && r != 0);
  if (op == "OR") return boolean(l != 0 || r != 0);
  return boolean(l != r);  // XOR: the values differ
}

constexpr TokenRow TOKEN_TABLE[] = {
    {"(", 0, prefix_group, nullptr},     {")", 0, nullptr, nullptr},
    {"NOT", 1, prefix_not, nullptr},     {"AND", 5, nullptr, infix_logic},
    {"OR", 5, nullptr, infix_logic},     {"XOR", 5, nullptr, infix_logic},
    {"==", 7, nullptr, infix_compare},   {"!=", 7, nullptr, infix_compare},
    {"<", 9, nullptr, infix_compare},    {">", 9, nullptr, infix_compare},
    {"<=", 9, nullptr, infix_compare},   {">=", 9, nullptr, infix_compare},
    {"+", 10, nullptr, infix_arithmetic}, {"-", 10, prefix_negate, infix_arithmetic},
    {"*", 20, nullptr, infix_arithmetic}, {"/", 20, nullptr, infix_arithmetic},
    {"%", 20, nullptr, infix_arithmetic}, {"^", 30, nullptr, infix_arithmetic},
};

const TokenRow* get_op_token(std::string_view text) {
  for (const TokenRow& row : TOKEN_TABLE) {
    if (xvp_equal_caseless(text, row.id)) return &row;
  }
  return nullptr;
}

struct DepthGuard {
  explicit DepthGuard(EvalState& s) : s_(s) { ++s_.depth; }
  ~DepthGuard() { --s_.depth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  EvalState& s_;
};

eval_value parse(EvalState& s, int rbp) {
  if (s.depth > XVP_EVAL_MAX_DEPTH) signal(s, "Stack overflow");
  if (s.error) return undefined();
  const eval_entry* first = s.current();
  if (first == nullptr && !s.entries.empty()) {
    signal(s, "Invalid statement");  // an operand is missing
    return undefined();
  }
  if (first == nullptr) {
    XVP_ERROR(s.log, "No token!!");
    signal(s, "Internal error");
    return undefined();
  }
  DepthGuard guard(s);
  const eval_entry entry = *first;
  advance(s);
  eval_value left = entry.row == nullptr ? entry.value
                    : entry.row->prefix != nullptr ? entry.row->prefix(s, entry.row->id)
                                                   : entry.value;
  while (!s.error && s.current() != nullptr && s.current()->row != nullptr &&
         rbp < s.current()->row->lbp) {
    const TokenRow* op = s.current()->row;
    advance(s);
    if (op->infix == nullptr) {
      signal(s, "Operator '%s' cannot follow an operand", op->id);
      break;
    }
    left = op->infix(s, op->id, op->lbp, left);
  }
  return s.error ? undefined() : left;
}

// The entries of the expression; false (logged) for a token that cannot be
// evaluated.
bool build_entries(EvalState& s, const XvpStatement& tokens) {
  for (const xvp_token& t : tokens) {
    eval_entry e;
    switch (t.kind) {
      case XVP_NUMBER:
        if (!std::isfinite(t.value)) signal(s, std::isnan(t.value) ? "NaN" : "Inf");
        e.value = eval_value{XVP_T_NUM, t.value, &t};
        break;
      case XVP_STRING:
      case XVP_STRING_REGEX:
        e.value = eval_value{XVP_T_STR, t.value, &t};
        break;
      case XVP_OP:
        e.row = get_op_token(t.text);
        if (e.row == nullptr) signal(s, "Cannot evaluate token '%s'", t.text.c_str());
        e.value = eval_value{XVP_T_OP, -999.9, nullptr};
        break;
      default:
        XVP_STATEMENT_ERROR(s.log, tokens, "Token type not allowed %s",
                            xvp_token_sprintf(t).c_str());
        return false;
    }
    s.entries.push_back(e);
  }
  return true;
}

std::optional<xvp_token> result_token(EvalState& s, const eval_value& v) {
  switch (v.type) {
    case XVP_T_STR:
      if (v.token != nullptr) return *v.token;
      break;
    case XVP_T_NUM: return construct_xvp_token_number(xvp_is_integral(v.number), v.number);
    case XVP_T_BOOL: return construct_xvp_token_number(true, v.number);
    default: break;
  }
  XVP_ERROR(s.log, "xvp_evaluate_expression failed: Eval: Bad type '%s'", value_name(v));
  return std::nullopt;
}

}  // namespace

bool is_supported_operator(std::string_view text) { return get_op_token(text) != nullptr; }

std::optional<xvp_token> xvp_evaluate_expression(std::FILE* job_log, const XvpStatement& tokens) {
  EvalState s;
  s.log = job_log;
  s.entries.reserve(tokens.size());
  if (!build_entries(s, tokens)) return std::nullopt;
  s.end = s.entries.empty();
  const eval_value v = s.error ? undefined() : parse(s, 0);
  if (s.error) {
    XVP_ERROR(job_log, "xvp_evaluate_expression failed: %s", s.error_text.c_str());
    return std::nullopt;
  }
  (void)TV_ASSERT(s.depth == 0);
  if (!s.end) {
    XVP_STATEMENT_ERROR(job_log, tokens, "Incomplete statment");
    return std::nullopt;
  }
  return result_token(s, v);
}
