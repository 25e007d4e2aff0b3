// Empty-tray alerts from the Printer MIB's alert table. The walk delivers
// the table column by column: prtAlertGroup (4) names the input alerts,
// prtAlertGroupIndex (5) their trays, prtAlertCode (7) the empty ones.
#include "hwcheck/snmp_netsnmp.h"

#include <limits>

#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_objects.h"
#include "hwcheck/snmp_printer_data.h"
#include "hwcheck/snmp_request.h"
#include "hwcheck/snmp_walk.h"

namespace {

constexpr std::size_t MIN_ALERT_ID_LENGTH = 13;  // prtAlertEntry.column.device.alert
constexpr SnmpSubId COLUMN_GROUP = 4;
constexpr SnmpSubId COLUMN_GROUP_INDEX = 5;
constexpr SnmpSubId COLUMN_CODE = 7;
constexpr std::int64_t GROUP_INPUT = 8;
constexpr std::int64_t CODE_INPUT_MEDIA_SUPPLY_EMPTY = 808;

std::uint32_t alert_row_of(const variable_list* var) {
  const SnmpSubId row = var->name[var->name_length - 1];
  return row > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                         : static_cast<std::uint32_t>(row);
}

AlertTrayData* entry_of(PrinterData* data, std::uint32_t row) {
  for (int i = 0; i < data->num_alert_trays; ++i) {
    if (data->alert_trays[i].alert_index == row) return &data->alert_trays[i];
  }
  return nullptr;
}

int prt_alert_callback(void* context, const variable_list* var) {
  auto* data = static_cast<PrinterData*>(context);
  std::int64_t value = 0;
  if (var->type != ASN_INTEGER || var->name_length < MIN_ALERT_ID_LENGTH ||
      !snmp_var_integer(var, &value)) {
    return 0;
  }
  const SnmpSubId column = var->name[var->name_length - 3];
  const std::uint32_t row = alert_row_of(var);
  if (column > COLUMN_CODE) {
    HW_DEBUG("Finished processing alert OIDs");
    return 1;
  }
  if (column == COLUMN_GROUP && value == GROUP_INPUT) {
    if (data->num_alert_trays == SNMP_MAX_ALERT_TRAYS) {
      HW_DEBUG("too many trays in alert data: %d", data->num_alert_trays);
      return 0;
    }
    HW_DEBUG("tray_index %u is an input alert", row);
    data->alert_trays[data->num_alert_trays++] = AlertTrayData{row, -1, 0};
  } else if (column == COLUMN_GROUP_INDEX && value >= 0) {
    if (AlertTrayData* entry = entry_of(data, row); entry != nullptr) {
      entry->tray_index = value > std::numeric_limits<std::int32_t>::max()
                              ? std::numeric_limits<std::int32_t>::max()
                              : static_cast<std::int32_t>(value);
      HW_DEBUG("map tray index %u --> %ld", row, static_cast<long>(value));
    }
  } else if (column == COLUMN_CODE && value == CODE_INPUT_MEDIA_SUPPLY_EMPTY) {
    AlertTrayData* entry = entry_of(data, row);
    if (entry != nullptr && !entry->empty) {
      entry->empty = 1;
      ++data->num_empty_trays;
      HW_DEBUG("note error on tray %d", entry->tray_index);
    }
  }
  return 0;
}

}  // namespace

int snmp_get_alert_tray_data(SnmpSession* session, const SnmpSnapshotConfig*, PrinterData* data) {
  data->num_alert_trays = 0;
  data->num_empty_trays = 0;
  return snmp_walk(session, data, prt_alert_callback, OID_PRT_ALERT_ENTRY);
}
