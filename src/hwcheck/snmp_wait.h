// Waiting for a printer around a job: idle before it (with the page counts
// before), printing, idle again after it, and by how much the counters rose.
// Each wait polls the printer (snmp_get_printer_data_retry) at intervals that
// grow while the printer is in error, until its state is reached or a time
// limit of the configuration passes. Results 1 or 0.
#pragma once

#include <cstdint>

#include "hwcheck/snmp_printer_data.h"

struct PageCounts {
  // The summed total counters when the total array has a usable entry, else
  // the marker counter.
  std::uint64_t total_page_count;
  std::int32_t has_color_count;
  std::uint64_t color_page_count;
  std::int32_t has_large_page_count;
  std::uint64_t large_page_count;
  // The wait gave up before the printer settled (a time limit passed, or the
  // printer still had an active job): the counts may be those of a job in
  // progress.
  std::int32_t abandoned;
};

struct PageCountDiff {
  std::int64_t total;
  std::int32_t has_color;  // from the counts before the job
  std::int64_t color;
  std::int32_t abandoned;  // the counts after were taken by a wait that gave up
};

// The idle wait before the job; the counts are logged.
[[nodiscard]] int snmp_wait_for_idle_before_print(SnmpSession* session,
                                                  const SnmpSnapshotConfig* config,
                                                  SnmpPollCallback callback, void* callback_data,
                                                  PageCounts* counts);

// The printing wait, the idle wait after the job, then the differences to
// `before` (snmp_page_count_diff). A wait that gave up still gives the
// differences so far, marked abandoned.
[[nodiscard]] int snmp_wait_for_idle_after_print(SnmpSession* session,
                                                 const SnmpSnapshotConfig* config,
                                                 SnmpPollCallback callback, void* callback_data,
                                                 const PageCounts* before, PageCountDiff* diff);

// Waits until the printer prints (status Printing or Warmup) or its main
// counter rises; gives up (result 1) after the printing limits.
[[nodiscard]] int snmp_wait_for_printing(SnmpSession* session, const SnmpSnapshotConfig* config,
                                         SnmpPollCallback callback, void* callback_data);

// Waits until the printer has been idle for the stabilization loops (before
// or after the job). `counts` follows every poll, so after a failure it holds
// the last poll's counts. `before` (after the job) tells whether the job
// moved the counters.
[[nodiscard]] int snmp_wait_for_idle(SnmpSession* session, int after,
                                     const SnmpSnapshotConfig* config, SnmpPollCallback callback,
                                     void* callback_data, const PageCounts* before,
                                     PageCounts* counts);

// The differences between the counts before and after a job, with large
// pages that the printer counted twice halved. 0 when a counter decreased.
[[nodiscard]] int snmp_page_count_diff(const SnmpSnapshotConfig* config, const PageCounts* before,
                                       const PageCounts* after, PageCountDiff* diff);

// 1 when the poll shows the printer in error: the maker's error check when
// it answered, else an error bit not in the ignore mask, else empty trays as
// the tray-pause mode says.
[[nodiscard]] int snmp_in_error(const SnmpSnapshotConfig* config, const PrinterData* data);

// 1 when a counter dropped between two polls (logged).
[[nodiscard]] int snmp_negative_diff_printer_data(const PrinterData* previous,
                                                  const PrinterData* current);
// Logs what changed between two polls; 1 when anything did.
int snmp_log_differences_printer_data(const PrinterData* previous, const PrinterData* current,
                                      int with_timestamp);
// Marks the counts abandoned when the maker's job check says a job is active.
void snmp_abandon_check(SnmpSession* session, const SnmpSnapshotConfig* config,
                        PageCounts* counts);
void snmp_log_page_counts(const PageCounts* counts);

// The counts of one poll (abandoned 0).
void snmp_page_counts_from_data(const SnmpSnapshotConfig* config, const PrinterData* data,
                                PageCounts* counts);

// The printer's main counter in a poll: the summed totals when the config
// says so and has them, else the marker counter.
[[nodiscard]] std::uint64_t snmp_main_counter(const SnmpSnapshotConfig* config,
                                              const PrinterData* data);
