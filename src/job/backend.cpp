#include "job/backend.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/config.h"
#include "foundation/decimal.h"
#include "foundation/global.h"
#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_process.h"
#include "foundation/os_stop.h"
#include "foundation/printer_settings.h"
#include "foundation/serialize_settings.h"
#include "foundation/util.h"
#include "job/backend_internal.h"
#include "job/backend_run.h"
#include "job/common.h"
#include "job/cups_intake.h"
#include "job/held_job_manager.h"

namespace {

constexpr const char DISCOVERY_LINE[] =
    "network spoolwarden \"Unknown\" \"spoolwarden accounting wrapper\"\n";
constexpr std::size_t IDENTITY_SIZE = 256;

// The leading decimal number of `text`; `fallback` when there is none or it
// does not fit in an int.
int parse_int(const char* text, int fallback) {
  if (text == nullptr) return fallback;
  const DecimalRead number = decimal_read(text);
  if (number.length == 0 || number.value != decimal_clamp<int>(number.value)) return fallback;
  return static_cast<int>(number.value);
}

// The real device URI from DEVICE_URI (or argv[0]) without our scheme.
std::string wrapped_device_uri(const char* argv0) {
  const char* uri = std::getenv("DEVICE_URI");
  if (uri == nullptr || uri[0] == '\0') uri = argv0;
  std::string text = uri != nullptr ? uri : "";
  if (text.rfind(BACKEND_SCHEME, 0) == 0) text.erase(0, sizeof BACKEND_SCHEME - 1);
  return text;
}

// The failure mode of the printer as last stored; PRINT_NEW_NO_REPLAY when
// none is stored.
int stored_failure_mode(const char* printer) {
  PrinterSettings settings{};
  printer_settings_init_defaults(&settings);
  if (serialize_settings_readin(global_ctx.settings_spool_dir_path, printer, &settings) == 0) {
    return FAILURE_MODE_PRINT_NEW_NO_REPLAY;
  }
  return settings.failure_mode;
}

void fill_job_record(CupsBackend& b) {
  JobAttribs* ja = b.ja.get();
  util_safe_strncpy(ja->job_id, b.argv[1], sizeof ja->job_id);
  util_safe_strncpy(ja->username, b.argv[2], sizeof ja->username);
  ja_set_document_name(ja, b.argv[3]);
  b.cups_copies = parse_int(b.argv[4], 1);
  if (b.cups_copies < 1) b.cups_copies = 1;
  ja_set_copy_count(ja, b.cups_copies);
  const char* printer = std::getenv("PRINTER");
  ja_set_printer_name(ja, printer != nullptr ? printer : "");
  util_safe_strncpy(ja->server_name, global_ctx.server_name, sizeof ja->server_name);
  (void)common_extract_cups_control_file_info(ja, parse_int(b.argv[1], -1));
  (void)common_extract_cups_options_info(ja, b.argv[5], 0);
  (void)common_get_cups_version();
}

// Compressed data that does not inflate, or inflates beyond the limits, is
// the same on every try: retrying would only inflate a hostile job again up
// to CUPS's retry limit, and the raw compressed bytes are no print data. The
// job is cancelled.
int cancel_unprintable(const CupsBackend& b, CupsIntakeFailure failure) {
  const char* why = failure == CUPS_INTAKE_TOO_LARGE
                        ? "its compressed print data inflates beyond the size limits"
                        : "its compressed print data is corrupt or truncated";
  LOG_ERROR("Job %s on printer %s cannot be printed: %s; the job is cancelled", b.argv[1],
            b.ja->printer_name, why);
  backend_status("ERROR", std::string("the job cannot be printed: ") + why + "; the job is cancelled");
  return CUPS_BACKEND_CANCEL;
}

// Copies the incoming data into the spool file. 0 when done, else the exit
// status for CUPS. A spool file that cannot be written (a full disk) leaves
// nothing behind and has CUPS retry the job later: printing CUPS's own file
// unasked would print it unrecorded.
int make_spool(CupsBackend& b) {
  char path[JA_TEXT_SIZE] = {};
  CupsIntakeFailure failure = CUPS_INTAKE_NO_FAILURE;
  int made = 0;
  if (b.input_file.empty()) {
    made = common_make_spool_file_ex(path, sizeof path, stdin, CUPS_INTAKE_DEFAULT_LIMITS,
                                     &failure);
  } else {
    made = common_make_spool_file_from_path(path, sizeof path, b.input_file.c_str(),
                                            CUPS_INTAKE_DEFAULT_LIMITS, &failure);
  }
  if (made == 1) {
    ja_set_spool_file(b.ja.get(), path);
    backend_track_file(BACKEND_FILE_SPOOL, path);
    return 0;
  }
  if (os_stop_requested()) return CUPS_BACKEND_OK;  // cancelled while copying
  if (cups_intake_failure_is_permanent(failure)) return cancel_unprintable(b, failure);
  LOG_ERROR("Job %s on printer %s: the spool file could not be made (see above); CUPS will "
            "retry the job",
            b.argv[1], b.ja->printer_name);
  backend_status("ERROR", "the spool file could not be made; the job will be retried");
  return CUPS_BACKEND_RETRY;
}

// What names the submitted data across CUPS's retries: CUPS's own data file,
// which it keeps unchanged, else the spooled data itself.
void data_identity(const CupsBackend& b, char* buffer, std::size_t size) {
  char original[JA_TEXT_SIZE] = {};
  const char* file = b.input_file.c_str();
  if (b.input_file.empty() && find_spool_file(original, sizeof original, parse_int(b.argv[1], -1))) {
    file = original;
  }
  if (file[0] != '\0' && job_journal_file_identity(file, buffer, size)) return;
  if (!job_journal_data_identity(ja_get_spool_file(b.ja.get()), buffer, size)) buffer[0] = '\0';
}

void open_journal(CupsBackend& b) {
  char dir[CONFIG_TEXT_SIZE];
  char identity[IDENTITY_SIZE];
  data_identity(b, identity, sizeof identity);
  if (!os_cat_path(dir, sizeof dir, global_ctx.spool_dir_path, JOB_JOURNAL_DIR_NAME) ||
      job_journal_open(&b.journal, dir, b.ja.get(), identity) != 0) {
    LOG_ERROR("Job %s goes on without a state for CUPS's retries", b.argv[1]);
  }
}

// After the decision: the print monitor, then the copies.
int print_decided(CupsBackend& b) {
  int delete_job = 0;
  (void)common_run_hwcheck(global_ctx.print_monitor_path, b.ja->job_id, b.ja->printer_name,
                           b.ja->paper_size_name, b.wrapped_uri.c_str(), &delete_job);
  if (delete_job != 0) {
    LOG_INFO("Print monitor asked to delete job %s on printer %s", b.ja->job_id,
             b.ja->printer_name);
    backend_status("INFO", "job deleted at the print monitor's request");
    return CUPS_BACKEND_OK;
  }
  if (os_stop_requested()) return CUPS_BACKEND_OK;
  return backend_print_copies(b, ja_get_spool_file(b.ja.get()), backend_copies_to_make(b));
}

}  // namespace

void backend_status(const char* level, const std::string& text) {
  const std::string line = log_one_line(text.c_str());
  std::fprintf(stderr, "%s: spoolwarden: %s\n", level, line.c_str());
  std::fflush(stderr);
}

void backend_init(CupsBackend* b, int argc, char** argv, const char* exe) {
  b->argc = argc;
  b->argv = argv;
  const std::string path = exe != nullptr ? exe : "";
  b->exe_dir = path.substr(0, path.rfind('/'));
  b->wrapped_uri = wrapped_device_uri(argv[0]);
  b->input_file = argc == 7 ? argv[6] : "";
}

int backend_on_failure(const CupsBackend& b, const char* file, const char* why) {
  LOG_ERROR("Job %s on printer %s: %s", b.argv[1], b.ja->printer_name, why);
  const int mode = stored_failure_mode(b.ja->printer_name);
  if (mode == FAILURE_MODE_HOLD || file == nullptr || file[0] == '\0') {
    backend_status("INFO", std::string(why) + "; the job is held and retried");
    return CUPS_BACKEND_RETRY;
  }
  backend_status("INFO", std::string(why) + "; printing as the failure mode says");
  return backend_print_copies(b, file, b.input_file.empty() ? 1 : b.cups_copies);
}

int backend_process(CupsBackend& b) {
  fill_job_record(b);
  const int spooled = make_spool(b);
  if (spooled != 0 || ja_get_spool_file(b.ja.get())[0] == '\0') return spooled;
  open_journal(b);
  // A new job starts without a hold marker; a retry keeps the server's.
  if (b.journal.found_phase == JOURNAL_NONE) (void)held_job_manager_newjob(b.ja->job_id);
  char n_up_text[16] = {};
  const int n_up =
      common_extract_param_string(n_up_text, sizeof n_up_text, b.argv[5], "number-up", 0)
          ? parse_int(n_up_text, 1)
          : 1;
  char host[JA_TEXT_SIZE] = {};
  (void)common_extract_host_from_uri(b.wrapped_uri.c_str(), host, sizeof host);
  JobAction action = JOB_ACTION_PRINT;
  char error[COMMON_ERROR_TEXT_SIZE] = {};
  JobJournal* journal = b.journal.path[0] != '\0' ? &b.journal : nullptr;
  if (common_process_job_ex(b.ja.get(), n_up, host, 0, REPLACEMENT_NEW_FILE, &action,
                            common_cups_get_archive_spool, error, sizeof error, journal) != 0) {
    return backend_on_failure(b, ja_get_spool_file(b.ja.get()), "the job could not be decided");
  }
  // The flow may have replaced the spool file.
  backend_track_file(BACKEND_FILE_SPOOL, ja_get_spool_file(b.ja.get()));
  if (os_stop_requested()) return CUPS_BACKEND_OK;  // cancelled in CUPS
  if (action == JOB_ACTION_BACKGROUND) {
    b.handed_off = true;  // the background child owns the job and its files now
    backend_track_file(BACKEND_FILE_SPOOL, nullptr);
    return CUPS_BACKEND_OK;
  }
  if (action != JOB_ACTION_PRINT) {
    backend_status("INFO", "job not printed here (denied or redirected)");
    return CUPS_BACKEND_OK;
  }
  return print_decided(b);
}

void backend_finish(CupsBackend& b, int status) {
  const char* spool = backend_tracked_file(BACKEND_FILE_SPOOL);
  if (spool[0] != '\0') {
    unlink(spool);
    backend_track_file(BACKEND_FILE_SPOOL, nullptr);
  }
  // CUPS tries the job again on these: what was decided must be found then.
  const bool tried_again = status != CUPS_BACKEND_OK && status != CUPS_BACKEND_CANCEL;
  if (b.ja == nullptr || b.handed_off || (tried_again && !os_stop_requested())) return;
  job_journal_remove(&b.journal);
  (void)held_job_manager_completejob(b.ja->job_id);
}

int cups_backend_main(int argc, char** argv) {
  if (argc == 1) {
    std::fputs(DISCOVERY_LINE, stdout);
    return CUPS_BACKEND_OK;
  }
  if (argc < 6 || argc > 7) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
    return CUPS_BACKEND_FAILED;
  }
  char exe[OS_PATH_BUFFER_SIZE] = {};
  (void)os_executable_path(exe, sizeof exe);
  CupsBackend b;
  backend_init(&b, argc, argv, exe);
  global_init();
  if (config_load_no_exit(exe, &global_ctx, nullptr, nullptr) != 0) {
    backend_status("ERROR", std::string("configuration spoolwarden.conf not found or unreadable "
                                        "next to ") +
                                exe + "; the job will be retried");
    return CUPS_BACKEND_RETRY;
  }
  backend_install_signal_handlers();
  if (geteuid() != 0) {
    LOG_ERROR("The backend runs as uid %d, not as root: install it owned by root with mode 0700 "
              "so that CUPS runs it as root",
              static_cast<int>(geteuid()));
  }
  if (!backend_prepare_spool_tree()) {
    backend_status("ERROR", "no private spool directory can be used; the job will be retried");
    return CUPS_BACKEND_RETRY;
  }
  b.ja.reset(analyzer_create_job_attribs());
  if (!b.ja) {
    backend_status("ERROR", "out of memory; the job will be retried");
    return CUPS_BACKEND_RETRY;
  }
  const int status = backend_process(b);
  backend_finish(b, status);
  LOG_DEBUG("Backend for job %s ends with status %d", argv[1], status);
  return status;
}
