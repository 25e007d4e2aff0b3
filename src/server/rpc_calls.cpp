#include "server/rpc_calls.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/printer_settings.h"
#include "foundation/util.h"
#include "server/rpc_internal.h"
#include "server/rpc_redirect.h"

using rpc_detail::call;
using rpc_detail::new_params;
using rpc_detail::Params;
using rpc_detail::reply_type;

namespace {

constexpr int CANCEL_CONNECT_RETRIES = 2;
constexpr int REGISTER_PRINTER_V2_ENV_VERSION = 10;
constexpr int REGISTER_PRINTER_V3_ENV_VERSION = 13;
constexpr int REGISTER_PRINTER_TEXTS_ENV_VERSION = 4;

// Appends texts in order; -1 when memory runs out.
int add_strings(XMLRPCParameterList* list, std::initializer_list<const char*> texts) {
  for (const char* text : texts) {
    if (XMLRPCParameterListAddString(list, text) != 0) return -1;
  }
  return 0;
}

const char* log_level_name(int level) {
  if (level == RPC_LOG_CRITICAL) return "CRITICAL";
  if (level == RPC_LOG_WARNING) return "WARNING";
  return "INFORMATION";
}

// Calls a method without parameters whose string reply is copied to buffer.
int get_config_text(const char* method, char* buffer, std::size_t size) {
  Params params = new_params();
  Params result;
  if (!params || call(method, params, result, 0) != 0) return -1;
  const char* text = nullptr;
  if (reply_type(result) != rpc_detail::TYPE_STRING ||
      XMLRPCParameterListReadString(result.get(), 0, &text) != 0) {
    return -1;
  }
  if (buffer != nullptr && size > 0) util_safe_strncpy(buffer, text, size);
  return 0;
}

const char* register_printer_method(int env_version) {
  if (env_version >= REGISTER_PRINTER_V3_ENV_VERSION) return "spoolwarden.registerPrinter3";
  if (env_version >= REGISTER_PRINTER_V2_ENV_VERSION) return "spoolwarden.registerPrinter2";
  return "spoolwarden.registerPrinter";
}

}  // namespace

const char* rpc_spooler_name(int kind) {
  switch (kind) {
    case SPOOLER_WIN: return "WIN";
    case SPOOLER_CUPS: return "CUPS";
    case SPOOLER_SAMBA: return "SAMBA";
    case SPOOLER_IPRINT: return "IPRINT";
    default: return "";
  }
}

int rpc_log_message(const char* server_name, int level, const char* text) {
  Params params = new_params();
  Params result;
  if (!params || add_strings(params.get(), {server_name, log_level_name(level), text}) != 0 ||
      call("log.logMessage", params, result, 0) != 0) {
    return -1;
  }
  const char* reply = nullptr;
  if (reply_type(result) == rpc_detail::TYPE_STRING &&
      XMLRPCParameterListReadString(result.get(), 0, &reply) == 0 &&
      !util_equal_str(reply, "SUCCESS")) {
    return -1;
  }
  return 0;
}

int rpc_log_messagef(const char* server_name, int level, const char* format, ...) {
  char* text = nullptr;
  va_list args;
  va_start(args, format);
  const int formatted = util_safe_vsnprintf(&text, format, args);
  va_end(args);
  if (!formatted) return -1;
  const int rc = rpc_log_message(server_name, level, text);
  std::free(text);
  return rc;
}

int rpc_notify_pdl_copy_complete(const char* server_name, const char* archive_sub_path,
                                 const char* job_uid) {
  Params params = new_params();
  Params result;
  if (params && add_strings(params.get(), {server_name, archive_sub_path, job_uid}) == 0) {
    (void)call("spoolwarden.notifyPdlCopyComplete", params, result, 0);
  }
  return 0;
}

int rpc_update_spooled_job_status(const char* text1, const char* text2, const char* text3,
                                  const char* text4) {
  Params params = new_params();
  Params result;
  if (!params || add_strings(params.get(), {text1, text2, text3, text4}) != 0) return -1;
  const int rc = call("spoolwarden.updateSpooledJobStatus", params, result, 0);
  if (rc == 0 && reply_type(result) == rpc_detail::TYPE_BOOLEAN) {
    int unused = 0;
    (void)XMLRPCParameterListReadBoolean(result.get(), 0, &unused);
  }
  return rc;
}

int rpc_validate_and_register_redirected_job(const char* redirect_uid, const char* job_id,
                                             int* flag) {
  Params params = new_params();
  Params result;
  if (!params || add_strings(params.get(), {redirect_uid, job_id}) != 0 ||
      call("spoolwarden.validateAndRegisterRedirectedJob", params, result, 0) != 0) {
    return -1;
  }
  int value = 0;
  if (reply_type(result) != rpc_detail::TYPE_BOOLEAN ||
      XMLRPCParameterListReadBoolean(result.get(), 0, &value) != 0) {
    LOG_DEBUG("Unexpected return type.");
    return -1;
  }
  if (flag != nullptr) *flag = value;
  return 0;
}

int rpc_is_server_ready_to_register_printers(int* flag) {
  return rpc_is_server_ready_to_register_printers_within(flag, global_ctx.connect_timeout_ms,
                                                         global_ctx.send_timeout_ms);
}

int rpc_is_server_ready_to_register_printers_within(int* flag, int connect_timeout_ms,
                                                    int send_timeout_ms) {
  Params params = new_params();
  if (!params) return -1;
  XMLRPCParameterList* raw = nullptr;
  const int rc = rpc_call_method_wrapper2("spoolwarden.isServerReadyToRegisterPrinters",
                                          params.get(), &raw, 0, connect_timeout_ms,
                                          send_timeout_ms);
  Params result(raw);
  if (rc != 0 || !result) return -1;
  int value = 0;
  if (reply_type(result) == rpc_detail::TYPE_BOOLEAN &&
      XMLRPCParameterListReadBoolean(result.get(), 0, &value) == 0 && flag != nullptr) {
    *flag = value;
  }
  return 0;
}

int rpc_register_printer(const char* server, const char* printer, const char* location,
                         const char* text4, const char* text5, int spooler_kind,
                         const char* text6, const char* text7) {
  const int env_version = global_ctx.env_version;
  Params params = new_params();
  Params result;
  if (!params || add_strings(params.get(), {server, printer, location}) != 0) return -1;
  if (env_version >= REGISTER_PRINTER_TEXTS_ENV_VERSION &&
      add_strings(params.get(), {text4, text5}) != 0) {
    return -1;
  }
  if (env_version >= REGISTER_PRINTER_V2_ENV_VERSION &&
      (add_strings(params.get(), {rpc_spooler_name(spooler_kind)}) != 0 ||
       XMLRPCParameterListAddInt(params.get(), env_version) != 0 ||
       add_strings(params.get(), {text6, text7}) != 0)) {
    return -1;
  }
  if (env_version >= REGISTER_PRINTER_V3_ENV_VERSION &&
      XMLRPCParameterListAddBoolean(params.get(), global_ctx.direct_printing_mode) != 0) {
    return -1;
  }
  if (call(register_printer_method(env_version), params, result, 0) != 0) return -1;
  const char* reply = nullptr;
  if (reply_type(result) == rpc_detail::TYPE_STRING &&
      XMLRPCParameterListReadString(result.get(), 0, &reply) == 0 &&
      util_equal_str(reply, "FAILURE")) {
    LOG_DEBUG("register printer returned: FAILURE");
    return -1;
  }
  return 0;
}

int rpc_process_print_job_cancellation(const char* server, const char* printer,
                                       const char* job_id, int flag, int number) {
  return rpc_process_print_job_cancellation_within(server, printer, job_id, flag, number,
                                                   global_ctx.connect_timeout_ms,
                                                   global_ctx.send_timeout_ms);
}

int rpc_process_print_job_cancellation_within(const char* server, const char* printer,
                                              const char* job_id, int flag, int number,
                                              int connect_timeout_ms, int send_timeout_ms) {
  Params params = new_params();
  if (!params || add_strings(params.get(), {server, printer, job_id}) != 0 ||
      XMLRPCParameterListAddBoolean(params.get(), flag) != 0 ||
      XMLRPCParameterListAddInt(params.get(), number) != 0) {
    return -1;
  }
  XMLRPCParameterList* raw = nullptr;
  const int rc = rpc_call_method_wrapper2("spoolwarden.cancelPrintJob", params.get(), &raw,
                                          CANCEL_CONNECT_RETRIES, connect_timeout_ms,
                                          send_timeout_ms);
  Params result(raw);
  if (rc != 0 || !result) return -1;
  int ok = 1;
  if (reply_type(result) == rpc_detail::TYPE_BOOLEAN &&
      XMLRPCParameterListReadBoolean(result.get(), 0, &ok) == 0 && !ok) {
    LOG_DEBUG("Server reported failure cancelling job.");
    return -1;
  }
  return 0;
}

int rpc_report_printer_state(const char* server, const char* printer, int state, int number,
                             int flag) {
  const char* state_name = util_printer_state_to_string(state);
  Params params = new_params();
  Params result;
  if (!params || add_strings(params.get(), {server, printer, state_name}) != 0 ||
      XMLRPCParameterListAddInt(params.get(), number) != 0 ||
      XMLRPCParameterListAddBoolean(params.get(), flag) != 0) {
    return -1;
  }
  LOG_DEBUG("Reporting status for printer: %s, status: %s", printer, state_name);
  if (call("spoolwarden.reportPrinterStatus", params, result, 0) != 0) return -1;
  int value = 0;
  if (reply_type(result) == rpc_detail::TYPE_INT &&
      XMLRPCParameterListReadInt(result.get(), 0, &value) == 0) {
    return value;
  }
  return 0;
}

int rpc_get_config(char* buffer, std::size_t size) {
  return get_config_text("spoolwarden.getConfig", buffer, size);
}

int rpc_get_config_last_updated(char* buffer, std::size_t size) {
  return get_config_text("spoolwarden.getConfigLastUpdatedTime", buffer, size);
}

int rpc_process_past_print_job(const JobAttribs* ja, int number, int* retry) {
  if (!TV_ASSERT(ja != nullptr)) return -1;
  constexpr int PAST_JOB_PARAMS = 16;
  Params params = new_params();
  Params result;
  if (!params || rpc_detail::add_job_params(params.get(), ja, PAST_JOB_PARAMS, 0) != 0 ||
      XMLRPCParameterListAddInt(params.get(), number) != 0 ||
      add_strings(params.get(), {ja->client_ip}) != 0 ||
      XMLRPCParameterListAddInt(params.get(), ja->color_pages) != 0 ||
      call("spoolwarden.processPastPrintJob", params, result, 0) != 0) {
    return -1;
  }
  const int type = reply_type(result);
  const char* reply = nullptr;
  if (type != rpc_detail::TYPE_STRING ||
      XMLRPCParameterListReadString(result.get(), 0, &reply) != 0) {
    LOG_ERROR("Application Server returned unexpected data type: %d", type);
    return -1;
  }
  if (retry != nullptr) *retry = util_equal_str(reply, "RETRY");
  return 0;
}

int rpc_process_print_job_hardware_check(const HwcheckJobReport* report, int* flag) {
  if (flag != nullptr) *flag = 0;
  if (!TV_ASSERT(report != nullptr)) return -1;
  const char* yes_no = report->yes_no_code == 0 ? "Y" : report->yes_no_code == 1 ? "N" : "";
  const char* method = report->method_code == 0 ? "SNMP" : "PJL";
  const char* outcome = report->result_code == 0   ? "OK"
                        : report->result_code == 1 ? "ERROR"
                                                   : "PARTIAL";
  Params params = new_params();
  Params result;
  if (!params || add_strings(params.get(), {report->text1, report->text2, report->text3}) != 0 ||
      XMLRPCParameterListAddInt(params.get(), report->number1) != 0 ||
      XMLRPCParameterListAddInt(params.get(), report->number2) != 0 ||
      add_strings(params.get(), {yes_no, method, outcome, report->message}) != 0 ||
      call("spoolwarden.processPrintJobHardwareCheck", params, result, 0) != 0) {
    return -1;
  }
  const int type = reply_type(result);
  int value = 0;
  if (type != rpc_detail::TYPE_BOOLEAN ||
      XMLRPCParameterListReadBoolean(result.get(), 0, &value) != 0) {
    LOG_ERROR("Application Server returned unexpected data type: %d", type);
    return -1;
  }
  if (flag != nullptr) *flag = value;
  return 0;
}

int rpc_get_pending_spooled_jobs(const char* server_name, char (**ids)[RPC_SPOOLED_JOB_ID_SIZE]) {
  if (!TV_ASSERT(ids != nullptr)) return -1;
  *ids = nullptr;
  Params params = new_params();
  Params result;
  if (!params || add_strings(params.get(), {server_name}) != 0 ||
      call("spoolwarden.getPendingSpooledPrintJobs", params, result, 0) != 0) {
    return -1;
  }
  const char* reply = nullptr;
  if (reply_type(result) != rpc_detail::TYPE_STRING ||
      XMLRPCParameterListReadString(result.get(), 0, &reply) != 0 || reply == nullptr) {
    return 0;
  }
  std::size_t slots = 1;
  if (reply[0] != '\0') {
    slots = 2;
    for (const char* p = reply; *p != '\0'; ++p) slots += (*p == ',');
  }
  auto* array = static_cast<char(*)[RPC_SPOOLED_JOB_ID_SIZE]>(
      std::calloc(slots, RPC_SPOOLED_JOB_ID_SIZE));
  if (array == nullptr) {
    LOG_ERROR("Failed to alloc memory");
    return -1;
  }
  std::size_t filled = 0;
  for (const char* p = reply; *p != '\0';) {
    const std::size_t length = std::strcspn(p, ",");
    if (length >= RPC_SPOOLED_JOB_ID_SIZE) {
      LOG_ERROR("Spooled job id length too long, ignoring: %.*s", static_cast<int>(length), p);
    } else if (length > 0) {
      std::memcpy(array[filled++], p, length);
    }
    p += length;
    if (*p == ',') ++p;
  }
  *ids = array;
  return 0;
}
