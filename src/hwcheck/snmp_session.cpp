#include "hwcheck/snmp_netsnmp.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/config.h"
#include "foundation/os_time.h"
#include "foundation/util.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_session.h"

static_assert(STAT_SUCCESS == SNMP_EXCHANGE_OK && STAT_ERROR == SNMP_EXCHANGE_FAILED &&
              STAT_TIMEOUT == SNMP_EXCHANGE_TIMEOUT);

namespace {

constexpr int MAX_RETRIES = 20;
constexpr int MAX_TIMEOUT_SECS = 3600;
constexpr long MICROS_PER_SEC = 1000000L;

std::int64_t system_now(void*) { return os_current_time_millis(); }
void system_sleep(void*, std::int64_t millis) { os_sleep_millis(millis); }

int library_exchange(void* handle, snmp_pdu* request, snmp_pdu** response) {
  return snmp_sess_synch_response(handle, request, response);
}

}  // namespace

SnmpClock snmp_system_clock() { return SnmpClock{system_now, system_sleep, nullptr}; }

SnmpSession* snmp_create_session(const char* host, int version) {
  return snmp_create_session_with(host, version,
                                  SnmpSessionOptions{global_ctx.snmp_community,
                                                     global_ctx.hwcheck_snmp_retries,
                                                     global_ctx.hwcheck_snmp_timeout_secs});
}

SnmpSession* snmp_create_session_with(const char* host, int version,
                                      const SnmpSessionOptions& options) {
  if (version != 1 && version != 2) {
    HW_ERROR("Bad version # for session: %d", version);
    return nullptr;
  }
  if (host == nullptr || host[0] == '\0') {
    HW_DEBUG("Failed to open session to \"%s\"", host != nullptr ? host : "");
    return nullptr;
  }
  auto* session = new (std::nothrow) SnmpSession{};
  if (session == nullptr) return nullptr;
  util_safe_strncpy(session->peer, host, sizeof session->peer);
  const char* community = options.community != nullptr ? options.community : "";
  netsnmp_session settings;
  snmp_sess_init(&settings);
  settings.peername = session->peer;
  settings.version = version == 1 ? SNMP_VERSION_1 : SNMP_VERSION_2c;
  settings.community = reinterpret_cast<u_char*>(const_cast<char*>(community));
  settings.community_len = std::strlen(community);
  settings.retries = std::clamp(options.retries, 0, MAX_RETRIES);
  settings.timeout = std::clamp(options.timeout_secs, 1, MAX_TIMEOUT_SECS) * MICROS_PER_SEC;
  snmp_logging_set_opening(true);
  session->handle = snmp_sess_open(&settings);
  snmp_logging_set_opening(false);
  if (session->handle == nullptr) {
    HW_DEBUG("Failed to open session to \"%s\"", host);
    delete session;
    return nullptr;
  }
  session->version = version;
  session->exchange = library_exchange;
  session->exchange_context = session->handle;
  session->clock = snmp_system_clock();
  return session;
}

SnmpSession* snmp_create_exchange_session(int version, SnmpExchangeFn exchange, void* context,
                                          SnmpClock clock) {
  if (exchange == nullptr || clock.now_millis == nullptr || clock.sleep_millis == nullptr) {
    return nullptr;
  }
  auto* session = new (std::nothrow) SnmpSession{};
  if (session == nullptr) return nullptr;
  session->version = version == 1 ? 1 : 2;
  session->exchange = exchange;
  session->exchange_context = context;
  session->clock = clock;
  util_safe_strncpy(session->peer, "simulated", sizeof session->peer);
  return session;
}

void snmp_close_session(SnmpSession* session) {
  if (session == nullptr) return;
  if (session->handle != nullptr) snmp_sess_close(session->handle);
  delete session;
}

int snmp_session_exchange(SnmpSession* session, snmp_pdu* request, snmp_pdu** response) {
  *response = nullptr;
  const int status = session->exchange(session->exchange_context, request, response);
  session->last_timed_out = status == SNMP_EXCHANGE_TIMEOUT ? 1 : 0;
  if (status != SNMP_EXCHANGE_OK && *response != nullptr) {
    snmp_free_pdu(*response);
    *response = nullptr;
  }
  if (status == SNMP_EXCHANGE_OK && *response == nullptr) return SNMP_EXCHANGE_FAILED;
  return status;
}

std::int64_t snmp_session_now_millis(const SnmpSession* session) {
  return session->clock.now_millis(session->clock.context);
}

void snmp_session_sleep_millis(const SnmpSession* session, std::int64_t millis) {
  if (millis > 0) session->clock.sleep_millis(session->clock.context, millis);
}
