// The time limit that bounds every format analyzer: create, set the limit in
// seconds, start, poll TimeoutIsTimeUp now and then, free. It runs on the
// monotonic clock: setting the wall clock neither ends an analysis early nor
// lets it run past its limit.
#pragma once

#include <cstdint>

#include "foundation/owned.h"

struct Timeout {
  std::int64_t start = 0;  // os_monotonic_millis() when started, 0 until then
  std::int32_t limit = 0;  // seconds, 0 until set
};

// New Timeout with start and limit 0; none when the allocation fails.
[[nodiscard]] Timeout* TimeoutNew();
// Frees a Timeout; accepts null.
void TimeoutFree(Timeout* timeout);
using TimeoutPtr = Owned<Timeout, TimeoutFree>;
// Start time := now in milliseconds. Null is ignored.
void TimeoutStart(Timeout* timeout);
// Sets the limit in seconds. Null is ignored.
void TimeoutSetLimit(Timeout* timeout, int seconds);
// 1 when now is strictly later than start + limit * 1000 ms; 0 otherwise and
// for a null Timeout.
[[nodiscard]] int TimeoutIsTimeUp(const Timeout* timeout);
