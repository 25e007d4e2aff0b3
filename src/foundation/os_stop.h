// A request to stop (SIGTERM from CUPS or a service manager) that ends the
// process's waits at once: socket waits, sleeps and long polls. A signal
// handler notes the request; the code that waits looks at it between short
// slices, so a request is seen within OS_STOP_POLL_MS whatever the wait's
// own time-out.
#pragma once

#include <cstdint>

// The longest slice a wait sleeps before it looks at the request again.
inline constexpr int OS_STOP_POLL_MS = 200;

// Notes a stop request. Async-signal-safe: call it from a signal handler.
void os_request_stop();
// 1 once a stop was requested (until os_clear_stop_request), else 0.
[[nodiscard]] int os_stop_requested();
// Forgets the request, for work that must still be done after it (a last
// call that tells the server why the job ended).
void os_clear_stop_request();

// The time a wait may sleep before looking at the request again: the smaller
// of `remaining_ms` and OS_STOP_POLL_MS, never below 0.
[[nodiscard]] int os_stop_slice_ms(std::int64_t remaining_ms);
