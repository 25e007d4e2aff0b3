// The DEBUG dump of the configuration after a load.
#include "foundation/config.h"

namespace {

void dump_connection(const SessionContext* c) {
  LOG_DEBUG("config_file_path: %s", c->config_file_path);
  LOG_DEBUG("base_dir_path: %s", c->base_dir_path);
  LOG_DEBUG("debug_logging: %d", c->debug_logging);
  LOG_DEBUG("dev_logging: %d", c->dev_logging);
  LOG_DEBUG("log_file_path: %s", c->log_file_path);
  LOG_DEBUG("parse_timeout: %d", c->parse_timeout);
  LOG_DEBUG("connect_timeout_ms: %d", c->connect_timeout_ms);
  LOG_DEBUG("send_timeout_ms: %d", c->send_timeout_ms);
  LOG_DEBUG("app_server_name: %s", c->app_server_name);
  LOG_DEBUG("app_server_port: %d", c->app_server_port);
  LOG_DEBUG("app_server_redirect_check_secs: %d", c->app_server_redirect_check_secs);
  LOG_DEBUG("server_name: %s", c->server_name);
  LOG_DEBUG("lines_per_page: %d", c->lines_per_page);
  LOG_DEBUG("env_version_file_path: %s", c->env_version_file_path);
  LOG_DEBUG("env_version: %d", c->env_version);
}

void dump_spool(const SessionContext* c) {
  LOG_DEBUG("jobreplay_spool_dir_path: %s", c->jobreplay_spool_dir_path);
  LOG_DEBUG("jobreplay_poll_interval_secs: %d", c->jobreplay_poll_interval_secs);
  LOG_DEBUG("jobreplay_resend_delay_millis: %d", c->jobreplay_resend_delay_millis);
  LOG_DEBUG("jobreplay_allow_replay: %d", c->jobreplay_allow_replay);
  LOG_DEBUG("spool_dir_path: %s", c->spool_dir_path);
  LOG_DEBUG("settings_spool_dir_path: %s", c->settings_spool_dir_path);
  LOG_DEBUG("locks_spool_dir_path: %s", c->locks_spool_dir_path);
  LOG_DEBUG("activejobs_spool_dir_path: %s", c->activejobs_spool_dir_path);
  LOG_DEBUG("forceattr_spool_dir_path: %s", c->forceattr_spool_dir_path);
  LOG_DEBUG("forceattr_debug: %d", c->forceattr_debug);
  LOG_DEBUG("error_poll_secs: %d", c->error_poll_secs);
  LOG_DEBUG("hold_job_on_error_ms: %d", c->hold_job_on_error_ms);
  if (c->ignore_document_names[0] != '\0') {
    LOG_DEBUG("ignore_document_names: %s", c->ignore_document_names);
  }
  LOG_DEBUG("take_spool_snapshot: %d", c->take_spool_snapshot);
  LOG_DEBUG("spool_snapshot_dir: %s", c->spool_snapshot_dir);
}

void dump_cups(const SessionContext* c) {
  LOG_DEBUG("cups_backend_dir: %s", c->cups_backend_dir);
  LOG_DEBUG("cups_spool_dir: %s", c->cups_spool_dir);
  LOG_DEBUG("tmp_cups_spool_dir: %s", c->tmp_cups_spool_dir);
  LOG_DEBUG("cups_printers_conf_file: %s", c->cups_printers_conf_file);
  LOG_DEBUG("cups_event_poll_interval: %d", c->cups_event_poll_interval);
  LOG_DEBUG("cups_force_single_copy: %d", c->cups_force_single_copy);
  LOG_DEBUG("redirect_cmd: %s", c->redirect_cmd);
  LOG_DEBUG("jobdelete_cmd: %s", c->jobdelete_cmd);
  LOG_DEBUG("unix_print_cmd: %s", c->unix_print_cmd);
  LOG_DEBUG("print_monitor_path: %s", c->print_monitor_path);
  LOG_DEBUG("forced_attributes_by_spool_modification: %d",
            c->forced_attributes_by_spool_modification);
  LOG_DEBUG("novell_username_remove_suffixes: %s", c->novell_username_remove_suffixes);
}

void dump_hwcheck(const SessionContext* c) {
  LOG_DEBUG("hwcheck_wait_idle_poll_interval_millis: %d",
            c->hwcheck_wait_idle_poll_interval_millis);
  LOG_DEBUG("hwcheck_wait_printing_poll_interval_millis: %d",
            c->hwcheck_wait_printing_poll_interval_millis);
  LOG_DEBUG("hwcheck_wait_max_error__poll_backoff_secs: %d",
            c->hwcheck_wait_max_error_poll_backoff_secs);
  LOG_DEBUG("hwcheck_wait_error_increment_secs: %d", c->hwcheck_wait_error_increment_secs);
  LOG_DEBUG("hwcheck_wait_idle_noerror_max_secs: %d", c->hwcheck_wait_idle_noerror_max_secs);
  LOG_DEBUG("hwcheck_wait_printing_noerror_max_secs: %d",
            c->hwcheck_wait_printing_noerror_max_secs);
  LOG_DEBUG("hwcheck_wait_idle_error_max_secs: %d", c->hwcheck_wait_idle_error_max_secs);
  LOG_DEBUG("hwcheck_wait_printing_error_max_secs: %d", c->hwcheck_wait_printing_error_max_secs);
  LOG_DEBUG("hwcheck_stabilization_num_loops_before: %d",
            c->hwcheck_stabilization_num_loops_before);
  LOG_DEBUG("hwcheck_stabilization_num_loops_after: %d", c->hwcheck_stabilization_num_loops_after);
  LOG_DEBUG("hwcheck_extra_time_loops: %d", c->hwcheck_extra_time_loops);
  LOG_DEBUG("hwcheck_snmp_retries: %d", c->hwcheck_snmp_retries);
  LOG_DEBUG("hwcheck_snmp_timeout_secs: %d", c->hwcheck_snmp_timeout_secs);
  LOG_DEBUG("hwcheck_wait_retries_after: %d", c->hwcheck_wait_retries_after);
  LOG_DEBUG("hwcheck_ignore_errors: %s", c->hwcheck_ignore_errors);
  for (int i = 0; i < 5; ++i) {
    if (c->hwcheck_model[i][0] != '\0') {
      LOG_DEBUG("hwcheck_model%d: %s", i + 1, c->hwcheck_model[i]);
    }
  }
}

void dump_username_override(const SessionContext* c) {
  if (c->username_override_prefix[0] != '\0') {
    LOG_DEBUG("username_override_prefix: '%s'", c->username_override_prefix);
  }
  if (c->username_override_suffix[0] != '\0') {
    LOG_DEBUG("username_override_suffix: '%s'", c->username_override_suffix);
  }
  for (int i = 0; i < 5; ++i) {
    if (c->username_override_regex[i][0] != '\0') {
      LOG_DEBUG("username_override_regex%d: '%s'", i + 1, c->username_override_regex[i]);
    }
  }
}

void dump_jobs_and_transforms(const SessionContext* c) {
  LOG_DEBUG("spooled_jobs_spool_dir_path: %s", c->spooled_jobs_spool_dir_path);
  LOG_DEBUG("spooled_jobs_manager_poll_timeout_ms: %d", c->spooled_jobs_manager_poll_timeout_ms);
  LOG_DEBUG("spooled_jobs_manager_disable: %d", c->spooled_jobs_manager_disable);
  LOG_DEBUG("spooled_jobs_manager_process_limit: %d", c->spooled_jobs_manager_process_limit);
  if (c->env_version > 10) {
    LOG_DEBUG("xvp_scripts_dir_path: %s", c->xvp_scripts_dir_path);
    LOG_DEBUG("xvp_logs_dir_path: %s", c->xvp_logs_dir_path);
    LOG_DEBUG("xvp_test_mode: %d", c->xvp_test_mode);
    LOG_DEBUG("xvp_max_logs: %d", c->xvp_max_logs);
    LOG_DEBUG("xvp_log_check_period_secs: %d", c->xvp_log_check_period_secs);
    LOG_DEBUG("xvp_printer_cache_lifetime_secs: %d", c->xvp_printer_cache_lifetime_secs);
  }
  LOG_DEBUG("gzip print jobs sent to : %s", c->gzip_compress);
  if (c->env_version > 12) {
    LOG_DEBUG("direct_printing_mode: %d", c->direct_printing_mode);
  } else if (c->direct_printing_mode) {
    LOG_ERROR("direct_printing_mode: %d will not work with current env_var=%d.  Minimum env_var "
              "required is: %d.",
              c->direct_printing_mode, c->env_version, ENV_VER_13_DIRECT_PRINTING);
  }
}

}  // namespace

void config_dump_context(const SessionContext* ctx) {
  if (ctx == nullptr) return;
  LOG_DEBUG("Dump of Session Context:");
  dump_connection(ctx);
  dump_spool(ctx);
  dump_cups(ctx);
  dump_hwcheck(ctx);
  dump_username_override(ctx);
  dump_jobs_and_transforms(ctx);
}
