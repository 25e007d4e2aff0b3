// HWCheckModel lines: pairs name="value" separated by blanks, e.g.
//   model="MP C3002" make="Ricoh" customcounter="0" total="1.3.6.1.4.1.367.3.2.1.2.19.2.0"
#include <cstring>
#include <string_view>

#include "foundation/config.h"
#include "foundation/decimal.h"
#include "foundation/util.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_model.h"

namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\b' || c == '\n' || c == '\r'; }
bool is_line_end(char c) { return c == '\n' || c == '\r'; }

struct Pair {
  std::string name;
  std::string value;
};

enum class Read { PAIR, END, SYNTAX_ERROR };

// The next pair at *p; *p moves past it.
Read next_pair(const char** p, Pair* pair) {
  const char* s = *p;
  while (is_separator(*s)) ++s;
  *p = s;
  if (*s == '\0') return Read::END;
  const char* name = s;
  while (*s != '\0' && *s != '=' && !is_line_end(*s)) ++s;
  if (*s != '=') return Read::SYNTAX_ERROR;
  const char* name_end = s;
  while (name_end > name && (name_end[-1] == ' ' || name_end[-1] == '\t')) --name_end;
  ++s;
  while (is_separator(*s)) ++s;
  if (*s != '"') {
    *p = s;
    return Read::SYNTAX_ERROR;
  }
  const char* value = ++s;
  while (*s != '\0' && *s != '"' && !is_line_end(*s)) ++s;
  if (*s != '"') {
    *p = s;
    return Read::SYNTAX_ERROR;
  }
  pair->name.assign(name, name_end);
  pair->value.assign(value, s);
  *p = s + 1;
  return Read::PAIR;
}

// A decimal value of a field, or the field left as it is with "Invalid data"
// logged. `valid` tells the values the field takes.
template <typename T>
void read_number(const Pair& pair, const char* field, T* target, bool (*valid)(std::int64_t)) {
  std::int64_t value = 0;
  if (decimal_parse_whole(pair.value, &value) && valid(value)) {
    *target = static_cast<T>(value);
  } else {
    HW_ERROR("Invalid data \"%s\" for %s", pair.value.c_str(), field);
  }
}

bool is_flag(std::int64_t v) { return v == 0 || v == 1; }
bool is_count(std::int64_t v) { return v >= 0 && v <= 1000000; }
bool is_enterprise(std::int64_t v) { return v > 0 && v <= 2147483647; }

// Adds a counter object; false (logged) when the kind has four already.
bool add_object(std::vector<std::string>* list, const std::string& value, const char* kind) {
  if (list->size() == HWCHECK_MAX_COUNTER_OIDS) {
    HW_ERROR("too many %s count oids specified", kind);
    return false;
  }
  list->push_back(value);
  return true;
}

struct FlagField {
  const char* name;
  const char* field;  // as the "Invalid data" line names it
  std::int32_t HwcheckModelConfig::*member;
};

constexpr FlagField FLAGS[] = {
    {"errorbyteswap", "errotbyteswap", &HwcheckModelConfig::error_byte_swap},
    {"largecounterdoubled", "largecounterdoubled", &HwcheckModelConfig::large_counter_doubled},
    {"usetotalasmaincounter", "usetotalasmaincounter",
     &HwcheckModelConfig::use_total_as_main_counter},
    {"usedevicestatus", "usedevicestatus", &HwcheckModelConfig::use_device_status},
    {"doexactmodelmatch", "do_exact_model_match", &HwcheckModelConfig::exact_model_match},
    {"customcounter", "customcounter", &HwcheckModelConfig::do_custom_counter},
    {"customerror", "customerror", &HwcheckModelConfig::do_custom_error},
    {"customjobexists", "customjobexists", &HwcheckModelConfig::do_custom_job_exists},
    {"deleteonerror", "deleteonerror", &HwcheckModelConfig::delete_on_error},
};

std::int32_t tray_pause_mode(const std::string& value) {
  if (util_case_equal_str(value.c_str(), "AnyTray")) return TRAY_PAUSE_ANY_TRAY;
  if (util_case_equal_str(value.c_str(), "AllTrays")) return TRAY_PAUSE_ALL_TRAYS;
  return TRAY_PAUSE_OFF;
}

// Applies one pair; false when the line is to be rejected.
bool apply_pair(const Pair& pair, HwcheckModelConfig* entry) {
  const std::string& name = pair.name;
  if (name == "model") {
    entry->model_strings.assign(1, pair.value);
  } else if (name == "make") {
    entry->make_strings.assign(1, pair.value);
  } else if (name == "enterprise") {
    read_number(pair, "enterprise", &entry->enterprise_id, is_enterprise);
  } else if (name == "color") {
    return add_object(&entry->color_mibs, pair.value, "color");
  } else if (name == "total") {
    return add_object(&entry->total_mibs, pair.value, "total");
  } else if (name == "large") {
    return add_object(&entry->large_mibs, pair.value, "large");
  } else if (name == "beforeloops") {
    read_number(pair, "beforeloops", &entry->loops_before, is_count);
  } else if (name == "afterloops") {
    read_number(pair, "afterloops", &entry->loops_after, is_count);
  } else if (util_case_equal_str(name.c_str(), "PauseOnPaperTrayError")) {
    entry->pause_on_tray_error = tray_pause_mode(pair.value);
    entry->pause_on_tray_error_given = true;
  } else {
    for (const FlagField& flag : FLAGS) {
      if (name == flag.name) read_number(pair, flag.field, &(entry->*flag.member), is_flag);
    }
  }
  return true;  // unknown names are ignored
}

// The entry of one line; false when the line is rejected (logged).
bool parse_line(const char* text, HwcheckModelConfig* entry) {
  const char* p = text;
  Pair pair;
  while (true) {
    const Read read = next_pair(&p, &pair);
    if (read == Read::END) break;
    if (read == Read::SYNTAX_ERROR) {
      HW_ERROR("Failed to read hwcheck config line: %s", text);
      HW_ERROR("Failure stopped at: %s", p);
      return false;
    }
    HW_DEBUG("parsed name = \"%s\", value = \"%s\"", pair.name.c_str(), pair.value.c_str());
    if (!apply_pair(pair, entry)) return false;
  }
  if (entry->model_strings.empty()) {
    HW_ERROR("Missing model variable from hwcheck config line: %s", text);
    return false;
  }
  return true;
}

}  // namespace

void process_hwcheck_model_str(const char* text, std::vector<HwcheckModelConfig>* entries) {
  if (text == nullptr || text[0] == '\0' || entries == nullptr) return;
  HW_DEBUG("Processing HWCheckModel entry: %s", text);
  HwcheckModelConfig entry;
  if (!parse_line(text, &entry)) {
    HW_ERROR("Failed to read in HWCheckModel variable: %s", text);
    return;
  }
  snmp_log_hwcheck_model_entry("config", entry);
  if (entries->size() < HWCHECK_MAX_USER_MODELS) entries->push_back(std::move(entry));
}

std::vector<HwcheckModelConfig> snmp_read_user_model_config() {
  std::vector<HwcheckModelConfig> entries;
  for (const char* line : global_ctx.hwcheck_model) process_hwcheck_model_str(line, &entries);
  return entries;
}
