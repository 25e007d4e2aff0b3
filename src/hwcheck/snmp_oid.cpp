#include "hwcheck/snmp_oid.h"

#include <algorithm>
#include <cstdio>

#include "foundation/ascii.h"

int snmp_parse_oid_text(std::string_view text, SnmpOid* out) {
  if (out == nullptr) return 0;
  out->length = 0;
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  std::size_t count = 0;
  std::size_t i = 0;
  while (true) {
    if (i >= text.size() || !ascii_is_digit(text[i]) || count == SNMP_OID_MAX) return 0;
    SnmpSubId value = 0;
    for (; i < text.size() && ascii_is_digit(text[i]); ++i) {
      value = value * 10 + static_cast<SnmpSubId>(text[i] - '0');
      if (value > SNMP_SUBID_MAX) return 0;
    }
    out->ids[count++] = value;
    if (i == text.size()) break;
    if (text[i] != '.') return 0;
    ++i;
  }
  if (count < 2) return 0;
  out->length = count;
  return 1;
}

int snmp_oid_assign(SnmpOidView ids, SnmpOid* out) {
  if (out == nullptr) return 0;
  out->length = 0;
  if (ids.size() > SNMP_OID_MAX) return 0;
  std::copy(ids.begin(), ids.end(), out->ids);
  out->length = ids.size();
  return 1;
}

void snmp_format_oid(SnmpOidView ids, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return;
  buffer[0] = '\0';
  std::size_t used = 0;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    int n = std::snprintf(buffer + used, size - used, i == 0 ? "%lu" : ".%lu", ids[i]);
    if (n < 0 || static_cast<std::size_t>(n) >= size - used) {
      buffer[used] = '\0';  // whole sub-identifiers only
      return;
    }
    used += static_cast<std::size_t>(n);
  }
}

bool snmp_oid_equal(SnmpOidView a, SnmpOidView b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

bool snmp_oid_in_subtree(SnmpOidView ids, SnmpOidView root) {
  return ids.size() >= root.size() && std::equal(root.begin(), root.end(), ids.begin());
}

int snmp_oid_compare(SnmpOidView a, SnmpOidView b) {
  const auto order = std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end());
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}
