// Printer-model entries: where a printer family keeps its page counters, how
// it reports errors, and which maker's checks apply. A built-in table of 23
// rows and up to five entries from the configuration (HWCheckModel1 to
// HWCheckModel5); the entry that matches a printer's description and maker
// number decides its settings (snmp_init_snapshot_config).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hwcheck/snmp_session.h"

struct HwcheckModelConfig;

// A maker's counter check: fills the entry's colour, total and large-page
// object lists (first slot of each). 1 when it could read the printer.
using CustomCounterFn = int (*)(SnmpSession* session, HwcheckModelConfig* entry);
// A maker's error check: 1 when it could be made, *error whether the
// printer is in error.
using CustomErrorFn = int (*)(SnmpSession* session, int* error);
// A maker's job check: 1 when it could be made, *exists whether a job is
// still active on the printer.
using CustomJobExistsFn = int (*)(SnmpSession* session, int* exists);

// A flag that a configuration entry left unset.
inline constexpr std::int32_t HWCHECK_FLAG_UNSET = 3;
// Loops that an entry left unset.
inline constexpr std::int64_t HWCHECK_LOOPS_UNSET = -1;
inline constexpr std::size_t HWCHECK_MAX_STRINGS = 20;
inline constexpr std::size_t HWCHECK_MAX_COUNTER_OIDS = 4;
inline constexpr std::size_t HWCHECK_MAX_USER_MODELS = 5;
inline constexpr std::size_t HWCHECK_BUILTIN_MODEL_ROWS = 23;

// PauseOnPaperTrayError: whether empty trays count as a printer error.
enum TrayPauseMode : std::int32_t {
  TRAY_PAUSE_OFF = 0,
  TRAY_PAUSE_ANY_TRAY = 1,  // one empty tray is an error
  TRAY_PAUSE_ALL_TRAYS = 2, // every automatic tray empty is an error
};

struct HwcheckModelConfig {
  std::int32_t enterprise_id = 0;             // 0: none
  std::vector<std::string> make_strings;      // at most 20
  std::vector<std::string> model_strings;     // at most 20
  std::int64_t loops_before = HWCHECK_LOOPS_UNSET;
  std::int64_t loops_after = HWCHECK_LOOPS_UNSET;
  // 0, 1, or HWCHECK_FLAG_UNSET (configuration entries only).
  std::int32_t error_byte_swap = HWCHECK_FLAG_UNSET;
  std::int32_t large_counter_doubled = HWCHECK_FLAG_UNSET;
  std::int32_t use_total_as_main_counter = HWCHECK_FLAG_UNSET;
  std::int32_t use_device_status = HWCHECK_FLAG_UNSET;
  std::int32_t exact_model_match = HWCHECK_FLAG_UNSET;
  // Dotted counter objects, at most 4 of each kind.
  std::vector<std::string> color_mibs;
  std::vector<std::string> total_mibs;
  std::vector<std::string> large_mibs;
  CustomCounterFn custom_counter = nullptr;
  std::int32_t do_custom_counter = HWCHECK_FLAG_UNSET;
  CustomErrorFn custom_error = nullptr;
  std::int32_t do_custom_error = HWCHECK_FLAG_UNSET;
  CustomJobExistsFn custom_job_exists = nullptr;
  std::int32_t do_custom_job_exists = HWCHECK_FLAG_UNSET;
  std::int32_t delete_on_error = HWCHECK_FLAG_UNSET;
  std::int32_t pause_on_tray_error = TRAY_PAUSE_OFF;
  bool pause_on_tray_error_given = false;  // a configuration line named it
};

// The built-in table, in its fixed order (never changed at run time).
[[nodiscard]] const std::vector<HwcheckModelConfig>& snmp_builtin_model_table();

// Parses one HWCheckModel line (pairs name="value") and appends the entry to
// `entries` while fewer than five are there. A bad line is logged and
// ignored; an empty text is skipped.
void process_hwcheck_model_str(const char* text, std::vector<HwcheckModelConfig>* entries);

// The entries of HWCheckModel1 to HWCheckModel5 of the configuration.
[[nodiscard]] std::vector<HwcheckModelConfig> snmp_read_user_model_config();

// The row of `table` that best matches the printer's description and maker
// number (the longest matching model string; rows without models are
// fallbacks), or null.
[[nodiscard]] const HwcheckModelConfig* snmp_find_model_entry(int enterprise_id, const char* desc,
                                                              const HwcheckModelConfig* table,
                                                              std::size_t count);

// The built-in row with the configuration entry's set values merged in (a
// copy: the table is never changed).
[[nodiscard]] HwcheckModelConfig snmp_merge_model_entries(const HwcheckModelConfig& builtin,
                                                          const HwcheckModelConfig& user);

// DEBUG dumps of one entry, and of the user entries and the built-in table.
void snmp_log_hwcheck_model_entry(const char* label, const HwcheckModelConfig& entry);
void snmp_log_hwcheck_model_table(const std::vector<HwcheckModelConfig>& user_entries);
