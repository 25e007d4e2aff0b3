#include "server/rpc_redirect.h"

#include <cstring>
#include <ctime>
#include <memory>

#include "foundation/config.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "foundation/redirect_state.h"
#include "foundation/util.h"
#include "server/xmlrpc.h"

namespace {

constexpr std::size_t REDIRECT_TEXT_MIN = 4;
constexpr std::ptrdiff_t REDIRECT_COLON_MIN_INDEX = 3;
constexpr int PORT_MIN = 1;
constexpr int PORT_MAX = 65535;

using Client = XMLRPCClientPtr;

// The port after the colon: at least one decimal digit, 1 to 65535. Like the
// server writes it, trailing text after the digits is ignored.
bool parse_redirect_port(const char* text, int* port) {
  const DecimalRead value = decimal_read(text, DecimalSign::NONE);
  if (value.length == 0 || value.value < PORT_MIN || value.value > PORT_MAX) return false;
  *port = static_cast<int>(value.value);
  return true;
}

// The outcome of one attempt, read from the client before it is freed.
struct Attempt {
  int rc = -1;
  int fault_code = 0;
  bool has_fault_text = false;
  // One byte more than the longest redirect text, so that a longer fault
  // text stays too long here instead of being cut to a valid-looking one.
  char fault_text[REDIRECT_TEXT_MAX + 2] = {};
  bool request_sent = false;
};

Attempt call_current_server(const char* method, XMLRPCParameterList* params,
                            XMLRPCParameterList** result, int connect_retries,
                            int connect_timeout_ms, int send_timeout_ms) {
  Attempt attempt;
  char host[REDIRECT_HOST_SIZE];
  int port = 0;
  global_get_server_address(host, sizeof host, &port);
  Client client(XMLRPCClientNew(host, port, rpc_url_path));
  if (!client) {
    LOG_ERROR("Unable to create XML-RPC client for %s:%d", host, port);
    return attempt;
  }
  XMLRPCClientSetConnectTimeout(client.get(), connect_timeout_ms);
  XMLRPCClientSetSendTimeout(client.get(), send_timeout_ms);
  attempt.rc = XMLRPCCallMethod(client.get(), method, params, result, connect_retries);
  if (attempt.rc == 0) return attempt;
  (void)XMLRPCGetFaultCode(client.get(), &attempt.fault_code);
  const char* fault = nullptr;
  if (XMLRPCGetFaultString(client.get(), &fault) == 0 && fault != nullptr) {
    attempt.has_fault_text = true;
    util_safe_strncpy(attempt.fault_text, fault, sizeof attempt.fault_text);
  }
  attempt.request_sent = client->request_sent != 0;
  return attempt;
}

// Logs a failure that is not a redirect; a transport failure (empty fault
// text) is logged by the client already.
void log_failure(const Attempt& attempt, const char* method) {
  if (!attempt.has_fault_text) {
    LOG_ERROR("Unknown problem with result returned from server. Method: %s", method);
  } else if (attempt.fault_text[0] != '\0') {
    LOG_ERROR("Fault returned from server: %s, Method: %s", attempt.fault_text, method);
  }
}

// Methods that only read from the server: repeating one can record nothing.
constexpr const char* READ_ONLY_METHODS[] = {
    "spoolwarden.getPrinterConfig",
    "spoolwarden.getPrinterConfigString",
    "spoolwarden.getConfig",
    "spoolwarden.getConfigLastUpdatedTime",
    "spoolwarden.isServerReadyToRegisterPrinters",
    "spoolwarden.getPendingSpooledPrintJobs",
};

}  // namespace

int rpc_method_is_read_only(const char* method) {
  if (method == nullptr) return 0;
  for (const char* name : READ_ONLY_METHODS) {
    if (std::strcmp(method, name) == 0) return 1;
  }
  return 0;
}

void global_get_server_address(char* buffer, std::size_t size, int* port) {
  const RedirectState& state = global_redirect_state;
  const bool redirected = state.active != 0;
  if (buffer != nullptr && size > 0) {
    util_safe_strncpy(buffer, redirected ? state.host : global_ctx.app_server_name, size);
  }
  if (port != nullptr) *port = redirected ? state.port : global_ctx.app_server_port;
}

int global_use_redirect_server(const char* text) {
  RedirectState& state = global_redirect_state;
  if (state.active) return 0;
  if (text == nullptr) text = "";
  const std::size_t length = std::strlen(text);
  if (length < REDIRECT_TEXT_MIN) {
    LOG_ERROR("Invalid server redirect string \"%s\". Length %d bytes is too short", text,
              static_cast<int>(length));
    return 0;
  }
  if (length > REDIRECT_TEXT_MAX) {
    LOG_ERROR("Invalid server redirect string. Length %d bytes exceeds buffer size %d",
              static_cast<int>(length), static_cast<int>(REDIRECT_TEXT_MAX));
    return 0;
  }
  const char* colon = std::strchr(text, ':');
  int port = 0;
  if (colon == nullptr || colon - text < REDIRECT_COLON_MIN_INDEX || colon[1] == '\0' ||
      !parse_redirect_port(colon + 1, &port)) {
    LOG_ERROR("Invalid server redirect string: %s", text);
    return 0;
  }
  const auto host_length = static_cast<std::size_t>(colon - text);
  std::memcpy(state.host, text, host_length);
  state.host[host_length] = '\0';
  state.port = port;
  LOG_INFO("Server %s:%d says redirect to App Server: %s:%d", global_ctx.app_server_name,
           global_ctx.app_server_port, state.host, state.port);
  state.start_time = static_cast<std::int64_t>(std::time(nullptr));
  state.active = 1;
  return 1;
}

int global_cancel_redirect_server() {
  RedirectState& state = global_redirect_state;
  if (!state.active) return 0;
  LOG_INFO("Canceling redirect to App Server %s:%d - returning to server: %s:%d", state.host,
           state.port, global_ctx.app_server_name, global_ctx.app_server_port);
  state.active = 0;
  return 1;
}

int global_cancel_redirect_server_if_check_due() {
  RedirectState& state = global_redirect_state;
  if (!state.active) return 0;
  const std::int64_t now = std::time(nullptr);
  if (now - state.start_time <= global_ctx.app_server_redirect_check_secs) return 0;
  LOG_INFO("Periodic check after %d seconds for App Server %s:%d - returning to server: %s:%d",
           global_ctx.app_server_redirect_check_secs, state.host, state.port,
           global_ctx.app_server_name, global_ctx.app_server_port);
  state.active = 0;
  return 1;
}

int rpc_call_method_wrapper2(const char* method, XMLRPCParameterList* params,
                             XMLRPCParameterList** result, int connect_retries,
                             int connect_timeout_ms, int send_timeout_ms) {
  if (result == nullptr) return -1;
  *result = nullptr;
  (void)global_cancel_redirect_server_if_check_due();
  Attempt first = call_current_server(method, params, result, connect_retries,
                                      connect_timeout_ms, send_timeout_ms);
  if (first.rc == 0) return 0;
  if (first.fault_code == RPC_FAULT_CODE_REDIRECT) {
    if (!first.has_fault_text || first.fault_text[0] == '\0') {
      LOG_ERROR("Unable to extract XML RPC fault string when fault code = %d", first.fault_code);
      return -1;
    }
    if (!global_use_redirect_server(first.fault_text)) return -1;
  } else {
    log_failure(first, method);
    if (!global_cancel_redirect_server()) return -1;
    // The redirect target may have acted on a request it received before
    // failing; sending a recording call again to the configured server could
    // record the same job twice. A read-only call is safe to repeat.
    if (first.request_sent && !rpc_method_is_read_only(method)) {
      LOG_ERROR("Not repeating %s on the configured server: the request reached the "
                "redirect target",
                method);
      return -1;
    }
  }
  Attempt repeat = call_current_server(method, params, result, connect_retries,
                                       connect_timeout_ms, send_timeout_ms);
  if (repeat.rc == 0) return 0;
  if (repeat.fault_code != RPC_FAULT_CODE_REDIRECT) log_failure(repeat, method);
  return -1;
}

int rpc_call_method_wrapper(const char* method, XMLRPCParameterList* params,
                            XMLRPCParameterList** result, int connect_retries) {
  return rpc_call_method_wrapper2(method, params, result, connect_retries,
                                  global_ctx.connect_timeout_ms, global_ctx.send_timeout_ms);
}
