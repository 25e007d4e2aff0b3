#include "foundation/os_stop.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_stop_requested = 0;

}  // namespace

void os_request_stop() { g_stop_requested = 1; }

int os_stop_requested() { return g_stop_requested != 0 ? 1 : 0; }

void os_clear_stop_request() { g_stop_requested = 0; }

int os_stop_slice_ms(std::int64_t remaining_ms) {
  if (remaining_ms <= 0) return 0;
  return remaining_ms < OS_STOP_POLL_MS ? static_cast<int>(remaining_ms) : OS_STOP_POLL_MS;
}
