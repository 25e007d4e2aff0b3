#include "hwcheck/snmp_text.h"

#include <cstring>

#include "foundation/util.h"

namespace {

struct ErrorBit {
  int byte;
  std::uint8_t mask;
  const char* text;
};

constexpr ErrorBit ERROR_BITS[] = {
    {0, 0x80, "Low Paper"},          {0, 0x40, "No Paper"},
    {0, 0x20, "Low Toner"},          {0, 0x10, "No Toner"},
    {0, 0x08, "Door Open"},          {0, 0x04, "Jammed"},
    {0, 0x02, "Offline"},            {0, 0x01, "Service Requested"},
    {1, 0x80, "Input Tray Missing"}, {1, 0x40, "Output Tray Missing"},
    {1, 0x20, "Marker Supply Missing"}, {1, 0x10, "Output Near Full"},
    {1, 0x08, "Output Full"},        {1, 0x04, "Input Tray Empty"},
    {1, 0x02, "Overdue Prevent Maintenance"},
};

constexpr const char* PRINTER_STATUS[] = {"Other", "Unknown", "Idle", "Printing", "Warmup"};
constexpr const char* DEVICE_STATUS[] = {"Unknown", "Running", "Warning", "Testing", "Down"};

}  // namespace

const char* snmp_convert_printerstatus_to_str(int status) {
  return status >= 1 && status <= 5 ? PRINTER_STATUS[status - 1] : "Unknown Printer Status";
}

const char* snmp_convert_devicestatus_to_str(int status) {
  return status >= 1 && status <= 5 ? DEVICE_STATUS[status - 1] : "Unknown Device Status";
}

void snmp_convert_printererror_to_str(char* buffer, std::size_t size,
                                      const std::uint8_t error[2]) {
  if (buffer == nullptr || size == 0) return;
  buffer[0] = '\0';
  bool first = true;
  for (const ErrorBit& bit : ERROR_BITS) {
    if ((error[bit.byte] & bit.mask) == 0) continue;
    if (!first) util_safe_strncat(buffer, "|", size);
    util_safe_strncat(buffer, bit.text, size);
    first = false;
  }
}

void snmp_convert_printererror_to_str2(char* buffer, std::size_t size,
                                       const std::uint8_t error[2]) {
  snmp_convert_printererror_to_str(buffer, size, error);
  if (buffer != nullptr && size > 0 && buffer[0] == '\0') {
    util_safe_strncpy(buffer, "<No Error>", size);
  }
}

void snmp_convert_str_to_printerror(const char* text, std::uint8_t error[2]) {
  error[0] = 0;
  error[1] = 0;
  if (text == nullptr) return;
  for (const ErrorBit& bit : ERROR_BITS) {
    if (std::strstr(text, bit.text) != nullptr) error[bit.byte] |= bit.mask;
  }
}

void snmp_mask_error(const std::uint8_t ignore[2], const std::uint8_t given[2],
                     std::uint8_t out[2]) {
  out[0] = static_cast<std::uint8_t>(given[0] & ~ignore[0]);
  out[1] = static_cast<std::uint8_t>(given[1] & ~ignore[1]);
}
