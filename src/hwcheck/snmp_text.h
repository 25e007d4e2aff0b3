// Texts of printer states, device states and the printer's error bits
// (hrPrinterDetectedErrorState: two bytes, most significant bit first).
#pragma once

#include <cstddef>
#include <cstdint>

// hrPrinterStatus: 1 "Other", 2 "Unknown", 3 "Idle", 4 "Printing", 5
// "Warmup"; any other value "Unknown Printer Status".
[[nodiscard]] const char* snmp_convert_printerstatus_to_str(int status);
// hrDeviceStatus: 1 "Unknown", 2 "Running", 3 "Warning", 4 "Testing", 5
// "Down"; any other value "Unknown Device Status".
[[nodiscard]] const char* snmp_convert_devicestatus_to_str(int status);

// The texts of the set bits of `error` in table order joined by "|", cut to
// the buffer ("" when no bit is set).
void snmp_convert_printererror_to_str(char* buffer, std::size_t size, const std::uint8_t error[2]);
// The same, "<No Error>" when no bit is set.
void snmp_convert_printererror_to_str2(char* buffer, std::size_t size,
                                       const std::uint8_t error[2]);
// Sets every bit whose text occurs anywhere in `text` (any separator).
void snmp_convert_str_to_printerror(const char* text, std::uint8_t error[2]);
// out = given AND NOT ignore, per byte.
void snmp_mask_error(const std::uint8_t ignore[2], const std::uint8_t given[2],
                     std::uint8_t out[2]);

// Room for the texts of all error bits.
inline constexpr std::size_t SNMP_ERROR_TEXT_SIZE = 256;
