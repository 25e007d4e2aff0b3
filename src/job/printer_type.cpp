#include "job/printer_type.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iterator>

#include "foundation/ascii.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/os.h"
#include "foundation/os_time.h"
#include "foundation/util.h"
#include "hwcheck/snmp_get.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_session.h"
#include "job/printer_model_cache.h"

namespace {

constexpr const char* PPD_DIRS[] = {"/etc/cups/ppd", "/opt/cups/etc/ppd",
                                    "/usr/local/cups/etc/ppd", "/usr/local/etc/cups/ppd"};
constexpr const char MODEL_KEY[] = "*modelname:";

char g_ppd_path[COMMON_PPD_PATH_SIZE];


bool key_at(const char* p) {
  for (const char* k = MODEL_KEY; *k != '\0'; ++k, ++p) {
    if (ascii_to_lower(*p) != *k) return false;
  }
  return true;
}

// The quoted value after the first "*ModelName:" of the line whose value is
// complete; null when none.
const char* model_in_line(const char* line, std::size_t* length) {
  for (const char* p = line; *p != '\0'; ++p) {
    if (*p != '*' || !key_at(p)) continue;
    const char* v = p + std::strlen(MODEL_KEY);
    while (ascii_is_space(*v)) ++v;
    if (*v != '"') continue;
    const char* end = std::strchr(v + 1, '"');
    if (end == nullptr) continue;
    *length = static_cast<std::size_t>(end - (v + 1));
    return v + 1;
  }
  return nullptr;
}

bool skipped_line(const char* line) {
  while (ascii_is_blank(*line)) ++line;
  return *line == '\0' || *line == '\n' || *line == '\r' || *line == '#';
}

// A printer name that can only ever name a file inside the PPD directory.
bool safe_printer_name(const char* name) {
  return name != nullptr && name[0] != '\0' && name[0] != '.' && std::strchr(name, '/') == nullptr;
}

// The printer's own description (its model) asked over SNMP v2c; 1 with the
// text in `buffer`. A printer that does not answer costs one time-out, not
// two (the description's second object is not asked then).
int printer_description_over_snmp(const char* address, char* buffer, std::size_t size) {
  snmp_init(1, nullptr);
  LOG_DEBUG("Creating new session for setting of printer_type: %s", address);
  SnmpSessionPtr session(snmp_create_session(address, 2));
  if (!session) {
    LOG_ERROR("Unable to create session for getting printer type for printer: %s", address);
    return 0;
  }
  if (!snmp_get_printer_desc(session.get(), buffer, size)) {
    LOG_ERROR("Unable to get SNMP printer descriptor for printer type on printer: %s", address);
    return 0;
  }
  return 1;
}

// The printer's description as an earlier job heard it, else asked now (and
// remembered, answer or silence: job/printer_model_cache.h).
int remembered_or_asked(const char* address, char* buffer, std::size_t size) {
  const std::int64_t now = os_current_time_millis() / 1000;
  switch (printer_model_cache_read(address, buffer, size, now)) {
    case PrinterModelMemory::ANSWERED: return 1;
    case PrinterModelMemory::SILENT: return 0;
    case PrinterModelMemory::UNKNOWN: break;
  }
  const int answered = printer_description_over_snmp(address, buffer, size);
  (void)printer_model_cache_write(address, answered ? buffer : nullptr);
  return answered;
}

}  // namespace

const char* common_find_ppd_in_dirs(const char* printer_name, const char* const* dirs,
                                    std::size_t count) {
  if (safe_printer_name(printer_name)) {
    for (std::size_t i = 0; i < count; ++i) {
      const int n = std::snprintf(g_ppd_path, sizeof g_ppd_path, "%s/%s.ppd", dirs[i],
                                  printer_name);
      if (n < 0 || static_cast<std::size_t>(n) >= sizeof g_ppd_path) continue;
      if (access(g_ppd_path, R_OK) == 0) {
        LOG_DEBUG("Found CUPS ppd file at file at: %s", g_ppd_path);
        return g_ppd_path;
      }
    }
  }
  LOG_DEBUG("Unable to find CUPS ppd file.");
  return nullptr;
}

const char* common_find_cups_printer_ppd(const char* printer_name) {
  return common_find_ppd_in_dirs(printer_name, PPD_DIRS, std::size(PPD_DIRS));
}

int common_read_ppd_model_name(const char* ppd_path, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  LOG_DEBUG("Parsing CUPS PPD file %s", ppd_path);
  FILE* file = os_fopen(ppd_path, "r");
  if (file == nullptr) {
    LOG_ERROR("Failed to open PPD file: %s", ppd_path);
    return 0;
  }
  char line[COMMON_PPD_PATH_SIZE];
  int found = 0;
  while (!found && std::fgets(line, sizeof line, file) != nullptr) {
    if (skipped_line(line)) continue;
    std::size_t length = 0;
    const char* model = model_in_line(line, &length);
    if (model == nullptr) continue;
    const std::size_t n = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, model, n);
    buffer[n] = '\0';
    LOG_DEBUG("Found model: %s", buffer);
    found = 1;
  }
  std::fclose(file);
  return found;
}

int common_get_printer_model_name(const char* printer_name, char* buffer, std::size_t size) {
  const char* ppd = common_find_cups_printer_ppd(printer_name);
  if (ppd == nullptr) {
    LOG_DEBUG("Unable to locate CUPS PPD file for printer %s so set model to null",
              printer_name != nullptr ? printer_name : "");
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
  }
  return common_read_ppd_model_name(ppd, buffer, size);
}

int common_set_printer_type(JobAttribs* ja, const char* printer_address) {
  if (ja == nullptr) {
    TV_ASSERT(ja != nullptr);
    return 0;
  }
  char type[JA_TEXT_SIZE];
  if (!common_get_printer_model_name(ja->printer_name, type, sizeof type)) {
    LOG_DEBUG("Failed to get printer type for printer %s, so trying SNMP", ja->printer_name);
    ja->printer_type[0] = '\0';
    if (printer_address == nullptr || printer_address[0] == '\0' ||
        !remembered_or_asked(printer_address, type, sizeof type)) {
      return 0;
    }
    LOG_DEBUG("Successfully set job attrib printer type to: %s", type);
  }
  ja_set_printer_type(ja, type);
  LOG_DEBUG("Setting printer type for job %s to: %s", ja->job_id, ja->printer_type);
  return 1;
}
