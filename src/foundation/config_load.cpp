// Finding and loading the configuration file, and deriving the directories
// and the log path from it.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "foundation/config.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/os_process.h"
#include "foundation/util.h"

namespace {

constexpr std::size_t MAX_COMMAND_DIR_LENGTH = 1003;
constexpr std::size_t MAX_SERVICE_HOME_LENGTH = 976;
constexpr const char INSTALL_SUB_PATH[] = "/providers/print/linux-x64/spoolwarden.conf";
constexpr std::array<const char*, 4> FIXED_PATHS{
    "/home/torvelle/providers/print/linux-x64/spoolwarden.conf",
    "/etc/spoolwarden.conf",
    "/etc/torvelle/spoolwarden.conf",
    "spoolwarden.conf",
};
constexpr const char NOT_FOUND_MESSAGE[] =
    "Torvelle ZK: Unable to find the config file: spoolwarden.conf. Check the path for the "
    "configuration file and possibly ensure SELinux is not enabled\n";

// Only a regular file (or a link to one) counts: a directory or device that
// happens to carry the name is not a configuration file.
bool is_config_file(const char* path, const SessionContext* ctx) {
  if (ctx->debug_logging) stderr_log("Checking on path %s\n", path);
  struct stat st {};
  return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool find_next_to_command(const char* command, const SessionContext* ctx, char* out) {
  if (command == nullptr || command[0] != '/') return false;
  const std::string_view a(command);
  const std::size_t slash = a.rfind('/');
  if (slash > MAX_COMMAND_DIR_LENGTH) return false;
  if (ctx->debug_logging) stderr_log("Absolute command argument to base search: %s\n", command);
  std::snprintf(out, CONFIG_TEXT_SIZE, "%.*s/%s", static_cast<int>(slash), command,
                CONFIG_FILE_NAME);
  if (!is_config_file(out, ctx)) return false;
  if (ctx->debug_logging) {
    stderr_log("Found matching conf file based off command path: %s\n", out);
  }
  return true;
}

bool find_in_service_home(const SessionContext* ctx, char* out) {
  struct passwd entry {};
  struct passwd* result = nullptr;
  std::array<char, 4096> storage{};
  if (::getpwnam_r(OS_SERVICE_ACCOUNT, &entry, storage.data(), storage.size(), &result) != 0 ||
      result == nullptr || result->pw_dir == nullptr) {
    return false;
  }
  // A home cut short would name some other file: skip it instead.
  if (std::strlen(result->pw_dir) > MAX_SERVICE_HOME_LENGTH) return false;
  std::snprintf(out, CONFIG_TEXT_SIZE, "%s%s", result->pw_dir, INSTALL_SUB_PATH);
  if (!is_config_file(out, ctx)) return false;
  stderr_log("Found matching conf file in default install location: %s\n", out);
  return true;
}

bool find_at_fixed_paths(const SessionContext* ctx, char* out) {
  for (const char* path : FIXED_PATHS) {
    if (is_config_file(path, ctx)) {
      util_safe_strncpy(out, path, CONFIG_TEXT_SIZE);
      stderr_log("Found matching conf file at path: %s\n", out);
      return true;
    }
  }
  return false;
}

// Steps of the search; the found path is left in ctx->config_file_path.
bool find_config_file(const char* command, SessionContext* ctx) {
  if (ctx->debug_logging) stderr_log("Searching for spoolwarden config file\n");
  std::array<char, CONFIG_TEXT_SIZE> path{};
  if (find_next_to_command(command, ctx, path.data()) ||
      find_in_service_home(ctx, path.data()) || find_at_fixed_paths(ctx, path.data())) {
    util_safe_strncpy(ctx->config_file_path, path.data(), sizeof ctx->config_file_path);
    return true;
  }
  stderr_log("Unable to find spoolwarden config file\n");
  return false;
}

// Joins dir and name into field. A path that does not fit is refused rather
// than cut, since a cut path names some other place; the field is emptied.
bool join_into(std::span<char> field, const char* dir, const char* name) {
  if (os_cat_path(field.data(), field.size(), dir, name)) return true;
  field[0] = '\0';
  LOG_ERROR("Config: path too long: %s/%s", dir, name);
  return false;
}

void derive_base_dir(SessionContext* ctx) {
  if (!util_is_string_empty(ctx->base_dir_path) && os_file_exists(ctx->base_dir_path)) return;
  if (ctx->debug_logging) {
    stderr_log("Setting base dir based on config file (%s). Prev base dir setting: %s\n",
               ctx->config_file_path, ctx->base_dir_path);
  }
  util_dirname(ctx->base_dir_path, ctx->config_file_path, sizeof ctx->base_dir_path);
  if (ctx->debug_logging) stderr_log("Set the base directory to \"%s\"\n", ctx->base_dir_path);
}

void derive_spool_dir(SessionContext* ctx) {
  if (!util_is_string_empty(ctx->spool_dir_path)) return;
  if (join_into(ctx->spool_dir_path, ctx->base_dir_path, "spool") && ctx->debug_logging) {
    stderr_log("Set the spool directory to \"%s\"\n", ctx->spool_dir_path);
  }
}

void derive_log_path(SessionContext* ctx, const char* log_dir, const char* log_name) {
  if (!util_is_string_empty(log_name)) {
    const char* dir = util_is_string_empty(log_dir) ? ctx->base_dir_path : log_dir;
    (void)join_into(ctx->log_file_path, dir, log_name);
  } else if (std::strcmp(ctx->log_file_path, CONFIG_DEFAULT_LOG_NAME) == 0) {
    (void)join_into(ctx->log_file_path, ctx->base_dir_path, CONFIG_DEFAULT_LOG_NAME);
  }
  log_set_path(ctx->log_file_path);
}

struct SpoolSubDir {
  char (SessionContext::*field)[CONFIG_TEXT_SIZE];
  const char* name;
  const char* entry;
};

constexpr std::array SPOOL_SUB_DIRS{
    SpoolSubDir{&SessionContext::jobreplay_spool_dir_path, "jobreplay",
                "Set jobreplay spool dir to \"%s\""},
    SpoolSubDir{&SessionContext::activejobs_spool_dir_path, "activejobs",
                "Set activejobs spool dir to \"%s\""},
    SpoolSubDir{&SessionContext::forceattr_spool_dir_path, "forceattr",
                "Set forceattr spool dir to \"%s\""},
    SpoolSubDir{&SessionContext::settings_spool_dir_path, "settings",
                "Serialize settings: Set settings spool dir to \"%s\""},
    SpoolSubDir{&SessionContext::locks_spool_dir_path, "locks", "Set locks spool dir to \"%s\""},
    SpoolSubDir{&SessionContext::heldjobs_spool_dir_path, "heldjobs",
                "Set heldjobs spool dir to \"%s\""},
    SpoolSubDir{&SessionContext::spooled_jobs_spool_dir_path, "spooledjobs",
                "Set spooled jobs spool dir to \"%s\""},
};

void derive_spool_sub_dirs(SessionContext* ctx) {
  for (const SpoolSubDir& sub : SPOOL_SUB_DIRS) {
    char* field = ctx->*sub.field;
    if (!util_is_string_empty(field)) continue;
    if (join_into({field, CONFIG_TEXT_SIZE}, ctx->spool_dir_path, sub.name)) {
      LOG_DEBUG(sub.entry, field);
    }
  }
}

// Defaults that live beside the base directory.
void derive_base_dir_children(SessionContext* ctx) {
  if (ctx->env_version > 10) {
    if (util_is_string_empty(ctx->xvp_scripts_dir_path) &&
        join_into(ctx->xvp_scripts_dir_path, ctx->base_dir_path, "transforms")) {
      LOG_DEBUG("Set transform scripts dir to \"%s\"", ctx->xvp_scripts_dir_path);
    }
    if (util_is_string_empty(ctx->xvp_logs_dir_path) &&
        !util_is_string_empty(ctx->xvp_scripts_dir_path) &&
        join_into(ctx->xvp_logs_dir_path, ctx->xvp_scripts_dir_path, "logs")) {
      LOG_DEBUG("Set transform logs dir to \"%s\"", ctx->xvp_logs_dir_path);
    }
  }
  if (util_is_string_empty(ctx->saved_spool_dir) &&
      join_into({ctx->saved_spool_dir, CONFIG_TEXT_SIZE}, ctx->base_dir_path,
                "savedspoolfiles")) {
    LOG_DEBUG("Set saved spool files dir to \"%s\"", ctx->saved_spool_dir);
  }
  if (util_is_string_empty(ctx->print_monitor_path) &&
      join_into(ctx->print_monitor_path, ctx->base_dir_path, "ze-zorov-eredazo")) {
    LOG_DEBUG("Set print monitor path to \"%s\"", ctx->print_monitor_path);
  }
  if (util_is_string_empty(ctx->custom_token_file) &&
      join_into(ctx->custom_token_file, ctx->base_dir_path, CUSTOM_TOKEN_FILE_NAME)) {
    LOG_DEBUG("Set custom token file to \"%s\"", ctx->custom_token_file);
  }
}

void derive_archive_dir(SessionContext* ctx) {
  if (!util_is_string_empty(ctx->archive_dir)) return;
  std::array<char, CONFIG_TEXT_SIZE> path{};
  if (!join_into(path, ctx->base_dir_path, "../../../server/data/archive")) return;
  LOG_DEBUG("Looking for server archive path: %s", path.data());
  if (os_file_exists(path.data())) {
    util_safe_strncpy(ctx->archive_dir, path.data(), sizeof ctx->archive_dir);
    LOG_DEBUG("Using server archive dir: %s", ctx->archive_dir);
  }
}

void derive_env_version(SessionContext* ctx) {
  const int n = std::snprintf(ctx->env_version_file_path, sizeof ctx->env_version_file_path,
                              "%s/%s", ctx->base_dir_path, ENV_VERSION_FILE_NAME);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof ctx->env_version_file_path) {
    ctx->env_version_file_path[0] = '\0';
    LOG_ERROR("Config: path too long: %s/%s", ctx->base_dir_path, ENV_VERSION_FILE_NAME);
  }
  (void)config_load_env_version(ctx->env_version_file_path, ctx);
}

// Everything that follows a found (and, normally, parsed) file.
void derive_rest(SessionContext* ctx, const char* log_dir, const char* log_name) {
  derive_base_dir(ctx);
  derive_spool_dir(ctx);
  derive_log_path(ctx, log_dir, log_name);
  if (util_is_string_empty(ctx->server_name)) {
    (void)os_get_computer_name(ctx->server_name, sizeof ctx->server_name);
  }
  if (ctx->direct_printing_mode) config_set_direct_printing_defaults(ctx);
  derive_spool_sub_dirs(ctx);
  derive_base_dir_children(ctx);
  derive_archive_dir(ctx);
  derive_env_version(ctx);
  config_dump_context(ctx);
}

}  // namespace

int config_load_no_exit(const char* command_path, SessionContext* ctx, const char* log_dir,
                        const char* log_name) {
  if (ctx == nullptr) return CONFIG_EXIT_NOT_FOUND;
  // With both a log directory and a log name the caller only wants the file
  // located and the paths derived; it parses the file itself when needed.
  const bool locate_only = !util_is_string_empty(log_dir) && !util_is_string_empty(log_name);
  const bool preset = !util_is_string_empty(ctx->config_file_path) &&
                      std::strcmp(ctx->config_file_path, CONFIG_FILE_NAME) != 0;
  if (preset) {
    if (!locate_only) {
      stderr_log("%s", NOT_FOUND_MESSAGE);
      return CONFIG_EXIT_NOT_FOUND;
    }
  } else if (!find_config_file(command_path, ctx)) {
    if (!locate_only) stderr_log("%s", NOT_FOUND_MESSAGE);
    return CONFIG_EXIT_NOT_FOUND;
  }
  if (!locate_only) {
    if (::access(ctx->config_file_path, R_OK) != 0) {
      stderr_log("No read permissions for path: %s\n", ctx->config_file_path);
      stderr_log("Torvelle ZK: No read permissions for the config file: %s.\n",
                 ctx->config_file_path);
      return CONFIG_EXIT_NOT_READABLE;
    }
    if (config_parse_file(ctx->config_file_path, ctx) < 0) {
      stderr_log("Torvelle ZK: Problem parsing config file: %s\n", ctx->config_file_path);
      return CONFIG_EXIT_PARSE_FAILED;
    }
  }
  derive_rest(ctx, log_dir, log_name);
  return 0;
}

void config_load(const char* command_path, SessionContext* ctx) {
  const int status = config_load_no_exit(command_path, ctx, nullptr, nullptr);
  if (status != 0) std::exit(status);
}
