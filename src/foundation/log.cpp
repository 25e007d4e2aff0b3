#include "foundation/log.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "foundation/config.h"
#include "foundation/log_state.h"
#include "foundation/os_error.h"
#include "foundation/os_process.h"
#include "foundation/os_time.h"
#include "foundation/util.h"

namespace {

constexpr std::size_t LOG_PATH_SIZE = 1024;
constexpr std::time_t REOPEN_PERIOD_SECONDS = 3600;
// Room for seven digits of a line number and the terminator.
constexpr std::size_t LINE_NUMBER_SIZE = 8;
constexpr std::size_t TIMESTAMP_SIZE = 32;

char g_log_path[LOG_PATH_SIZE] = "";
FILE* g_log_stream = nullptr;
std::time_t g_last_reopen = 0;

// Labels of the level codes 1 to 4; index 0 is unused.
constexpr const char* LEVEL_LABELS[] = {"", "DEV  ", "DEBUG", "INFO ", "ERROR"};

// Two source names are shown under their historic short names.
const char* shorten_source_name(const char* file) {
  struct Alias {
    const char* name;
    const char* shown;
  };
  static constexpr Alias ALIASES[] = {
      {"torvelle.c", "tv.c"},
      {"torvelle.cpp", "tv.c"},
      {"TorvellePrintService.cpp", "TVPrintService.cpp"},
  };
  for (const Alias& alias : ALIASES) {
    if (std::strcmp(file, alias.name) == 0) return alias.shown;
  }
  return file;
}

bool debug_on() { return global_ctx.debug_logging != 0; }
bool dev_on() { return global_ctx.dev_logging != 0; }

bool level_enabled(int level) {
  if (level == LOG_LEVEL_DEBUG) return debug_on();
  if (level == LOG_LEVEL_DEV) return dev_on();
  return level > LOG_LEVEL_DEBUG;
}

const char* level_label(int level) {
  if (level >= LOG_LEVEL_DEV && level <= LOG_LEVEL_ERROR) return LEVEL_LABELS[level];
  return LEVEL_LABELS[LOG_LEVEL_INFO];
}

// The log is written by root and by the service account's programs; nobody
// else reads or writes it.
constexpr mode_t LOG_FILE_MODE = 0660;

// Gives a log file that root has just made to the service account.
void give_to_service_account(int fd) {
  if (geteuid() != 0) return;
  const passwd* account = getpwnam(OS_SERVICE_ACCOUNT);
  if (account != nullptr) (void)fchown(fd, account->pw_uid, account->pw_gid);
}

bool ensure_stream() {
  if (g_log_stream != nullptr) return true;
  if (g_log_path[0] == '\0') return false;
  // An entry written from inside the open (a failed check in the platform
  // layer) is dropped rather than trying to open the file again without end.
  static bool opening = false;
  if (opening) return false;
  opening = true;
  const int fd = log_open_file(g_log_path);
  g_log_stream = fd >= 0 ? fdopen(fd, "a") : nullptr;
  if (g_log_stream == nullptr && fd >= 0) close(fd);
  opening = false;
  return g_log_stream != nullptr;
}

}  // namespace

std::string log_one_line(const char* text) {
  std::string out;
  if (text == nullptr) return out;
  std::size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    } else {
      out += text[i];
    }
  }
  return out;
}

namespace {

void put_piece(const char* piece) {
  if (piece != nullptr && piece[0] != '\0') std::fputs(piece, g_log_stream);
}

// Writes one finished line: timestamp, label, optional source, message,
// optional process id. Each piece goes out separately; the flush ends it.
void write_line(const char* label, const char* file, int line, const char* message) {
  if (!ensure_stream()) return;
  const bool debug = debug_on();
  char timestamp[TIMESTAMP_SIZE] = "";
  if (os_current_timestamp(timestamp, sizeof timestamp) != 0) timestamp[0] = '\0';
  put_piece(timestamp);
  put_piece(" ");
  put_piece(label);
  put_piece(": ");
  if (debug && file != nullptr) {
    char number[LINE_NUMBER_SIZE];
    std::snprintf(number, sizeof number, "%d", line);
    put_piece(shorten_source_name(file));
    put_piece(":");
    put_piece(number);
    put_piece(" - ");
  }
  put_piece(log_one_line(message).c_str());
  if (debug) {
    char pid[32];
    std::snprintf(pid, sizeof pid, " [%d]", static_cast<int>(getpid()));
    put_piece(pid);
  }
  put_piece("\n");
  std::fflush(g_log_stream);
}

void write_entry_level(int level, const char* file, int line, const char* format,
                       va_list args) {
  write_entry_va(level_label(level), file, line, format, args);
}

// The shared routine of the system-error entries.
void write_system_error_va(int level, const char* file, int line, int error, const char* format,
                           va_list args) {
  if (!level_enabled(level)) return;
  char* formatted = nullptr;
  if (!util_safe_vsnprintf(&formatted, format, args)) return;
  const TextPtr message(formatted);
  char extended[OS_ERROR_TEXT_SIZE];
  os_format_system_error_message(extended, sizeof extended, message.get(), error);
  write_line(level_label(level), file, line, extended);
}

const char* event_word(int decision) {
  switch (decision) {
    case 0: return "Job PRINTED:";
    case 1: return "Job CANCEL:";
    case 4: return "Job ERRORED:";
    default: return "Job OTHER:";
  }
}

}  // namespace

const char* log_current_path() { return g_log_path; }

int log_open_file(const char* path) {
  if (path == nullptr || path[0] == '\0') return -1;
  bool created = true;
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                LOG_FILE_MODE);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = open(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  }
  if (fd < 0) return -1;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
    close(fd);
    return -1;
  }
  if (created) {
    (void)fchmod(fd, LOG_FILE_MODE);
    give_to_service_account(fd);
  }
  return fd;
}

void write_entry_va(const char* label, const char* file, int line, const char* format,
                    va_list args) {
  char* formatted = nullptr;
  if (!util_safe_vsnprintf(&formatted, format, args)) return;
  const TextPtr message(formatted);
  write_line(label, file, line, message.get());
}

#define SW_LOG_FORWARD(level, file, line, format)      \
  do {                                                 \
    va_list args;                                      \
    va_start(args, format);                            \
    write_entry_level(level, file, line, format, args); \
    va_end(args);                                      \
  } while (0)

void log_info_printf_func(const char* file, int line, const char* format, ...) {
  SW_LOG_FORWARD(LOG_LEVEL_INFO, file, line, format);
}

void log_error_printf_func(const char* file, int line, const char* format, ...) {
  SW_LOG_FORWARD(LOG_LEVEL_ERROR, file, line, format);
}

void log_debug_printf_func(const char* file, int line, const char* format, ...) {
  if (!debug_on()) return;
  SW_LOG_FORWARD(LOG_LEVEL_DEBUG, file, line, format);
}

void log_dev_printf_func(const char* file, int line, const char* format, ...) {
  if (!dev_on()) return;
  SW_LOG_FORWARD(LOG_LEVEL_DEV, file, line, format);
}

#define SW_LOG_SYSTEM_ERROR(level, file, line, error, format) \
  do {                                                        \
    va_list args;                                             \
    va_start(args, format);                                   \
    write_system_error_va(level, file, line, error, format, args); \
    va_end(args);                                             \
  } while (0)

void log_last_system_error_func(const char* file, int line, const char* format, ...) {
  const int error = os_get_last_error();
  SW_LOG_SYSTEM_ERROR(LOG_LEVEL_ERROR, file, line, error, format);
}

void log_system_error_func(const char* file, int line, int error, const char* format, ...) {
  SW_LOG_SYSTEM_ERROR(LOG_LEVEL_ERROR, file, line, error, format);
}

void log_last_system_error_as_debug_func(const char* file, int line, const char* format, ...) {
  const int error = os_get_last_error();
  SW_LOG_SYSTEM_ERROR(LOG_LEVEL_DEBUG, file, line, error, format);
}

void log_system_error_as_debug_func(const char* file, int line, int error, const char* format,
                                    ...) {
  SW_LOG_SYSTEM_ERROR(LOG_LEVEL_DEBUG, file, line, error, format);
}

void log_print_event(int decision, const char* user, const char* printer, const char* document,
                     int pages, int copies) {
  // The names come from clients; the line writer escapes what could break
  // the one-line layout.
  log_info_printf_func(__FILE_NAME__, __LINE__, "%s user=%s printer=%s doc=%s pages=%d copies=%d",
                       event_word(decision), user != nullptr ? user : "(null)",
                       printer != nullptr ? printer : "(null)",
                       document != nullptr ? document : "(null)", pages, copies);
}

void log_reopen_periodically() {
  const std::time_t now = std::time(nullptr);
  if (now > g_last_reopen + REOPEN_PERIOD_SECONDS) {
    g_last_reopen = now;
    (void)log_close();
  }
}

void log_set_path(const char* path) {
  util_safe_strncpy(g_log_path, path, sizeof g_log_path);
  (void)log_close();
}

int log_close() {
  if (g_log_stream == nullptr) return 0;
  const int result = std::fclose(g_log_stream);
  g_log_stream = nullptr;
  return result;
}

int log_reopen() { return log_close(); }

void log_init_lock() {}

void tv_assert_failed(int value, const char* condition) {
  log_dev_printf_func("torvelle.cpp", __LINE__, "Assertion failed: %d : %s", value,
                      condition != nullptr ? condition : "");
}
