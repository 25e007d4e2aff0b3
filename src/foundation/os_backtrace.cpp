// Backtraces of fatal signals, written from inside the signal handler. Only
// async-signal-safe calls are made there: the clock, write and
// backtrace_symbols_fd; the unwinder is loaded beforehand and the timestamp
// is formatted by hand with the UTC offset read at preparation.
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "foundation/log_state.h"
#include "foundation/os_file.h"
#include "foundation/os_process.h"

namespace {

constexpr int MAX_FRAMES = 100;

volatile sig_atomic_t g_fd = -1;       // the log, opened for appending
volatile long g_utc_offset = 0;        // seconds east of UTC, read at preparation

// Line under construction, formatted without the C library's formatters.
struct Line {
  char text[256];
  std::size_t len = 0;

  void put(const char* s) {
    while (*s != '\0' && len < sizeof text) text[len++] = *s++;
  }
  void put_number(std::int64_t value, int width) {
    char digits[24];
    int n = 0;
    bool negative = value < 0;
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value)
                                       : static_cast<std::uint64_t>(value);
    do {
      digits[n++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0 && n < 20);
    while (n < width) digits[n++] = '0';
    if (negative && len < sizeof text) text[len++] = '-';
    while (n > 0 && len < sizeof text) text[len++] = digits[--n];
  }
};

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void civil_from_days(std::int64_t days, std::int64_t& year, int& month, int& day) {
  days += 719468;
  std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  auto doe = static_cast<unsigned>(days - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

// "YYYY-MM-DD hh:mm:ss,mmm ERROR: " as the log writes it.
void put_prefix(Line& line) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::int64_t local = static_cast<std::int64_t>(now.tv_sec) + g_utc_offset;
  std::int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  std::int64_t secs = local - days * 86400;
  std::int64_t year = 0;
  int month = 0;
  int day = 0;
  civil_from_days(days, year, month, day);
  line.put_number(year, 1);
  line.put("-");
  line.put_number(month, 2);
  line.put("-");
  line.put_number(day, 2);
  line.put(" ");
  line.put_number(secs / 3600, 2);
  line.put(":");
  line.put_number(secs / 60 % 60, 2);
  line.put(":");
  line.put_number(secs % 60, 2);
  line.put(",");
  line.put_number(now.tv_nsec / 1000000, 3);
  line.put(" ERROR: ");
}

int target_fd() { return g_fd >= 0 ? static_cast<int>(g_fd) : STDERR_FILENO; }

void write_line(const char* first, const char* second, std::int64_t number, bool with_number,
                const char* third) {
  Line line;
  put_prefix(line);
  line.put(first);
  if (second != nullptr) line.put(second);
  if (with_number) line.put_number(number, 1);
  if (third != nullptr) line.put(third);
  line.put("\n");
  (void)os_write_all(target_fd(), line.text, line.len);
}

const char* signal_name(int signal_number) {
  switch (signal_number) {
    case SIGSEGV:
      return "Segmentation fault";
    case SIGBUS:
      return "Bus error";
    case SIGFPE:
      return "Floating point exception";
    default:
      return nullptr;
  }
}

}  // namespace

void os_dump_backtrace_prepare(const char* log_path) {
  // The first backtrace() loads the unwinder library, which allocates.
  void* frames[1];
  (void)backtrace(frames, 1);
  time_t now = time(nullptr);
  tm local{};
  if (localtime_r(&now, &local) != nullptr) g_utc_offset = local.tm_gmtoff;
  int old_fd = g_fd;
  g_fd = -1;
  if (old_fd >= 0) close(old_fd);
  if (log_path != nullptr && log_path[0] != '\0') {
    g_fd = log_open_file(log_path);
  }
}

void os_dump_backtrace(int signal_number) {
  const char* name = signal_name(signal_number);
  if (name == nullptr) return;
  write_line("Dump backtrace performed on fatal signal: ", name, 0, false, nullptr);
  void* frames[MAX_FRAMES];
  int count = backtrace(frames, MAX_FRAMES);
  write_line("backtrace() returned ", nullptr, count, true, " addresses");
  int fd = target_fd();
  for (int i = 0; i < count; ++i) {
    Line line;
    put_prefix(line);
    (void)os_write_all(fd, line.text, line.len);
    backtrace_symbols_fd(&frames[i], 1, fd);
  }
}
