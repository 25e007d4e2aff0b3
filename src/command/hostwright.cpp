#include "command/hostwright.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "foundation/config.h"
#include "foundation/decimal.h"
#include "foundation/global.h"
#include "foundation/os_time.h"
#include "foundation/util.h"
#include "server/rpc_calls.h"

namespace {

constexpr const char REGISTER_PRINTER[] = "register-printer";
constexpr const char WAIT_FOR_SERVER[] = "wait-for-server-setup-to-complete";
// Not one of the known spoolers: servers of env_version 10 and above get an
// empty spooler name.
constexpr int HOSTWRIGHT_SPOOLER_KIND = 5;
constexpr std::int64_t MILLIS_PER_SECOND = 1000;

std::int64_t system_now_millis() { return os_monotonic_millis(); }
void system_sleep_millis(std::int64_t millis) { os_sleep_millis(millis); }
constexpr HostwrightClock SYSTEM_CLOCK{system_now_millis, system_sleep_millis};

int usage_error(const char* message) {
  std::fprintf(stderr, "Error: %s\n", message);
  std::fputs("\n", stderr);
  hostwright_print_usage();
  return HOSTWRIGHT_EXIT_USAGE;
}

int register_printer(int argc, const char* const* argv) {
  if (argc < 4) return usage_error("Missing server and printer name arguments");
  const char* server = argv[2];
  const char* printer = argv[3];
  const char* location = argc > 4 ? argv[4] : "";
  if (util_is_string_empty(server)) return usage_error("Server name is not defined.");
  if (util_is_string_empty(printer)) return usage_error("Printer name is not defined.");
  if (rpc_register_printer(server, printer, location, "", "", HOSTWRIGHT_SPOOLER_KIND, "", "") >=
      0) {
    return HOSTWRIGHT_EXIT_OK;
  }
  std::fprintf(stderr, "Error: Unable to register printer with server: %s\\%s\n", server,
               printer);
  return HOSTWRIGHT_EXIT_USAGE;
}

// The leading decimal number of the argument; anything else counts as 0, a
// number too large for 64 bits as INT32_MAX seconds.
std::int64_t read_seconds(const char* text) {
  const DecimalRead seconds = decimal_read(text);
  return seconds.saturated ? INT32_MAX : seconds.value;
}

struct CallTimeouts {
  int connect_ms;
  int send_ms;
};

// The configured time-outs, cut so that together (the call's deadline) they
// fit in `remaining_ms`.
CallTimeouts timeouts_within(std::int64_t remaining_ms) {
  const std::int64_t connect = std::min<std::int64_t>(global_ctx.connect_timeout_ms, remaining_ms);
  const std::int64_t send =
      std::min<std::int64_t>(global_ctx.send_timeout_ms, remaining_ms - connect);
  return {static_cast<int>(std::max<std::int64_t>(connect, 0)),
          static_cast<int>(std::max<std::int64_t>(send, 0))};
}

}  // namespace

void hostwright_print_usage() {
  std::fputs("Usage: hostwright command args...\n"
             "\n"
             "Commands:\n"
             "\tregister-printer server printer location\n"
             "\twait-for-server-setup-to-complete time-to-wait-secs\n"
             "\n",
             stderr);
}

int hostwright_wait_for_server(std::int64_t seconds, const HostwrightClock* clock) {
  const HostwrightClock& c = clock != nullptr ? *clock : SYSTEM_CLOCK;
  if (seconds <= 0) return 0;
  if (seconds > INT32_MAX) seconds = INT32_MAX;
  const std::int64_t deadline = c.now_millis() + seconds * MILLIS_PER_SECOND;
  for (std::int64_t now = c.now_millis(); now < deadline; now = c.now_millis()) {
    int ready = 0;
    // A server that refuses the connection is usually still starting: that
    // is what this command waits through, so a failed call is asked again.
    // Each call gets only the time that remains, so that a server that
    // accepts and never answers cannot hold the command past its limit.
    const CallTimeouts timeouts = timeouts_within(deadline - now);
    if (rpc_is_server_ready_to_register_printers_within(&ready, timeouts.connect_ms,
                                                        timeouts.send_ms) == 0 &&
        ready) {
      return 1;
    }
    const std::int64_t remaining = deadline - c.now_millis();
    if (remaining <= 0) break;
    c.sleep_millis(remaining < HOSTWRIGHT_WAIT_POLL_MS ? remaining : HOSTWRIGHT_WAIT_POLL_MS);
  }
  return 0;
}

int hostwright_run(int argc, const char* const* argv) {
  if (argc < 2 || argv == nullptr) {
    hostwright_print_usage();
    return HOSTWRIGHT_EXIT_USAGE;
  }
  const char* command = argv[1];
  if (std::strcmp(command, REGISTER_PRINTER) == 0) return register_printer(argc, argv);
  if (std::strcmp(command, WAIT_FOR_SERVER) == 0) {
    if (argc < 3) {
      hostwright_print_usage();
      return HOSTWRIGHT_EXIT_USAGE;
    }
    (void)hostwright_wait_for_server(read_seconds(argv[2]), nullptr);
    return HOSTWRIGHT_EXIT_OK;
  }
  hostwright_print_usage();
  return HOSTWRIGHT_EXIT_USAGE;
}

int hostwright_main(int argc, const char* const* argv) {
  if (argc < 2 || argv == nullptr) {
    hostwright_print_usage();
    return HOSTWRIGHT_EXIT_USAGE;
  }
  global_init();
  config_load(argv[0], &global_ctx);
  return hostwright_run(argc, argv);
}
