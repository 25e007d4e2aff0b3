#include "server/rpc_process_job.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/config.h"
#include "foundation/gzip_wrapper.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/printer_settings.h"
#include "foundation/serialize_job.h"
#include "server/rpc_calls.h"
#include "server/rpc_internal.h"
#include "server/rpc_redirect.h"
#include "server/xml_text.h"

namespace {

constexpr std::size_t DOCUMENT_NAME_MAX = 1023;
constexpr unsigned char LAST_CONTROL_BYTE = 31;

// The parameter count of each processPrintJob generation.
int job_param_count(int env_version) {
  if (env_version <= 1) return 18;
  if (env_version <= 6) return 20;
  if (env_version <= 8) return 22;
  if (env_version <= 12) return 24;
  return 25;
}

// Control bytes would break the server's log lines and reports. The cut
// keeps whole characters; a name of the full length was cut there when the
// job record took it, possibly inside a character, whose start is dropped.
std::string clean_document_name(const char* name) {
  std::string text(name != nullptr ? name : "");
  text.resize(utf8_cut_length(text, DOCUMENT_NAME_MAX));
  if (text.size() == DOCUMENT_NAME_MAX) text.resize(utf8_complete_length(text));
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 1 && byte <= LAST_CONTROL_BYTE) c = ' ';
  }
  return text;
}

// HoldJobOnErrorMs plus a random part below it, in 64 bits so a large
// setting cannot overflow; a setting of 0 or below holds the minimum.
int hold_on_error_ms() {
  const std::int64_t base = global_ctx.hold_job_on_error_ms;
  if (base <= 0) return HOLD_ON_ERROR_MIN_MS;
  const std::int64_t hold = base + static_cast<std::int64_t>(std::rand()) % base;
  return rpc_detail::saturate_int(hold);
}

void keep_for_replay(const JobAttribs* ja, int analysis_code) {
  if (analysis_code != 0) {
    LOG_DEBUG("Not persisting JobId: %s, analysis was not successful. Code: %d", ja->job_id,
              analysis_code);
    return;
  }
  LOG_INFO("Saving job data to send to server when it becomes available. JobId: %s", ja->job_id);
  if (!serialize_job_writeout(global_ctx.jobreplay_spool_dir_path, ja)) {
    LOG_ERROR("JobReplay: Unable to write to spool dir: \"%s\"",
              global_ctx.jobreplay_spool_dir_path);
  }
}

}  // namespace

namespace rpc_detail {

int add_job_params(XMLRPCParameterList* list, const JobAttribs* ja, int count,
                   int analysis_code) {
  const std::string document = clean_document_name(ja->document_name);
  int rc = 0;
  rc |= XMLRPCParameterListAddDate(list, &ja->submit_time);
  rc |= XMLRPCParameterListAddString(list, ja->server_name);
  rc |= XMLRPCParameterListAddString(list, ja->printer_name);
  rc |= XMLRPCParameterListAddString(list, ja->client_machine);
  rc |= XMLRPCParameterListAddString(list, ja->job_id);
  rc |= XMLRPCParameterListAddString(list, analyzer_lang_to_string(ja->language));
  rc |= XMLRPCParameterListAddString(list, document.c_str());
  rc |= XMLRPCParameterListAddString(list, ja->username);
  rc |= XMLRPCParameterListAddInt(list, ja->pages);
  rc |= XMLRPCParameterListAddInt(list, ja->copy_count);
  rc |= XMLRPCParameterListAddBoolean(list, ja->is_grayscale);
  rc |= XMLRPCParameterListAddBoolean(list, ja->is_duplex);
  rc |= XMLRPCParameterListAddString(list, ja->paper_size_name);
  rc |= XMLRPCParameterListAddInt(list, ja->page_width_mm);
  rc |= XMLRPCParameterListAddInt(list, ja->page_height_mm);
  rc |= XMLRPCParameterListAddInt(list, saturate_int(ja->size_kb));
  if (count > 16) {
    rc |= XMLRPCParameterListAddBoolean(list, 0);
    rc |= XMLRPCParameterListAddInt(list, analysis_code);
  }
  if (count > 18) {
    rc |= XMLRPCParameterListAddString(list, ja->client_ip);
    rc |= XMLRPCParameterListAddInt(list, ja->color_pages);
  }
  if (count > 20) {
    rc |= XMLRPCParameterListAddString(list, rpc_spooler_name(ja->spooler_type));
    rc |= XMLRPCParameterListAddString(list, ja->port_flag ? "port=y" : "port=n");
  }
  if (count > 22) {
    rc |= XMLRPCParameterListAddString(list, ja->job_uid);
    rc |= XMLRPCParameterListAddString(list, ja->archive_path);
  }
  if (count > 24) rc |= XMLRPCParameterListAddBoolean(list, global_ctx.direct_printing_mode);
  return rc == 0 ? 0 : -1;
}

}  // namespace rpc_detail

const char* rpc_process_print_job_method(int env_version) {
  if (env_version <= 1) return "spoolwarden.processPrintJob";
  if (env_version <= 5) return "spoolwarden.processPrintJob2";
  if (env_version == 6) return "spoolwarden.processPrintJob3";
  if (env_version <= 8) return "spoolwarden.processPrintJob4";
  if (env_version <= 12) return "spoolwarden.processPrintJob5";
  return "spoolwarden.processPrintJob6";
}

namespace {

// The call and its reply; -1 with status ERROR on any failure.
int ask_server(const JobAttribs* ja, int analysis_code, ProcessJobResponse* response) {
  const int env_version = global_ctx.env_version;
  rpc_detail::Params params = rpc_detail::new_params();
  rpc_detail::Params result;
  const int retries = analysis_code == 1 ? 0 : global_ctx.process_job_connect_retries;
  if (!params ||
      rpc_detail::add_job_params(params.get(), ja, job_param_count(env_version), analysis_code) !=
          0 ||
      rpc_detail::call(rpc_process_print_job_method(env_version), params, result, retries) != 0) {
    response->status = PROCESS_JOB_ERROR;
    return -1;
  }
  const int type = rpc_detail::reply_type(result);
  if (type != rpc_detail::TYPE_STRING) {
    LOG_ERROR("Application Server returned unexpected data type: %d", type);
    response->status = PROCESS_JOB_ERROR;
    return -1;
  }
  const char* answer = nullptr;
  if (XMLRPCParameterListReadString(result.get(), 0, &answer) != 0 || answer == nullptr) {
    LOG_ERROR("Failed to read string");
    response->status = PROCESS_JOB_ERROR;
    return -1;
  }
  rpc_process_job_decode_answer(answer, env_version, ja->job_id, response);
  return 0;
}

}  // namespace

int rpc_process_print_job(const JobAttribs* ja, int analysis_code, ProcessJobResponse* response,
                          int gzip) {
  if (!TV_ASSERT(response != nullptr)) return -1;
  std::memset(response, 0, sizeof *response);
  if (!TV_ASSERT(ja != nullptr)) {
    response->status = PROCESS_JOB_ERROR;
    return -1;
  }
  const int rc = ask_server(ja, analysis_code, response);
  if (gzip && gzip_is_on_printer(ja->printer_name)) {
    LOG_DEBUG("Will gzip print jobs sent to printer '%s'?", ja->printer_name);
    response->wm.gzip = 1;
  }
  return rc;
}

int rpc_print_job_pre_notification(const JobAttribs* ja, ProcessJobResponse* response) {
  return rpc_process_print_job(ja, 1, response, 0);
}

void rpc_handle_print_error_status(ProcessJobResponse* response, const JobAttribs* ja,
                                   int analysis_code, int failure_mode, int held_before) {
  if (response == nullptr || response->status != PROCESS_JOB_ERROR) return;
  const char* job_id = ja != nullptr ? ja->job_id : "";
  if (held_before || failure_mode == FAILURE_MODE_HOLD) {
    LOG_ERROR("Error communicating with Application Server. %s JobId: %s",
              held_before ? "Continuing to hold held job." : "Holding job.", job_id);
    response->status = PROCESS_JOB_HOLD;
    response->hold_time_ms = hold_on_error_ms();
    return;
  }
  LOG_ERROR("Error communicating with Application Server. Printing new job. JobId: %s", job_id);
  response->status = PROCESS_JOB_PRINT;
  if (failure_mode == FAILURE_MODE_PRINT_NEW_WITH_REPLAY && ja != nullptr) {
    keep_for_replay(ja, analysis_code);
  }
}

int modify_spool_file_has_work_to_do(const watermark_params* wm, int ignore_gzip) {
  if (wm == nullptr) return 0;
  if (wm->text[0] != '\0' || wm->force_duplex != 0 || wm->force_grayscale != 0 ||
      wm->copies != 0) {
    return 1;
  }
  return !ignore_gzip && wm->gzip ? 1 : 0;
}
