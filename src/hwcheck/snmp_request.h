// Building requests and reading answers: the shared steps of every read of
// the hardware check. For the units that include hwcheck/snmp_netsnmp.h.
#pragma once

#include <cstdint>
#include <memory>

#include "hwcheck/snmp_oid.h"
#include "hwcheck/snmp_session.h"

struct PduFree {
  void operator()(netsnmp_pdu* pdu) const noexcept { snmp_free_pdu(pdu); }
};
using PduPtr = std::unique_ptr<netsnmp_pdu, PduFree>;

// How a request ended.
enum class SnmpOutcome {
  ANSWER,       // an answer without error status
  ERROR_STATUS,  // an answer with an error status (its PDU is kept)
  TIMEOUT,      // no answer
  FAILED,       // not sent, or the library failed
};

// A new request of `command` (SNMP_MSG_GET, SNMP_MSG_GETNEXT...) for the
// given objects; null when memory runs out.
[[nodiscard]] PduPtr snmp_new_request(int command);
[[nodiscard]] bool snmp_request_add(netsnmp_pdu* pdu, SnmpOidView object);

// Sends `request` (consumed) and keeps the answer in *answer (for
// ANSWER and ERROR_STATUS).
[[nodiscard]] SnmpOutcome snmp_send(SnmpSession* session, PduPtr request, PduPtr* answer);

// One GET of one object.
[[nodiscard]] SnmpOutcome snmp_get_one(SnmpSession* session, SnmpOidView object, PduPtr* answer);

// The variable of the answer for `object`, or null.
[[nodiscard]] const netsnmp_variable_list* snmp_answer_variable(const netsnmp_pdu* answer,
                                                                SnmpOidView object);

inline SnmpOidView snmp_var_name(const netsnmp_variable_list* var) {
  return SnmpOidView(var->name, var->name_length);
}

// v2c's "no such object", "no such instance" and "end of MIB view".
[[nodiscard]] bool snmp_var_is_exception(const netsnmp_variable_list* var);

// The value of an INTEGER or Counter32 variable; false for other types.
[[nodiscard]] bool snmp_var_integer(const netsnmp_variable_list* var, std::int64_t* value);

// Seconds between two clock readings, for the timing lines.
[[nodiscard]] double snmp_elapsed_secs(const SnmpSession* session, std::int64_t start_millis);

// Prints the variable in the library's format into the log (DEBUG), after
// `prefix`.
void snmp_log_variable(const char* prefix, const netsnmp_variable_list* var);
