// Clock, log timestamps and sleeping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// Wall-clock milliseconds since the epoch.
[[nodiscard]] std::int64_t os_current_time_millis();
// Smallest buffer os_current_timestamp accepts.
inline constexpr std::size_t OS_TIMESTAMP_MIN_SIZE = 24;
// The log timestamp "YYYY-MM-DD hh:mm:ss,mmm" in local time; 0 on success,
// -1 when size is below 24.
[[nodiscard]] int os_current_timestamp(char* buffer, std::size_t size);
// The current local time; 1 on success, 0 for a null argument.
[[nodiscard]] int os_get_current_time(struct tm* current_time);
// Milliseconds of a clock that never steps (for time-outs and deadlines).
[[nodiscard]] std::int64_t os_monotonic_millis();
void os_sleep_millis(std::int64_t millis);
// Sleeps lower plus a random part below (upper - lower) milliseconds.
void os_sleep_millis_random(int lower, int upper);
