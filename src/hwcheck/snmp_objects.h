// The objects of the Host Resources MIB, the Printer MIB and the MIB-II
// system group that the hardware check reads (instance 1 where a table is
// meant).
#pragma once

#include "hwcheck/snmp_oid.h"

// hrPrinterStatus.1: printer status (INTEGER).
inline constexpr SnmpSubId OID_HR_PRINTER_STATUS[] = {1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 1, 1};
// hrPrinterDetectedErrorState.1: two error bytes (OCTET STRING).
inline constexpr SnmpSubId OID_HR_PRINTER_ERROR[] = {1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 2, 1};
// hrDeviceStatus.1: device status (INTEGER).
inline constexpr SnmpSubId OID_HR_DEVICE_STATUS[] = {1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 5, 1};
// hrDeviceDescr.1: printer description, first choice.
inline constexpr SnmpSubId OID_HR_DEVICE_DESCR[] = {1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 3, 1};
// prtMarkerLifeCount.1.1 and .0.1: the marker (page) counter, first and
// second choice.
inline constexpr SnmpSubId OID_PRT_MARKER_LIFE_COUNT_1[] = {1, 3, 6, 1, 2, 1, 43, 10, 2, 1, 4, 1, 1};
inline constexpr SnmpSubId OID_PRT_MARKER_LIFE_COUNT_0[] = {1, 3, 6, 1, 2, 1, 43, 10, 2, 1, 4, 0, 1};
// sysDescr.0: printer description, second choice.
inline constexpr SnmpSubId OID_SYS_DESCR[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
// sysObjectID.0: 1.3.6.1.4.1.N..., N the maker's enterprise number.
inline constexpr SnmpSubId OID_SYS_OBJECT_ID[] = {1, 3, 6, 1, 2, 1, 1, 2, 0};
// prtAlertEntry: walked for empty-tray alerts.
inline constexpr SnmpSubId OID_PRT_ALERT_ENTRY[] = {1, 3, 6, 1, 2, 1, 43, 18, 1, 1};
// prtInputType: walked to count the automatic trays.
inline constexpr SnmpSubId OID_PRT_INPUT_TYPE[] = {1, 3, 6, 1, 2, 1, 43, 8, 2, 1, 2};
// The enterprises subtree 1.3.6.1.4.1.
inline constexpr SnmpSubId OID_ENTERPRISES[] = {1, 3, 6, 1, 4, 1};
// The default root of a walk.
inline constexpr SnmpSubId OID_INTERNET[] = {1, 3, 6, 1};
