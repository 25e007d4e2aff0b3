// The rules the waits apply to polls: the error state, dropped counters,
// what changed, and the page-count differences of a job.
#include <string>

#include "foundation/os_time.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_text.h"
#include "hwcheck/snmp_wait.h"

namespace {

unsigned long ul(std::uint64_t v) { return static_cast<unsigned long>(v); }

const char* truth(bool value) { return value ? "TRUE" : "FALSE"; }

// The prefix of a difference line: the time stamp and ": ", or nothing.
std::string stamp(int with_timestamp) {
  if (!with_timestamp) return {};
  char text[OS_TIMESTAMP_MIN_SIZE + 8] = {};
  if (os_current_timestamp(text, sizeof text) != 0) return {};
  return text;
}

bool changed_counter(const char* prefix, const char* sep, const char* name, std::uint64_t before,
                     std::uint64_t after) {
  if (before == after) return false;
  HW_DEBUG("%s%s%s changed from %lu to %lu", prefix, sep, name, ul(before), ul(after));
  return true;
}

bool dropped(const char* name, std::uint64_t before, std::uint64_t after) {
  if (after >= before) return false;
  HW_DEBUG("%s dropped from %lu to %lu", name, ul(before), ul(after));
  return true;
}

bool decreased(const char* what, std::uint64_t before, std::uint64_t after) {
  if (after >= before) return false;
  HW_ERROR("%s decreased: before %lu, after %lu", what, ul(before), ul(after));
  return true;
}

// Large pages counted twice: when the total rose by twice the large pages
// (or by as much, for a printer known to double them), halve the totals.
void halve_for_large_pages(const SnmpSnapshotConfig* config, std::uint64_t large,
                           PageCountDiff* diff) {
  const auto t = static_cast<std::uint64_t>(diff->total);
  const auto c = static_cast<std::uint64_t>(diff->color);
  const bool doubled = config->large_counter_doubled != 0;
  if (t == 2 * large || (doubled && t == large && t % 2 == 0)) {
    HW_DEBUG("Detected large page count increase and halving page counters");
    HW_DEBUG("Total page count diff was: %lu", ul(t));
    HW_DEBUG("Color page count diff was: %lu", ul(c));
    diff->total = static_cast<std::int64_t>(t / 2);
    if (c % 2 == 0) {
      diff->color = static_cast<std::int64_t>(c / 2);
    } else {
      HW_DEBUG("Detected large page count but color page count not even");
      HW_DEBUG("Large page diff = %lu, color page diff = %lu", ul(large), ul(c));
    }
    HW_DEBUG("Total page count diff now: %lu", ul(static_cast<std::uint64_t>(diff->total)));
    HW_DEBUG("Color page count diff now: %lu", ul(static_cast<std::uint64_t>(diff->color)));
  } else if (t == large) {
    HW_DEBUG("Detected large page count increase and not needing to halve page counters");
    if (doubled) {
      HW_DEBUG("We have flagged printer as doubling large counter but counter is not even!");
      HW_DEBUG("Large page diff = %lu, total page diff = %lu", ul(large), ul(t));
    }
  } else {
    HW_DEBUG("Detected large page count increase but total page count is not consistent with this");
    HW_DEBUG("Large page diff = %lu, total page diff = %lu", ul(large), ul(t));
  }
}

std::int64_t as_difference(std::uint64_t after, std::uint64_t before) {
  const std::uint64_t d = after - before;
  return d > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(d);
}

}  // namespace

std::uint64_t snmp_main_counter(const SnmpSnapshotConfig* config, const PrinterData* data) {
  return config->use_total_as_main_counter && config->total.any_usable ? data->total_count
                                                                        : data->marker_count;
}

int snmp_in_error(const SnmpSnapshotConfig* config, const PrinterData* data) {
  if (config->custom_error != nullptr && data->custom_error_valid) return data->custom_error ? 1 : 0;
  std::uint8_t errors[2];
  snmp_mask_error(config->ignore_errors, data->printer_error, errors);
  if (errors[0] != 0 || errors[1] != 0) {
    char left[SNMP_ERROR_TEXT_SIZE], given[SNMP_ERROR_TEXT_SIZE], ignored[SNMP_ERROR_TEXT_SIZE];
    snmp_convert_printererror_to_str(left, sizeof left, errors);
    snmp_convert_printererror_to_str(given, sizeof given, data->printer_error);
    snmp_convert_printererror_to_str(ignored, sizeof ignored, config->ignore_errors);
    HW_DEBUG("Errors = %s (given_errors = %s, ignore_errors = %s)", left, given, ignored);
    return 1;
  }
  switch (config->tray_pause_mode) {
    case TRAY_PAUSE_ANY_TRAY:
      return data->num_empty_trays > 0 ? 1 : 0;
    case TRAY_PAUSE_ALL_TRAYS:
      // A printer without automatic trays has no tray that could run empty.
      return config->num_auto_trays > 0 && data->num_empty_trays >= config->num_auto_trays ? 1 : 0;
    default:
      return 0;
  }
}

int snmp_negative_diff_printer_data(const PrinterData* previous, const PrinterData* current) {
  bool any = dropped("marker_count", previous->marker_count, current->marker_count);
  any = dropped("color_count", previous->color_count, current->color_count) || any;
  any = dropped("total_count", previous->total_count, current->total_count) || any;
  any = dropped("large_page_count", previous->large_page_count, current->large_page_count) || any;
  return any ? 1 : 0;
}

int snmp_log_differences_printer_data(const PrinterData* p, const PrinterData* c,
                                      int with_timestamp) {
  const std::string prefix = stamp(with_timestamp);
  const char* sep = prefix.empty() ? "" : ": ";
  bool any = false;
  if (p->printer_status != c->printer_status) {
    HW_DEBUG("%s%sprinter_status changed from %s to %s", prefix.c_str(), sep,
             snmp_convert_printerstatus_to_str(p->printer_status),
             snmp_convert_printerstatus_to_str(c->printer_status));
    any = true;
  }
  if (p->printer_error[0] != c->printer_error[0] || p->printer_error[1] != c->printer_error[1]) {
    char before[SNMP_ERROR_TEXT_SIZE], after[SNMP_ERROR_TEXT_SIZE];
    snmp_convert_printererror_to_str2(before, sizeof before, p->printer_error);
    snmp_convert_printererror_to_str2(after, sizeof after, c->printer_error);
    HW_DEBUG("%s%sprinter_error changed from %s to %s", prefix.c_str(), sep, before, after);
    any = true;
  }
  if (p->device_status != c->device_status) {
    HW_DEBUG("%s%sdevice_status changed from %s to %s", prefix.c_str(), sep,
             snmp_convert_devicestatus_to_str(p->device_status),
             snmp_convert_devicestatus_to_str(c->device_status));
    any = true;
  }
  any = changed_counter(prefix.c_str(), sep, "marker_count", p->marker_count, c->marker_count) || any;
  any = changed_counter(prefix.c_str(), sep, "color_count", p->color_count, c->color_count) || any;
  any = changed_counter(prefix.c_str(), sep, "total_count", p->total_count, c->total_count) || any;
  any = changed_counter(prefix.c_str(), sep, "large_page_count", p->large_page_count,
                        c->large_page_count) || any;
  if (p->custom_error != c->custom_error) {
    HW_DEBUG("%s%scustom error changed from %s to %s", prefix.c_str(), sep,
             truth(p->custom_error != 0), truth(c->custom_error != 0));
    any = true;
  }
  return any ? 1 : 0;
}

void snmp_abandon_check(SnmpSession* session, const SnmpSnapshotConfig* config,
                        PageCounts* counts) {
  int exists = 0;
  if (config->custom_job_exists != nullptr && config->custom_job_exists(session, &exists) &&
      exists) {
    HW_DEBUG("Abandoning hardware check on active job");
    counts->abandoned = 1;
  }
}

void snmp_log_page_counts(const PageCounts* counts) {
  HW_DEBUG("page_counts->total_page_count = %lu", ul(counts->total_page_count));
  HW_DEBUG("page_counts->has_color_count = %s", truth(counts->has_color_count != 0));
  if (counts->has_color_count) {
    HW_DEBUG("page_counts->color_page_count = %lu", ul(counts->color_page_count));
  }
  HW_DEBUG("page_counts->has_large_page_count = %s", truth(counts->has_large_page_count != 0));
  if (counts->has_large_page_count) {
    HW_DEBUG("page_counts->large_page_count = %lu", ul(counts->large_page_count));
  }
}

int snmp_page_count_diff(const SnmpSnapshotConfig* config, const PageCounts* before,
                         const PageCounts* after, PageCountDiff* diff) {
  *diff = PageCountDiff{};
  diff->abandoned = after->abandoned;
  diff->has_color = before->has_color_count;
  bool bad = decreased("page counter", before->total_page_count, after->total_page_count);
  if (before->has_color_count) {
    bad = decreased("color page counter", before->color_page_count, after->color_page_count) || bad;
  }
  if (before->has_large_page_count) {
    bad = decreased("large page counter", before->large_page_count, after->large_page_count) || bad;
  }
  if (bad) return 0;
  diff->total = as_difference(after->total_page_count, before->total_page_count);
  if (before->has_color_count) {
    diff->color = as_difference(after->color_page_count, before->color_page_count);
  }
  if (before->has_large_page_count && after->large_page_count != before->large_page_count) {
    halve_for_large_pages(config, after->large_page_count - before->large_page_count, diff);
  }
  return 1;
}
