// Where the application-server calls currently go when the server has handed
// this print server over to another application server for a while. One per
// process; the server calls change it, start-up clears it.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t REDIRECT_HOST_SIZE = 1024;

struct RedirectState {
  int active;                      // 0 or 1
  char host[REDIRECT_HOST_SIZE];   // redirect target, up to 1023 characters
  int port;
  std::int64_t start_time;         // seconds since the epoch the redirect began
};

// The process's redirect state.
extern RedirectState global_redirect_state;

// Makes the state inactive: flag and start time 0, host empty.
void redirect_state_clear(RedirectState* state);
