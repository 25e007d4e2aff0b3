// The hostwright command, used while a print server is set up: registers a
// print queue with the application server, or waits until the server accepts
// registrations. The executable's main only calls hostwright_main.
#pragma once

#include <cstdint>

// Exit statuses besides the configuration loader's 10, 11 and 12.
inline constexpr int HOSTWRIGHT_EXIT_OK = 0;
inline constexpr int HOSTWRIGHT_EXIT_USAGE = 1;
// Pause between two readiness questions.
inline constexpr std::int64_t HOSTWRIGHT_WAIT_POLL_MS = 2000;

// The clock of the wait command; tests replace it.
struct HostwrightClock {
  std::int64_t (*now_millis)();
  void (*sleep_millis)(std::int64_t millis);
};

// The whole command: usage check, global_init, config_load next to argv[0]
// (exits with 10, 11 or 12 when that fails), then hostwright_run.
[[nodiscard]] int hostwright_main(int argc, const char* const* argv);

// Runs the command word of an already configured process. The exit status.
[[nodiscard]] int hostwright_run(int argc, const char* const* argv);

// Asks the server every HOSTWRIGHT_WAIT_POLL_MS whether it is ready, until it
// says so or `seconds` have passed; a server that cannot be reached is asked
// again. 1 when it said ready, else 0. Null `clock` uses the system clock.
[[nodiscard]] int hostwright_wait_for_server(std::int64_t seconds, const HostwrightClock* clock);

// Writes the usage text to standard error.
void hostwright_print_usage();
