// The CUPS backend: installed in CUPS's backend directory (mode 0700, owned
// by root) and used through device URIs "spoolwarden:<real device URI>". It
// spools the job, has it decided by the job flow, hands the printer to the
// print monitor and runs the real backend on the spool file.
//
// CUPS conventions: no arguments prints the discovery line; otherwise the
// arguments are job id, user, title, copies, options and an optional file
// (standard input when absent); status lines go to standard error; the exit
// code tells CUPS what to do with the job. The job's data is never dropped:
// where it could not be sent the exit code makes CUPS keep the job and retry.
// Only data that can never be printed (compressed data that does not inflate
// or inflates beyond the limits) cancels the job.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/config.h"
#include "foundation/global.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/os_process.h"
#include "foundation/printer_settings.h"
#include "foundation/serialize_settings.h"
#include "foundation/util.h"
#include "job/backend_run.h"
#include "job/common.h"
#include "job/cups_intake.h"
#include "job/held_job_manager.h"

namespace {

// CUPS's backend exit codes.
enum CupsBackendStatus : int {
  CUPS_BACKEND_OK = 0,
  CUPS_BACKEND_FAILED = 1,
  CUPS_BACKEND_AUTH_REQUIRED = 2,
  CUPS_BACKEND_HOLD = 3,
  CUPS_BACKEND_STOP = 4,
  CUPS_BACKEND_CANCEL = 5,
  CUPS_BACKEND_RETRY = 6,
  CUPS_BACKEND_RETRY_CURRENT = 7,
};

constexpr char kScheme[] = "spoolwarden:";
constexpr std::size_t kPathSize = 4096;

// The spool file and its repeated copies, for the cleanup of the crash and
// cancel handlers.
char g_spool_path[kPathSize] = {};
char g_copies_path[kPathSize] = {};

void remove_spool_file_in_handler(void*) {
  if (g_spool_path[0] != '\0') unlink(g_spool_path);
  if (g_copies_path[0] != '\0') unlink(g_copies_path);
}

// CUPS cancels a job with SIGTERM. While the real backend runs it gets the
// signal and ends the job its own way; before that the job simply stops here.
void on_sigterm(int) {
  int child = common_run_sync_child_pid();
  if (child > 0) {
    kill(child, SIGTERM);
    return;
  }
  remove_spool_file_in_handler(nullptr);
  _exit(CUPS_BACKEND_OK);
}

void install_signal_handlers() {
  signal(SIGPIPE, SIG_IGN);
  struct sigaction action{};
  action.sa_handler = on_sigterm;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  common_setup_coredump_signals();
  common_setup_coredump_callback(remove_spool_file_in_handler, g_spool_path);
}

// A status line for CUPS.
void cups_status(const char* level, const std::string& text) {
  std::fprintf(stderr, "%s: spoolwarden: %s\n", level, text.c_str());
  std::fflush(stderr);
}

int parse_int(const char* text, int fallback) {
  int value = fallback;
  if (text == nullptr) return fallback;
  auto [end, ec] = std::from_chars(text, text + std::strlen(text), value);
  (void)end;
  return ec == std::errc() ? value : fallback;
}

// Everything about the job that the steps below share.
struct Backend {
  int argc = 0;
  char** argv = nullptr;
  std::string exe_dir;      // where this program lives
  std::string wrapped_uri;  // the real device URI
  std::string input_file;   // the file CUPS gave, empty for standard input
  int cups_copies = 1;
  JobAttribsPtr ja;
};

// This program's absolute path. CUPS passes the device URI as argv[0], so
// the path comes from the kernel.
std::string own_path() {
  char path[kPathSize] = {};
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  return std::string(path, static_cast<std::size_t>(n));
}

// The real device URI from DEVICE_URI (or argv[0]) without our scheme.
std::string wrapped_device_uri(const char* argv0) {
  const char* uri = std::getenv("DEVICE_URI");
  if (uri == nullptr || uri[0] == '\0') uri = argv0;
  std::string text = uri != nullptr ? uri : "";
  if (text.rfind(kScheme, 0) == 0) text.erase(0, sizeof kScheme - 1);
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

// Runs the real backend on `file` with `copies`. The exit code for CUPS.
int run_real_backend(const Backend& b, const char* file, int copies) {
  std::string scheme = b.wrapped_uri.substr(0, b.wrapped_uri.find(':'));
  if (scheme.empty() || scheme.find('/') != std::string::npos || scheme == "spoolwarden") {
    cups_status("ERROR", "device URI \"" + b.wrapped_uri + "\" names no backend");
    LOG_ERROR("Device URI \"%s\" names no backend", b.wrapped_uri.c_str());
    return CUPS_BACKEND_STOP;
  }
  std::string dir = global_ctx.cups_backend_dir[0] != '\0' ? global_ctx.cups_backend_dir : b.exe_dir;
  std::string program = dir + "/" + scheme;
  if (access(program.c_str(), X_OK) != 0) {
    cups_status("ERROR", "backend " + program + " cannot be run");
    LOG_ERROR("Backend %s cannot be run", program.c_str());
    return CUPS_BACKEND_STOP;
  }
  setenv("DEVICE_URI", b.wrapped_uri.c_str(), 1);
  std::string copies_text = std::to_string(copies);
  std::string uri = b.wrapped_uri;
  char* args[] = {uri.data(),       b.argv[1], b.argv[2], b.argv[3], copies_text.data(),
                  b.argv[5],        const_cast<char*>(file), nullptr};
  int status = 0;
  LOG_DEBUG("Running backend %s for job %s with %d copies", program.c_str(), b.argv[1], copies);
  if (common_run_sync(program.c_str(), args, &status) == 0) {
    // Ended by a signal: the data may not have reached the printer.
    cups_status("ERROR", "backend " + scheme + " ended abnormally; the job will be retried");
    return CUPS_BACKEND_RETRY;
  }
  return status;
}

int print_copies(const Backend& b, const char* file, int copies);

// A failure before the decision: print or hold, as the printer's failure
// mode says. `file` is what can be printed (empty: nothing could be kept).
int act_on_failure(const Backend& b, const char* file, const char* why) {
  LOG_ERROR("Job %s on printer %s: %s", b.argv[1], b.ja->printer_name, why);
  int mode = stored_failure_mode(b.ja->printer_name);
  if (mode == FAILURE_MODE_HOLD || file == nullptr || file[0] == '\0') {
    cups_status("INFO", std::string(why) + "; the job is held and retried");
    return CUPS_BACKEND_RETRY;
  }
  cups_status("INFO", std::string(why) + "; printing as the failure mode says");
  return print_copies(b, file, b.input_file.empty() ? 1 : b.cups_copies);
}

// The spool tree the job flow writes into (settings, replay data, held-job
// markers, locks), made on first use.
void make_spool_dirs() {
  const char* dirs[] = {global_ctx.spool_dir_path, global_ctx.settings_spool_dir_path,
                        global_ctx.jobreplay_spool_dir_path, global_ctx.heldjobs_spool_dir_path,
                        global_ctx.locks_spool_dir_path};
  for (const char* dir : dirs) {
    if (dir[0] != '\0' && os_create_dir_recursive(dir) == 0) {
      LOG_ERROR("Unable to create spool directory \"%s\"", dir);
    }
  }
}

void fill_job_record(Backend& b) {
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

// The copies still to be made from the spool file. Given standard input, the
// filters made the copies already. Given CUPS's file, the copies that were
// billed, unless the data itself carries them (the flow found or forced
// other copies than CUPS asked for).
int copies_to_make(const Backend& b) {
  if (b.input_file.empty()) return 1;
  if (b.ja->copy_count != b.cups_copies) return 1;
  return b.cups_copies;
}

// Prints `copies` copies of `file`. With CupsForceSingleCopy the copies are
// written one after another into one file that the real backend sends once;
// otherwise the real backend is asked for the copies.
int print_copies(const Backend& b, const char* file, int copies) {
  if (copies <= 1 || global_ctx.cups_force_single_copy == 0) {
    return run_real_backend(b, file, copies);
  }
  std::string repeated = std::string(file) + ".copies";
  util_safe_strncpy(g_copies_path, repeated.c_str(), sizeof g_copies_path);
  int rc = 0;
  if (os_file_copy_repeats(file, repeated.c_str(), copies) == 1) {
    rc = run_real_backend(b, repeated.c_str(), 1);
  } else {
    LOG_ERROR("Unable to write %d copies of job %s; asking the backend for them", copies,
              b.argv[1]);
    rc = run_real_backend(b, file, copies);
  }
  unlink(repeated.c_str());
  g_copies_path[0] = '\0';
  return rc;
}

// Compressed data that does not inflate, or inflates beyond the limits, is
// the same on every try: retrying would only inflate a hostile job again up
// to CUPS's retry limit, and the raw compressed bytes are no print data. The
// job is cancelled.
int cancel_unprintable(const Backend& b, CupsIntakeFailure failure) {
  const char* why = failure == CUPS_INTAKE_TOO_LARGE
                        ? "its compressed print data inflates beyond the size limits"
                        : "its compressed print data is corrupt or truncated";
  LOG_ERROR("Job %s on printer %s cannot be printed: %s; the job is cancelled", b.argv[1],
            b.ja->printer_name, why);
  cups_status("ERROR", std::string("the job cannot be printed: ") + why + "; the job is cancelled");
  return CUPS_BACKEND_CANCEL;
}

// Copies the incoming data into the spool file. 0 when done, else the exit
// code for CUPS.
int make_spool(Backend& b) {
  FILE* in = stdin;
  if (!b.input_file.empty()) in = std::fopen(b.input_file.c_str(), "rb");
  if (in == nullptr) {
    cups_status("ERROR", "cannot open " + b.input_file);
    return CUPS_BACKEND_RETRY;
  }
  char path[JA_TEXT_SIZE] = {};
  CupsIntakeFailure failure = CUPS_INTAKE_NO_FAILURE;
  int made = common_make_spool_file_ex(path, sizeof path, in, CUPS_INTAKE_DEFAULT_LIMITS, &failure);
  bool read_error = std::ferror(in) != 0;
  if (in != stdin) std::fclose(in);
  if (made == 1) {
    ja_set_spool_file(b.ja.get(), path);
    util_safe_strncpy(g_spool_path, path, sizeof g_spool_path);
    return 0;
  }
  if (cups_intake_failure_is_permanent(failure)) return cancel_unprintable(b, failure);
  if (!b.input_file.empty() && !read_error) {
    // CUPS's own file is intact: it can still be printed as it is.
    return act_on_failure(b, b.input_file.c_str(), "the spool file could not be made");
  }
  cups_status("ERROR", "the spool file could not be made; the job will be retried");
  return CUPS_BACKEND_RETRY;
}

int process(Backend& b) {
  fill_job_record(b);
  (void)held_job_manager_newjob(b.ja->job_id);
  int rc = make_spool(b);
  if (rc != 0 || g_spool_path[0] == '\0') return rc;
  char host[JA_TEXT_SIZE] = {};
  (void)common_extract_host_from_uri(b.wrapped_uri.c_str(), host, sizeof host);
  char n_up_text[16] = {};
  int n_up = common_extract_param_string(n_up_text, sizeof n_up_text, b.argv[5], "number-up", 0)
                 ? parse_int(n_up_text, 1)
                 : 1;
  JobAction action = JOB_ACTION_PRINT;
  char error[COMMON_ERROR_TEXT_SIZE] = {};
  if (common_process_job(b.ja.get(), n_up, host, 0, REPLACEMENT_NEW_FILE, &action,
                         common_cups_get_archive_spool, error, sizeof error) != 0) {
    return act_on_failure(b, ja_get_spool_file(b.ja.get()), "the job could not be decided");
  }
  // The flow may have replaced the spool file.
  util_safe_strncpy(g_spool_path, ja_get_spool_file(b.ja.get()), sizeof g_spool_path);
  if (action == JOB_ACTION_BACKGROUND) {
    g_spool_path[0] = '\0';  // the background child owns the job now
    return CUPS_BACKEND_OK;
  }
  if (action != JOB_ACTION_PRINT) {
    cups_status("INFO", "job not printed here (denied or redirected)");
    return CUPS_BACKEND_OK;
  }
  int delete_job = 0;
  (void)common_run_hwcheck(global_ctx.print_monitor_path, b.ja->job_id, b.ja->printer_name,
                           b.ja->paper_size_name, b.wrapped_uri.c_str(), &delete_job);
  if (delete_job != 0) {
    LOG_INFO("Print monitor asked to delete job %s on printer %s", b.ja->job_id,
             b.ja->printer_name);
    cups_status("INFO", "job deleted at the print monitor's request");
    return CUPS_BACKEND_OK;
  }
  return print_copies(b, ja_get_spool_file(b.ja.get()), copies_to_make(b));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) {
    std::printf("network spoolwarden \"Unknown\" \"spoolwarden accounting wrapper\"\n");
    return CUPS_BACKEND_OK;
  }
  if (argc < 6 || argc > 7) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
    return CUPS_BACKEND_FAILED;
  }
  Backend b;
  b.argc = argc;
  b.argv = argv;
  const std::string exe = own_path();
  b.exe_dir = exe.substr(0, exe.rfind('/'));
  b.wrapped_uri = wrapped_device_uri(argv[0]);
  if (argc == 7) b.input_file = argv[6];
  global_init();
  if (config_load_no_exit(exe.c_str(), &global_ctx, nullptr, nullptr) != 0) {
    cups_status("ERROR", "configuration spoolwarden.conf not found or unreadable next to " + exe +
                             "; the job will be retried");
    return CUPS_BACKEND_RETRY;
  }
  install_signal_handlers();
  make_spool_dirs();
  b.ja.reset(analyzer_create_job_attribs());
  if (!b.ja) {
    cups_status("ERROR", "out of memory; the job will be retried");
    return CUPS_BACKEND_RETRY;
  }
  int rc = process(b);
  if (g_spool_path[0] != '\0') {
    (void)held_job_manager_completejob(b.ja->job_id);
    unlink(g_spool_path);
    g_spool_path[0] = '\0';
  }
  LOG_DEBUG("Backend for job %s ends with status %d", argv[1], rc);
  return rc;
}
