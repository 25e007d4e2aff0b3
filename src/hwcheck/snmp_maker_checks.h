// Printer makers' own checks, read from their private tables: Ricoh's
// counter types, Toshiba's and Konica Minolta's active-job state, and
// Toshiba's trays. Each reads through get_int_metric or snmp_walk and
// accepts INTEGER or Counter32 values. Results 1 when the check could be
// made, else 0 (logged at debug level).
#pragma once

#include <cstddef>

#include "hwcheck/snmp_model.h"

// Ricoh: walks the counter-type table 1.3.6.1.4.1.367.3.2.1.2.19.5.1.2;
// types 606 (colour), 400 (total) and 700 (large) set the entry's first
// object of that kind to the matching row of ...19.5.1.9.
[[nodiscard]] int custom_ricoh_counter_func(SnmpSession* session, HwcheckModelConfig* entry);

// Toshiba: the job status blink reason code; 10 to 99 is an error.
[[nodiscard]] int custom_toshiba_error_func(SnmpSession* session, int* error);
// Toshiba: a job exists while the job-existing object is 1.
[[nodiscard]] int custom_toshiba_job_exists_func(SnmpSession* session, int* exists);

// Konica Minolta: a job exists while the active job index is not 0.
[[nodiscard]] int custom_konica_job_exists_func(SnmpSession* session, int* exists);
// Konica Minolta: an active job of type 20 in status 25 is in error.
[[nodiscard]] int custom_konica_error_func(SnmpSession* session, int* error);
[[nodiscard]] int konica_process_all_active_jobs(SnmpSession* session, int* error);
// Most active jobs read in one check: the table holds the printer's queue,
// a few jobs; indexes from the printer are not trusted to be few.
inline constexpr std::size_t KONICA_MAX_ACTIVE_JOBS = 256;

// Toshiba trays: *no_paper is 1 when some paper size that a tray is set to
// has no tray with paper left.
[[nodiscard]] int snmp_has_no_paper_of_sizes(SnmpSession* session, int* no_paper);
// Highest tray number and paper-size codes of the Toshiba tray check.
inline constexpr int TOSHIBA_MAX_TRAY = 32;
inline constexpr int TOSHIBA_PAPER_SIZE_CODES = 64;
