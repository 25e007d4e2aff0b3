// HWCheckModel configuration lines, dotted identifiers and error texts, and
// a model-table match of the same text as a printer description.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "foundation/config.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_model.h"
#include "hwcheck/snmp_oid.h"
#include "hwcheck/snmp_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool once = false;
  if (!once) {
    once = true;
    snmp_init(1, nullptr);
    log_set_path("/dev/null");
    global_ctx.debug_logging = 1;
  }
  // Exact-size copy so that a one-byte over-read is caught.
  std::unique_ptr<char[]> bytes(new char[size]);
  if (size > 0) std::memcpy(bytes.get(), data, size);
  SnmpOid parsed{};
  (void)snmp_parse_oid_text(std::string_view(bytes.get(), size), &parsed);

  std::unique_ptr<char[]> text(new char[size + 1]);
  if (size > 0) std::memcpy(text.get(), data, size);
  text[size] = '\0';
  std::vector<HwcheckModelConfig> entries;
  process_hwcheck_model_str(text.get(), &entries);
  std::uint8_t error[2];
  snmp_convert_str_to_printerror(text.get(), error);
  const auto& table = snmp_builtin_model_table();
  const int enterprise = size > 0 ? data[0] * 7 : 0;
  (void)snmp_find_model_entry(enterprise, text.get(), table.data(), table.size());
  (void)snmp_find_model_entry(enterprise, text.get(), entries.data(), entries.size());
  for (const HwcheckModelConfig& entry : entries) {
    (void)snmp_merge_model_entries(table[size % table.size()], entry);
  }
  return 0;
}
