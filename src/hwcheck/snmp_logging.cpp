#include "hwcheck/snmp_netsnmp.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "foundation/config.h"
#include "hwcheck/snmp_logging.h"

namespace {

bool g_use_program_log = true;
FILE* g_stream = nullptr;
bool g_opening = false;
bool g_library_ready = false;

FILE* out_stream() { return g_stream != nullptr ? g_stream : stderr; }

bool debug_on() { return global_ctx.debug_logging != 0; }

// The message without its trailing line ends.
const char* trimmed(const char* text, char* buffer, std::size_t size) {
  if (text == nullptr) return "";
  std::size_t n = std::strlen(text);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) --n;
  if (n >= size) n = size - 1;
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  return buffer;
}

void write_to_stream(int priority, const char* text) {
  if (priority <= SNMP_PRIORITY_ERROR) {
    std::fprintf(out_stream(), "Error: %s\n", text);
  } else if (debug_on()) {
    std::fprintf(out_stream(), "%s\n", text);
  }
}

}  // namespace

int snmp_tv_log_callback(int, int, void* message, void*) {
  const auto* m = static_cast<const snmp_log_message*>(message);
  if (m == nullptr) return 0;
  char text[2048];
  const char* line = trimmed(m->msg, text, sizeof text);
  if (g_opening || m->priority > SNMP_PRIORITY_INFO) {
    log_debug_printf_func(__FILE_NAME__, __LINE__, "%s", line);
  } else if (m->priority <= SNMP_PRIORITY_ERROR) {
    log_error_printf_func(__FILE_NAME__, __LINE__, "snmp: %s", line);
  } else if (m->priority == SNMP_PRIORITY_INFO) {
    log_info_printf_func(__FILE_NAME__, __LINE__, "%s", line);
  } else {
    log_debug_printf_func(__FILE_NAME__, __LINE__, "%s", line);
  }
  return 0;
}

int snmp_stderr_log_callback(int, int, void* message, void*) {
  const auto* m = static_cast<const snmp_log_message*>(message);
  if (m == nullptr) return 0;
  char text[2048];
  write_to_stream(m->priority, trimmed(m->msg, text, sizeof text));
  return 0;
}

void snmp_init(int use_program_log, FILE* stream) {
  g_use_program_log = use_program_log != 0;
  g_stream = stream;
  if (g_library_ready) return;
  g_library_ready = true;
  // The callback sees every message, including those of the start-up; the
  // two modes share it and choose by the current setting.
  snmp_register_callback(
      SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_LOGGING,
      [](int major, int minor, void* message, void* data) {
        return g_use_program_log ? snmp_tv_log_callback(major, minor, message, data)
                                 : snmp_stderr_log_callback(major, minor, message, data);
      },
      nullptr);
  snmp_enable_calllog();
  // Nothing outside this program changes how it talks to printers: no
  // snmp.conf, no persistent state, and no MIB modules (identifiers are
  // always numeric here, and loading MIBs costs start-up time).
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
  setenv("MIBS", "", 1);
  setenv("MIBDIRS", "", 1);
  init_snmp("snmpapp");
  netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OID_OUTPUT_FORMAT,
                     NETSNMP_OID_OUTPUT_NUMERIC);
}

void snmp_logging_set_opening(bool opening) { g_opening = opening; }

void hw_log(int priority, const char* file, int line, const char* format, ...) {
  if (priority > SNMP_PRIORITY_ERROR && !debug_on()) return;
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (!g_use_program_log) {
    write_to_stream(priority, text);
  } else if (priority <= SNMP_PRIORITY_ERROR) {
    log_error_printf_func(file, line, "%s", text);
  } else {
    log_debug_printf_func(file, line, "%s", text);
  }
}
