// Single-object reads: strings, identifiers, integers, and the printer's
// description, maker number and error bits. Results 1 for success, 0 for
// failure; every failure is logged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hwcheck/snmp_oid.h"
#include "hwcheck/snmp_session.h"

// Room of the printer description that the model table is matched against.
inline constexpr std::size_t SNMP_PRINTER_DESC_SIZE = 65;

// One GET of an OCTET STRING object into `buffer` (cleared first, cut to
// size - 1 bytes, always terminated). `label` names it in the log.
[[nodiscard]] int snmp_get_string(SnmpSession* session, SnmpOidView object, const char* label,
                                  char* buffer, std::size_t size);
// One GET of an OBJECT IDENTIFIER object into *value.
[[nodiscard]] int snmp_get_oid_value(SnmpSession* session, SnmpOidView object, const char* label,
                                     SnmpOid* value);
// One GET of an INTEGER or Counter32 object into *value.
[[nodiscard]] int get_int_metric(SnmpSession* session, SnmpOidView object, std::int64_t* value);

// The printer's description: hrDeviceDescr.1, else sysDescr.0 (an empty
// text counts as none). After a time-out the second is not asked: a printer
// that does not answer would only make the caller wait twice.
[[nodiscard]] int snmp_get_printer_desc(SnmpSession* session, char* buffer, std::size_t size);

// The maker's enterprise number from sysObjectID.0 (1.3.6.1.4.1.N...): 1 when
// the identifier lies under the enterprises subtree and N is above 0.
[[nodiscard]] int snmp_get_enterprise_id(SnmpSession* session, int* enterprise_id);

// The two error bytes of hrPrinterDetectedErrorState.1 (missing bytes 0),
// swapped for printers whose description begins with "Samsung". *timed_out
// tells a time-out from other failures.
[[nodiscard]] int snmp_get_printer_error(SnmpSession* session, std::uint8_t error[2],
                                         int* timed_out);
