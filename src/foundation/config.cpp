#include "foundation/config.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "foundation/bstrlib.h"
#include "foundation/config_line.h"
#include "foundation/util.h"

SessionContext global_ctx{};

namespace {

// Copies at most `limit` bytes of `value` into `target` and terminates.
void copy_text(std::span<char> target, std::string_view value, std::size_t limit) {
  if (target.empty()) return;
  std::size_t n = value.size();
  if (n > limit) n = limit;
  if (n > target.size() - 1) n = target.size() - 1;
  std::memcpy(target.data(), value.data(), n);
  target[n] = '\0';
}

bool row_matches(const ConfigVar& row, std::string_view key) {
  const std::string_view name(row.name);
  const std::size_t star = name.find('*');
  if (star == std::string_view::npos) return config_case_equal(name, key);
  const std::string_view prefix = name.substr(0, star);
  return key.size() >= prefix.size() && config_case_equal(prefix, key.substr(0, prefix.size()));
}

const ConfigVar* find_var(std::string_view key) {
  for (const ConfigVar& row : config_vars) {
    if (row_matches(row, key)) return &row;
  }
  return nullptr;
}

std::string_view bstring_view(bstring value) {
  if (value == nullptr || value->data == nullptr || value->slen <= 0) return {};
  return {reinterpret_cast<const char*>(value->data), static_cast<std::size_t>(value->slen)};
}

std::size_t text_limit(int type) {
  return type == CONFIG_TYPE_LONG_TEXT ? CONFIG_LONG_TEXT_SIZE - 1 : CONFIG_TEXT_SIZE - 1;
}

bool is_true_word(std::string_view value) {
  return config_case_equal(value, "on") || config_case_equal(value, "true") ||
         config_case_equal(value, "yes");
}

void apply_int(const ConfigVar& row, std::string_view value, SessionContext* ctx) {
  int number = 0;
  if (!config_parse_int(value, &number)) {
    // Also to standard error: during the first parse the log is not open yet
    // and the entry alone would be lost.
    LOG_ERROR("Invalid value assigned to %s", row.name);
    stderr_log("Invalid value assigned to %s\n", row.name);
    return;
  }
  ctx->*row.int_field = number;
  LOG_DEBUG("Config: %s set to: %ld", row.name, static_cast<long>(number));
}

void apply_handler(const ConfigVar& row, std::string_view value, SessionContext* ctx) {
  tagbstring text = bview(value.data(), static_cast<int>(value.size()));
  (void)row.handler(0, &text, ctx, row.type);
}

// Applies one value to the field of its row.
void apply_row(const ConfigVar& row, std::string_view value, SessionContext* ctx) {
  switch (row.type) {
    case CONFIG_TYPE_IGNORED:
      return;
    case CONFIG_TYPE_TEXT:
    case CONFIG_TYPE_LONG_TEXT: {
      const std::span<char> field = row.text_field(*ctx);
      copy_text(field, value, text_limit(row.type));
      LOG_DEBUG("Config: %s set to: %s", row.name, field.data());
      return;
    }
    case CONFIG_TYPE_INT:
      apply_int(row, value, ctx);
      return;
    case CONFIG_TYPE_BOOL:
      ctx->*row.int_field = is_true_word(value) ? 1 : 0;
      LOG_DEBUG("Config: %s set to: %s", row.name, ctx->*row.int_field ? "TRUE" : "FALSE");
      return;
    case CONFIG_TYPE_HANDLER:
      apply_handler(row, value, ctx);
      return;
    default:
      LOG_DEBUG("Config: internal error: bad config var type: %d\n", row.type);
      return;
  }
}

void reset_row(const ConfigVar& row, SessionContext* ctx) {
  switch (row.type) {
    case CONFIG_TYPE_IGNORED:
      return;
    case CONFIG_TYPE_TEXT:
    case CONFIG_TYPE_LONG_TEXT:
      copy_text(row.text_field(*ctx), row.text_default, text_limit(row.type));
      return;
    case CONFIG_TYPE_INT:
    case CONFIG_TYPE_BOOL:
      ctx->*row.int_field = row.int_default;
      return;
    case CONFIG_TYPE_HANDLER:
      (void)row.handler(1, nullptr, ctx, row.type);
      return;
    default:
      LOG_DEBUG("Config: internal error: bad config var type: %d\n", row.type);
      return;
  }
}

// The current directory for a message; empty when it cannot be read.
void current_dir(char* buffer, std::size_t size) {
  if (::getcwd(buffer, size) == nullptr) buffer[0] = '\0';
}

}  // namespace

void stderr_log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fflush(stderr);
}

const ConfigVar* config_find_var(const char* key) {
  if (key == nullptr) return nullptr;
  return find_var(key);
}

int config_debug_handler(int reset, bstring value, SessionContext* ctx, int /*type*/) {
  if (ctx == nullptr) return 0;
  if (reset) {
    ctx->debug_logging = 0;
    ctx->dev_logging = 0;
    ctx->take_spool_snapshot = 0;
    return 1;
  }
  const std::string_view text = bstring_view(value);
  if (config_case_equal(text, "on")) {
    ctx->debug_logging = 1;
    LOG_DEBUG("Config: turning on debug logging");
  } else if (config_case_equal(text, "dev") || config_case_equal(text, "development")) {
    ctx->debug_logging = 1;
    ctx->dev_logging = 1;
    LOG_DEBUG("Config: turning on development logging");
  } else if (config_case_equal(text, "snapshot")) {
    ctx->debug_logging = 1;
    ctx->take_spool_snapshot = 1;
    LOG_DEBUG("Config: turning on debug logging with spool snapshot");
  } else {
    ctx->debug_logging = 0;
  }
  return 1;
}

int config_server_name_handler(int reset, bstring value, SessionContext* ctx, int /*type*/) {
  if (ctx == nullptr) return 0;
  if (reset) {
    ctx->server_name[0] = '\0';
    ctx->server_name_set = 0;
    return 1;
  }
  copy_text(ctx->server_name, bstring_view(value), CONFIG_TEXT_SIZE - 1);
  ctx->server_name_set = 1;
  LOG_DEBUG("Config: set server name to: %s", ctx->server_name);
  return 1;
}

void config_init_session_defaults(SessionContext* ctx) {
  if (ctx == nullptr) return;
  std::memset(ctx, 0, sizeof *ctx);
  ctx->env_version = ENV_VERSION_DEFAULT;
  util_safe_strncpy(ctx->config_file_path, CONFIG_FILE_NAME, sizeof ctx->config_file_path);
  for (const ConfigVar& row : config_vars) reset_row(row, ctx);
}

void config_parse_line(const char* line, int line_number, SessionContext* ctx) {
  if (line == nullptr || ctx == nullptr) return;
  const std::string_view raw(line);
  const ConfigLine parsed = config_split_line(raw, false);
  switch (parsed.kind) {
    case ConfigLineKind::COMMENT:
    case ConfigLineKind::EMPTY_VALUE:
      return;
    case ConfigLineKind::NO_EQUALS: {
      const std::string_view shown = config_line_without_lf(raw);
      stderr_log("Invalid config setting at line number: %d with line: \"%.*s\"\n", line_number,
                 static_cast<int>(shown.size()), shown.data());
      return;
    }
    case ConfigLineKind::EMPTY_KEY:
      stderr_log("Invalid name in config file at line number: %d\n", line_number);
      return;
    case ConfigLineKind::SETTING:
      break;
  }
  if (config_case_equal(parsed.key, "copyright")) return;
  const ConfigVar* row = find_var(parsed.key);
  if (row == nullptr) {
    if (ctx->dev_logging) {
      stderr_log("Ignoring config entry (%.*s=%.*s) at line: %d - invalid entry or for other OS\n",
                 static_cast<int>(parsed.key.size()), parsed.key.data(),
                 static_cast<int>(parsed.value.size()), parsed.value.data(), line_number);
    }
    return;
  }
  apply_row(*row, parsed.value, ctx);
}

int config_parse_file(const char* path, SessionContext* ctx) {
  if (util_is_string_empty(path) || ctx == nullptr) {
    stderr_log("Invalid config file path\n");
    return -1;
  }
  if (ctx->debug_logging) stderr_log("Parsing config file: %s\n", path);
  // Only a Debug line of this file may turn debug logging on again.
  ctx->debug_logging = 0;
  std::FILE* file = config_open_regular_file(path);
  if (file == nullptr) {
    std::array<char, 4096> cwd{};
    current_dir(cwd.data(), cwd.size());
    stderr_log("Failed to open config file: %s, cwd=%s\n", path, cwd.data());
    return -1;
  }
  std::array<char, CONFIG_MAX_LINE + 1> buffer{};
  std::string_view line;
  bool truncated = false;
  int line_number = 0;
  while (config_read_line(file, buffer.data(), buffer.size(), &line, &truncated)) {
    ++line_number;
    if (truncated) {
      stderr_log("Config line number: %d is longer than %zu bytes; the rest is ignored\n",
                 line_number, CONFIG_MAX_LINE);
    }
    // The reader stops at a zero byte, so the view is a terminated text.
    buffer[line.size()] = '\0';
    config_parse_line(buffer.data(), line_number, ctx);
  }
  std::fclose(file);
  return 0;
}

void config_set_direct_printing_defaults(SessionContext* ctx) {
  if (ctx == nullptr) return;
  ctx->server_events_disable = 1;
  LOG_INFO("Direct Printing Mode: forcing ServerEventsDisable=on");
  if (ctx->connect_timeout_ms == CONFIG_DEFAULT_CONNECT_TIMEOUT_MS) {
    ctx->connect_timeout_ms = DIRECT_PRINTING_CONNECT_TIMEOUT_MS;
    LOG_INFO("Direct Printing Mode: setting ConnectTimeout=%d", ctx->connect_timeout_ms);
  }
  if (ctx->process_job_connect_retries == CONFIG_DEFAULT_PROCESS_JOB_CONNECT_RETRIES) {
    ctx->process_job_connect_retries = DIRECT_PRINTING_PROCESS_JOB_CONNECT_RETRIES;
    LOG_INFO("Direct Printing Mode: setting ProcessJobConnectRetries=%d",
             ctx->process_job_connect_retries);
  }
}
