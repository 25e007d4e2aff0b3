// What a printer said over SNMP when the job flow asked for its model (or
// that it said nothing), remembered per printer address in a small file of
// the settings directory. Each job is a process of its own, so the memory
// has to outlive it: without it every job for a printer that does not
// answer SNMP waits out the time-outs again (about 12 s with the default
// HWCheckSnmpTimeoutSecs and HWCheckSnmpRetries), and a redirected job can
// ask twice.
//
// How long an answer is kept: a model the printer gave is kept for
// TransformCacheLifetimeSecs (4 hours by default), the lifetime of what the
// transform scripts know of a printer, since the model of the printer at an
// address does not change while it stays there. No answer is kept for at
// most PRINTER_MODEL_SILENT_SECS: long enough that a queue of jobs to a
// printer without SNMP waits once, short enough that a printer that was
// switched off is asked again soon after it is back. A lifetime of 0 turns
// the memory off.
#pragma once

#include <cstddef>
#include <cstdint>

// The longest time that a printer's silence is remembered.
inline constexpr std::int64_t PRINTER_MODEL_SILENT_SECS = 600;

enum class PrinterModelMemory {
  UNKNOWN,   // nothing remembered (or too old): ask the printer
  ANSWERED,  // the printer gave its model (in the caller's buffer)
  SILENT,    // the printer did not answer
};

// The remembered answer for `address` at the time `now` (seconds since the
// epoch); the model goes to `model` (cut to `size`) when it was ANSWERED.
[[nodiscard]] PrinterModelMemory printer_model_cache_read(const char* address, char* model,
                                                          std::size_t size, std::int64_t now);

// Remembers what `address` answered: its model, or null when it did not
// answer. Failures are only logged; 1 when remembered.
int printer_model_cache_write(const char* address, const char* model);

// The file that holds the memory of `address` in SettingsSpoolDir; 0 when no
// settings directory is configured or the path does not fit.
[[nodiscard]] int printer_model_cache_path(char* buffer, std::size_t size, const char* address);
