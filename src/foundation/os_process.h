// The process itself: detaching, the service account, crash backtraces and
// the host name. Results are 1 for success and 0 for failure.
#pragma once

#include <cstddef>

// The account the system's programs switch to when they run as root.
inline constexpr const char* OS_SERVICE_ACCOUNT = "torvelle";

// 1 when a process with id `pid` exists (whoever runs it), else 0; ids of 0
// and below name no process.
[[nodiscard]] int os_process_is_running(long pid);

// Detaches the calling (already forked) process: new session, stdin from
// /dev/zero, stdout and stderr to /dev/null, SIGTSTP ignored.
int os_unix_daemonize();
// Switches a root process to the service account; 0 when not root or on failure.
[[nodiscard]] int os_su_to_torvelle();
// The same for any account (the switch itself; os_su_to_torvelle calls it).
[[nodiscard]] int os_su_to_user(const char* account);

// The primary group id of `account`, or -1 when there is no such account.
[[nodiscard]] long os_account_group(const char* account);
// The user id of `account`, or -1 when there is no such account.
[[nodiscard]] long os_account_uid(const char* account);
// The id of the group named `group`, or -1 when there is none.
[[nodiscard]] long os_group_id(const char* group);

// Prepares os_dump_backtrace for use inside a signal handler: loads the
// unwinder now and opens `log_path` for appending (null or failure: the
// handler writes to standard error). Call when installing the handler.
void os_dump_backtrace_prepare(const char* log_path);
// For SIGSEGV, SIGBUS and SIGFPE writes the backtrace as ERROR lines; other
// signals do nothing. Async-signal-safe after os_dump_backtrace_prepare.
void os_dump_backtrace(int signal_number);

// This program's own absolute path, read from the kernel (argv[0] is no
// path for a CUPS backend: CUPS passes the device URI there). 1 with the
// path in `buffer`; 0 when it cannot be read or does not fit.
[[nodiscard]] int os_executable_path(char* buffer, std::size_t size);
// The path a program's configuration is found beside (config_load): its own
// executable, however it was started (through PATH, by a relative path);
// `argv0` only when the kernel cannot tell. Returns `buffer` or `argv0`.
[[nodiscard]] const char* os_command_path(const char* argv0, char* buffer, std::size_t size);

// This machine's host name.
[[nodiscard]] int os_get_computer_name(char* buffer, std::size_t size);

// The socket layer needs no start-up here; both return 1.
int os_winsock_init();
int os_winsock_cleanup();
