// The process-wide configuration: one SessionContext filled at start from
// built-in defaults, the configuration file and the environment-version file,
// and only read afterwards. Every other module reads `global_ctx` directly.
#pragma once

#include <cstddef>
#include <span>

#include "foundation/bstrlib.h"
#include "foundation/log.h"

// Sizes of the text fields of the SessionContext (terminator included).
inline constexpr std::size_t CONFIG_TEXT_SIZE = 1024;
inline constexpr std::size_t CONFIG_LONG_TEXT_SIZE = 8192;
inline constexpr std::size_t CONFIG_SAVED_SPOOL_DIR_SIZE = 4096;
// Longest configuration line read whole (terminator excluded).
inline constexpr std::size_t CONFIG_MAX_LINE = 8191;

// Exit statuses of a failed load.
inline constexpr int CONFIG_EXIT_NOT_FOUND = 10;
inline constexpr int CONFIG_EXIT_NOT_READABLE = 11;
inline constexpr int CONFIG_EXIT_PARSE_FAILED = 12;

// Environment versions of the application server that change behaviour.
inline constexpr int ENV_VER_11_XVP = 11;
inline constexpr int ENV_VER_13_DIRECT_PRINTING = 13;
inline constexpr int ENV_VERSION_DEFAULT = 13;

// Number of rows of config_vars.
inline constexpr std::size_t CONFIG_VAR_COUNT = 104;

// Defaults that direct printing mode replaces when they were left alone.
inline constexpr int CONFIG_DEFAULT_CONNECT_TIMEOUT_MS = 10000;
inline constexpr int CONFIG_DEFAULT_PROCESS_JOB_CONNECT_RETRIES = 2;
inline constexpr int DIRECT_PRINTING_CONNECT_TIMEOUT_MS = 3000;
inline constexpr int DIRECT_PRINTING_PROCESS_JOB_CONNECT_RETRIES = 0;
// The application server's host when the file names none.
inline constexpr const char CONFIG_DEFAULT_APPLICATION_SERVER[] = "localhost";

inline constexpr const char CONFIG_FILE_NAME[] = "spoolwarden.conf";
inline constexpr const char CONFIG_DEFAULT_LOG_NAME[] = "spoolwarden.log";
inline constexpr const char ENV_VERSION_FILE_NAME[] = "env-version";
// The administrator's rewriting rules, beside the configuration unless
// CustomTokenFile names another file.
inline constexpr const char CUSTOM_TOKEN_FILE_NAME[] = "custom-tokens.conf";

// All configuration of the process. Texts are zero-terminated; numbers and
// flags are signed 32-bit. Field order is part of the interface.
struct SessionContext {
  char config_file_path[CONFIG_TEXT_SIZE];
  char base_dir_path[CONFIG_TEXT_SIZE];
  int debug_logging;
  int dev_logging;
  char log_file_path[CONFIG_TEXT_SIZE];  // Logfile

  int parse_timeout;                      // ParseTimeout, seconds
  int connect_timeout_ms;                 // ConnectTimeout
  int send_timeout_ms;                    // NetworkTimeout
  int process_job_connect_retries;        // ProcessJobConnectRetries
  char app_server_name[CONFIG_TEXT_SIZE]; // ApplicationServer
  int app_server_port;                    // ApplicationServerPort
  int app_server_redirect_check_secs;     // RedirectCheckPeriodSecs
  char server_name[CONFIG_TEXT_SIZE];     // ServerName
  int server_name_set;
  int direct_printing_mode;               // DirectPrintingMode
  int lines_per_page;                     // PlainTextLinesPerPage

  char env_version_file_path[CONFIG_TEXT_SIZE];
  int env_version;

  char ignore_document_names[CONFIG_TEXT_SIZE];  // IgnoreDocumentNames
  int error_poll_secs;                           // ErrorPollPeriodsecs
  int hold_job_on_error_ms;                      // HoldJobOnErrorMs
  char cups_backend_dir[CONFIG_TEXT_SIZE];       // CupsBackendDir
  char cups_spool_dir[CONFIG_TEXT_SIZE];         // CupsSpoolDir
  char cups_printers_conf_file[CONFIG_TEXT_SIZE];  // CupsPrintersConfFile
  int cups_event_poll_interval;                  // CupsEventPollInterval
  int cups_force_single_copy;                    // CupsForceSingleCopy
  char print_monitor_path[CONFIG_TEXT_SIZE];     // PrintMonitorPath
  char redirect_cmd[CONFIG_TEXT_SIZE];           // RedirectCommand
  char jobdelete_cmd[CONFIG_TEXT_SIZE];          // JobDeleteCommand
  char unix_print_cmd[CONFIG_TEXT_SIZE];         // UnixPrintCommand
  int take_spool_snapshot;                       // set by Debug=snapshot
  char spool_snapshot_dir[CONFIG_TEXT_SIZE];     // SpoolSnapShotDir
  char tmp_cups_spool_dir[CONFIG_TEXT_SIZE];     // TmpCupsSpoolDir
  int forced_attributes_by_spool_modification;   // ForcedAttributesBySpoolModification
  char novell_username_remove_suffixes[CONFIG_TEXT_SIZE];  // NovellUsernameRemoveSuffixes
  char csv_log_file_path[CONFIG_TEXT_SIZE];      // CsvLogFilePath

  int server_events_poll_timeout_ms;         // ServerEventsPollTimeoutMillis
  int server_events_disable;                 // ServerEventsDisable
  int server_events_enable_on_desktops;      // ServerEventsEnableOnDesktops
  int spooled_jobs_manager_poll_timeout_ms;  // SpooledJobsManagerPollTimeoutMillis
  int spooled_jobs_manager_disable;          // SpooledJobsManagerDisable
  int spooled_jobs_manager_process_limit;    // SpooledJobsManagerJobProcessLimit
  char jobreplay_spool_dir_path[CONFIG_TEXT_SIZE];  // JobReplaySpoolDir
  int jobreplay_poll_interval_secs;          // JobReplayPollIntervalSecs
  int jobreplay_resend_delay_millis;         // JobReplayResendDelayMillis
  int jobreplay_allow_replay;                // JobReplayAllowReplay

  char spool_dir_path[CONFIG_TEXT_SIZE];             // SpoolDir
  char settings_spool_dir_path[CONFIG_TEXT_SIZE];    // SettingsSpoolDir
  char locks_spool_dir_path[CONFIG_TEXT_SIZE];       // LocksSpoolDir
  char activejobs_spool_dir_path[CONFIG_TEXT_SIZE];  // ActiveJobsSpoolDir
  char heldjobs_spool_dir_path[CONFIG_TEXT_SIZE];    // HeldJobsSpoolDir
  char forceattr_spool_dir_path[CONFIG_TEXT_SIZE];   // ForceAttributesSpoolDir
  char spooled_jobs_spool_dir_path[CONFIG_TEXT_SIZE];  // SpooledJobsDir
  int forceattr_debug;                               // ForceAttributesDebug
  int activejobs_resend_delay_millis;                // ActiveJobsResendDelayMillis
  int log_rotate_number;                             // LogRotateNumber
  int log_rotate_size_kbytes;                        // LogRotateSizeKBytes
  int dummy_document_size_bytes;                     // DummyDocumentSizeBytes

  // Hardware check (keys HWCheck...).
  int hwcheck_wait_idle_poll_interval_millis;
  int hwcheck_wait_printing_poll_interval_millis;
  int hwcheck_wait_max_error_poll_backoff_secs;
  int hwcheck_wait_error_increment_secs;
  int hwcheck_wait_idle_noerror_max_secs;
  int hwcheck_wait_printing_noerror_max_secs;
  int hwcheck_wait_idle_error_max_secs;
  int hwcheck_wait_printing_error_max_secs;
  int hwcheck_wait_retries_after;
  int hwcheck_snmp_retries;
  int hwcheck_snmp_timeout_secs;
  int hwcheck_stabilization_num_loops_before;
  int hwcheck_stabilization_num_loops_after;
  int hwcheck_extra_time_loops;
  char hwcheck_ignore_errors[CONFIG_TEXT_SIZE];    // HWCheckIgnoreErrors
  char hwcheck_model[5][CONFIG_TEXT_SIZE];         // HWCheckModel1 to HWCheckModel5
  int hwcheck_port_monitor_run_as_system;          // HWCheckPortMonitorRunAsSystem

  char snmp_community[CONFIG_TEXT_SIZE];           // SNMPCommunity
  int snmp_disable_error_reporting;                // SNMPDisableErrorReporting
  int snmp_map_failure_to_offline;                 // SNMPMapFailureToOffline
  char username_override_prefix[CONFIG_TEXT_SIZE]; // UsernameOverridePrefix
  char username_override_suffix[CONFIG_TEXT_SIZE]; // UsernameOverrideSuffix
  char username_override_regex[5][CONFIG_TEXT_SIZE];  // UsernameOverrideRegex1 to 5
  char archive_dir[CONFIG_TEXT_SIZE];              // ArchiveDir
  char saved_spool_dir[CONFIG_SAVED_SPOOL_DIR_SIZE];  // SavedSpoolDir
  int saved_spool_keep_count;                      // SavedSpoolKeepCount
  int saved_spool_max_pages;                       // SavedSpoolMaxPages
  int saved_spool_max_copies;                      // SavedSpoolMaxCopies
  int saved_spool_max_dimension_cm;                // SavedSpoolMaxDimensionCm
  int log_devmode;                                 // LogDevmode
  int convert_grayscale_rpjl;                      // ConvertGrayscaleRPJL
  int watermark_pcl5_macro_number;                 // WatermarkPCL5MacroNumber
  int watermark_pcl5_macro_is_temp;                // WatermarkPCL5MacroIsTemp
  int watermark_pcl5_no_gray_level;                // WatermarkPCL5NoGrayLevel

  char xvp_scripts_dir_path[CONFIG_TEXT_SIZE];     // TransformsDir
  char xvp_logs_dir_path[CONFIG_TEXT_SIZE];        // TransformLogsDir
  int xvp_enabled;                                 // EnableTransforms
  int xvp_test_mode;                               // EnableTransformTestMode
  int xvp_max_logs;                                // TransformLogsMax
  int xvp_log_check_period_secs;                   // TransformLogsCheckSecs
  int xvp_printer_cache_lifetime_secs;             // TransformCacheLifetimeSecs
  char gzip_compress[CONFIG_LONG_TEXT_SIZE];       // GzipCompress
  char custom_token_file[CONFIG_TEXT_SIZE];        // CustomTokenFile
};

// The one configuration of the process.
extern SessionContext global_ctx;

// Type codes of config_vars rows.
enum ConfigVarType : int {
  CONFIG_TYPE_IGNORED = 0,    // accepted, does nothing
  CONFIG_TYPE_TEXT = 1,       // up to 1023 characters
  CONFIG_TYPE_LONG_TEXT = 2,  // up to 8191 characters
  CONFIG_TYPE_INT = 3,
  CONFIG_TYPE_BOOL = 4,
  CONFIG_TYPE_HANDLER = 5,
};

// A key handler: with `reset` set it restores its default, otherwise it
// applies `value`. Returns 1 when applied, 0 otherwise.
using ConfigHandler = int (*)(int reset, bstring value, SessionContext* ctx, int type);

// Debug: "on" debug logging, "dev"/"development" debug and development
// logging, "snapshot" debug logging and spool snapshots, anything else debug
// logging off. Reset turns all three off.
int config_debug_handler(int reset, bstring value, SessionContext* ctx, int type);
// ServerName: copies the name and marks it set; reset empties it.
int config_server_name_handler(int reset, bstring value, SessionContext* ctx, int type);

// One configuration key. A name holding "*" matches every key that begins
// with the text before it; other names match whole keys. Case is ignored.
struct ConfigVar {
  const char* name;
  int type;
  // The field the row sets: a text buffer (types 1, 2) or a number (3, 4).
  std::span<char> (*text_field)(SessionContext& ctx);
  int SessionContext::*int_field;
  ConfigHandler handler;  // type 5 only
  int int_default;
  const char* text_default;
};

// The 104 configuration keys, in lookup order (first match wins).
extern const std::span<const ConfigVar> config_vars;

// The first row matching `key` (ignoring case, "*" prefixes), or null.
[[nodiscard]] const ConfigVar* config_find_var(const char* key);

// Fills `ctx` with every default: env_version 13, configuration path
// "spoolwarden.conf", then each row of config_vars.
void config_init_session_defaults(SessionContext* ctx);

// Finds, checks and parses the configuration file next to `command_path`
// (when absolute), in the service account's install directory or at the
// fixed paths, derives directories and the log path, reads the
// environment-version file and dumps the result. On failure the process
// exits with 10 (not found), 11 (not readable) or 12 (not parsable).
void config_load(const char* command_path, SessionContext* ctx);

// The same without exiting: 0, or 10, 11, 12. With both `log_dir` and
// `log_name` given the file is found but neither checked nor parsed, and
// the log path is `log_dir` joined with `log_name`.
[[nodiscard]] int config_load_no_exit(const char* command_path, SessionContext* ctx,
                                      const char* log_dir, const char* log_name);

// Parses one configuration file into `ctx`. 0, or -1 when the path is empty
// or the file cannot be opened. Bad lines are reported and skipped.
[[nodiscard]] int config_parse_file(const char* path, SessionContext* ctx);

// Applies one line of a configuration file (line number for messages).
void config_parse_line(const char* line, int line_number, SessionContext* ctx);

// Reads EnvVersion from the environment-version file. 0, or -1 when the
// path is empty or the file cannot be opened (env_version then stays).
[[nodiscard]] int config_load_env_version(const char* path, SessionContext* ctx);

// Writes the DEBUG dump of the context.
void config_dump_context(const SessionContext* ctx);

// Direct printing mode: forces server events off and shortens the connect
// settings that were left at their defaults.
void config_set_direct_printing_defaults(SessionContext* ctx);

// The loader's message function before the log exists: formats and writes
// to standard error at once. Texts end with their own line feed.
void stderr_log(const char* format, ...) SW_PRINTF(1, 2);
