// The statements of the transform language. Each parser answers "not mine"
// when the statement does not start with its keyword, else success or
// failure (logged with the statement).
#include "transform/xvp_statements.h"

#include <cinttypes>
#include <string>

#include "foundation/mapped_mem.h"
#include "transform/xvp_logs.h"

namespace {

bool is_name(const xvp_token& t, const char* word) {
  return t.kind == XVP_NAME && xvp_equal_caseless(t.text, word);
}

bool starts_with(const XvpStatement& st, const char* word) {
  return !st.empty() && is_name(st.front(), word);
}

XvpStatement rest_of(const XvpStatement& st, std::size_t from) {
  return from < st.size() ? XvpStatement(st.begin() + static_cast<std::ptrdiff_t>(from), st.end())
                          : XvpStatement();
}

int fail(interpreter* in, const XvpStatement& st, const char* message) {
  XVP_STATEMENT_ERROR(in->job_log, st, "%s", message);
  return XVP_PARSER_FAILURE;
}

int appended(int ok) { return ok ? XVP_PARSER_SUCCESS : XVP_PARSER_FAILURE; }

std::uint64_t file_size(const interpreter* in) { return in->spool->size; }

// The value a statement takes as written: a variable's value for a name,
// else the token itself.
std::optional<xvp_token> literal_or_variable(interpreter* in, const XvpStatement& st,
                                             const xvp_token& t) {
  if (t.kind != XVP_NAME) return t;
  const xvp_token* value = xvp_lookup(in, t.text);
  if (value == nullptr) {
    XVP_STATEMENT_ERROR(in->job_log, st, "No value for token %s", t.text.c_str());
    return std::nullopt;
  }
  return *value;
}

// An offset or length argument: a NUMBER literal that stands for an
// integer within the 64-bit range of offsets.
bool integer_argument(interpreter* in, const XvpStatement& st, const xvp_token& t,
                      const char* what, std::int64_t* out) {
  if (t.kind != XVP_NUMBER) {
    XVP_STATEMENT_ERROR(in->job_log, st, "%s argument must be a number", what);
    return false;
  }
  const std::optional<std::int64_t> n = xvp_round_to_int64(t.value);
  if (!n.has_value()) {
    XVP_STATEMENT_ERROR(in->job_log, st, "%s argument out of range: %s", what, t.text.c_str());
    return false;
  }
  *out = *n;
  return true;
}

// The edit [offset, offset + length) must lie in the file; a negative
// offset (INSERT only) stands for the end and deletes nothing.
bool edit_fits(interpreter* in, const XvpStatement& st, const char* what, std::int64_t offset,
               std::int64_t length) {
  const std::uint64_t size = file_size(in);
  bool fits = length >= 0;
  if (offset < 0) {
    fits = fits && length == 0 && static_cast<std::uint64_t>(-offset) <= size;
  } else {
    fits = fits && static_cast<std::uint64_t>(offset) <= size &&
           static_cast<std::uint64_t>(length) <= size - static_cast<std::uint64_t>(offset);
  }
  if (!fits) {
    XVP_STATEMENT_ERROR(in->job_log, st,
                        "%s at offset %" PRId64 " of %" PRId64 " bytes does not fit a file of %" PRIu64
                        " bytes",
                        what, offset, length, size);
  }
  return fits;
}

// ---- the parsers ----

int parser_enable_test_mode(interpreter* in, const XvpStatement& st) {
  if (!starts_with(st, "ENABLE_TEST_MODE")) return XVP_PARSER_NOT_MINE;
  in->test_mode = 1;
  in->verbosity = std::max(in->verbosity, in->test_mode);
  LOG_DEBUG("ENABLE_TEST_MODE in script");
  return XVP_PARSER_SUCCESS;
}

int parser_strip_header(interpreter* in, const XvpStatement& st) {
  if (!starts_with(st, "STRIP_HEADER")) return XVP_PARSER_NOT_MINE;
  return appended(
      insertion_list_append(&in->edits, "STRIP HEADER", XVP_INSERTION_STRIP_HEADER, 0, 0, ""));
}

int parser_add_header(interpreter* in, const XvpStatement& st) {
  if (!starts_with(st, "ADD_HEADER")) return XVP_PARSER_NOT_MINE;
  if (st.size() < 2) return fail(in, st, "ADD_HEADER needs a value");
  const std::optional<xvp_token> value = literal_or_variable(in, st, st[1]);
  if (!value.has_value()) return XVP_PARSER_FAILURE;
  return appended(insertion_list_append(&in->edits, "ADD_HEADER", XVP_INSERTION_EDIT, 0, 0,
                                        value->text));
}

int parser_repeat_all(interpreter* in, const XvpStatement& st) {
  if (!starts_with(st, "REPEAT_ALL")) return XVP_PARSER_NOT_MINE;
  const std::optional<xvp_token> value =
      interpreter_evaluate_expression(in, rest_of(st, 1), true, true);
  if (!value.has_value()) return XVP_PARSER_FAILURE;
  const std::optional<std::int64_t> n = xvp_round_to_int64(value->value);
  if (!n.has_value() || *n < 1 || *n > XVP_REPEAT_MAX) {
    XVP_STATEMENT_ERROR(in->job_log, st, "REPEAT_ALL count %s is outside 1 to %" PRId64,
                        value->text.c_str(), XVP_REPEAT_MAX);
    return XVP_PARSER_FAILURE;
  }
  in->n_repeats = static_cast<std::int32_t>(*n);
  return XVP_PARSER_SUCCESS;
}

int parser_delete_until(interpreter* in, const XvpStatement& st) {
  if (!starts_with(st, "DELETE_UNTIL")) return XVP_PARSER_NOT_MINE;
  if (st.size() < 2) return fail(in, st, "DELETE_UNTIL needs a value");
  std::optional<xvp_token> value = literal_or_variable(in, st, st[1]);
  if (!value.has_value()) return XVP_PARSER_FAILURE;
  if (value->kind != XVP_STRING_REGEX) value = construct_xvp_token_cstr(value->text);
  // The options written after the value (window, FIRST, LAST) apply to it.
  XvpStatement search = rest_of(st, 1);
  search.front() = *value;
  if (!xvp_take_string_options(in->job_log, &search)) return XVP_PARSER_FAILURE;
  XvpMatch match;
  const int found =
      xvp_regex_match_(in->job_log, search.front(), in->spool->data, in->spool->size, &match);
  if (found < 0) return XVP_PARSER_FAILURE;
  std::uint64_t until = 0;
  if (found == 1) {
    xvp_record_match(in, match);
    until = static_cast<std::uint64_t>(match.groups[0].start);
  }
  return appended(
      insertion_list_append(&in->edits, "DELETE_UNTIL", XVP_INSERTION_EDIT, 0, until, ""));
}

// A "-" or "+" before a NUMBER becomes part of it.
XvpStatement fold_signs(const XvpStatement& st) {
  XvpStatement out;
  for (std::size_t i = 0; i < st.size(); ++i) {
    const xvp_token& t = st[i];
    if (t.kind == XVP_OP && (t.text == "-" || t.text == "+") && i + 1 < st.size() &&
        st[i + 1].kind == XVP_NUMBER) {
      out.push_back(t.text == "-" ? xvp_token_copy_negate(st[++i]) : st[++i]);
      out.back().line = t.line;
      continue;
    }
    out.push_back(t);
  }
  return out;
}

int parser_insert(interpreter* in, const XvpStatement& statement) {
  if (!starts_with(statement, "INSERT")) return XVP_PARSER_NOT_MINE;
  const XvpStatement st = fold_signs(statement);
  if (st.size() != 4) {
    XVP_STATEMENT_ERROR(in->job_log, statement, "INSERT has %zu arguments. Should have 3",
                        st.size() - 1);
    return XVP_PARSER_FAILURE;
  }
  std::int64_t offset = 0;
  std::int64_t length = 0;
  if (!integer_argument(in, statement, st[1], "INSERT ofs", &offset) ||
      !integer_argument(in, statement, st[2], "INSERT len", &length)) {
    return XVP_PARSER_FAILURE;
  }
  if (st[3].kind != XVP_STRING) return fail(in, statement, "INSERT text argument must be a plain string");
  if (length < 0) return fail(in, statement, "INSERT len argument must not be negative");
  if (!edit_fits(in, statement, "INSERT", offset, length)) return XVP_PARSER_FAILURE;
  return appended(insertion_list_append(&in->edits, "INSERT", XVP_INSERTION_EDIT, offset,
                                        static_cast<std::uint64_t>(length), st[3].text));
}

int parser_delete(interpreter* in, const XvpStatement& st) {
  if (!starts_with(st, "DELETE")) return XVP_PARSER_NOT_MINE;
  if (st.size() != 3) {
    XVP_STATEMENT_ERROR(in->job_log, st, "DELETE has %zu arguments. Should have 2", st.size() - 1);
    return XVP_PARSER_FAILURE;
  }
  std::int64_t offset = 0;
  std::int64_t length = 0;
  if (!integer_argument(in, st, st[1], "DELETE ofs", &offset) ||
      !integer_argument(in, st, st[2], "DELETE len", &length) ||
      !edit_fits(in, st, "DELETE", offset, length)) {
    return XVP_PARSER_FAILURE;
  }
  return appended(insertion_list_append(&in->edits, "DELETE", XVP_INSERTION_EDIT, offset,
                                        static_cast<std::uint64_t>(length), ""));
}

int parser_find_replace(interpreter* in, const XvpStatement& st) {
  std::size_t replace = std::string::npos;
  for (std::size_t i = 0; i + 1 < st.size(); ++i) {
    if (is_name(st[i], "REPLACE")) {
      replace = i;
      break;
    }
  }
  if (replace == std::string::npos || !starts_with(st, "FIND")) return XVP_PARSER_NOT_MINE;
  const xvp_token& text = st[replace + 1];
  if (text.kind != XVP_STRING) {
    XVP_STATEMENT_ERROR(in->job_log, st, "REPLACE must be followed by a plain STRING, not a %s",
                        xvp_token_type_cstr(text.kind));
    return XVP_PARSER_FAILURE;
  }
  const XvpStatement expression(st.begin() + 1, st.begin() + static_cast<std::ptrdiff_t>(replace));
  const std::optional<xvp_token> value = interpreter_evaluate_expression(in, expression, true, true);
  if (!value.has_value()) return XVP_PARSER_FAILURE;
  // Only at this statement's own match: never at one an earlier statement
  // left in the match variables.
  if (snap(value->value) == 0 || !in->recorded_match) return XVP_PARSER_SUCCESS;
  const xvp_token* offset = xvp_lookup(in, "$ofs0");
  const xvp_token* length = xvp_lookup(in, "$len0");
  if (offset == nullptr || length == nullptr) return XVP_PARSER_SUCCESS;
  const xvp_token replacement = interpreter_apply_variables(in, text);
  return appended(insertion_list_append(
      &in->edits, "std", XVP_INSERTION_EDIT, static_cast<std::int64_t>(offset->value),
      static_cast<std::uint64_t>(length->value), replacement.text));
}

int parser_find(interpreter* in, const XvpStatement& st) {
  if (!starts_with(st, "FIND")) return XVP_PARSER_NOT_MINE;
  return interpreter_evaluate_expression(in, rest_of(st, 1), true, true).has_value()
             ? XVP_PARSER_SUCCESS
             : XVP_PARSER_FAILURE;
}

int parser_assign(interpreter* in, const XvpStatement& st) {
  if (st.size() < 3 || st[0].kind != XVP_NAME || st[1].kind != XVP_OP || st[1].text != "=") {
    return XVP_PARSER_NOT_MINE;
  }
  std::optional<xvp_token> value = interpreter_evaluate_expression(in, rest_of(st, 2), false, false);
  const bool storable = value.has_value() && (value->kind == XVP_NUMBER ||
                                              value->kind == XVP_STRING ||
                                              value->kind == XVP_STRING_REGEX);
  if (value.has_value() && !storable) {
    XVP_STATEMENT_ERROR(in->job_log, st, "parser_assign: Bad type %s: %s",
                        xvp_token_type_cstr(value->kind), value->text.c_str());
  }
  if (!TV_ASSERT(storable)) return XVP_PARSER_FAILURE;
  // Only script text is substituted: a value taken from a variable (a job's
  // title, say) is never expanded again.
  if (value->kind == XVP_STRING && !value->verbatim && !xvp_name_keeps_text(st[0].text)) {
    value = interpreter_apply_variables(in, *value);
  }
  xvp_set_variable(&in->variables, st[0].text, *value);
  return XVP_PARSER_SUCCESS;
}

}  // namespace

const XvpParser PARSER_LIST[10] = {
    {parser_enable_test_mode, "parser_enable_test_mode"},
    {parser_strip_header, "parser_strip_header"},
    {parser_add_header, "parser_add_header"},
    {parser_repeat_all, "parser_repeat_all"},
    {parser_delete_until, "parser_delete_until"},
    {parser_insert, "parser_insert"},
    {parser_delete, "parser_delete"},
    {parser_find_replace, "parser_find_replace"},
    {parser_find, "parser_find"},
    {parser_assign, "parser_assign"},
};
