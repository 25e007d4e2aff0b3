// Object identifiers as the hardware check keeps them: up to 128
// sub-identifiers, parsed from and printed in dotted form without any MIB.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// One sub-identifier (net-snmp's `oid`).
using SnmpSubId = unsigned long;
// Most sub-identifiers an object identifier may have (SNMP's limit).
inline constexpr std::size_t SNMP_OID_MAX = 128;
// Largest value of one sub-identifier (SNMP's limit, 2^32 - 1).
inline constexpr SnmpSubId SNMP_SUBID_MAX = 4294967295UL;
// Room for the dotted text of any identifier.
inline constexpr std::size_t SNMP_OID_TEXT_SIZE = SNMP_OID_MAX * 11 + 1;

struct SnmpOid {
  SnmpSubId ids[SNMP_OID_MAX];
  std::size_t length;
};

using SnmpOidView = std::span<const SnmpSubId>;

inline SnmpOidView snmp_oid_view(const SnmpOid& o) { return SnmpOidView(o.ids, o.length); }

// Parses dotted text ("1.3.6.1.2.1.1.1.0", one leading "." allowed) into
// *out. 1 when the whole text is 2 to 128 decimal sub-identifiers of at most
// 2^32 - 1 separated by single dots; 0 otherwise (*out then has length 0).
[[nodiscard]] int snmp_parse_oid_text(std::string_view text, SnmpOid* out);

// Copies an identifier of at most 128 sub-identifiers; 0 when longer.
[[nodiscard]] int snmp_oid_assign(SnmpOidView ids, SnmpOid* out);

// The dotted text of `ids` ("1.3.6.1"), cut to the buffer.
void snmp_format_oid(SnmpOidView ids, char* buffer, std::size_t size);

// 1 when both identifiers are equal.
[[nodiscard]] bool snmp_oid_equal(SnmpOidView a, SnmpOidView b);
// 1 when `ids` lies inside the subtree `root` (equal to it or below it).
[[nodiscard]] bool snmp_oid_in_subtree(SnmpOidView ids, SnmpOidView root);
// Lexicographic order of identifiers: negative, 0 or positive.
[[nodiscard]] int snmp_oid_compare(SnmpOidView a, SnmpOidView b);
