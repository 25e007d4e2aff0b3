// net-snmp's headers, for the units that build and read PDUs. They include
// <syslog.h>, whose LOG_INFO and LOG_DEBUG constants clash with the program
// log's macros of the same names: the constants are dropped here and the
// program log's header follows. Include this header before any other of the
// project's headers in a unit that uses it.
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#undef LOG_INFO
#undef LOG_DEBUG

#include "foundation/log.h"
#include "hwcheck/snmp_oid.h"

static_assert(sizeof(oid) == sizeof(SnmpSubId) && static_cast<oid>(-1) == static_cast<SnmpSubId>(-1),
              "SnmpSubId must be net-snmp's oid");
static_assert(SNMP_OID_MAX == MAX_OID_LEN);
