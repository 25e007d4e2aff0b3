// DEBUG dumps of printer-model entries.
#include "foundation/config.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_model.h"

namespace {

const char* flag_text(std::int32_t flag) { return flag == 1 ? "T" : flag == 0 ? "F" : "?"; }

void log_loops(const char* name, std::int64_t loops) {
  if (loops == HWCHECK_LOOPS_UNSET) {
    HW_DEBUG("%s is unset", name);
  } else {
    HW_DEBUG("%s = %ld", name, static_cast<long>(loops));
  }
}

void log_list(const char* name, const std::vector<std::string>& texts) {
  for (std::size_t i = 0; i < texts.size(); ++i) {
    HW_DEBUG("%s[%zu] = \"%s\"", name, i, texts[i].c_str());
  }
}

}  // namespace

void snmp_log_hwcheck_model_entry(const char* label, const HwcheckModelConfig& e) {
  if (global_ctx.debug_logging == 0) return;
  HW_DEBUG("HWCheck Config Entry (%s):", label);
  HW_DEBUG("enterprise id = %d", e.enterprise_id);
  log_list("make_strings", e.make_strings);
  log_list("model_string", e.model_strings);
  log_loops("stabilization_num_loops_before", e.loops_before);
  log_loops("stabilization_num_loops_after", e.loops_after);
  HW_DEBUG("printer_error_byte_swap = %s", flag_text(e.error_byte_swap));
  HW_DEBUG("printer_large_counter_doubled = %s", flag_text(e.large_counter_doubled));
  HW_DEBUG("use_total_as_main_counter = %s", flag_text(e.use_total_as_main_counter));
  HW_DEBUG("use_device_status = %s", flag_text(e.use_device_status));
  HW_DEBUG("do_exact_model_match = %s", flag_text(e.exact_model_match));
  HW_DEBUG("do_custom_counter = %s", flag_text(e.do_custom_counter));
  HW_DEBUG("do_custom_error = %s", flag_text(e.do_custom_error));
  HW_DEBUG("do_custom_job_exists = %s", flag_text(e.do_custom_job_exists));
  HW_DEBUG("do_delete_on_error = %s", flag_text(e.delete_on_error));
  log_list("color_count_mib", e.color_mibs);
  log_list("total_count_mib", e.total_mibs);
  log_list("large_page_count_mib", e.large_mibs);
}

void snmp_log_hwcheck_model_table(const std::vector<HwcheckModelConfig>& user_entries) {
  for (const HwcheckModelConfig& entry : user_entries) snmp_log_hwcheck_model_entry("config", entry);
  for (const HwcheckModelConfig& row : snmp_builtin_model_table()) {
    snmp_log_hwcheck_model_entry("internal", row);
  }
}
