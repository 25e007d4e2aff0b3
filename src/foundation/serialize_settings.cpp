// Printer settings files: the server's last settings for a printer.
#include "foundation/serialize_settings.h"

#include <string>

#include "foundation/log.h"
#include "foundation/os_file.h"
#include "foundation/serialize.h"
#include "foundation/serialize_format.h"

namespace {

// Room for one mode text or flag read from the file.
constexpr std::size_t VALUE_SIZE = 1024;

bool settings_path(const char* dir, const char* printer_name, char* path) {
  if (!TV_ASSERT(printer_name != nullptr)) return false;
  return serialize_file_path(dir, std::string(printer_name) + ".dat", path);
}

// A flag is on only for a value beginning with an upper-case Y.
int read_flag(SerializeStore* s, const char* key, std::int32_t* flag) {
  char value[VALUE_SIZE];
  if (!serialize_unpack_str(s, key, value, sizeof value)) return 0;
  *flag = value[0] == 'Y' ? 1 : 0;
  return 1;
}

using ModeParser = int (*)(const char*, int*);

int read_mode(SerializeStore* s, const char* key, ModeParser parse, std::int32_t* mode) {
  char value[VALUE_SIZE];
  if (!serialize_unpack_str(s, key, value, sizeof value)) return 0;
  int code = 0;
  if (!parse(value, &code)) {
    LOG_ERROR("Settings file key, \"%s\", has unknown value: \"%s\"", key, value);
    return 0;
  }
  *mode = code;
  return 1;
}

int unpack_settings(SerializeStore* s, PrinterSettings* settings) {
  int version = 0;
  if (!(serialize_unpack_int(s, "version", &version) &&
        read_flag(s, "enable_color_detection", &settings->enable_color_detection) &&
        read_mode(s, "failure_mode", util_convert_failure_mode_string_to_enum,
                  &settings->failure_mode))) {
    return 0;
  }
  settings->hwcheck_mode = HWCHECK_MODE_NONE;
  settings->is_virtual = 0;
  settings->confidentiality_mode = CONFIDENTIALITY_MODE_HIDE_NONE;
  if (version >= 2 && !read_mode(s, "hardware_check_mode", util_convert_hwcheck_mode_string_to_enum,
                                 &settings->hwcheck_mode)) {
    return 0;
  }
  if (version >= 3 && !read_flag(s, "is_virtual", &settings->is_virtual)) return 0;
  if (version >= 4 &&
      !read_mode(s, "queue-confidentiality-mode",
                 util_convert_confidentiality_mode_string_to_enum, &settings->confidentiality_mode)) {
    return 0;
  }
  if (version != SERIALIZE_SETTINGS_VERSION) {
    LOG_DEBUG("NOTE: version mismatch on settings file, file's version %d and expected version %d",
              version, SERIALIZE_SETTINGS_VERSION);
  }
  return 1;
}

int pack_settings(SerializeStore* s, const PrinterSettings* settings) {
  return serialize_pack_int(s, "version", SERIALIZE_SETTINGS_VERSION) &&
         serialize_pack_str(s, "enable_color_detection",
                            settings->enable_color_detection ? "Y" : "N") &&
         serialize_pack_str(s, "failure_mode",
                            util_convert_failure_mode_enum_to_string(settings->failure_mode)) &&
         serialize_pack_str(s, "hardware_check_mode",
                            util_convert_hwcheck_mode_enum_to_string(settings->hwcheck_mode)) &&
         serialize_pack_str(s, "is_virtual", settings->is_virtual ? "Y" : "N") &&
         serialize_pack_str(
             s, "queue-confidentiality-mode",
             util_convert_confidentiality_mode_enum_to_string(settings->confidentiality_mode));
}

}  // namespace

int serialize_settings_writeout(const char* dir, const char* printer_name,
                                const PrinterSettings* settings) {
  if (!TV_ASSERT(settings != nullptr)) return 0;
  char path[SERIALIZE_PATH_SIZE];
  if (!settings_path(dir, printer_name, path)) return 0;
  LOG_DEBUG("Writing printer setting file: %s", path);
  SerializeStore* store = nullptr;
  if (!serialize_create(&store, path)) return 0;
  int ok = pack_settings(store, settings);
  int closed = serialize_close(store);
  return ok && closed ? 1 : 0;
}

int serialize_settings_readin(const char* dir, const char* printer_name,
                              PrinterSettings* settings) {
  if (!TV_ASSERT(settings != nullptr)) return 0;
  char path[SERIALIZE_PATH_SIZE];
  if (!settings_path(dir, printer_name, path)) return 0;
  if (!os_file_exists(path)) {
    LOG_DEBUG("Printer settings file '%s' does not exist", path);
    return 0;
  }
  SerializeStore* store = nullptr;
  if (!serialize_open(&store, path)) return 0;
  int ok = unpack_settings(store, settings);
  int closed = serialize_close(store);
  return ok && closed ? 1 : 0;
}

int serialize_settings_equals(const PrinterSettings* a, const PrinterSettings* b) {
  if (!TV_ASSERT(a != nullptr && b != nullptr)) return 0;
  return a->enable_color_detection == b->enable_color_detection &&
                 a->failure_mode == b->failure_mode && a->hwcheck_mode == b->hwcheck_mode &&
                 a->archiving == b->archiving &&
                 a->confidentiality_mode == b->confidentiality_mode &&
                 a->is_virtual == b->is_virtual
             ? 1
             : 0;
}

void serialize_settings_openup_permissions(const char* dir, const char* printer_name) {
  char path[SERIALIZE_PATH_SIZE];
  if (!settings_path(dir, printer_name, path)) return;
  LOG_DEBUG("Updating permissions on settings file so that the service account's group reads it: %s",
            path);
  serialize_openup_permissions(path);
}
