#include "server/rpc_printer_settings.h"

#include <cstddef>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/printer_settings.h"
#include "foundation/serialize_settings.h"
#include "foundation/util.h"
#include "server/rpc_internal.h"
#include "server/rpc_redirect.h"

namespace {

// Servers of env_version 5 and lower only know the colour-detection switch.
constexpr int SETTINGS_STRING_ENV_VERSION = 5;
constexpr std::size_t COLOR_ANSWER_SIZE = 50;      // 49 characters
constexpr std::size_t SETTINGS_ANSWER_SIZE = 1024;  // 1023 characters

// Calls a settings method; on a string reply copies it into `answer`.
bool call_for_text(const char* method, rpc_detail::Params& params, int connect_timeout_ms,
                   int send_timeout_ms, char* answer, std::size_t size) {
  XMLRPCParameterList* raw = nullptr;
  if (rpc_call_method_wrapper2(method, params.get(), &raw, 0, connect_timeout_ms,
                               send_timeout_ms) != 0) {
    return false;
  }
  rpc_detail::Params result(raw);
  const char* text = nullptr;
  if (rpc_detail::reply_type(result) != rpc_detail::TYPE_STRING ||
      XMLRPCParameterListReadString(result.get(), 0, &text) != 0) {
    return false;
  }
  util_safe_strncpy(answer, text, size);
  return true;
}

int color_detection_only(int connect_timeout_ms, int send_timeout_ms, const char* printer_name,
                         PrinterSettings* settings) {
  rpc_detail::Params params = rpc_detail::new_params();
  char answer[COLOR_ANSWER_SIZE] = {};
  if (params && XMLRPCParameterListAddString(params.get(), global_ctx.server_name) == 0 &&
      XMLRPCParameterListAddString(params.get(), printer_name) == 0 &&
      XMLRPCParameterListAddString(params.get(), "color-detection") == 0 &&
      call_for_text("spoolwarden.getPrinterConfigString", params, connect_timeout_ms,
                    send_timeout_ms, answer, sizeof answer)) {
    if (answer[0] == 'y' || answer[0] == 'Y') {
      settings->enable_color_detection = 1;
      LOG_DEBUG("Color detection enabled for printer: %s", printer_name);
    }
    return 1;
  }
  LOG_ERROR("Unable to determine color detection setting for printer: %s. Using default.",
            printer_name);
  settings->enable_color_detection = 0;
  return 0;
}

void log_settings(const char* printer_name, const PrinterSettings* settings) {
  if (settings->enable_color_detection) {
    LOG_DEBUG("Color detection enabled for printer: %s", printer_name);
  }
  if (settings->failure_mode != FAILURE_MODE_PRINT_NEW_NO_REPLAY) {
    LOG_DEBUG("Using failure-mode: %s",
              util_convert_failure_mode_enum_to_string(settings->failure_mode));
  }
  if (settings->hwcheck_mode != HWCHECK_MODE_NONE) {
    LOG_DEBUG("Using hardware-check-mode: %s",
              util_convert_hwcheck_mode_enum_to_string(settings->hwcheck_mode));
  }
  if (settings->confidentiality_mode != CONFIDENTIALITY_MODE_HIDE_NONE) {
    LOG_DEBUG("Using queue-confidentiality-mode: %s",
              util_convert_confidentiality_mode_enum_to_string(settings->confidentiality_mode));
  }
}

// Asks the server; 1 with `settings` filled when it answered with a text that
// parses.
int settings_from_server(int connect_timeout_ms, int send_timeout_ms, const char* server_name,
                         const char* printer_name, PrinterSettings* settings) {
  rpc_detail::Params params = rpc_detail::new_params();
  char answer[SETTINGS_ANSWER_SIZE] = {};
  if (!params || XMLRPCParameterListAddString(params.get(), server_name) != 0 ||
      XMLRPCParameterListAddString(params.get(), printer_name) != 0 ||
      !call_for_text("spoolwarden.getPrinterConfig", params, connect_timeout_ms, send_timeout_ms,
                     answer, sizeof answer)) {
    return 0;
  }
  return util_parse_settings_string(answer, settings);
}

}  // namespace

int rpc_get_printer_config_settings(int connect_timeout_ms, int send_timeout_ms,
                                    const char* server_name, const char* printer_name,
                                    PrinterSettings* settings) {
  if (!TV_ASSERT(settings != nullptr)) return 0;
  if (printer_name == nullptr) printer_name = "";
  if (global_ctx.env_version <= SETTINGS_STRING_ENV_VERSION) {
    printer_settings_init_defaults(settings);
    return color_detection_only(connect_timeout_ms, send_timeout_ms, printer_name, settings);
  }
  PrinterSettings stored;
  printer_settings_init_defaults(&stored);
  const int have_stored =
      serialize_settings_readin(global_ctx.settings_spool_dir_path, printer_name, &stored);
  PrinterSettings fresh;
  printer_settings_init_defaults(&fresh);
  if (settings_from_server(connect_timeout_ms, send_timeout_ms, server_name, printer_name,
                           &fresh)) {
    if ((!have_stored || !serialize_settings_equals(&stored, &fresh)) &&
        !serialize_settings_writeout(global_ctx.settings_spool_dir_path, printer_name, &fresh)) {
      LOG_DEBUG("Settings not written for printer: %s", printer_name);
    }
    *settings = fresh;
    log_settings(printer_name, settings);
    return 1;
  }
  LOG_ERROR("Unable to determine settings for printer: %s. Using persisted settings if possible.",
            printer_name);
  if (have_stored) {
    *settings = stored;
    return 1;
  }
  LOG_ERROR("Unable to read persistent settings for printer: %s. Using default settings.",
            printer_name);
  printer_settings_init_defaults(settings);
  return 0;
}
