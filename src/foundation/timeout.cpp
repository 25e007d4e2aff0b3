#include "foundation/timeout.h"

#include <new>

#include "foundation/os_time.h"

Timeout* TimeoutNew() { return new (std::nothrow) Timeout{}; }

void TimeoutFree(Timeout* timeout) { delete timeout; }

void TimeoutStart(Timeout* timeout) {
  if (timeout != nullptr) timeout->start = os_monotonic_millis();
}

void TimeoutSetLimit(Timeout* timeout, int seconds) {
  if (timeout != nullptr) timeout->limit = seconds;
}

int TimeoutIsTimeUp(const Timeout* timeout) {
  if (timeout == nullptr) return 0;
  const std::int64_t deadline = timeout->start + static_cast<std::int64_t>(timeout->limit) * 1000;
  return os_monotonic_millis() > deadline;
}
