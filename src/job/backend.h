// The CUPS backend program: installed as "spoolwarden" in CUPS's backend
// directory (owned by root, mode 0700, so that CUPS runs it as root) and used
// through device URIs "spoolwarden:<real device URI>". It spools the job, has
// it decided by the job flow, hands the printer to the print monitor and runs
// the real backend on the spool file with the privileges CUPS would give it.
//
// CUPS conventions: no arguments prints the discovery line; otherwise the
// arguments are job id, user, title, copies, options and an optional file
// (standard input when absent); status lines go to standard error; the exit
// status tells CUPS what to do with the job. The job's data is never
// dropped: where it could not be sent, the status makes CUPS keep the job and
// retry. Only data that can never be printed (compressed data that does not
// inflate or inflates beyond the limits) cancels the job.
#pragma once

#include <memory>
#include <string>

#include "foundation/ja.h"
#include "job/job_journal.h"

// CUPS's backend exit statuses.
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

// The scheme of our device URIs.
inline constexpr const char BACKEND_SCHEME[] = "spoolwarden:";
// Prefix of the file that holds forced single-copy repeats.
inline constexpr const char BACKEND_COPIES_PREFIX[] = "copies-";

struct CupsBackend;

// Runs the real backend on `file` asking for `copies`; the exit status for
// CUPS. backend_run_real does it; tests put a recorder in its place.
using RealBackendRunner = int (*)(const CupsBackend& backend, const char* file, int copies);

// Everything about the job that the backend's steps share.
struct CupsBackend {
  int argc = 0;
  char** argv = nullptr;        // job id, user, title, copies, options[, file]
  std::string exe_dir;          // where this program lives (the real backends' default directory)
  std::string wrapped_uri;      // the real device URI, without our scheme
  std::string input_file;       // the file CUPS gave; empty for standard input
  int cups_copies = 1;          // the copies CUPS asked for (argv[4], at least 1)
  JobAttribsPtr ja;
  JobJournal journal{};
  bool handed_off = false;      // a background child carries the job on
  RealBackendRunner run_real = nullptr;  // null: backend_run_real
};

// The whole program. The exit status for CUPS.
[[nodiscard]] int cups_backend_main(int argc, char** argv);

// Fills the backend from the program's arguments (argc 6 or 7) and its own
// path (`exe`); the environment gives DEVICE_URI.
void backend_init(CupsBackend* backend, int argc, char** argv, const char* exe);

// Spools, decides and prints one job whose configuration is loaded. The exit
// status for CUPS.
[[nodiscard]] int backend_process(CupsBackend& backend);

// What the run leaves behind: the spool file goes in every case; the job's
// state and held-job marker go once the job ended for good (`status` is not
// one on which CUPS tries the job again).
void backend_finish(CupsBackend& backend, int status);

// The copies still to make from the spool file for the copies that were
// billed: given standard input, the filters made them already (1); given
// CUPS's file, the copies CUPS asked for, unless the job flow found or forced
// other copies in the data itself (1).
[[nodiscard]] int backend_copies_to_make(const CupsBackend& backend);

// Prints `copies` copies of `file`. With CupsForceSingleCopy the copies are
// written one after another into a new private file that the real backend
// sends once; when that file cannot be written whole (a full disk), the real
// backend is asked for the copies instead. The exit status for CUPS.
[[nodiscard]] int backend_print_copies(const CupsBackend& backend, const char* file, int copies);

// A failure before a decision: prints `file` (may be empty: nothing that can
// be printed) as the printer's stored failure mode says, or has CUPS keep
// and retry the job (failure mode HOLD, nothing to print). The exit status.
[[nodiscard]] int backend_on_failure(const CupsBackend& backend, const char* file,
                                     const char* why);

// Runs the real backend named by the device URI's scheme (in CupsBackendDir,
// else beside this program) on `file`, as CUPS would: as root only when the
// program may not be executed by others, else as CUPS's own user (the file is
// then made readable for CUPS's group). The exit status for CUPS.
[[nodiscard]] int backend_run_real(const CupsBackend& backend, const char* file, int copies);

// A status line for CUPS on standard error, "<level>: spoolwarden: <text>";
// control bytes in the text are escaped (CUPS reads one message a line).
void backend_status(const char* level, const std::string& text);
