// Client side of the print monitor's line protocol: one request line
// ("name=value" or a command) written to the monitor's standard input, one
// answer line read from its standard output. Answers beginning "OK" or
// "DELETE" accept the line; "ERROR" and anything else refuse it.
#pragma once

#include <cstdio>

// Longest request or answer line, line feed included.
inline constexpr int PRINT_MONITOR_LINE_MAX = 1023;
// How long to wait for an answer. The monitor may hold "startdoc_lock" while
// it waits for the printer, so this is generous.
inline constexpr int PRINT_MONITOR_ANSWER_TIMEOUT_MS = 600000;

// Sends `name` (with "=" and `value` when value is not null) and reads the
// answer. Line ends inside the name or value are dropped (the protocol has
// no escaping), an over-long line is cut but keeps its line feed. *delete_job
// (optional) becomes 1 only for a DELETE answer. 1 when accepted (OK or
// DELETE); 0 on a write error (also when the monitor has exited: no
// SIGPIPE), no answer within the time-out, end of stream, or a refusal.
[[nodiscard]] int print_monitor_write_command_check_response(FILE* to_monitor, FILE* from_monitor,
                                                             const char* name, const char* value,
                                                             int* delete_job);
// The same with an explicit answer time-out in milliseconds.
[[nodiscard]] int print_monitor_write_command_check_response_ex(FILE* to_monitor,
                                                                FILE* from_monitor,
                                                                const char* name,
                                                                const char* value, int* delete_job,
                                                                int timeout_ms);
