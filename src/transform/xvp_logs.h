// The transform loggers, which write each line to the main log and, while a
// per-job transform log is open, to that log too; the per-job log files with
// their pruning; and the test-mode copies of a job's spool file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "foundation/log.h"
#include "transform/xvp_token.h"

// Main log ERROR; in the job log "ERROR: " and the text; then a failed
// assertion line in the main log.
void xvp_error_printf_func(const char* file, int line, std::FILE* job_log, const char* format,
                           ...) SW_PRINTF(4, 5);
// Main log INFO / DEBUG; the text in the job log.
void xvp_info_printf_func(const char* file, int line, std::FILE* job_log, const char* format,
                          ...) SW_PRINTF(4, 5);
void xvp_debug_printf_func(const char* file, int line, std::FILE* job_log, const char* format,
                           ...) SW_PRINTF(4, 5);
// A message about a statement: main log ERROR (is_error) or DEBUG; in the job
// log "ERROR: " (errors only), "Line %d: " with the statement's first line,
// the text, " : ", the statement's tokens and " [%d tokens]".
void xvp_printf_statement_func(const char* file, int line, std::FILE* job_log,
                               const XvpStatement& statement, bool is_error, const char* format,
                               ...) SW_PRINTF(6, 7);

#define XVP_ERROR(log, ...) xvp_error_printf_func(__FILE_NAME__, __LINE__, (log), __VA_ARGS__)
#define XVP_INFO(log, ...) xvp_info_printf_func(__FILE_NAME__, __LINE__, (log), __VA_ARGS__)
#define XVP_DEBUG(log, ...) xvp_debug_printf_func(__FILE_NAME__, __LINE__, (log), __VA_ARGS__)
#define XVP_STATEMENT_ERROR(log, statement, ...) \
  xvp_printf_statement_func(__FILE_NAME__, __LINE__, (log), (statement), true, __VA_ARGS__)

// A token as scripts show it: NAME and NUMBER as their text, STRING in
// double quotes (three on each side with " [%d bytes]" when it holds a line
// feed), STRING_REGEX as /text/, other kinds as "<KIND:text>" in list form.
[[nodiscard]] std::string xvp_print_token(const xvp_token& token, bool list_form);
// "<KIND:text> ".
[[nodiscard]] std::string xvp_token_sprintf(const xvp_token& token);
// "%3d: " with the token count, then the tokens.
[[nodiscard]] std::string xvp_statement_to_str(const XvpStatement& statement);
// The title, ": %3d items" and one line per variable to the job log.
void xvp_print_token_dict(std::FILE* job_log, const XvpVariables& variables, const char* title);

// The path of the job's file with `suffix` ("log", "before", "after") in
// TransformLogsDir: "<job id>.<suffix>", the name cut to 99 characters and
// made safe as a file name. 0 when it does not fit.
[[nodiscard]] int xvp_log_path(const char* job_id, const char* suffix, char* buffer,
                               std::size_t size);
// Prunes the logs directory (at most once per TransformLogsCheckSecs in a
// process) and opens the job's log for writing; its path goes to `path`.
// nullptr when it cannot be opened (logged).
[[nodiscard]] std::FILE* xvp_open_log_file(const char* job_id, char* path, std::size_t size);
// Deletes the oldest of this system's job files ("<digits>.log", ".before",
// ".after") in TransformLogsDir beyond 3 x TransformLogsMax; other files are
// never touched. `force` prunes whatever the time since the last pruning.
void xvp_prune_logs(bool force);
// In test mode copies the input spool file to "<job id>.before" and the
// rewritten one to "<job id>.after" (failures are logged only).
void xvp_save_spool_files(const char* job_id, int test_mode, const char* in_path,
                          const char* out_path);
