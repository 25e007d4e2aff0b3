// One poll of a printer (PrinterData) and the settings that guide polls of
// one watched printer (SnmpSnapshotConfig).
#pragma once

#include <cstdint>
#include <cstdio>

#include "hwcheck/snmp_get.h"
#include "hwcheck/snmp_model.h"
#include "hwcheck/snmp_oid.h"
#include "hwcheck/snmp_session.h"

inline constexpr int SNMP_MAX_ALERT_TRAYS = 20;
inline constexpr int SNMP_MAX_METRICS = 4;

struct AlertTrayData {
  std::uint32_t alert_index;  // prtAlertIndex of the alert row
  std::int32_t tray_index;    // prtAlertGroupIndex: the tray; -1 until known
  std::int32_t empty;         // an "input media supply empty" alert
};

struct PrinterData {
  // Sums over the usable counter objects of the config; negative values
  // count as 0.
  std::uint64_t color_count;
  std::uint64_t total_count;
  std::uint64_t marker_count;
  std::uint64_t large_page_count;
  std::int32_t printer_status;  // hrPrinterStatus; 0 when the printer has none
  std::uint8_t printer_error[2];
  std::int32_t device_status;   // hrDeviceStatus; 0 when the printer has none
  std::int32_t data_error;      // the poll failed
  AlertTrayData alert_trays[SNMP_MAX_ALERT_TRAYS];
  std::int32_t num_alert_trays;
  std::int32_t num_empty_trays;
  std::int32_t custom_error;        // the maker's error check said "in error"
  std::int32_t custom_error_valid;  // ... and could be made
};

struct SnmpMetric {
  SnmpOid object;
  std::int32_t usable;
};

// Up to four counter objects of one kind; a poll examines the first `count`.
struct SnmpMetricArray {
  std::int64_t count;
  SnmpMetric entries[SNMP_MAX_METRICS];
  std::int32_t any_usable;
};

struct SnmpSnapshotConfig {
  // Waiting limits, from the HWCheck... keys.
  std::int64_t idle_poll_interval_ms;
  std::int64_t printing_poll_interval_ms;
  std::int64_t printing_noerror_max_secs;  // 0: no limit
  std::int64_t idle_noerror_max_secs;      // 0: no limit
  std::int64_t printing_error_max_secs;    // 0: no limit
  std::int64_t idle_error_max_secs;        // 0: no limit
  std::int64_t max_error_backoff_secs;
  std::int64_t error_increment_secs;
  std::int64_t retries_after;
  std::int64_t loops_before;
  std::int64_t loops_after;
  std::int64_t extra_time_loops;
  std::uint8_t ignore_errors[2];
  std::int32_t error_byte_swap;
  std::int32_t large_counter_doubled;
  std::int32_t use_total_as_main_counter;
  std::int32_t use_device_status;
  std::int32_t enterprise_id;
  char printer_desc[SNMP_PRINTER_DESC_SIZE];
  SnmpMetricArray color;
  SnmpMetricArray total;
  SnmpMetricArray large;
  std::int32_t tray_pause_mode;  // TrayPauseMode
  std::int32_t num_auto_trays;
  CustomErrorFn custom_error;
  CustomJobExistsFn custom_job_exists;
  std::int32_t delete_on_error;
  // The marker counter object chosen for this printer (prtMarkerLifeCount.1.1
  // or .0.1).
  SnmpOid marker;
};

// Called after each poll of a wait with the poll's data and the caller's
// data; `data_error` is 1 after a failed attempt of a retrying poll. 0 ends
// the wait with failure.
using SnmpPollCallback = int (*)(const SnmpSnapshotConfig* config, const PrinterData* data,
                                 void* callback_data, int data_error);

// Chooses the marker counter: the first of prtMarkerLifeCount.1.1 and .0.1
// that answers with an INTEGER or Counter32. Neither: the first, result 0.
[[nodiscard]] int snmp_set_marker_life_count(SnmpSession* session, SnmpSnapshotConfig* config);

// One poll (one GET of the marker, the states and the usable counters; the
// tray alerts and the maker's error check when configured). 1 on success;
// *timed_out tells a time-out.
[[nodiscard]] int snmp_get_printer_data(SnmpSession* session, const SnmpSnapshotConfig* config,
                                        PrinterData* data, int* timed_out);

// The poll with retries: time-outs use up to `retries` repeats; other
// failures are repeated after 2 s, up to 5 times, without using them up.
[[nodiscard]] int snmp_get_printer_data_retry(SnmpSession* session,
                                              const SnmpSnapshotConfig* config, PrinterData* data,
                                              std::int64_t retries, SnmpPollCallback callback,
                                              void* callback_data);

// The empty-tray alerts of prtAlertTable into the data.
[[nodiscard]] int snmp_get_alert_tray_data(SnmpSession* session, const SnmpSnapshotConfig* config,
                                           PrinterData* data);

// The poll as "Printer Data:" lines to `stream`, and as DEBUG entries.
void snmp_output_printer_data(const SnmpSnapshotConfig* config, const PrinterData* data,
                              FILE* stream);
void snmp_log_printer_data(const SnmpSnapshotConfig* config, const PrinterData* data);

// Builds the settings of the printer behind `session` (the model table,
// the configuration's limits and ignored errors, the counter objects, the
// marker). The result of choosing the marker counter (1 or 0).
[[nodiscard]] int snmp_init_snapshot_config(SnmpSession* session, SnmpSnapshotConfig* config);

// Empties `array` and tests up to four dotted texts into it; each that
// parses counts, each whose object answers a value of 0 or more is usable.
void test_and_set_int_metric_array(SnmpSession* session, const char* label,
                                   const std::vector<std::string>& texts, SnmpMetricArray* array);
