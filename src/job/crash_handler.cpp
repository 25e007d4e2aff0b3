// The crash handler of the backend program for SIGBUS and SIGSEGV.
//
// Inside the handler only async-signal-safe calls are made: the message is
// assembled by hand into a stack buffer and written with os_write_all (plain write(2) calls), the
// backtrace goes through os_dump_backtrace (backtrace_symbols_fd), then the
// cleanup callback runs and the process aborts. Everything that allocates or
// takes locks (the logger, localtime, the unwinder's first load) happens when
// the handler is installed.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "foundation/config.h"
#include "foundation/os_file.h"
#include "foundation/os_process.h"
#include "job/backend_run.h"

namespace {

constexpr char MESSAGE[] = "cups-spoolwarden: caught SIGBUS or SIGSEGV signal\n";
// CUPS reads the backend's standard error for status lines.
constexpr char CUPS_MESSAGE[] = "ERROR: cups-spoolwarden: caught SIGBUS or SIGSEGV signal\n";
constexpr std::size_t ALT_STACK_SIZE = 64 * 1024;

volatile sig_atomic_t g_log_fd = -1;
volatile long g_utc_offset = 0;  // seconds east of UTC
CoredumpCallback volatile g_callback = nullptr;
void* volatile g_callback_data = nullptr;

// Writes `value` as decimal digits, at least `width` of them, at `out`.
char* put_number(char* out, long long value, int width) {
  char digits[24];
  int n = 0;
  unsigned long long magnitude = value < 0 ? 0 : static_cast<unsigned long long>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0 && n < 20);
  while (n < width) digits[n++] = '0';
  while (n > 0) *out++ = digits[--n];
  return out;
}

// "YYYY-MM-DD hh:mm:ss,mmm ERROR: " as the logger writes it, from the clock
// and the UTC offset read at installation (localtime is not safe here).
char* put_log_prefix(char* out) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  long long local = static_cast<long long>(now.tv_sec) + g_utc_offset;
  long long days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  long long secs = local - days * 86400;
  // Civil date from days since 1970-01-01.
  days += 719468;
  long long era = (days >= 0 ? days : days - 146096) / 146097;
  auto doe = static_cast<unsigned>(days - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  unsigned day = doy - (153 * mp + 2) / 5 + 1;
  unsigned month = mp < 10 ? mp + 3 : mp - 9;
  long long year = static_cast<long long>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
  const long long fields[6] = {year, month, day, secs / 3600, secs / 60 % 60, secs % 60};
  const char separators[6] = {'-', '-', ' ', ':', ':', ','};
  for (int i = 0; i < 6; ++i) {
    out = put_number(out, fields[i], i == 0 ? 1 : 2);
    *out++ = separators[i];
  }
  out = put_number(out, now.tv_nsec / 1000000, 3);
  std::memcpy(out, " ERROR: ", 8);
  return out + 8;
}

void crash_handler(int signal_number) {
  int fd = g_log_fd;
  if (fd >= 0) {
    char line[128];
    char* end = put_log_prefix(line);
    std::memcpy(end, MESSAGE, sizeof MESSAGE - 1);
    (void)os_write_all(fd, line, static_cast<std::size_t>(end - line) + sizeof MESSAGE - 1);
  }
  // Nothing is left to tell about a failed write here; the crash goes on.
  (void)os_write_all(STDERR_FILENO, CUPS_MESSAGE, sizeof CUPS_MESSAGE - 1);
  os_dump_backtrace(signal_number);
  CoredumpCallback callback = g_callback;
  void* data = g_callback_data;
  if (callback != nullptr && data != nullptr) callback(data);
  // abort() with the default action, in case the callback changed it.
  signal(SIGABRT, SIG_DFL);
  abort();
}

// An alternate stack, so that a stack overflow can still be reported.
void install_alt_stack() {
  static char* stack = nullptr;
  if (stack != nullptr) return;
  stack = static_cast<char*>(std::malloc(ALT_STACK_SIZE));
  if (stack == nullptr) return;
  stack_t ss{};
  ss.ss_sp = stack;
  ss.ss_size = ALT_STACK_SIZE;
  if (sigaltstack(&ss, nullptr) != 0) {
    std::free(stack);
    stack = nullptr;
  }
}

}  // namespace

void common_setup_coredump_signals() {
  const char* log_path = global_ctx.log_file_path;
  os_dump_backtrace_prepare(log_path);
  int old_fd = g_log_fd;
  g_log_fd = -1;
  if (old_fd >= 0) close(old_fd);
  if (log_path[0] != '\0') g_log_fd = open(log_path, O_WRONLY | O_APPEND | O_CLOEXEC);
  time_t now = time(nullptr);
  tm local{};
  if (localtime_r(&now, &local) != nullptr) g_utc_offset = local.tm_gmtoff;
  install_alt_stack();
  struct sigaction action{};
  action.sa_handler = crash_handler;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGBUS);
  sigaddset(&action.sa_mask, SIGSEGV);
  // A fault inside the handler ends the process at once.
  action.sa_flags = SA_ONSTACK | SA_RESETHAND;
  sigaction(SIGBUS, &action, nullptr);
  sigaction(SIGSEGV, &action, nullptr);
}

void common_setup_coredump_callback(CoredumpCallback callback, void* data) {
  g_callback = callback;
  g_callback_data = data;
}
