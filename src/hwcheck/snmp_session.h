// SNMP sessions of the hardware check. A session sends one request PDU and
// receives its answer through an exchange function: net-snmp's synchronous
// exchange for a printer, or one a test supplies. The session also carries
// the clock that the waits read and sleep on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/owned.h"

struct snmp_pdu;

// Results of one exchange (net-snmp's STAT_ codes).
inline constexpr int SNMP_EXCHANGE_OK = 0;
inline constexpr int SNMP_EXCHANGE_FAILED = 1;
inline constexpr int SNMP_EXCHANGE_TIMEOUT = 2;

// Sends `request` and waits for the answer, as snmp_sess_synch_response
// does: the request is always consumed; on SNMP_EXCHANGE_OK *response is an
// answer PDU the caller frees with snmp_free_pdu.
using SnmpExchangeFn = int (*)(void* context, snmp_pdu* request, snmp_pdu** response);

// Wall-clock milliseconds and sleeping, replaceable for tests.
struct SnmpClock {
  std::int64_t (*now_millis)(void* context);
  void (*sleep_millis)(void* context, std::int64_t millis);
  void* context;
};

// The system clock (os_current_time_millis, os_sleep_millis).
[[nodiscard]] SnmpClock snmp_system_clock();

inline constexpr std::size_t SNMP_PEER_SIZE = 256;

struct SnmpSession {
  void* handle;  // net-snmp's single-session handle; null for a supplied exchange
  int version;   // 1 (SNMP v1) or 2 (v2c)
  SnmpExchangeFn exchange;
  void* exchange_context;
  SnmpClock clock;
  int last_timed_out;  // the last exchange ended in a time-out
  char peer[SNMP_PEER_SIZE];
};

// Opens a session to `host` (a name or address, optionally ":port") with the
// configured community (SNMPCommunity), retries (HWCheckSnmpRetries) and
// time-out (HWCheckSnmpTimeoutSecs). Version 1 is SNMP v1, 2 is v2c; any
// other logs "Bad version # for session: %d". Null on failure (DEBUG
// "Failed to open session to \"%s\""). snmp_init must have run.
[[nodiscard]] SnmpSession* snmp_create_session(const char* host, int version);

struct SnmpSessionOptions {
  const char* community;
  int retries;       // repeats after the first try (0 to 20)
  int timeout_secs;  // per try (1 to 3600)
};
// The same with explicit settings; values out of range are clamped.
[[nodiscard]] SnmpSession* snmp_create_session_with(const char* host, int version,
                                                    const SnmpSessionOptions& options);

// A session whose requests go to `exchange` (a simulated printer) and whose
// waits use `clock`.
[[nodiscard]] SnmpSession* snmp_create_exchange_session(int version, SnmpExchangeFn exchange,
                                                        void* context, SnmpClock clock);

// Closes the session and frees it; null is ignored.
void snmp_close_session(SnmpSession* session);
using SnmpSessionPtr = Owned<SnmpSession, snmp_close_session>;

// One request through the session's exchange (see SnmpExchangeFn); records
// whether it timed out.
[[nodiscard]] int snmp_session_exchange(SnmpSession* session, snmp_pdu* request,
                                        snmp_pdu** response);

std::int64_t snmp_session_now_millis(const SnmpSession* session);
void snmp_session_sleep_millis(const SnmpSession* session, std::int64_t millis);
