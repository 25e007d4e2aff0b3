#include "job/common.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "analysis/analyzer.h"
#include "foundation/config.h"
#include "foundation/csv.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/os.h"
#include "foundation/os_stop.h"
#include "foundation/printer_settings.h"
#include "foundation/util.h"
#include "job/archive.h"
#include "job/common_internal.h"
#include "job/held_job_manager.h"
#include "job/job_journal.h"
#include "job/job_uid.h"
#include "job/redirect.h"
#include "job/snapshot.h"
#include "server/rpc_calls.h"
#include "server/rpc_printer_settings.h"
#include "server/rpc_process_job.h"

namespace {

constexpr const char STATUS_DOCUMENT_NAMES[] =
    "Supplies Levels, Printer Control Command, Report Status";
// Status documents of this size or smaller print without a decision.
constexpr std::uint64_t SMALL_STATUS_DOCUMENT_BYTES = 200;
constexpr char LIST_SEPARATOR = ',';

// Outcome of the checks that let a job print without asking.
enum class Early { GO_ON, PRINT };

// The time a last call may take that tells the server of a job cancelled in
// CUPS: CUPS kills a backend that does not end soon after its cancel.
constexpr int CANCEL_NOTICE_CONNECT_MS = 3000;
constexpr int CANCEL_NOTICE_SEND_MS = 7000;

// Where the decision loop ended.
enum class Decided { DONE, BACKGROUND, FORK_FAILED, CANCELLED };

void set_error(char* error_text, std::size_t error_size, const char* text) {
  if (error_text != nullptr && error_size > 0) util_safe_strncpy(error_text, text, error_size);
}

bool empty(const char* text) { return text[0] == '\0'; }

// The argument checks: 1 when the job can be processed.
int check_arguments(const JobAttribs* ja, const JobAction* action, int strategy) {
  if (ja == nullptr) {
    LOG_ERROR("Passed null job attributes structure");
    return 0;
  }
  if (action == nullptr) {
    TV_ASSERT(action != nullptr);
    return 0;
  }
  const char* missing = empty(ja->spool_file)     ? "Passed empty spool file attribute"
                        : empty(ja->username)     ? "Passed empty username attribute"
                        : empty(ja->printer_name) ? "Passed empty printer name attribute"
                        : empty(ja->server_name)  ? "Passed empty server name attribute"
                                                  : nullptr;
  if (missing != nullptr) {
    LOG_ERROR("%s", missing);
    return 0;
  }
  if (strategy != REPLACEMENT_NEW_FILE && strategy != REPLACEMENT_IN_PLACE &&
      strategy != REPLACEMENT_LEAVE_BOTH) {
    LOG_ERROR("Invalid replacement strategy");
    return 0;
  }
  return 1;
}

// Redirected copies, ignored names, empty files and small status documents
// print at once, without a decision and without a job event line.
Early check_print_unasked(const JobAttribs* ja) {
  if (redirect_is_redirected_job(ja->document_name, ja->job_id)) {
    LOG_DEBUG("Redirected job so just print: id=%s,spool_file='%s'", ja->job_id, ja->spool_file);
    (void)take_spool_snapshot(ja->spool_file, SNAPSHOT_SUFFIX_POST_REDIRECT);
    return Early::PRINT;
  }
  if (!empty(ja->document_name) &&
      util_partially_matches_value(global_ctx.ignore_document_names, LIST_SEPARATOR,
                                   ja->document_name)) {
    LOG_DEBUG("Found document \"%s\" which is configured to be ignored, so just allowing to print",
              ja->document_name);
    return Early::PRINT;
  }
  std::uint64_t size = 0;
  const int stat_ok = os_file_size_by_path(ja->spool_file, &size);
  if (stat_ok && size == 0) {
    LOG_DEBUG("Found zero length document \"%s\", so just allowing to print", ja->document_name);
    return Early::PRINT;
  }
  if (util_partially_matches_value(STATUS_DOCUMENT_NAMES, LIST_SEPARATOR, ja->document_name)) {
    if (!stat_ok) size = 0;
    LOG_DEBUG("Found potential status document \"%s\" of size %lu, file stat %s",
              ja->document_name, static_cast<unsigned long>(size),
              stat_ok ? "succeeded" : "failed");
    if (size <= SMALL_STATUS_DOCUMENT_BYTES) {
      LOG_DEBUG("Found small status job \"%s\" of size %lu, so just allowing to print",
                ja->document_name, static_cast<unsigned long>(size));
      return Early::PRINT;
    }
  }
  return Early::GO_ON;
}

void set_client_ip(JobAttribs* ja) {
  if (empty(ja->client_machine)) {
    LOG_DEBUG("Client machine is unknown");
    ja->client_ip[0] = '\0';
  } else if (util_is_ipv4_address(ja->client_machine)) {
    util_safe_strncpy(ja->client_ip, ja->client_machine, sizeof ja->client_ip);
  } else {
    LOG_DEBUG("Trying to convert hostname '%s' to IP if possible.", ja->client_machine);
    if (os_host_to_ip(ja->client_machine, ja->client_ip, sizeof ja->client_ip)) {
      LOG_DEBUG("IP is: '%s'", ja->client_ip);
    } else {
      LOG_DEBUG("Unknown host for IP: '%s'", ja->client_machine);
      ja->client_ip[0] = '\0';
    }
  }
}

void start_archive(JobAttribs* ja, ArchiveSpoolCallback archive_spool) {
  char original[COMMON_ARCHIVE_SPOOL_SIZE] = {};
  const char* file = ja->spool_file;
  if (archive_spool != nullptr && archive_spool(ja, original, sizeof original)) {
    LOG_DEBUG("Using original spool: %s, not: %s", original, ja->spool_file);
    file = original;
  }
  (void)analyzer_build_archive_path(ja->archive_path, sizeof ja->archive_path, &ja->submit_time);
  // The server learns an archive path only for a copy that is being made
  // into its directory: it would otherwise look for a file that never comes.
  if (!archive_copy_spool_to_archive_in_background(file, ja)) ja->archive_path[0] = '\0';
}

// The status decision after asking the server and, for ERROR, the policy.
void ask_server(JobAttribs* ja, int code, const PrinterSettings& settings, int held,
                ProcessJobResponse* response, char* error_text, std::size_t error_size) {
  if (rpc_process_print_job(ja, code, response, 1) < 0) {
    LOG_DEBUG("Unable to contact server for process_print_job");
    response->status = PROCESS_JOB_ERROR;
    set_error(error_text, error_size, COMMON_ERR_SERVER);
  }
  if (response->status == PROCESS_JOB_ERROR) {
    rpc_handle_print_error_status(response, ja, code, settings.failure_mode, held);
  }
}

// An earlier run of this job sent its decision call and ended before the
// answer: the server may have recorded the job. It is not asked again; the
// printer's failure mode decides, as for a server that did not answer.
void decide_unanswered(JobAttribs* ja, int code, const PrinterSettings& settings, int held,
                       ProcessJobResponse* response) {
  LOG_INFO("Job %s on printer %s: an earlier run sent the decision request and got no answer; "
           "not sending it again",
           ja->job_id, ja->printer_name);
  *response = ProcessJobResponse{};
  response->status = PROCESS_JOB_ERROR;
  rpc_handle_print_error_status(response, ja, code, settings.failure_mode, held);
}

// A job cancelled in CUPS (SIGTERM) while it was being decided or held: the
// server that may hold it is told, within a short time.
void tell_server_cancelled(const JobAttribs* ja) {
  LOG_INFO("Job %s on printer %s was cancelled while it was being decided or held", ja->job_id,
           ja->printer_name);
  os_clear_stop_request();
  if (rpc_process_print_job_cancellation_within(
          global_ctx.server_name, ja->printer_name, ja->job_id, 0, 0,
          std::min(global_ctx.connect_timeout_ms, CANCEL_NOTICE_CONNECT_MS),
          std::min(global_ctx.send_timeout_ms, CANCEL_NOTICE_SEND_MS)) != 0) {
    LOG_ERROR("Unable to tell the server that job %s was cancelled", ja->job_id);
  }
}

void journal_phase(JobJournal* journal, JobJournalPhase phase, const JobAttribs* ja,
                   const ProcessJobResponse* response) {
  if (journal != nullptr) (void)job_journal_record(journal, phase, ja, response);
}

// The decision loop: asks, holds and asks again. With a journal, each step
// is recorded before it can be lost, and an earlier run's unanswered call is
// not sent again.
Decided decide(JobAttribs* ja, int code, const PrinterSettings& settings, int background_on_hold,
               ProcessJobResponse* response, JobAction* action, JobJournal* journal,
               char* error_text, std::size_t error_size) {
  const int found = journal != nullptr ? journal->found_phase : JOURNAL_NONE;
  int held = found == JOURNAL_HELD ? 1 : 0;
  int forked = 0;
  bool unanswered = found == JOURNAL_ASKING;
  for (;;) {
    if (unanswered) {
      decide_unanswered(ja, code, settings, held, response);
      unanswered = false;
    } else {
      journal_phase(journal, JOURNAL_ASKING, ja, nullptr);
      ask_server(ja, code, settings, held, response, error_text, error_size);
    }
    if (os_stop_requested()) return Decided::CANCELLED;
    if (response->status != PROCESS_JOB_HOLD) {
      journal_phase(journal, JOURNAL_DECIDED, ja, response);
      return Decided::DONE;
    }
    journal_phase(journal, JOURNAL_HELD, ja, response);
    if (!forked && background_on_hold) {
      std::fflush(nullptr);
      const pid_t pid = fork();
      if (pid < 0) {
        LOG_ERROR("Unable to fork to background task");
        return Decided::FORK_FAILED;
      }
      if (pid > 0) {
        // The child owns the job and its spool file from here on.
        *action = JOB_ACTION_BACKGROUND;
        return Decided::BACKGROUND;
      }
      (void)os_unix_daemonize();
      forked = 1;
    }
    held_job_manager_sleep_with_job_event_check(ja->job_id, response->hold_time_ms,
                                                response->long_hold_time_ms);
    if (os_stop_requested()) return Decided::CANCELLED;
    held = 1;
  }
}

// Carries out the final decision and writes the job event line (not for a
// decision an earlier run already reported).
void carry_out(JobAttribs* ja, const ProcessJobResponse& response, const char* printer_address,
               JobAction* action, bool event_line) {
  int status = response.status;
  switch (status) {
    case PROCESS_JOB_CANCEL:
      LOG_DEBUG("deleting job");
      LOG_INFO("Document %s on printer %s from user %s denied.", ja->document_name,
               ja->printer_name, ja->username);
      *action = JOB_ACTION_DONT_PRINT;
      break;
    case PROCESS_JOB_REDIRECT:
      common_redirect(ja, &response, printer_address);
      *action = JOB_ACTION_DONT_PRINT;
      break;
    default:
      // The error policy never leaves ERROR or HOLD here; print rather than
      // lose the job should it ever do so.
      if (status != PROCESS_JOB_PRINT) {
        TV_ASSERT(status == PROCESS_JOB_PRINT);
        status = PROCESS_JOB_PRINT;
      }
      LOG_DEBUG("printing job");
      *action = JOB_ACTION_PRINT;
      break;
  }
  if (event_line) {
    log_print_event(status, ja->username, ja->printer_name, ja->document_name, ja->pages,
                    ja->copy_count);
  }
}

// A retry of a job whose decision an earlier run made: the decision is
// carried out again, the server is not asked and the job is not reported
// twice.
void reuse_decision(const JobJournal& journal, JobAttribs* ja, ProcessJobResponse* response) {
  job_journal_restore(&journal, ja);
  *response = journal.response;
  LOG_INFO("Job %s on printer %s was decided before (job uid %s): carrying out that decision "
           "again without asking the server",
           ja->job_id, ja->printer_name, ja->job_uid);
}

}  // namespace

int common_is_ignored_document_name(const char* document_name) {
  if (document_name == nullptr || document_name[0] == '\0') return 0;
  return util_partially_matches_value(global_ctx.ignore_document_names, LIST_SEPARATOR,
                                      document_name) ||
                 util_partially_matches_value(STATUS_DOCUMENT_NAMES, LIST_SEPARATOR,
                                              document_name)
             ? 1
             : 0;
}

int common_process_job(JobAttribs* ja, int n_up, const char* printer_address,
                       int background_on_hold, int replacement_strategy, JobAction* action,
                       ArchiveSpoolCallback archive_spool, char* error_text,
                       std::size_t error_size) {
  return common_process_job_ex(ja, n_up, printer_address, background_on_hold,
                               replacement_strategy, action, archive_spool, error_text,
                               error_size, nullptr);
}

int common_process_job_ex(JobAttribs* ja, int n_up, const char* printer_address,
                          int background_on_hold, int replacement_strategy, JobAction* action,
                          ArchiveSpoolCallback archive_spool, char* error_text,
                          std::size_t error_size, JobJournal* journal) {
  set_error(error_text, error_size, "");
  if (ja != nullptr) {
    LOG_DEBUG("common_process_job: id=%s,spool_file='%s'", ja->job_id, ja->spool_file);
  }
  if (!check_arguments(ja, action, replacement_strategy)) return -1;
  *action = JOB_ACTION_PRINT;
  if (check_print_unasked(ja) == Early::PRINT) return 0;

  (void)take_spool_snapshot(ja->spool_file, nullptr);
  set_client_ip(ja);
  (void)os_get_current_time(&ja->submit_time);
  PrinterSettings settings{};
  (void)rpc_get_printer_config_settings(global_ctx.connect_timeout_ms, global_ctx.send_timeout_ms,
                                        ja->server_name, ja->printer_name, &settings);
  const int found = journal != nullptr ? journal->found_phase : JOURNAL_NONE;
  if (found != JOURNAL_NONE) {
    // The same job as an earlier run's: the same uid, and its archive copy
    // was started then.
    job_journal_restore(journal, ja);
  } else {
    (void)analyzer_build_job_uid_with_estimated_time(ja->job_uid, sizeof ja->job_uid, ja);
    if (settings.archiving) start_archive(ja, archive_spool);
  }

  JobAttribsPtr sa(analyzer_create_job_attribs());
  if (sa == nullptr) {
    LOG_DEBUG("Unable to allocate memory for sa struct");
    set_error(error_text, error_size, COMMON_ERR_NO_MEMORY);
    return -1;
  }
  const int color = settings.enable_color_detection;
  const int code = analyzer_process_spool_file(ja_get_spool_file(ja), color, sa.get());
  if (code != 0) {
    LOG_ERROR("Unable to analyze JobId: %s on printer %s", ja->job_id, ja->printer_name);
    set_error(error_text, error_size, COMMON_ERR_ANALYSIS);
    sa->pages = 1;
    sa->copy_count = 1;
    // What a failed analyzer left is no judgement of the job's colour.
    sa->color_pages = -1;
    sa->language = LANG_UNKNOWN;
  } else if (sa->language == LANG_STATUS_DOCUMENT) {
    LOG_DEBUG("Found status document so just allowing to print");
    return 0;
  }
  analyzer_splice_job_attribs(ja, sa.get(), color, 1, n_up);

  ProcessJobResponse response{};
  if (found == JOURNAL_DECIDED) {
    reuse_decision(*journal, ja, &response);
    if (response.status == PROCESS_JOB_REDIRECT) {
      // The earlier run may have handed the job to the target already: a
      // second print command could print it twice there.
      LOG_INFO("Job %s on printer %s was redirected before; not redirecting it again",
               ja->job_id, ja->printer_name);
      *action = JOB_ACTION_DONT_PRINT;
      return 0;
    }
  } else {
    switch (decide(ja, code, settings, background_on_hold, &response, action, journal, error_text,
                   error_size)) {
      case Decided::DONE: break;
      case Decided::BACKGROUND: return 0;
      case Decided::FORK_FAILED: return -1;
      case Decided::CANCELLED:
        tell_server_cancelled(ja);
        *action = JOB_ACTION_DONT_PRINT;
        return 0;
    }
  }

  ja->printer_type[0] = '\0';
  common_apply_spool_modification(ja, &response, printer_address, replacement_strategy);
  carry_out(ja, response, printer_address, action, found != JOURNAL_DECIDED);
  return 0;
}
