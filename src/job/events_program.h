// The event process, "spoolwarden-events": drains the application server's
// events and so keeps the held-job markers that release held jobs, and keeps
// the shared log bounded (job/log_upkeep.h): after every server call, and
// every EVENTS_IDLE_LOG_CHECK_MS when server events are off (the process
// then only does that). Started as root by its service unit, it makes the
// held-job directory and a missing log directory, then runs as the service
// account. A termination request (SIGTERM, SIGINT) ends it at
// once, even in the middle of a long poll. The configuration is found as for
// the backend (beside the program); exit statuses 10 to 12 report one that
// cannot be loaded, 1 a failed start.
#pragma once

#include <cstdint>

// How often the log's size is looked at when server events are off: a stat
// of one file, so often enough that no burst of jobs outruns it for long.
inline constexpr std::int64_t EVENTS_IDLE_LOG_CHECK_MS = 10000;

[[nodiscard]] int events_program_main(int argc, char** argv);
