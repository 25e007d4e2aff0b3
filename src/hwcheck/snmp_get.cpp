#include "hwcheck/snmp_netsnmp.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "foundation/util.h"
#include "hwcheck/snmp_get.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_objects.h"
#include "hwcheck/snmp_request.h"

namespace {

// The answer's variable for `object` when the GET answered it with a value;
// null (logged) otherwise.
const netsnmp_variable_list* answered(SnmpSession* session, SnmpOidView object,
                                      const char* label, PduPtr* answer) {
  if (snmp_get_one(session, object, answer) != SnmpOutcome::ANSWER) {
    HW_DEBUG("Failed to get %s metric", label);
    return nullptr;
  }
  const netsnmp_variable_list* var = snmp_answer_variable(answer->get(), object);
  if (var == nullptr || snmp_var_is_exception(var)) {
    HW_DEBUG("Failed to get %s metric", label);
    return nullptr;
  }
  return var;
}

}  // namespace

int snmp_get_string(SnmpSession* session, SnmpOidView object, const char* label, char* buffer,
                    std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::memset(buffer, 0, size);
  PduPtr answer;
  const netsnmp_variable_list* var = answered(session, object, label, &answer);
  if (var == nullptr) return 0;
  if (var->type != ASN_OCTET_STR) {
    snmp_log_variable("wrong type for mib variable: ", var);
    HW_ERROR("Unexpected mismatch in %s type: %d", label, var->type);
    return 0;
  }
  const std::size_t n = std::min(var->val_len, size - 1);
  if (n > 0) std::memcpy(buffer, var->val.string, n);
  buffer[n] = '\0';
  HW_DEBUG("Successfully retrieved %s metric", label);
  return 1;
}

int snmp_get_oid_value(SnmpSession* session, SnmpOidView object, const char* label,
                       SnmpOid* value) {
  if (value == nullptr) return 0;
  value->length = 0;
  PduPtr answer;
  const netsnmp_variable_list* var = answered(session, object, label, &answer);
  if (var == nullptr) return 0;
  if (var->type != ASN_OBJECT_ID) {
    snmp_log_variable("wrong type for mib variable: ", var);
    HW_ERROR("Unexpected mismatch in %s type: %d", label, var->type);
    return 0;
  }
  const std::size_t count = var->val_len / sizeof(oid);
  if (snmp_oid_assign(SnmpOidView(var->val.objid, count), value) == 0) return 0;
  HW_DEBUG("Successfully retrieved %s metric", label);
  return 1;
}

int get_int_metric(SnmpSession* session, SnmpOidView object, std::int64_t* value) {
  char name[SNMP_OID_TEXT_SIZE];
  snmp_format_oid(object, name, sizeof name);
  const std::int64_t start = snmp_session_now_millis(session);
  PduPtr answer;
  const SnmpOutcome outcome = snmp_get_one(session, object, &answer);
  HW_DEBUG("SNMP data fetch of 1 int metric \"%s\" took %f secs", name,
           snmp_elapsed_secs(session, start));
  if (outcome != SnmpOutcome::ANSWER) return 0;
  const netsnmp_variable_list* var = snmp_answer_variable(answer.get(), object);
  if (var == nullptr) return 0;
  if (!snmp_var_integer(var, value)) {
    snmp_log_variable("wrong type for mib variable: ", var);
    return 0;
  }
  return 1;
}

int snmp_get_printer_desc(SnmpSession* session, char* buffer, std::size_t size) {
  constexpr const char* LABEL = "Device Descriptor";
  if (snmp_get_string(session, OID_HR_DEVICE_DESCR, LABEL, buffer, size) && buffer[0] != '\0') {
    return 1;
  }
  if (!session->last_timed_out &&
      snmp_get_string(session, OID_SYS_DESCR, LABEL, buffer, size) && buffer[0] != '\0') {
    return 1;
  }
  HW_DEBUG("Failed to get any printer model description metric");
  return 0;
}

int snmp_get_enterprise_id(SnmpSession* session, int* enterprise_id) {
  *enterprise_id = 0;
  SnmpOid value{};
  if (!snmp_get_oid_value(session, OID_SYS_OBJECT_ID, "System Object Id", &value)) return 0;
  const SnmpOidView ids = snmp_oid_view(value);
  // 1.3.6.1.4.1.N: anything shorter, or outside the enterprises subtree,
  // names no maker.
  if (ids.size() <= std::size(OID_ENTERPRISES) || !snmp_oid_in_subtree(ids, OID_ENTERPRISES)) {
    HW_DEBUG("System Object Id names no enterprise");
    return 0;
  }
  const SnmpSubId number = ids[std::size(OID_ENTERPRISES)];
  if (number == 0 || number > static_cast<SnmpSubId>(std::numeric_limits<int>::max())) return 0;
  *enterprise_id = static_cast<int>(number);
  HW_DEBUG("Extracted enterprise id: %d", *enterprise_id);
  return 1;
}

int snmp_get_printer_error(SnmpSession* session, std::uint8_t error[2], int* timed_out) {
  error[0] = 0;
  error[1] = 0;
  *timed_out = 0;
  char desc[SNMP_PRINTER_DESC_SIZE];
  (void)snmp_get_printer_desc(session, desc, sizeof desc);
  if (session->last_timed_out) {
    *timed_out = 1;
    HW_DEBUG("snmp_get_printer_error timed out");
    return 0;
  }
  const int swap = util_strncase_equals(desc, "Samsung", 7) ? 1 : 0;
  HW_DEBUG("snmp: get_printer_error: received desc = %s, byte swap = %d", desc, swap);
  PduPtr answer;
  switch (snmp_get_one(session, OID_HR_PRINTER_ERROR, &answer)) {
    case SnmpOutcome::TIMEOUT:
      *timed_out = 1;
      HW_DEBUG("snmp_get_printer_error timed out");
      return 0;
    case SnmpOutcome::FAILED:
      HW_DEBUG("snmp_get_printer_error error");
      return 0;
    case SnmpOutcome::ERROR_STATUS:
      HW_DEBUG("error in packet. Reason: %s", snmp_errstring(static_cast<int>(answer->errstat)));
      return 0;
    case SnmpOutcome::ANSWER:
      break;
  }
  const netsnmp_variable_list* var = snmp_answer_variable(answer.get(), OID_HR_PRINTER_ERROR);
  if (var == nullptr || var->type != ASN_OCTET_STR) return 0;
  if (var->val_len > 0) error[0] = var->val.string[0];
  if (var->val_len > 1) error[1] = var->val.string[1];
  if (swap) std::swap(error[0], error[1]);
  return 1;
}
