// A poll printed for people: to a stream, or to the debug log.
#include <cstdarg>
#include <string>

#include "foundation/config.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_printer_data.h"
#include "hwcheck/snmp_text.h"

namespace {

// Formats each line and hands it, without its line end, to the stream or the
// log.
class Lines {
 public:
  explicit Lines(FILE* stream) : stream_(stream) {}
  void put(const char* format, ...) SW_PRINTF(2, 3) {
    char text[SNMP_ERROR_TEXT_SIZE + 128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (stream_ != nullptr) {
      std::fprintf(stream_, "%s\n", text);
    } else {
      HW_DEBUG("%s", text);
    }
  }

 private:
  FILE* stream_;
};

std::string empty_trays(const PrinterData* d) {
  std::string text;
  for (int i = 0; i < d->num_alert_trays && i < SNMP_MAX_ALERT_TRAYS; ++i) {
    if (d->alert_trays[i].empty) text += std::to_string(d->alert_trays[i].tray_index) + " ";
  }
  return text;
}

unsigned long ul(std::uint64_t v) { return static_cast<unsigned long>(v); }

void put_counters(const SnmpSnapshotConfig* c, const PrinterData* d, Lines& out) {
  if (c->total.any_usable) out.put("  total_count = %lu", ul(d->total_count));
  if (c->color.any_usable) out.put("  color_count = %lu", ul(d->color_count));
  if (c->large.any_usable) out.put("  large_page_count = %lu", ul(d->large_page_count));
}

// The log lists the chosen counters before the marker; the stream after it.
void printer_data_lines(const SnmpSnapshotConfig* c, const PrinterData* d, Lines& out,
                        bool counters_first) {
  out.put("Printer Data:");
  out.put("  enterprise_id = %d", c->enterprise_id);
  out.put("  printer_desc = %s", c->printer_desc);
  if (counters_first) put_counters(c, d, out);
  out.put("  marker_count = %lu", ul(d->marker_count));
  if (!counters_first) put_counters(c, d, out);
  out.put("  printer_status = %u (%s)", static_cast<unsigned>(d->printer_status),
          snmp_convert_printerstatus_to_str(d->printer_status));
  char errors[SNMP_ERROR_TEXT_SIZE];
  snmp_convert_printererror_to_str2(errors, sizeof errors, d->printer_error);
  out.put("  printer_error = 0x%x 0x%x (%s)", d->printer_error[0], d->printer_error[1], errors);
  out.put("  device_status = %u (%s) %s", static_cast<unsigned>(d->device_status),
          snmp_convert_devicestatus_to_str(d->device_status),
          c->use_device_status ? "" : "[not used]");
  if (d->num_empty_trays > 0) out.put("  no paper in trays: %s", empty_trays(d).c_str());
  if (c->custom_error != nullptr) {
    out.put("  custom error on active job = %s", d->custom_error ? "TRUE" : "FALSE");
  }
}

}  // namespace

void snmp_output_printer_data(const SnmpSnapshotConfig* config, const PrinterData* data,
                              FILE* stream) {
  if (stream == nullptr) return;
  Lines out(stream);
  printer_data_lines(config, data, out, false);
  std::fflush(stream);
}

void snmp_log_printer_data(const SnmpSnapshotConfig* config, const PrinterData* data) {
  if (global_ctx.debug_logging == 0) return;
  Lines out(nullptr);
  printer_data_lines(config, data, out, true);
}
