// The environment-version file: the application server's interface version,
// written beside the configuration by the installer.
#include <array>
#include <cstdio>
#include <string_view>

#include "foundation/config.h"
#include "foundation/config_line.h"
#include "foundation/util.h"

namespace {

bool begins_with_digit(std::string_view value) {
  return !value.empty() && value.front() >= '0' && value.front() <= '9';
}

// Applies one line; true when it set the version.
bool apply_env_line(std::string_view line, int line_number, SessionContext* ctx) {
  const ConfigLine parsed = config_split_line(line, true);
  switch (parsed.kind) {
    case ConfigLineKind::COMMENT:
      return false;
    case ConfigLineKind::NO_EQUALS:
      LOG_ERROR("Invalid env version value at line number: %d", line_number);
      return false;
    case ConfigLineKind::EMPTY_KEY:
      LOG_ERROR("Invalid name in env version file at line number: %d", line_number);
      return false;
    case ConfigLineKind::EMPTY_VALUE:
      LOG_DEBUG("Empty value in env version file at line number: %d", line_number);
      return false;
    case ConfigLineKind::SETTING:
      break;
  }
  if (!config_case_equal(parsed.key, "EnvVersion")) return false;
  int version = 0;
  if (!begins_with_digit(parsed.value) || !config_parse_int(parsed.value, &version)) {
    LOG_ERROR("Invalid value assigned to EnvVersion");
    return false;
  }
  ctx->env_version = version;
  return true;
}

}  // namespace

int config_load_env_version(const char* path, SessionContext* ctx) {
  LOG_DEV("entering config_load_env_version");
  if (util_is_string_empty(path) || ctx == nullptr) {
    LOG_ERROR("Invalid env version file path");
    return -1;
  }
  LOG_DEBUG("Parsing env version file: %s", path);
  std::FILE* file = config_open_regular_file(path);
  if (file == nullptr) {
    LOG_ERROR("Failed to open env version file: %s, assuming env version: %d", path,
              ctx->env_version);
    return -1;
  }
  std::array<char, CONFIG_MAX_LINE + 1> buffer{};
  std::string_view line;
  bool truncated = false;
  bool found = false;
  int line_number = 0;
  while (config_read_line(file, buffer.data(), buffer.size(), &line, &truncated)) {
    ++line_number;
    if (apply_env_line(line, line_number, ctx)) found = true;
  }
  std::fclose(file);
  if (found) {
    LOG_DEBUG("Environment version: %d", ctx->env_version);
  } else {
    LOG_ERROR("No environment version found in: %s, assuming env version: %d", path,
              ctx->env_version);
  }
  return 0;
}
