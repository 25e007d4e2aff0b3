// The interpreter record, its predefined variables and the statement loop
// with its one level of IF. The statements themselves are in
// xvp_statements.cpp.
#include "transform/xvp_cook.h"

#include <cinttypes>
#include <cstring>
#include <ctime>
#include <new>

#include "foundation/config.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "foundation/util.h"
#include "transform/xvp_logs.h"
#include "transform/xvp_scan.h"
#include "transform/xvp_statements.h"

namespace {

constexpr char IF_SHOULD_BE[] = "IF ... THEN ..";

void set_number(interpreter* in, const char* name, std::int64_t value) {
  xvp_set_variable(&in->variables, name, construct_xvp_token_number(true, static_cast<double>(value)));
}

void set_text(interpreter* in, const char* name, const char* value) {
  xvp_set_variable(&in->variables, name,
                   construct_xvp_token_cstr(util_is_string_empty(value) ? "unknown" : value));
}

void set_predefined_variables(interpreter* in) {
  const JobAttribs& ja = in->ja;
  set_number(in, "tv_pages", ja.pages);
  set_number(in, "tv_copies", ja.copy_count);
  set_text(in, "tv_paper_name", ja.paper_size_name);
  set_number(in, "tv_page_width_mm", ja.page_width_mm);
  set_number(in, "tv_page_height_mm", ja.page_height_mm);
  set_number(in, "tv_duplex", ja.is_duplex);
  set_number(in, "tv_tumble", ja.is_tumble);
  set_number(in, "tv_grayscale", ja.is_grayscale);
  set_text(in, "tv_doc_name", ja.document_name);
  set_text(in, "tv_user", ja.username);
  set_text(in, "tv_server", ja.server_name);
  set_text(in, "tv_printer", ja.printer_name);
  set_text(in, "tv_driver", ja.printer_type);
  char date[16] = "";
  std::strftime(date, sizeof date, "%Y%m%d", &ja.submit_time);
  set_text(in, "tv_iso_date", date);
  // The job flow builds the uid before a job can be redirected.
  set_text(in, "tv_uid", ja.job_uid);
}

bool is_name(const xvp_token& t, const char* word) {
  return t.kind == XVP_NAME && xvp_equal_caseless(t.text, word);
}

// Index of the first NAME `word` at or after `from`, or npos.
std::size_t find_name(const XvpStatement& st, const char* word, std::size_t from) {
  for (std::size_t i = from; i < st.size(); ++i) {
    if (is_name(st[i], word)) return i;
  }
  return std::string::npos;
}

bool if_error(interpreter* in, const XvpStatement& st, const char* message) {
  const std::string tokens = xvp_statement_to_str(st);
  XVP_STATEMENT_ERROR(in->job_log, st, "%s\n\tShould be: %s\n\tIs: %s", message, IF_SHOULD_BE,
                      tokens.c_str());
  XVP_STATEMENT_ERROR(in->job_log, st, "Bad IF...THEN");
  return false;
}

// IF cond THEN statement [ELSE statement]: the branch the condition chooses
// goes to `branch` (empty when it chooses none).
bool choose_if_branch(interpreter* in, const XvpStatement& st, XvpStatement* branch) {
  branch->clear();
  if (st.size() < 4) return if_error(in, st, "IF: Not enough terms.");
  const std::size_t then = find_name(st, "THEN", 1);
  if (then == std::string::npos) return if_error(in, st, "IF: No THEN.");
  if (then == 1) return if_error(in, st, "IF needs a condition before THEN.");
  if (then == st.size() - 1) return if_error(in, st, "IF: Needs a statement after THEN.");
  const std::size_t otherwise = find_name(st, "ELSE", then + 1);
  if (otherwise == then + 1) {
    return if_error(in, st, "THEN and ELSE need to be separated by a statement.");
  }
  if (otherwise == st.size() - 1) return if_error(in, st, "IF: Needs a statement after ELSE.");
  const XvpStatement condition(st.begin() + 1, st.begin() + static_cast<std::ptrdiff_t>(then));
  const std::optional<xvp_token> value = interpreter_evaluate_expression(in, condition, true, true);
  if (!value.has_value()) return false;
  const auto end_then = otherwise == std::string::npos ? st.end()
                                                       : st.begin() + static_cast<std::ptrdiff_t>(otherwise);
  if (snap(value->value) != 0) {
    branch->assign(st.begin() + static_cast<std::ptrdiff_t>(then) + 1, end_then);
  } else if (otherwise != std::string::npos) {
    branch->assign(st.begin() + static_cast<std::ptrdiff_t>(otherwise) + 1, st.end());
  }
  return true;
}

bool run_parsers(interpreter* in, const XvpStatement& st) {
  for (const XvpParser& parser : PARSER_LIST) {
    const int r = parser.parse(in, st);
    if (r == XVP_PARSER_NOT_MINE) continue;
    if (r == XVP_PARSER_SUCCESS) return true;
    XVP_STATEMENT_ERROR(in->job_log, st, "parser %s failed", parser.name);
    (void)TV_ASSERT(r == XVP_PARSER_SUCCESS);
    return false;
  }
  XVP_STATEMENT_ERROR(in->job_log, st, "statement does not match a parser rule");
  (void)TV_ASSERT(false);
  return false;
}

int run_script(interpreter* in, const XvpScript& script, const char* origin) {
  if (script.empty()) {
    LOG_DEBUG("interpreter_parse: No statements in '%s'", origin);
    return 1;
  }
  for (const XvpStatement& st : script) {
    if (!interpreter_parse_statement(in, st)) {
      XVP_STATEMENT_ERROR(in->job_log, st, "Bad transform statement");
      return 0;
    }
  }
  return 1;
}

}  // namespace

int insertion_list_append(insertion_list* list, const char* name, std::int32_t kind,
                          std::int64_t offset, std::uint64_t length, std::string_view text) {
  if (list == nullptr) return 0;
  try {
    insertion& e = list->emplace_back();
    e.kind = kind;
    util_safe_strncpy(e.name, name, sizeof e.name);
    e.offset = offset;
    e.length = length;
    e.text = text;
  } catch (const std::bad_alloc&) {
    LOG_ERROR("insertion_list_append: out of memory");
    return 0;
  }
  return 1;
}

interpreter* interpreter_create(const mapped_mem* spool, const JobAttribs* ja, int test_mode) {
  if (spool == nullptr || ja == nullptr) {
    LOG_ERROR("interpreter_create: invalid params: mapped_mem=%p'ja=%p",
              static_cast<const void*>(spool), static_cast<const void*>(ja));
    LOG_ERROR("interpreter_create failed");
    return nullptr;
  }
  InterpreterPtr in(new (std::nothrow) interpreter{});
  if (in == nullptr) {
    LOG_ERROR("interpreter_create failed");
    return nullptr;
  }
  try {
    in->ja = *ja;
    in->spool = spool;
    in->test_mode = test_mode != 0 ? 1 : 0;
    in->verbosity = std::max(in->test_mode, 1);
    in->false_token = construct_xvp_token_number(false, 0);
    in->true_token = construct_xvp_token_number(true, 1);
    set_predefined_variables(in.get());
  } catch (const std::bad_alloc&) {
    LOG_ERROR("interpreter_create failed");
    return nullptr;
  }
  if (!util_is_string_empty(global_ctx.xvp_logs_dir_path)) {
    in->job_log = xvp_open_log_file(ja->job_id, in->job_log_path, sizeof in->job_log_path);
  }
  if (in->job_log == nullptr) {
    in->job_log_path[0] = '\0';
    if (in->test_mode) {
      LOG_ERROR("interpreter_create failed");
      return nullptr;
    }
  }
  return in.release();
}

void interpreter_free(interpreter* in) {
  if (in == nullptr) return;
  if (in->job_log != nullptr) std::fclose(in->job_log);
  if (!in->test_mode && in->job_log_path[0] != '\0') (void)os_file_delete(in->job_log_path);
  delete in;
}

int interpreter_parse(interpreter* in, const char* script_path) {
  if (in == nullptr) return 0;
  try {
    XvpScript script;
    if (!xvp_scan(in->job_log, script_path, &script)) return 0;
    return run_script(in, script, script_path);
  } catch (const std::bad_alloc&) {
    XVP_ERROR(in->job_log, "interpreter_parse: out of memory");
    return 0;
  }
}

int interpreter_parse_text(interpreter* in, std::string_view text) {
  if (in == nullptr) return 0;
  try {
    XvpScript script;
    if (!xvp_scan_text(in->job_log, text, &script)) return 0;
    return run_script(in, script, "(text)");
  } catch (const std::bad_alloc&) {
    XVP_ERROR(in->job_log, "interpreter_parse: out of memory");
    return 0;
  }
}

int interpreter_parse_statement(interpreter* in, const XvpStatement& statement) {
  if (in == nullptr || statement.empty()) return 0;
  if (!is_name(statement.front(), "IF")) return run_parsers(in, statement) ? 1 : 0;
  XvpStatement branch;
  if (!choose_if_branch(in, statement, &branch)) return 0;
  if (branch.empty()) return 1;
  // One level of IF: no parser takes a branch that is an IF again.
  return run_parsers(in, branch) ? 1 : 0;
}

void interpreter_pprint(const interpreter* in) {
  if (in == nullptr) return;
  xvp_print_token_dict(in->job_log, in->variables, "Variables");
  xvp_print_token_dict(in->job_log, in->match_variables, "Match variables");
}
