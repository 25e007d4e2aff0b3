// Where the hardware check's messages and the SNMP library's own messages
// go. snmp_init chooses: the program log (DEBUG, INFO and ERROR entries), or
// a stream for programs without one ("Error: " lines, and the rest only with
// debug logging on).
#pragma once

#include <cstdio>

#include "foundation/log.h"

// Message priorities of the SNMP library's logger (syslog's numbers).
inline constexpr int SNMP_PRIORITY_ERROR = 3;
inline constexpr int SNMP_PRIORITY_INFO = 6;
inline constexpr int SNMP_PRIORITY_DEBUG = 7;

// Initialises the SNMP library once per process under the application name
// "snmpapp" (no configuration files, no MIB modules, numeric identifiers in
// printed variables) and sends its messages, and this subsystem's, to the
// program log (use_program_log non-zero) or to `stream` (standard error when
// null). May be called again to change where messages go.
void snmp_init(int use_program_log, FILE* stream);

// The library's logging callbacks; `message` is net-snmp's snmp_log_message.
// The program log: error and worse to ERROR "snmp: %s", informational to
// INFO, the rest to DEBUG; everything to DEBUG while a session is opened.
int snmp_tv_log_callback(int major, int minor, void* message, void* data);
// The stream: "Error: %s\n" for error and worse, other messages "%s\n" with
// debug logging on.
int snmp_stderr_log_callback(int major, int minor, void* message, void* data);

// Marks the opening of a session, during which the library's complaints are
// only DEBUG entries (a host that does not resolve is the caller's to report).
void snmp_logging_set_opening(bool opening);

// One message of this subsystem at a library priority, to wherever snmp_init
// sent messages. Use HW_ERROR and HW_DEBUG.
void hw_log(int priority, const char* file, int line, const char* format, ...) SW_PRINTF(4, 5);

#define HW_ERROR(...) hw_log(SNMP_PRIORITY_ERROR, __FILE_NAME__, __LINE__, __VA_ARGS__)
#define HW_DEBUG(...) hw_log(SNMP_PRIORITY_DEBUG, __FILE_NAME__, __LINE__, __VA_ARGS__)
