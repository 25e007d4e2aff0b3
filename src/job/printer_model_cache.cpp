#include "job/printer_model_cache.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/serialize.h"
#include "foundation/util.h"

namespace {

constexpr int CACHE_VERSION = 1;
// Printer settings files are "<printer>.dat": this ending never meets one.
constexpr const char CACHE_SUFFIX[] = ".snmp-model";
constexpr std::size_t ADDRESS_SIZE = 1024;
constexpr std::size_t MODEL_SIZE = 1024;

std::int64_t lifetime(bool answered) {
  const std::int64_t configured = global_ctx.xvp_printer_cache_lifetime_secs;
  if (answered || configured < PRINTER_MODEL_SILENT_SECS) return configured;
  return PRINTER_MODEL_SILENT_SECS;
}

struct Remembered {
  char address[ADDRESS_SIZE] = {};
  int answered = 0;
  char model[MODEL_SIZE] = {};
};

// Reads the file; false when it is not a complete memory of version 1.
bool read_file(const char* path, Remembered* out) {
  SerializeStore* raw = nullptr;
  if (!serialize_open(&raw, path)) return false;
  int version = 0;
  const bool ok = serialize_unpack_int(raw, "version", &version) && version == CACHE_VERSION &&
                  serialize_unpack_str(raw, "address", out->address, sizeof out->address) &&
                  serialize_unpack_boolean(raw, "answered", &out->answered) &&
                  serialize_unpack_str(raw, "model", out->model, sizeof out->model);
  return serialize_close(raw) && ok;
}

}  // namespace

int printer_model_cache_path(char* buffer, std::size_t size, const char* address) {
  if (buffer == nullptr || size == 0 || address == nullptr || address[0] == '\0' ||
      global_ctx.settings_spool_dir_path[0] == '\0') {
    return 0;
  }
  char name[OS_PATH_BUFFER_SIZE];
  const int n = std::snprintf(name, sizeof name, "%s%s", address, CACHE_SUFFIX);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof name) return 0;
  (void)util_sanitize_fname(name);
  return os_cat_path(buffer, size, global_ctx.settings_spool_dir_path, name);
}

PrinterModelMemory printer_model_cache_read(const char* address, char* model, std::size_t size,
                                            std::int64_t now) {
  char path[OS_PATH_BUFFER_SIZE];
  std::int64_t written = 0;
  if (lifetime(true) <= 0 || !printer_model_cache_path(path, sizeof path, address) ||
      !os_file_exists(path) || !os_get_mtime(path, &written)) {
    return PrinterModelMemory::UNKNOWN;
  }
  auto remembered = std::make_unique<Remembered>();
  // Two addresses can share a file name once made file-safe ("a:b", "a_b"):
  // the file names the address it speaks of.
  if (!read_file(path, remembered.get()) || std::strcmp(remembered->address, address) != 0) {
    return PrinterModelMemory::UNKNOWN;
  }
  const bool answered = remembered->answered != 0;
  const std::int64_t age = now - written;
  // A file from the future (the clock was set back) is as good as old.
  if (age < 0 || age >= lifetime(answered)) return PrinterModelMemory::UNKNOWN;
  if (!answered) {
    LOG_DEBUG("Printer %s did not answer over SNMP %ld s ago; not asking it for its model again "
              "before %ld s have passed",
              address, static_cast<long>(age), static_cast<long>(lifetime(false)));
    return PrinterModelMemory::SILENT;
  }
  if (model != nullptr && size > 0) util_safe_strncpy(model, remembered->model, size);
  LOG_DEBUG("Printer %s described itself as \"%s\" %ld s ago", address, remembered->model,
            static_cast<long>(age));
  return PrinterModelMemory::ANSWERED;
}

int printer_model_cache_write(const char* address, const char* model) {
  char path[OS_PATH_BUFFER_SIZE];
  if (lifetime(true) <= 0 || !printer_model_cache_path(path, sizeof path, address)) return 0;
  SerializeStore* raw = nullptr;
  if (!serialize_create(&raw, path)) return 0;
  // A memory that a power cut takes away is asked again: no flush to disk.
  raw->durable = false;
  const bool ok = serialize_pack_int(raw, "version", CACHE_VERSION) &&
                  serialize_pack_str(raw, "address", address) &&
                  serialize_pack_boolean(raw, "answered", model != nullptr ? 1 : 0) &&
                  serialize_pack_str(raw, "model", model != nullptr ? model : "");
  return serialize_close(raw) && ok ? 1 : 0;
}
