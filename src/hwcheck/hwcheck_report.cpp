#include "hwcheck/hwcheck_report.h"

#include <limits>

#include "foundation/config.h"
#include "foundation/log.h"
#include "server/rpc_calls.h"

namespace {

int clamp_int(std::int64_t value) {
  if (value < 0) return 0;
  return value > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                 : static_cast<int>(value);
}

const char* outcome_text(HwcheckOutcome outcome) {
  switch (outcome) {
    case HwcheckOutcome::OK:
      return "OK";
    case HwcheckOutcome::PARTIAL:
      return "PARTIAL";
    case HwcheckOutcome::ERROR:
      break;
  }
  return "ERROR";
}

}  // namespace

int hwcheck_report_job(const HwcheckJobOutcome& o) {
  HwcheckJobReport report{};
  report.text1 = global_ctx.server_name;
  report.text2 = o.printer_name.c_str();
  report.text3 = o.job_id.c_str();
  report.number1 = o.counted ? clamp_int(o.pages) : 0;
  report.number2 = o.counted && o.has_color ? clamp_int(o.color_pages) : 0;
  report.yes_no_code = !o.counted ? 2 : o.has_color ? 0 : 1;
  report.method_code = 0;  // SNMP
  report.result_code = o.outcome == HwcheckOutcome::OK        ? 0
                       : o.outcome == HwcheckOutcome::ERROR   ? 1
                                                               : 2;
  report.message = o.message.c_str();
  LOG_INFO("Hardware check of job %s on printer %s: %s, pages=%d color=%d: %s", report.text3,
           report.text2, outcome_text(o.outcome), report.number1, report.number2, report.message);
  int accepted = 0;
  if (rpc_process_print_job_hardware_check(&report, &accepted) != 0) {
    LOG_ERROR("Unable to report the hardware check of job %s on printer %s", report.text3,
              report.text2);
    return -1;
  }
  return 0;
}
