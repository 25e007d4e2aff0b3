// What the user is told about a modification: the run's error text and the
// warnings in the application server's log (standard error for the
// command-line tool).
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "modify/modify_spool_file.h"
#include "modify/modify_spool_file_internal.h"
#include "server/rpc_calls.h"

namespace {

int commandline_mode = 0;

void send_user_warning(const std::string& text) {
  if (commandline_mode) {
    std::fputs(text.c_str(), stderr);
    return;
  }
  if (rpc_log_messagef(global_ctx.server_name, RPC_LOG_WARNING, "%s", text.c_str()) != 0) {
    LOG_ERROR("Could not send to the server's log: %s", text.c_str());
  }
}

// "'<document>' for user '<user>' on '<server>\<printer>' (language: .., printer: ..)".
std::string job_description(const JobAttribs* job, const char* document_name) {
  const std::string document = document_name != nullptr ? document_name : job->document_name;
  return "'" + document + "' for user '" + job->username + "' on '" + job->server_name + "\\" +
         job->printer_name + "' (language: " + analyzer_lang_to_string_unique(job->language) +
         ", printer: " + job->printer_type + ")";
}

}  // namespace

void set_watermark_commandline_mode(int on) { commandline_mode = on; }

void report_error_app_log(const char* message, const JobAttribs* job, const char* document_name) {
  if (job == nullptr) return;
  send_user_warning("Did not modify spool file for job " + job_description(job, document_name) +
                    " . " + (message != nullptr ? message : "") +
                    " See spoolwarden.log for details.");
}

void report_partial_app_log(const char* not_done, const JobAttribs* job) {
  send_user_warning("Modified spool file for job " + job_description(job, nullptr) +
                    " without: " + not_done + " See spoolwarden.log for details.");
}

void modify_write_error(ModifyRun* run, const char* message) {
  const std::size_t used = std::strlen(run->error_text);
  const std::size_t separator = used > 0 ? 1 : 0;
  if (used + separator + std::strlen(message) > MODIFY_ERROR_TEXT_MAX) {
    LOG_ERROR("write_error(%s) too long", message);
    return;
  }
  if (separator) std::strcat(run->error_text, ";");
  std::strcat(run->error_text, message);
}
