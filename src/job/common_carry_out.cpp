// The steps after the decision: the spool-file rewrite and the redirect.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/os.h"
#include "foundation/util.h"
#include "job/common.h"
#include "job/common_internal.h"
#include "job/job_hooks.h"
#include "job/printer_type.h"
#include "job/redirect.h"
#include "job/snapshot.h"
#include "server/rpc_calls.h"
#include "server/rpc_process_job.h"

namespace {

constexpr std::size_t NEW_PATH_SIZE = 4096;

void replace_in_place(const char* spool, const char* new_path) {
  LOG_DEBUG("Applying spool file modification with file replace");
  LOG_DEBUG("Renaming current spool file \"%s\" to modified spool file \"%s\"", spool, new_path);
  if (std::rename(new_path, spool) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to replace spool file for spool file modification");
    unlink(new_path);
  }
}

void use_new_file(JobAttribs* ja, const char* new_path) {
  LOG_DEBUG("Applying spool file modification with new file");
  // A path that does not fit the record would leave the job pointing at a
  // cut name after the old file is gone: keep the old file then.
  if (std::strlen(new_path) >= sizeof ja->spool_file) {
    LOG_ERROR("Modified spool file path too long, printing unmodified: %s", new_path);
    unlink(new_path);
    return;
  }
  LOG_DEBUG("Unlinking current spool file \"%s\" and using modified spool file \"%s\"",
            ja->spool_file, new_path);
  if (unlink(ja->spool_file) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to unlink spool file \"%s\"", ja->spool_file);
  } else {
    LOG_DEBUG("Successfully unlinked spool file \"%s\"", ja->spool_file);
  }
  ja_set_spool_file(ja, new_path);
}

// Replaces "localhost" or "127.0.0.1" in ServerName by this host's name, so
// that the comparison with a target server names this machine.
void make_server_name_nonlocal() {
  if (!util_case_equal_str(global_ctx.server_name, "localhost") &&
      !util_case_equal_str(global_ctx.server_name, "127.0.0.1")) {
    return;
  }
  char name[CONFIG_TEXT_SIZE];
  if (os_get_computer_name(name, sizeof name)) {
    util_safe_strncpy(global_ctx.server_name, name, sizeof global_ctx.server_name);
    LOG_DEBUG("Ensure our server_name is not local but computer name: %s", global_ctx.server_name);
  }
}

// The target printer's model when it is a queue of this server.
void target_printer_type(const ProcessJobResponse* response, char* type, std::size_t size) {
  type[0] = '\0';
  LOG_DEBUG("Getting target printer type: our server name =\"%s\", target server_name = \"%s\"",
            global_ctx.server_name, response->redirect_server);
  if (std::strcmp(response->redirect_server, global_ctx.server_name) != 0) {
    LOG_DEBUG("NOTE: Getting target printer type for remote server \"%s\" is not currently "
              "supported. Transforms may be applied for remote server redirection without "
              "printer type information.",
              response->redirect_server);
    return;
  }
  if (common_get_printer_model_name(response->redirect_printer, type, size)) {
    LOG_DEBUG("Retrieved local target printer type of: %s", type);
  }
}

// The transform for the target; 1 with a transformed file in `modified`.
int transform_for_target(JobAttribs* ja, const ProcessJobResponse* response, const char* type,
                         char* modified, std::size_t size) {
  modified[0] = '\0';
  LOG_DEBUG("XVP: test if XVP is needed for JobId: %s", ja->job_id);
  if (!job_hook_xvp_has_work_to_do(ja, response->redirect_printer, type)) return 0;
  LOG_DEBUG("XVP: needed for JobId: %s", ja->job_id);
  LOG_DEBUG("XVP: generating replacements for target printer: %s", response->redirect_printer);
  if (!job_hook_xvp_transform(ja, response->redirect_printer, type, ja_get_spool_file(ja),
                              modified, size)) {
    modified[0] = '\0';
    return 0;
  }
  return modified[0] != '\0' ? 1 : 0;
}

}  // namespace

void common_apply_spool_modification(JobAttribs* ja, const ProcessJobResponse* response,
                                     const char* printer_address, int replacement_strategy) {
  if (!modify_spool_file_has_work_to_do(&response->wm, 0)) return;
  (void)common_set_printer_type(ja, printer_address);
  char new_path[NEW_PATH_SIZE] = {};
  if (job_hook_modify_spool_file_to_temp_file(&response->wm, ja, ja->spool_file, new_path,
                                              sizeof new_path) != 1 ||
      new_path[0] == '\0') {
    // Nothing was written: both files stay as they are.
    LOG_DEBUG("No modified spool file was written, printing job unmodified");
    return;
  }
  switch (replacement_strategy) {
    case REPLACEMENT_IN_PLACE: replace_in_place(ja->spool_file, new_path); break;
    case REPLACEMENT_NEW_FILE: use_new_file(ja, new_path); break;
    default: break;  // REPLACEMENT_LEAVE_BOTH; other values are refused at entry
  }
}

void common_redirect(JobAttribs* ja, const ProcessJobResponse* response,
                     const char* printer_address) {
  if (ja->printer_type[0] == '\0') (void)common_set_printer_type(ja, printer_address);
  make_server_name_nonlocal();
  char type[JA_TEXT_SIZE];
  target_printer_type(response, type, sizeof type);
  char modified[NEW_PATH_SIZE];
  const int transformed = transform_for_target(ja, response, type, modified, sizeof modified);
  const char* file = transformed ? modified : ja_get_spool_file(ja);
  if (redirect_job(ja, file, response->redirect_server, response->redirect_printer,
                   response->redirect_uid)) {
    LOG_DEBUG("process_print_event: id=%s,spool_file='%s'", ja->job_id, ja->spool_file);
    (void)take_spool_snapshot(ja->spool_file, SNAPSHOT_SUFFIX_PRE_REDIRECT);
  } else {
    (void)rpc_process_print_job_cancellation(response->redirect_server,
                                             response->redirect_printer, ja->job_id, 0, 0);
    (void)rpc_log_messagef(global_ctx.server_name, RPC_LOG_WARNING,
                           "Error redirecting job to %s\\%s, see spoolwarden.log for details. "
                           "Cancelling print job.",
                           response->redirect_server, response->redirect_printer);
  }
  if (transformed) job_hook_xvp_release(modified);
}
