// Clock, log timestamps and sleeping.
#include "foundation/os_time.h"

#include <sys/time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "foundation/log.h"

std::int64_t os_current_time_millis() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_usec / 1000;
}

int os_current_timestamp(char* buffer, std::size_t size) {
  if (buffer == nullptr || size < OS_TIMESTAMP_MIN_SIZE) {
    LOG_DEV("buffer to small");
    return -1;
  }
  timeval now{};
  gettimeofday(&now, nullptr);
  time_t seconds = now.tv_sec;
  tm local{};
  localtime_r(&seconds, &local);
  std::snprintf(buffer, size, "%d-%02d-%02d %02d:%02d:%02d,%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(now.tv_usec / 1000));
  return 0;
}

int os_get_current_time(struct tm* currentTime) {
  if (!TV_ASSERT(currentTime != NULL)) return 0;
  time_t now = time(nullptr);
  return localtime_r(&now, currentTime) != nullptr ? 1 : 0;
}

std::int64_t os_monotonic_millis() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void os_sleep_millis(std::int64_t millis) {
  if (millis <= 0) return;
  timespec remaining{static_cast<time_t>(millis / 1000), static_cast<long>(millis % 1000) * 1000000};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

void os_sleep_millis_random(int lower, int upper) {
  std::int64_t span = static_cast<std::int64_t>(upper) - lower;
  std::int64_t extra = span > 0 ? std::rand() % span : 0;
  os_sleep_millis(static_cast<std::int64_t>(lower) + extra);
}
