// The print monitor (the program the backend starts for a job whose printer
// is checked): the answering side of the line protocol.
//
// It takes the printer's name, address, the job id and paper size, then:
//   "startdoc_lock"  takes the printer's lock (one check per printer at a
//                    time), opens a v2c session, learns the printer's model
//                    settings and waits until it is idle, reading the page
//                    counters before the job. Answers OK, or DELETE when the
//                    printer is in error and its model entry says
//                    deleteonerror (an SNMP failure never deletes a job).
//   "enddoc_bg"      answers OK and goes on in a detached child, so that the
//                    backend, which sends the job once the monitor has
//                    exited, is not held up: the child waits for the printer
//                    to print and settle, and reports the pages it counted
//                    to the application server (hwcheck_report.h).
#pragma once

#include <cstdint>
#include <cstdio>

#include "hwcheck/print_monitor.h"

struct PrintMonitorLimits {
  // Longest "startdoc_lock" takes before it answers: well within the time
  // the backend waits for an answer.
  std::int64_t startdoc_millis;
  // Longest the check after the job goes on before it reports what it has.
  std::int64_t background_millis;
};

inline constexpr PrintMonitorLimits PRINT_MONITOR_DEFAULT_LIMITS{
    PRINT_MONITOR_ANSWER_TIMEOUT_MS - 60000, 6LL * 3600 * 1000};

// Answers the request lines of `in` on `out` until the end of `in`, or
// until "enddoc_bg" hands the job to a detached child. The exit status of
// the program (in the child: of the check after the job).
[[nodiscard]] int print_monitor_serve(FILE* in, FILE* out, const PrintMonitorLimits& limits);
