// Transform loggers, per-job transform logs and test-mode copies.
#include "transform/xvp_logs.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <strings.h>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "foundation/ascii.h"
#include "foundation/config.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/os_time.h"
#include "foundation/util.h"

namespace {

// Job files of this system: the job id (CUPS numbers its jobs) and one of
// the three suffixes.
constexpr const char* JOB_FILE_SUFFIXES[] = {".log", ".before", ".after"};
// Names of job files are cut to this many characters.
constexpr std::size_t JOB_FILE_NAME_MAX = 99;
// Files kept per TransformLogsMax: a log and the two test-mode copies.
constexpr std::int64_t FILES_PER_JOB = 3;

std::time_t g_last_prune = 0;
bool g_pruned_once = false;

std::string vformat(const char* format, va_list args) {
  char* text = nullptr;
  if (!util_safe_vsnprintf(&text, format, args)) return std::string();
  std::string out = text;
  std::free(text);
  return out;
}

void to_job_log(std::FILE* job_log, const std::string& line) {
  if (job_log == nullptr) return;
  std::fputs(line.c_str(), job_log);
  std::fputc('\n', job_log);
  std::fflush(job_log);
}

void assertion_line(const char* file, int line) {
  log_error_printf_func(file, line, "message: (%s) assertion failed", "FALSE");
  tv_assert_failed(0, "FALSE");
}

// One line to the main log at `level` and to the job log; errors carry
// "ERROR: " in the job log and a failed assertion in the main log.
void emit_va(LogLevel level, const char* file, int line, std::FILE* job_log, const char* format,
             va_list args) {
  const std::string text = vformat(format, args);
  switch (level) {
    case LOG_LEVEL_ERROR:
      log_error_printf_func(file, line, "%s", text.c_str());
      to_job_log(job_log, xvp_concat({"ERROR: ", text}));
      assertion_line(file, line);
      return;
    case LOG_LEVEL_INFO: log_info_printf_func(file, line, "%s", text.c_str()); break;
    default: log_debug_printf_func(file, line, "%s", text.c_str()); break;
  }
  to_job_log(job_log, text);
}

bool is_job_file_name(const char* name) {
  const std::size_t length = std::strlen(name);
  for (const char* suffix : JOB_FILE_SUFFIXES) {
    const std::size_t n = std::strlen(suffix);
    if (length <= n || !xvp_equal_caseless(std::string_view(name + length - n, n), suffix)) continue;
    return std::all_of(name, name + length - n, [](char c) { return ascii_is_digit(c); });
  }
  return false;
}

struct JobFile {
  std::string path;
  std::int64_t mtime;
};

int collect_job_file(const char* path, std::int64_t mtime, void* data) {
  if (is_job_file_name(util_basename(path))) {
    static_cast<std::vector<JobFile>*>(data)->push_back({path, mtime});
  }
  return 1;
}

bool newer_first(const JobFile& a, const JobFile& b) {
  if (a.mtime != b.mtime) return a.mtime > b.mtime;
  return strcasecmp(util_basename(a.path.c_str()), util_basename(b.path.c_str())) > 0;
}

}  // namespace

void xvp_error_printf_func(const char* file, int line, std::FILE* job_log, const char* format,
                           ...) {
  va_list args;
  va_start(args, format);
  emit_va(LOG_LEVEL_ERROR, file, line, job_log, format, args);
  va_end(args);
}

void xvp_info_printf_func(const char* file, int line, std::FILE* job_log, const char* format,
                          ...) {
  va_list args;
  va_start(args, format);
  emit_va(LOG_LEVEL_INFO, file, line, job_log, format, args);
  va_end(args);
}

void xvp_debug_printf_func(const char* file, int line, std::FILE* job_log, const char* format,
                           ...) {
  va_list args;
  va_start(args, format);
  emit_va(LOG_LEVEL_DEBUG, file, line, job_log, format, args);
  va_end(args);
}

void xvp_printf_statement_func(const char* file, int line, std::FILE* job_log,
                               const XvpStatement& statement, bool is_error, const char* format,
                               ...) {
  va_list args;
  va_start(args, format);
  const std::string text = vformat(format, args);
  va_end(args);
  std::string tokens;
  for (const xvp_token& token : statement) tokens += xvp_print_token(token, false);
  const int first_line = statement.empty() ? -1 : statement.front().line;
  const std::string entry =
      xvp_concat({"Line ", std::to_string(first_line), ": ", text, " : ", tokens, " [",
                  std::to_string(statement.size()), " tokens]"});
  if (is_error) {
    log_error_printf_func(file, line, "%s", entry.c_str());
    to_job_log(job_log, xvp_concat({"ERROR: ", entry}));
    assertion_line(file, line);
  } else {
    log_debug_printf_func(file, line, "%s", entry.c_str());
    to_job_log(job_log, entry);
  }
}

std::string xvp_print_token(const xvp_token& token, bool list_form) {
  std::string out;
  switch (token.kind) {
    case XVP_NAME:
    case XVP_NUMBER:
      out = token.text;
      break;
    case XVP_STRING:
      if (token.text.find('\n') != std::string::npos) {
        out = xvp_concat({"\"\"\"", token.text, "\"\"\" [", std::to_string(token.text.size()),
                          " bytes]"});
      } else {
        out = xvp_concat({"\"", token.text, "\""});
      }
      break;
    case XVP_STRING_REGEX:
      out = xvp_concat({"/", token.text, "/"});
      break;
    default:
      out = list_form ? xvp_concat({"<", xvp_token_type_cstr(token.kind), ":", token.text, ">"})
                      : token.text;
  }
  out += list_form ? '\n' : ' ';
  return out;
}

std::string xvp_token_sprintf(const xvp_token& token) {
  const char* kind = xvp_token_type_cstr(token.kind);
  return xvp_concat({"<", kind != nullptr ? kind : "?", ":", token.text, "> "});
}

std::string xvp_statement_to_str(const XvpStatement& statement) {
  char count[16];
  std::snprintf(count, sizeof count, "%3zu: ", statement.size());
  std::string out = count;
  for (const xvp_token& token : statement) out += xvp_token_sprintf(token);
  return out;
}

void xvp_print_token_dict(std::FILE* job_log, const XvpVariables& variables, const char* title) {
  if (job_log == nullptr) return;
  std::fprintf(job_log, "%s: %3zu items\n", title, variables.size());
  int index = 0;
  for (const XvpVariable& v : variables) {
    std::fprintf(job_log, "%3d: %20s : %s", index++, v.name.c_str(),
                 xvp_print_token(v.value, true).c_str());
  }
  std::fflush(job_log);
}

int xvp_log_path(const char* job_id, const char* suffix, char* buffer, std::size_t size) {
  char name[JOB_FILE_NAME_MAX + 1];
  std::snprintf(name, sizeof name, "%s.%s", job_id != nullptr ? job_id : "", suffix);
  (void)util_sanitize_fname(name);
  return os_cat_path(buffer, size, global_ctx.xvp_logs_dir_path, name);
}

void xvp_prune_logs(bool force) {
  const std::time_t now = std::time(nullptr);
  if (!force && g_pruned_once && now - g_last_prune < global_ctx.xvp_log_check_period_secs) return;
  g_pruned_once = true;
  g_last_prune = now;
  std::vector<JobFile> files;
  int count = 0;
  int stopped = 0;
  if (!os_forall_files_in_dir(global_ctx.xvp_logs_dir_path, collect_job_file, &files, 0, &count,
                              &stopped)) {
    return;
  }
  const std::int64_t keep = FILES_PER_JOB * std::max(global_ctx.xvp_max_logs, 0);
  if (static_cast<std::int64_t>(files.size()) <= keep) return;
  std::sort(files.begin(), files.end(), newer_first);
  for (std::size_t i = static_cast<std::size_t>(keep); i < files.size(); ++i) {
    if (!os_file_delete(files[i].path.c_str())) {
      LOG_LAST_SYSTEM_ERROR("Could not delete '%s'", files[i].path.c_str());
    }
  }
}

std::FILE* xvp_open_log_file(const char* job_id, char* path, std::size_t size) {
  // A missing logs directory (only the script trees were made) is made here,
  // so that test mode works and no run logs a failure for it.
  if (!os_file_is_dir(global_ctx.xvp_logs_dir_path) &&
      !os_create_dir_recursive(global_ctx.xvp_logs_dir_path)) {
    LOG_LAST_SYSTEM_ERROR("Unable to create transform logs directory: %s",
                          global_ctx.xvp_logs_dir_path);
  }
  xvp_prune_logs(false);
  if (!xvp_log_path(job_id, "log", path, size)) return nullptr;
  std::FILE* log = os_fopen(path, "w");
  if (log == nullptr) {
    LOG_LAST_SYSTEM_ERROR("Could not open xvp log file jobid='%s',path='%s'",
                          job_id != nullptr ? job_id : "", path);
    return nullptr;
  }
  LOG_DEBUG("xvp_open_log_file: path='%s'", path);
  char stamp[OS_TIMESTAMP_MIN_SIZE + 8] = "";
  (void)os_current_timestamp(stamp, sizeof stamp);
  std::fprintf(log, "Date/time: %s\n", stamp);
  std::fflush(log);
  return log;
}

void xvp_save_spool_files(const char* job_id, int test_mode, const char* in_path,
                          const char* out_path) {
  if (!test_mode) return;
  char before[OS_PATH_BUFFER_SIZE];
  char after[OS_PATH_BUFFER_SIZE];
  if (!xvp_log_path(job_id, "before", before, sizeof before) ||
      !xvp_log_path(job_id, "after", after, sizeof after)) {
    return;
  }
  LOG_DEBUG("xvp_save_spool_files: '%s'=>'%s','%s'=>'%s'", in_path, before,
            out_path != nullptr ? out_path : "", after);
  if (!os_file_copy(in_path, before)) {
    LOG_ERROR("xvp_save_spool_files in failed: '%s'=>'%s'", in_path, before);
  }
  if (out_path == nullptr || !os_file_copy(out_path, after)) {
    LOG_ERROR("xvp_save_spool_files out failed: '%s'=>'%s'", out_path != nullptr ? out_path : "",
              after);
  }
}
