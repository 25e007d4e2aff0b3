#include "hwcheck/snmp_netsnmp.h"

#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_request.h"

PduPtr snmp_new_request(int command) { return PduPtr(snmp_pdu_create(command)); }

bool snmp_request_add(netsnmp_pdu* pdu, SnmpOidView object) {
  return snmp_add_null_var(pdu, object.data(), object.size()) != nullptr;
}

SnmpOutcome snmp_send(SnmpSession* session, PduPtr request, PduPtr* answer) {
  answer->reset();
  if (!request) return SnmpOutcome::FAILED;
  netsnmp_pdu* response = nullptr;
  const int status = snmp_session_exchange(session, request.release(), &response);
  if (status == SNMP_EXCHANGE_TIMEOUT) return SnmpOutcome::TIMEOUT;
  if (status != SNMP_EXCHANGE_OK) return SnmpOutcome::FAILED;
  answer->reset(response);
  return response->errstat == SNMP_ERR_NOERROR ? SnmpOutcome::ANSWER : SnmpOutcome::ERROR_STATUS;
}

SnmpOutcome snmp_get_one(SnmpSession* session, SnmpOidView object, PduPtr* answer) {
  PduPtr request = snmp_new_request(SNMP_MSG_GET);
  if (!request || !snmp_request_add(request.get(), object)) return SnmpOutcome::FAILED;
  return snmp_send(session, std::move(request), answer);
}

const netsnmp_variable_list* snmp_answer_variable(const netsnmp_pdu* answer, SnmpOidView object) {
  if (answer == nullptr) return nullptr;
  for (const netsnmp_variable_list* var = answer->variables; var != nullptr;
       var = var->next_variable) {
    if (snmp_oid_equal(snmp_var_name(var), object)) return var;
  }
  return nullptr;
}

bool snmp_var_is_exception(const netsnmp_variable_list* var) {
  return var->type == SNMP_NOSUCHOBJECT || var->type == SNMP_NOSUCHINSTANCE ||
         var->type == SNMP_ENDOFMIBVIEW;
}

bool snmp_var_integer(const netsnmp_variable_list* var, std::int64_t* value) {
  if (var->val.integer == nullptr) return false;
  if (var->type == ASN_INTEGER) {
    *value = *var->val.integer;
    return true;
  }
  if (var->type == ASN_COUNTER) {
    // Counter32 is unsigned 32-bit; the library keeps it in a long.
    *value = static_cast<std::int64_t>(static_cast<std::uint32_t>(*var->val.integer));
    return true;
  }
  return false;
}

double snmp_elapsed_secs(const SnmpSession* session, std::int64_t start_millis) {
  return static_cast<double>(snmp_session_now_millis(session) - start_millis) / 1000.0;
}

void snmp_log_variable(const char* prefix, const netsnmp_variable_list* var) {
  char text[1024];
  if (snprint_variable(text, sizeof text, var->name, var->name_length, var) < 0) {
    snmp_format_oid(snmp_var_name(var), text, sizeof text);
  }
  HW_DEBUG("%s%s", prefix, text);
}
