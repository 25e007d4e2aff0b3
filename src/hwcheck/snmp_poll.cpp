// One poll of a printer, and the poll with retries.
#include "hwcheck/snmp_netsnmp.h"

#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_objects.h"
#include "hwcheck/snmp_printer_data.h"
#include "hwcheck/snmp_request.h"

namespace {

// Non-time-out failures repeated at most this often, this far apart.
constexpr int MAX_NON_TIMEOUT_RETRIES = 5;
constexpr std::int64_t NON_TIMEOUT_RETRY_MILLIS = 2000;

// Adds `object` unless the request has it already.
bool add_once(netsnmp_pdu* request, SnmpOidView object) {
  for (const netsnmp_variable_list* v = request->variables; v != nullptr; v = v->next_variable) {
    if (snmp_oid_equal(snmp_var_name(v), object)) return true;
  }
  return snmp_request_add(request, object);
}

bool in_array(const SnmpMetricArray& array, SnmpOidView name) {
  if (!array.any_usable) return false;
  for (std::int64_t i = 0; i < array.count && i < SNMP_MAX_METRICS; ++i) {
    const SnmpMetric& m = array.entries[i];
    if (m.usable && snmp_oid_equal(snmp_oid_view(m.object), name)) return true;
  }
  return false;
}

PduPtr poll_request(const SnmpSnapshotConfig* c) {
  PduPtr request = snmp_new_request(SNMP_MSG_GET);
  if (!request) return nullptr;
  bool ok = snmp_request_add(request.get(), snmp_oid_view(c->marker)) &&
            add_once(request.get(), OID_HR_PRINTER_STATUS) &&
            add_once(request.get(), OID_HR_PRINTER_ERROR) &&
            add_once(request.get(), OID_HR_DEVICE_STATUS);
  for (const SnmpMetricArray* array : {&c->color, &c->total, &c->large}) {
    for (std::int64_t i = 0; ok && array->any_usable && i < array->count; ++i) {
      if (array->entries[i].usable) ok = add_once(request.get(), snmp_oid_view(array->entries[i].object));
    }
  }
  return ok ? std::move(request) : nullptr;
}

std::uint64_t count_of(std::int64_t value) { return value > 0 ? static_cast<std::uint64_t>(value) : 0; }

// A counter of one of the arrays; false (logged) for a variable that is not
// a counter. A counter the printer no longer has fails the poll as well: the
// sums would not compare with earlier ones.
bool add_counter(const netsnmp_variable_list* var, const char* label, std::uint64_t* sum) {
  std::int64_t value = 0;
  if (!snmp_var_integer(var, &value)) {
    snmp_log_variable("wrong type for mib variable: ", var);
    HW_DEBUG("snmp_get_printer_data: %s is not a counter", label);
    return false;
  }
  *sum += count_of(value);
  return true;
}

// An object that only some printers have: a missing one (v2c's exceptions)
// leaves its field at 0.
bool optional_integer(const netsnmp_variable_list* var, std::int32_t* field) {
  if (snmp_var_is_exception(var)) return true;
  std::int64_t value = 0;
  if (var->type != ASN_INTEGER || !snmp_var_integer(var, &value)) {
    snmp_log_variable("wrong type for mib variable: ", var);
    return false;
  }
  *field = static_cast<std::int32_t>(value);
  return true;
}

bool read_error_bytes(const netsnmp_variable_list* var, bool swap, std::uint8_t out[2]) {
  if (snmp_var_is_exception(var)) return true;
  if (var->type != ASN_OCTET_STR) {
    snmp_log_variable("wrong type for mib variable: ", var);
    return false;
  }
  out[0] = var->val_len > 0 ? var->val.string[0] : 0;
  out[1] = var->val_len > 1 ? var->val.string[1] : 0;
  if (swap) std::swap(out[0], out[1]);
  return true;
}

// Reads every variable of the answer into the data; false on a wrong type.
bool read_answer(const SnmpSnapshotConfig* c, const netsnmp_pdu* answer, PrinterData* data,
                 bool* marker_seen) {
  bool ok = true;
  for (const netsnmp_variable_list* var = answer->variables; var != nullptr;
       var = var->next_variable) {
    const SnmpOidView name = snmp_var_name(var);
    if (in_array(c->color, name)) ok = add_counter(var, "color count", &data->color_count) && ok;
    if (in_array(c->total, name)) ok = add_counter(var, "total count", &data->total_count) && ok;
    if (in_array(c->large, name)) {
      ok = add_counter(var, "large page count", &data->large_page_count) && ok;
    }
    if (snmp_oid_equal(name, snmp_oid_view(c->marker))) {
      std::int64_t value = 0;
      if (snmp_var_integer(var, &value)) {
        data->marker_count = count_of(value);
        *marker_seen = true;
      } else if (!snmp_var_is_exception(var)) {
        snmp_log_variable("wrong type for mib variable: ", var);
        ok = false;
      }
    } else if (snmp_oid_equal(name, OID_HR_PRINTER_STATUS)) {
      ok = optional_integer(var, &data->printer_status) && ok;
    } else if (snmp_oid_equal(name, OID_HR_PRINTER_ERROR)) {
      ok = read_error_bytes(var, c->error_byte_swap != 0, data->printer_error) && ok;
    } else if (snmp_oid_equal(name, OID_HR_DEVICE_STATUS)) {
      ok = optional_integer(var, &data->device_status) && ok;
    }
  }
  return ok;
}

bool fetch(SnmpSession* session, const SnmpSnapshotConfig* c, PrinterData* data, int* timed_out) {
  const std::int64_t start = snmp_session_now_millis(session);
  PduPtr answer;
  const SnmpOutcome outcome = snmp_send(session, poll_request(c), &answer);
  HW_DEBUG("Main SNMP data fetch took %f secs", snmp_elapsed_secs(session, start));
  switch (outcome) {
    case SnmpOutcome::TIMEOUT:
      *timed_out = 1;
      HW_DEBUG("snmp_get_printer_data timed out");
      return false;
    case SnmpOutcome::FAILED:
      HW_DEBUG("snmp_get_printer_data error");
      return false;
    case SnmpOutcome::ERROR_STATUS:
      HW_DEBUG("error in packet. Reason: %s", snmp_errstring(static_cast<int>(answer->errstat)));
      return false;
    case SnmpOutcome::ANSWER:
      break;
  }
  bool marker_seen = false;
  if (!read_answer(c, answer.get(), data, &marker_seen)) return false;
  if (!marker_seen) {
    HW_DEBUG("snmp_get_printer_data failed to receive the marker count");
    return false;
  }
  if (data->marker_count == 0 && !c->use_total_as_main_counter) {
    HW_DEBUG("Warning: snmp_get_printer_data received marker count of zero");
  }
  return true;
}

}  // namespace

int snmp_get_printer_data(SnmpSession* session, const SnmpSnapshotConfig* config,
                          PrinterData* data, int* timed_out) {
  *data = PrinterData{};
  *timed_out = 0;
  bool ok = fetch(session, config, data, timed_out);
  if (ok && config->tray_pause_mode != TRAY_PAUSE_OFF) {
    ok = snmp_get_alert_tray_data(session, config, data) != 0;
    if (!ok && session->last_timed_out) *timed_out = 1;
  }
  if (ok && config->custom_error != nullptr) {
    int error = 0;
    data->custom_error_valid = config->custom_error(session, &error) ? 1 : 0;
    data->custom_error = error;
  }
  data->data_error = ok ? 0 : 1;
  return ok ? 1 : 0;
}

int snmp_get_printer_data_retry(SnmpSession* session, const SnmpSnapshotConfig* config,
                                PrinterData* data, std::int64_t retries, SnmpPollCallback callback,
                                void* callback_data) {
  HW_DEBUG("Initiated retrieval of SNMP print data");
  const std::int64_t start = snmp_session_now_millis(session);
  std::int64_t non_timeout_errors = 0;
  for (std::int64_t i = 0; i <= retries; ++i) {
    int timed_out = 0;
    if (snmp_get_printer_data(session, config, data, &timed_out)) {
      HW_DEBUG("Successfully fetched SNMP print data in %f secs", snmp_elapsed_secs(session, start));
      return 1;
    }
    if (timed_out) {
      HW_DEBUG("snmp call timed out and now doing retry#%ld", static_cast<long>(i));
    } else if (i == 0 || non_timeout_errors > MAX_NON_TIMEOUT_RETRIES) {
      HW_DEBUG("snmp get failure - i = %ld, non_timeout_errors = %ld", static_cast<long>(i),
               static_cast<long>(non_timeout_errors));
      return 0;
    } else {
      ++non_timeout_errors;
      HW_DEBUG("Retrying for non-timeout error: %ld", static_cast<long>(non_timeout_errors));
      snmp_session_sleep_millis(session, NON_TIMEOUT_RETRY_MILLIS);
      --i;  // such failures do not use up the retries
    }
    if (callback != nullptr) {
      LOG_DEV("PCM: calling callback in printer_data retry with snmp_data_error true");
      if (callback(config, data, callback_data, 1) == 0) {
        HW_DEBUG("snmp loop callback failed");
        return 0;
      }
    }
  }
  HW_ERROR("snmp calls failed over %ld retries", static_cast<long>(retries));
  return 0;
}
