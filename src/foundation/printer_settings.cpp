// Printer settings: defaults, mode texts, printer-state texts and the parser
// of the server's per-printer settings text.
#include "foundation/printer_settings.h"

#include <array>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "foundation/log.h"
#include "foundation/util.h"

namespace {

constexpr std::array<ModeText, 3> ON_ERROR_STR{{
    {FAILURE_MODE_PRINT_NEW_NO_REPLAY, "PRINT_NEW_NO_REPLAY"},
    {FAILURE_MODE_PRINT_NEW_WITH_REPLAY, "PRINT_NEW_WITH_REPLAY"},
    {FAILURE_MODE_HOLD, "HOLD"},
}};

constexpr std::array<ModeText, 2> HWCHECK_MODE_STR{{
    {HWCHECK_MODE_SNMP, "SNMP"},
    {HWCHECK_MODE_NONE, "NONE"},
}};

constexpr std::array<ModeText, 2> CONFIDENTIALITY_MODE_STR{{
    {CONFIDENTIALITY_MODE_HIDE_NONE, "HIDE_NONE"},
    {CONFIDENTIALITY_MODE_HIDE_NAME, "HIDE_NAME"},
}};

constexpr std::array<const char*, 12> PRINTER_STATE_STR{
    "OK",      "PAPER_JAM", "PAPER_OUT", "PAPER_PROBLEM", "OUTPUT_BIN_FULL",   "NOT_AVAILABLE",
    "NO_TONER", "OUT_OF_MEMORY", "OFFLINE", "DOOR_OPEN", "USER_INTERVENTION", "ERROR",
};

const char* mode_to_string(std::span<const ModeText> table, int code) {
  for (const ModeText& row : table) {
    if (row.code == code) return row.text;
  }
  return "Undefined";
}

int string_to_mode(std::span<const ModeText> table, const char* text, int* code) {
  if (text == nullptr || code == nullptr) return 0;
  for (const ModeText& row : table) {
    if (std::strcmp(row.text, text) == 0) {
      *code = row.code;
      return 1;
    }
  }
  return 0;
}

bool is_yes(std::string_view value) { return !value.empty() && (value[0] == 'Y' || value[0] == 'y'); }

// Applies one key=value pair. false when the value is not acceptable.
bool apply_setting(const std::string& key, const std::string& value, PrinterSettings* settings,
                   bool* have_color, bool* have_failure_mode) {
  int code = 0;
  if (key == "color-detection") {
    settings->enable_color_detection = is_yes(value) ? 1 : 0;
    *have_color = true;
  } else if (key == "failure-mode") {
    if (!util_convert_failure_mode_string_to_enum(value.c_str(), &code)) return false;
    settings->failure_mode = code;
    *have_failure_mode = true;
  } else if (key == "hardware-check-mode") {
    if (!util_convert_hwcheck_mode_string_to_enum(value.c_str(), &code)) return false;
    settings->hwcheck_mode = code;
  } else if (key == "archiving") {
    settings->archiving = is_yes(value) ? 1 : 0;
  } else if (key == "queue-confidentiality-mode") {
    if (!util_convert_confidentiality_mode_string_to_enum(value.c_str(), &code)) return false;
    settings->confidentiality_mode = code;
  } else if (key == "virtual") {
    settings->is_virtual = is_yes(value) ? 1 : 0;
  } else {
    LOG_DEV("parse_settings_string: unknown key \"%s\"", key.c_str());
  }
  return true;
}

}  // namespace

std::span<const ModeText> on_error_str() { return ON_ERROR_STR; }

std::span<const ModeText> hwcheck_mode_str() { return HWCHECK_MODE_STR; }

std::span<const ModeText> confidentiality_mode_str() { return CONFIDENTIALITY_MODE_STR; }

void printer_settings_init_defaults(PrinterSettings* settings) {
  if (!TV_ASSERT(settings != nullptr)) return;
  *settings = PrinterSettings{};
  settings->hwcheck_mode = HWCHECK_MODE_NONE;
}

const char* util_convert_failure_mode_enum_to_string(int code) {
  return mode_to_string(ON_ERROR_STR, code);
}

const char* util_convert_hwcheck_mode_enum_to_string(int code) {
  return mode_to_string(HWCHECK_MODE_STR, code);
}

const char* util_convert_confidentiality_mode_enum_to_string(int code) {
  return mode_to_string(CONFIDENTIALITY_MODE_STR, code);
}

int util_convert_failure_mode_string_to_enum(const char* text, int* code) {
  return string_to_mode(ON_ERROR_STR, text, code);
}

int util_convert_hwcheck_mode_string_to_enum(const char* text, int* code) {
  return string_to_mode(HWCHECK_MODE_STR, text, code);
}

int util_convert_confidentiality_mode_string_to_enum(const char* text, int* code) {
  return string_to_mode(CONFIDENTIALITY_MODE_STR, text, code);
}

const char* util_printer_state_to_string(int state) {
  if (state < 0 || static_cast<std::size_t>(state) >= PRINTER_STATE_STR.size()) return "UNKNOWN";
  return PRINTER_STATE_STR[static_cast<std::size_t>(state)];
}

int util_parse_settings_string(const char* text, PrinterSettings* settings) {
  if (!TV_ASSERT(settings != nullptr)) return 0;
  if (text == nullptr) text = "";
  LOG_DEBUG("parse_settings_string: \"%s\"", text);
  std::string copy;
  try {
    copy = text;
  } catch (const std::bad_alloc&) {
    LOG_ERROR("parse_settings_string(\"%s\"): allocation failed", text);
    return 0;
  }
  printer_settings_init_defaults(settings);

  bool have_color = false;
  bool have_failure_mode = false;
  std::size_t pos = 0;
  while (pos < copy.size()) {
    std::size_t end = copy.find(';', pos);
    if (end == std::string::npos) end = copy.size();
    std::size_t equals = copy.find('=', pos);
    if (equals == std::string::npos || equals > end || equals + 1 == end) return 0;
    std::string key = copy.substr(pos, equals - pos);
    std::string value = copy.substr(equals + 1, end - equals - 1);
    LOG_DEV("parse_settings_string: <key=\"%s\",val=\"%s\">", key.c_str(), value.c_str());
    if (!apply_setting(key, value, settings, &have_color, &have_failure_mode)) return 0;
    pos = end + 1;
  }
  return have_color && have_failure_mode ? 1 : 0;
}
