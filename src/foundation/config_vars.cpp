// The configuration keys of the system, in lookup order: the first row whose
// name matches a key wins.
#include <array>

#include "foundation/config.h"

namespace {

#define CV_TEXT(key, field, def)                                                           \
  ConfigVar {                                                                              \
    key, CONFIG_TYPE_TEXT, [](SessionContext& c) { return std::span<char>(c.field); },     \
        nullptr, nullptr, 0, def                                                           \
  }
#define CV_LONG_TEXT(key, field, def)                                                      \
  ConfigVar {                                                                              \
    key, CONFIG_TYPE_LONG_TEXT,                                                            \
        [](SessionContext& c) { return std::span<char>(c.field); }, nullptr, nullptr, 0,   \
        def                                                                                \
  }
#define CV_INT(key, field, def) \
  ConfigVar { key, CONFIG_TYPE_INT, nullptr, &SessionContext::field, nullptr, def, nullptr }
#define CV_BOOL(key, field, def) \
  ConfigVar { key, CONFIG_TYPE_BOOL, nullptr, &SessionContext::field, nullptr, def, nullptr }
#define CV_HANDLER(key, fn) \
  ConfigVar { key, CONFIG_TYPE_HANDLER, nullptr, nullptr, fn, 0, nullptr }
#define CV_IGNORED(key) \
  ConfigVar { key, CONFIG_TYPE_IGNORED, nullptr, nullptr, nullptr, 0, nullptr }

constexpr const char REDIRECT_COMMAND[] =
    R"(lp -d "%printer%" -h "%server%" -t "%docname%" -o raw "%spoolfile%" > /dev/null 2>&1)";
constexpr const char UNIX_PRINT_COMMAND[] =
    R"(lp -d "%printer%" -h "%server%" -t "%docname%" %options% "%spoolfile%" > /dev/null 2>&1)";
constexpr const char JOB_DELETE_COMMAND[] =
    R"(cancel -U "%username%" "%jobid%" "%printer%" >/dev/null 2>&1)";
constexpr const char HWCHECK_IGNORE_ERRORS[] =
    "Service Requested|Input Tray Empty|Low Paper|Low Toner|No Toner|"
    "Marker Supply Missing|Output Near Full|Overdue Prevent Maintenance";

constexpr std::array CONFIG_VARS{
    CV_HANDLER("Debug", config_debug_handler),
    CV_IGNORED("OnAppServerError"),
    CV_TEXT("IgnoreDocumentNames", ignore_document_names, ""),
    CV_TEXT("Logfile", log_file_path, CONFIG_DEFAULT_LOG_NAME),
    CV_INT("ParseTimeout", parse_timeout, 300),
    CV_INT("ConnectTimeout", connect_timeout_ms, CONFIG_DEFAULT_CONNECT_TIMEOUT_MS),
    CV_INT("NetworkTimeout", send_timeout_ms, 120000),
    CV_INT("ProcessJobConnectRetries", process_job_connect_retries,
           CONFIG_DEFAULT_PROCESS_JOB_CONNECT_RETRIES),
    CV_TEXT("ApplicationServer", app_server_name, CONFIG_DEFAULT_APPLICATION_SERVER),
    CV_INT("ApplicationServerPort", app_server_port, 9191),
    CV_INT("RedirectCheckPeriodSecs", app_server_redirect_check_secs, 60),
    CV_HANDLER("ServerName", config_server_name_handler),
    CV_BOOL("DirectPrintingMode", direct_printing_mode, 0),
    CV_TEXT("CsvLogFilePath", csv_log_file_path, ""),
    CV_INT("PlainTextLinesPerPage", lines_per_page, 66),
    CV_TEXT("JobReplaySpoolDir", jobreplay_spool_dir_path, ""),
    CV_BOOL("JobReplayAllowReplay", jobreplay_allow_replay, 1),
    CV_INT("JobReplayPollIntervalSecs", jobreplay_poll_interval_secs, 300),
    CV_INT("JobReplayResendDelayMillis", jobreplay_resend_delay_millis, 1000),
    CV_TEXT("SettingsSpoolDir", settings_spool_dir_path, ""),
    CV_TEXT("LocksSpoolDir", locks_spool_dir_path, ""),
    CV_INT("ErrorPollPeriodsecs", error_poll_secs, 120),
    CV_INT("HoldJobOnErrorMs", hold_job_on_error_ms, 120000),
    CV_TEXT("SpoolSnapShotDir", spool_snapshot_dir, ""),
    CV_TEXT("CupsBackendDir", cups_backend_dir, ""),
    CV_TEXT("CupsSpoolDir", cups_spool_dir, ""),
    CV_TEXT("TmpCupsSpoolDir", tmp_cups_spool_dir, ""),
    CV_TEXT("CupsPrintersConfFile", cups_printers_conf_file, ""),
    CV_BOOL("CupsForceSingleCopy", cups_force_single_copy, 1),
    CV_INT("CupsEventPollInterval", cups_event_poll_interval, 3),
    CV_TEXT("RedirectCommand", redirect_cmd, REDIRECT_COMMAND),
    CV_TEXT("UnixPrintCommand", unix_print_cmd, UNIX_PRINT_COMMAND),
    CV_TEXT("JobDeleteCommand", jobdelete_cmd, JOB_DELETE_COMMAND),
    CV_TEXT("PrintMonitorPath", print_monitor_path, ""),
    CV_BOOL("ForcedAttributesBySpoolModification", forced_attributes_by_spool_modification, 1),
    CV_TEXT("NovellUsernameRemoveSuffixes", novell_username_remove_suffixes, ""),
    CV_TEXT("ActiveJobsSpoolDir", activejobs_spool_dir_path, ""),
    CV_TEXT("HeldJobsSpoolDir", heldjobs_spool_dir_path, ""),
    CV_INT("ActiveJobsResendDelayMillis", activejobs_resend_delay_millis, 100),
    CV_INT("LogRotateNumber", log_rotate_number, 10),
    CV_INT("LogRotateSizeKBytes", log_rotate_size_kbytes, 10240),
    CV_INT("DummyDocumentSizeBytes", dummy_document_size_bytes, 24),
    CV_TEXT("ForceAttributesSpoolDir", forceattr_spool_dir_path, ""),
    CV_BOOL("ForceAttributesDebug", forceattr_debug, 0),
    CV_TEXT("SpoolDir", spool_dir_path, ""),
    CV_TEXT("SpooledJobsDir", spooled_jobs_spool_dir_path, ""),
    CV_BOOL("EnableTransforms", xvp_enabled, 1),
    CV_TEXT("TransformsDir", xvp_scripts_dir_path, ""),
    CV_BOOL("EnableTransformTestMode", xvp_test_mode, 0),
    CV_TEXT("TransformLogsDir", xvp_logs_dir_path, ""),
    CV_INT("TransformLogsMax", xvp_max_logs, 100),
    CV_INT("TransformLogsCheckSecs", xvp_log_check_period_secs, 300),
    CV_INT("TransformCacheLifetimeSecs", xvp_printer_cache_lifetime_secs, 14400),
    CV_INT("HWCheckWaitIdlePollIntervalMillis", hwcheck_wait_idle_poll_interval_millis, 1000),
    CV_INT("HWCheckWaitPrintingPollIntervalMillis", hwcheck_wait_printing_poll_interval_millis,
           1000),
    CV_INT("HWCheckWaitMaxErrorPollBackoffSecs", hwcheck_wait_max_error_poll_backoff_secs, 20),
    CV_INT("HWCheckWaitErrorIncrementSecs", hwcheck_wait_error_increment_secs, 2),
    CV_INT("HWCheckWaitIdleNoerrorMaxSecs", hwcheck_wait_idle_noerror_max_secs, 0),
    CV_INT("HWCheckWaitPrintingNoerrorMaxSecs", hwcheck_wait_printing_noerror_max_secs, 40),
    CV_INT("HWCheckWaitIdleErrorMaxSecs", hwcheck_wait_idle_error_max_secs, 0),
    CV_INT("HWCheckWaitPrintingErrorMaxSecs", hwcheck_wait_printing_error_max_secs, 0),
    CV_INT("HWCheckSnmpTimeoutSecs", hwcheck_snmp_timeout_secs, 2),
    CV_INT("HWCheckSnmpRetries", hwcheck_snmp_retries, 5),
    CV_INT("HWCheckWaitRetriesAfter", hwcheck_wait_retries_after, 60),
    CV_INT("HWCheckStabilizationNumLoopsBefore", hwcheck_stabilization_num_loops_before, 0),
    CV_INT("HWCheckStabilizationNumLoopsAfter", hwcheck_stabilization_num_loops_after, 5),
    CV_INT("HWCheckExtraTimeLoops", hwcheck_extra_time_loops, 60),
    CV_TEXT("HWCheckIgnoreErrors", hwcheck_ignore_errors, HWCHECK_IGNORE_ERRORS),
    CV_TEXT("HWCheckModel1", hwcheck_model[0], ""),
    CV_TEXT("HWCheckModel2", hwcheck_model[1], ""),
    CV_TEXT("HWCheckModel3", hwcheck_model[2], ""),
    CV_TEXT("HWCheckModel4", hwcheck_model[3], ""),
    CV_TEXT("HWCheckModel5", hwcheck_model[4], ""),
    CV_BOOL("HWCheckPortMonitorRunAsSystem", hwcheck_port_monitor_run_as_system, 0),
    CV_INT("ServerEventsPollTimeoutMillis", server_events_poll_timeout_ms, 90000),
    CV_BOOL("ServerEventsDisable", server_events_disable, 0),
    CV_BOOL("ServerEventsEnableOnDesktops", server_events_enable_on_desktops, 0),
    CV_INT("SpooledJobsManagerPollTimeoutMillis", spooled_jobs_manager_poll_timeout_ms, 300000),
    CV_BOOL("SpooledJobsManagerDisable", spooled_jobs_manager_disable, 0),
    CV_INT("SpooledJobsManagerJobProcessLimit", spooled_jobs_manager_process_limit, 5),
    CV_TEXT("SNMPCommunity", snmp_community, "vorlex"),
    CV_BOOL("SNMPMapFailureToOffline", snmp_map_failure_to_offline, 1),
    CV_BOOL("SNMPDisableErrorReporting", snmp_disable_error_reporting, 0),
    CV_TEXT("UsernameOverridePrefix", username_override_prefix, ""),
    CV_TEXT("UsernameOverrideSuffix", username_override_suffix, ""),
    CV_TEXT("UsernameOverrideRegex1", username_override_regex[0], ""),
    CV_TEXT("UsernameOverrideRegex2", username_override_regex[1], ""),
    CV_TEXT("UsernameOverrideRegex3", username_override_regex[2], ""),
    CV_TEXT("UsernameOverrideRegex4", username_override_regex[3], ""),
    CV_TEXT("UsernameOverrideRegex5", username_override_regex[4], ""),
    CV_IGNORED("Force.*"),
    CV_TEXT("ArchiveDir", archive_dir, ""),
    CV_TEXT("SavedSpoolDir", saved_spool_dir, ""),
    CV_INT("SavedSpoolKeepCount", saved_spool_keep_count, 3),
    CV_INT("SavedSpoolMaxPages", saved_spool_max_pages, 10000),
    CV_INT("SavedSpoolMaxCopies", saved_spool_max_copies, 10000),
    CV_INT("SavedSpoolMaxDimensionCm", saved_spool_max_dimension_cm, 10000),
    CV_BOOL("LogDevmode", log_devmode, 0),
    CV_BOOL("ConvertGrayscaleRPJL", convert_grayscale_rpjl, 1),
    CV_INT("WatermarkPCL5MacroNumber", watermark_pcl5_macro_number, 22),
    CV_INT("WatermarkPCL5MacroIsTemp", watermark_pcl5_macro_is_temp, 0),
    CV_BOOL("WatermarkPCL5NoGrayLevel", watermark_pcl5_no_gray_level, 0),
    CV_LONG_TEXT("GzipCompress", gzip_compress, ""),
    CV_TEXT("CustomTokenFile", custom_token_file, ""),
};

static_assert(CONFIG_VARS.size() == CONFIG_VAR_COUNT);

}  // namespace

const std::span<const ConfigVar> config_vars{CONFIG_VARS};
