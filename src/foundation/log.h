// The system's one logger: one text file per process group, one flushed line
// per entry. INFO and ERROR are always written, DEBUG and DEV only when the
// configuration turns them on.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

// Level codes of the log table.
enum LogLevel : int {
  LOG_LEVEL_DEV = 1,
  LOG_LEVEL_DEBUG = 2,
  LOG_LEVEL_INFO = 3,
  LOG_LEVEL_ERROR = 4,
};

#define SW_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))

// `text` as one line, as every entry is written: control bytes (a line feed
// in a document name could forge a second entry, an escape sequence could
// rewrite a terminal) become \xHH, a tab stays, line feeds that merely end
// the text are dropped. Also for other line-based outputs (CUPS's status
// lines).
[[nodiscard]] std::string log_one_line(const char* text);

void log_info_printf_func(const char* file, int line, const char* format, ...) SW_PRINTF(3, 4);
void log_error_printf_func(const char* file, int line, const char* format, ...) SW_PRINTF(3, 4);
void log_debug_printf_func(const char* file, int line, const char* format, ...) SW_PRINTF(3, 4);
void log_dev_printf_func(const char* file, int line, const char* format, ...) SW_PRINTF(3, 4);
// ERROR entries with the system-error suffix of errno / of the given number.
void log_last_system_error_func(const char* file, int line, const char* format, ...) SW_PRINTF(3, 4);
void log_system_error_func(const char* file, int line, int error, const char* format, ...)
    SW_PRINTF(4, 5);
// The same as DEBUG entries.
void log_last_system_error_as_debug_func(const char* file, int line, const char* format, ...)
    SW_PRINTF(3, 4);
void log_system_error_as_debug_func(const char* file, int line, int error, const char* format,
                                    ...) SW_PRINTF(4, 5);
// Formats and writes one entry under any five-character label.
void write_entry_va(const char* label, const char* file, int line, const char* format,
                    va_list args);

// The job event line that closes every decided job: an INFO entry
// "<word> user=%s printer=%s doc=%s pages=%d copies=%d". Control bytes in the
// names are written as \xHH so that a name cannot start a line of its own.
void log_print_event(int decision, const char* user, const char* printer, const char* document,
                     int pages, int copies);

// Rotates the log when it is larger than `size` bytes, keeping `count` numbered
// files. 1 when nothing failed, else 0.
int log_rotate_if_required(std::uint64_t count, std::uint64_t size);
// Closes the stream when more than an hour passed since the last such close.
void log_reopen_periodically();
void log_set_path(const char* path);
int log_close();
int log_reopen();
void log_init_lock();

// The assertion hook: reports a failed precondition and returns.
void tv_assert_failed(int value, const char* condition);

#define LOG_INFO(...) log_info_printf_func(__FILE_NAME__, __LINE__, __VA_ARGS__)
#define LOG_ERROR(...) log_error_printf_func(__FILE_NAME__, __LINE__, __VA_ARGS__)
#define LOG_DEBUG(...) log_debug_printf_func(__FILE_NAME__, __LINE__, __VA_ARGS__)
#define LOG_DEV(...) log_dev_printf_func(__FILE_NAME__, __LINE__, __VA_ARGS__)
#define LOG_LAST_SYSTEM_ERROR(...) log_last_system_error_func(__FILE_NAME__, __LINE__, __VA_ARGS__)
#define LOG_SYSTEM_ERROR(error, ...) \
  log_system_error_func(__FILE_NAME__, __LINE__, (error), __VA_ARGS__)
#define LOG_LAST_SYSTEM_ERROR_AS_DEBUG(...) \
  log_last_system_error_as_debug_func(__FILE_NAME__, __LINE__, __VA_ARGS__)
#define LOG_SYSTEM_ERROR_AS_DEBUG(error, ...) \
  log_system_error_as_debug_func(__FILE_NAME__, __LINE__, (error), __VA_ARGS__)

// Checks a precondition: on failure writes "message: (cond) assertion failed",
// calls the hook and evaluates to false; the caller decides how to go on.
#define TV_ASSERT(cond)                                                              \
  ((cond) ? true                                                                     \
          : (log_error_printf_func(__FILE_NAME__, __LINE__, "message: (%s) assertion failed", \
                                   #cond),                                           \
             tv_assert_failed(0, #cond), false))
