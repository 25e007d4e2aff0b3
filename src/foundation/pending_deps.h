// Temporary stand-ins for platform and configuration operations that the
// logger and the text utilities need until those units are available.
#pragma once

#include <sys/time.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace pending {

inline std::int64_t os_current_time_millis() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  return static_cast<std::int64_t>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
}

inline int os_current_timestamp(char* buffer, std::size_t size) {
  if (size < 24) return -1;
  timeval tv{};
  gettimeofday(&tv, nullptr);
  tm local{};
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &local);
  std::snprintf(buffer, size, "%d-%02d-%02d %02d:%02d:%02d,%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(tv.tv_usec / 1000));
  return 0;
}

inline FILE* os_fopen(const char* path, const char* mode) { return std::fopen(path, mode); }

}  // namespace pending
