// The settings of one watched printer: the configuration's waiting limits,
// then the printer's model entry with its counter objects.
#include "hwcheck/snmp_netsnmp.h"

#include <algorithm>

#include "foundation/config.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_objects.h"
#include "hwcheck/snmp_printer_data.h"
#include "hwcheck/snmp_request.h"
#include "hwcheck/snmp_text.h"
#include "hwcheck/snmp_walk.h"

namespace {

void copy_global_limits(SnmpSnapshotConfig* c) {
  const SessionContext& g = global_ctx;
  c->idle_poll_interval_ms = g.hwcheck_wait_idle_poll_interval_millis;
  c->printing_poll_interval_ms = g.hwcheck_wait_printing_poll_interval_millis;
  c->printing_noerror_max_secs = g.hwcheck_wait_printing_noerror_max_secs;
  c->idle_noerror_max_secs = g.hwcheck_wait_idle_noerror_max_secs;
  c->printing_error_max_secs = g.hwcheck_wait_printing_error_max_secs;
  c->idle_error_max_secs = g.hwcheck_wait_idle_error_max_secs;
  c->max_error_backoff_secs = g.hwcheck_wait_max_error_poll_backoff_secs;
  c->error_increment_secs = g.hwcheck_wait_error_increment_secs;
  c->retries_after = g.hwcheck_wait_retries_after;
  c->loops_before = g.hwcheck_stabilization_num_loops_before;
  c->loops_after = g.hwcheck_stabilization_num_loops_after;
  c->extra_time_loops = g.hwcheck_extra_time_loops;
  snmp_convert_str_to_printerror(g.hwcheck_ignore_errors, c->ignore_errors);
  if (g.dev_logging != 0) {
    char text[SNMP_ERROR_TEXT_SIZE];
    snmp_convert_printererror_to_str(text, sizeof text, c->ignore_errors);
    HW_DEBUG("Ignore errors from config = \"%s\"", text);
  }
}

// The entry that applies to the printer: the best configuration entry merged
// into the best built-in row, or whichever of them was found.
bool choose_entry(const SnmpSnapshotConfig* c, const std::vector<HwcheckModelConfig>& user,
                  HwcheckModelConfig* chosen) {
  const auto& table = snmp_builtin_model_table();
  const HwcheckModelConfig* from_user =
      snmp_find_model_entry(c->enterprise_id, c->printer_desc, user.data(), user.size());
  const HwcheckModelConfig* internal =
      snmp_find_model_entry(c->enterprise_id, c->printer_desc, table.data(), table.size());
  if (from_user != nullptr) snmp_log_hwcheck_model_entry("config entry", *from_user);
  if (internal != nullptr) snmp_log_hwcheck_model_entry("internal entry", *internal);
  if (from_user != nullptr && internal != nullptr) {
    *chosen = snmp_merge_model_entries(*internal, *from_user);
    snmp_log_hwcheck_model_entry("merged entry", *chosen);
  } else if (from_user != nullptr) {
    HW_DEBUG("No internal table match - using config file match");
    *chosen = *from_user;
  } else if (internal != nullptr) {
    HW_DEBUG("Only internal table match");
    *chosen = *internal;
  } else {
    HW_DEBUG("Did not find any matches in Print Model Configuration");
    return false;
  }
  return true;
}

// The maker's counter check replaces the entry's counter objects when it
// finds at least a total counter.
void apply_custom_counter(SnmpSession* session, HwcheckModelConfig* entry) {
  HW_DEBUG("Using custom function");
  HwcheckModelConfig found;
  (void)entry->custom_counter(session, &found);
  if (found.total_mibs.empty()) {
    HW_DEBUG("Don't use custom counter func as can't even get 1 total counter");
    return;
  }
  entry->color_mibs = found.color_mibs;
  entry->total_mibs = found.total_mibs;
  entry->large_mibs = found.large_mibs;
}

// Only set values count: a flag a configuration entry left unset is off,
// and unset loops leave the configured ones.
void apply_entry(SnmpSession* session, HwcheckModelConfig entry, SnmpSnapshotConfig* c) {
  if (entry.loops_before != HWCHECK_LOOPS_UNSET) {
    c->loops_before = entry.loops_before;
    HW_DEBUG("override global loops before to: %ld", static_cast<long>(c->loops_before));
  }
  if (entry.loops_after != HWCHECK_LOOPS_UNSET) {
    c->loops_after = entry.loops_after;
    HW_DEBUG("override global loops after to: %ld", static_cast<long>(c->loops_after));
  }
  c->error_byte_swap = entry.error_byte_swap == 1;
  c->large_counter_doubled = entry.large_counter_doubled == 1;
  c->use_total_as_main_counter = entry.use_total_as_main_counter == 1;
  c->use_device_status = entry.use_device_status == 1;
  c->tray_pause_mode = entry.pause_on_tray_error;
  c->custom_error = entry.do_custom_error == 1 ? entry.custom_error : nullptr;
  c->custom_job_exists = entry.do_custom_job_exists == 1 ? entry.custom_job_exists : nullptr;
  c->delete_on_error = entry.delete_on_error == 1;
  if (entry.custom_counter != nullptr && entry.do_custom_counter == 1) {
    apply_custom_counter(session, &entry);
  }
  test_and_set_int_metric_array(session, "total count", entry.total_mibs, &c->total);
  test_and_set_int_metric_array(session, "color count", entry.color_mibs, &c->color);
  test_and_set_int_metric_array(session, "large page count", entry.large_mibs, &c->large);
}

int count_auto_tray(void* context, const variable_list* var) {
  std::int64_t type = 0;
  // prtInputType: 3 sheetFeedAutoRemovableTray, 4 sheetFeedAutoNonRemovableTray.
  if (snmp_var_integer(var, &type) && (type == 3 || type == 4)) {
    ++*static_cast<std::int32_t*>(context);
  }
  return 0;
}

}  // namespace

void test_and_set_int_metric_array(SnmpSession* session, const char* label,
                                   const std::vector<std::string>& texts, SnmpMetricArray* array) {
  *array = SnmpMetricArray{};
  std::int64_t parsed = 0;
  for (std::size_t i = 0; i < texts.size() && i < SNMP_MAX_METRICS && !texts[i].empty(); ++i) {
    HW_DEBUG("Test out %s[%zu]: %s", label, i, texts[i].c_str());
    SnmpMetric& metric = array->entries[parsed];
    if (snmp_parse_oid_text(texts[i], &metric.object) == 0) {
      HW_ERROR("Unable to read %s metric: \"%s\"", label, texts[i].c_str());
      continue;
    }
    ++parsed;
    std::int64_t value = 0;
    // After a time-out the printer is not asked again for every object.
    if (session->last_timed_out || get_int_metric(session, snmp_oid_view(metric.object), &value) == 0) {
      HW_DEBUG("Unable to get %s metric: %s", label, texts[i].c_str());
    } else if (value < 0) {
      HW_DEBUG("%s metric is disabled as negative (%ld)", label, static_cast<long>(value));
    } else {
      HW_DEBUG("Got %s metric = %ld", label, static_cast<long>(value));
      metric.usable = 1;
      array->any_usable = 1;
    }
  }
  array->count = array->any_usable ? parsed : 0;
}

int snmp_set_marker_life_count(SnmpSession* session, SnmpSnapshotConfig* config) {
  HW_DEBUG("Checking which marker life count OID to use");
  const SnmpOidView choices[] = {OID_PRT_MARKER_LIFE_COUNT_1, OID_PRT_MARKER_LIFE_COUNT_0};
  for (int i = 0; i < 2 && !session->last_timed_out; ++i) {
    PduPtr answer;
    const netsnmp_variable_list* var = nullptr;
    if (snmp_get_one(session, choices[i], &answer) == SnmpOutcome::ANSWER) {
      var = snmp_answer_variable(answer.get(), choices[i]);
    }
    std::int64_t value = 0;
    if (var == nullptr || snmp_var_is_exception(var)) {
      char text[SNMP_OID_TEXT_SIZE];
      snmp_format_oid(choices[i], text, sizeof text);
      HW_DEBUG("Failed to get counter mib %d: %s", i, text);
    } else if (!snmp_var_integer(var, &value)) {
      HW_DEBUG("Unexpected mismatch in counter type");
    } else {
      HW_DEBUG("Successfully retrieved printer marker counter mib %d", i);
      (void)snmp_oid_assign(choices[i], &config->marker);
      return 1;
    }
  }
  HW_DEBUG("Failed to get any printer counter metric default to 1st");
  (void)snmp_oid_assign(choices[0], &config->marker);
  return 0;
}

int snmp_init_snapshot_config(SnmpSession* session, SnmpSnapshotConfig* config) {
  *config = SnmpSnapshotConfig{};
  copy_global_limits(config);
  const std::vector<HwcheckModelConfig> user = snmp_read_user_model_config();
  if (snmp_get_printer_desc(session, config->printer_desc, sizeof config->printer_desc)) {
    int enterprise = 0;
    if (!snmp_get_enterprise_id(session, &enterprise)) HW_DEBUG("Failed to get enterprise id");
    config->enterprise_id = enterprise;
    HwcheckModelConfig entry;
    if (choose_entry(config, user, &entry)) apply_entry(session, std::move(entry), config);
  }
  HW_DEBUG("printer desc after config init = %s", config->printer_desc);
  if (config->tray_pause_mode == TRAY_PAUSE_ALL_TRAYS && !session->last_timed_out) {
    (void)snmp_walk(session, &config->num_auto_trays, count_auto_tray, OID_PRT_INPUT_TYPE);
    HW_DEBUG("Number of sheet feed auto trays = %d", config->num_auto_trays);
  }
  return snmp_set_marker_life_count(session, config);
}
