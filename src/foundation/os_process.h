// The process itself: detaching, the service account, crash backtraces and
// the host name. Results are 1 for success and 0 for failure.
#pragma once

#include <cstddef>

// The account the system's programs switch to when they run as root.
inline constexpr const char* OS_SERVICE_ACCOUNT = "torvelle";

// Detaches the calling (already forked) process: new session, stdin from
// /dev/zero, stdout and stderr to /dev/null, SIGTSTP ignored.
int os_unix_daemonize();
// Switches a root process to the service account; 0 when not root or on failure.
[[nodiscard]] int os_su_to_torvelle();
// The same for any account (the switch itself; os_su_to_torvelle calls it).
[[nodiscard]] int os_su_to_user(const char* account);

// Prepares os_dump_backtrace for use inside a signal handler: loads the
// unwinder now and opens `log_path` for appending (null or failure: the
// handler writes to standard error). Call when installing the handler.
void os_dump_backtrace_prepare(const char* log_path);
// For SIGSEGV, SIGBUS and SIGFPE writes the backtrace as ERROR lines; other
// signals do nothing. Async-signal-safe after os_dump_backtrace_prepare.
void os_dump_backtrace(int signal_number);

// This machine's host name.
[[nodiscard]] int os_get_computer_name(char* buffer, std::size_t size);

// The socket layer needs no start-up here; both return 1.
int os_winsock_init();
int os_winsock_cleanup();
