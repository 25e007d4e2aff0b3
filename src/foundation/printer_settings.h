// Per-printer settings from the application server, their mode texts, the
// printer-state texts and the parser of the server's settings text.
#pragma once

#include <cstdint>
#include <span>

enum FailureMode : int {
  FAILURE_MODE_PRINT_NEW_NO_REPLAY = 0,
  FAILURE_MODE_PRINT_NEW_WITH_REPLAY = 1,
  FAILURE_MODE_HOLD = 2,
};

enum HardwareCheckMode : int {
  HWCHECK_MODE_SNMP = 0,
  HWCHECK_MODE_NONE = 1,
};

enum ConfidentialityMode : int {
  CONFIDENTIALITY_MODE_HIDE_NONE = 0,
  CONFIDENTIALITY_MODE_HIDE_NAME = 1,
};

enum PrinterState : int {
  PRINTER_STATE_OK = 0,
  PRINTER_STATE_PAPER_JAM = 1,
  PRINTER_STATE_PAPER_OUT = 2,
  PRINTER_STATE_PAPER_PROBLEM = 3,
  PRINTER_STATE_OUTPUT_BIN_FULL = 4,
  PRINTER_STATE_NOT_AVAILABLE = 5,
  PRINTER_STATE_NO_TONER = 6,
  PRINTER_STATE_OUT_OF_MEMORY = 7,
  PRINTER_STATE_OFFLINE = 8,
  PRINTER_STATE_DOOR_OPEN = 9,
  PRINTER_STATE_USER_INTERVENTION = 10,
  PRINTER_STATE_ERROR = 11,
};

struct PrinterSettings {
  std::int32_t enable_color_detection;  // flag
  std::int32_t failure_mode;            // FailureMode
  std::int32_t hwcheck_mode;            // HardwareCheckMode
  std::int32_t archiving;               // flag
  std::int32_t confidentiality_mode;    // ConfidentialityMode
  std::int32_t is_virtual;              // flag
};

// All fields 0 except the hardware-check mode NONE.
void printer_settings_init_defaults(PrinterSettings* settings);

// One row of a mode table: the code and its text.
struct ModeText {
  int code;
  const char* text;
};

// The mode tables, each mapping both ways: failure modes, hardware-check
// modes and queue-confidentiality modes.
[[nodiscard]] std::span<const ModeText> on_error_str();
[[nodiscard]] std::span<const ModeText> hwcheck_mode_str();
[[nodiscard]] std::span<const ModeText> confidentiality_mode_str();

// Mode texts; a code without a row is "Undefined".
[[nodiscard]] const char* util_convert_failure_mode_enum_to_string(int code);
[[nodiscard]] const char* util_convert_hwcheck_mode_enum_to_string(int code);
[[nodiscard]] const char* util_convert_confidentiality_mode_enum_to_string(int code);
// 1 and the code when the text is a row of the enumeration (exact, case
// included), else 0.
[[nodiscard]] int util_convert_failure_mode_string_to_enum(const char* text, int* code);
[[nodiscard]] int util_convert_hwcheck_mode_string_to_enum(const char* text, int* code);
[[nodiscard]] int util_convert_confidentiality_mode_string_to_enum(const char* text, int* code);

// Printer-state text ("OK" .. "ERROR"), "UNKNOWN" for other codes.
[[nodiscard]] const char* util_printer_state_to_string(int state);

// Parses the server's "key=value;key=value" settings text into `settings`
// (reset to the defaults first). 1 when both "color-detection" and
// "failure-mode" were given and nothing was malformed, else 0; the record
// keeps what was parsed either way.
[[nodiscard]] int util_parse_settings_string(const char* text, PrinterSettings* settings);
