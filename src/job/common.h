// The job flow: one call per CUPS job that decides the job with the
// application server and carries the decision out (print, cancel, hold and
// ask again, rewrite the spool file, redirect to another queue), and tells the
// backend program what to do next.
#pragma once

#include <cstddef>

struct JobAttribs;
struct JobJournal;

// What the backend program does after common_process_job.
enum JobAction : int {
  // Print: the backend program runs the real CUPS backend on the job's spool
  // file (ja_get_spool_file; the flow may have replaced the path).
  JOB_ACTION_PRINT = 0,
  // Do not print here: denied, or printed elsewhere (redirected).
  JOB_ACTION_DONT_PRINT = 1,
  // This process is the parent of a detached background child that carries
  // the held job on. The parent ends without printing and must neither unlink,
  // truncate nor reuse the job's spool file, nor clean up anything of the
  // job: the child owns them from now on and finishes the job itself.
  JOB_ACTION_BACKGROUND = 2,
};

// How a rewritten spool file is put in place.
enum ReplacementStrategy : int {
  REPLACEMENT_NEW_FILE = 0,    // the job record points at the new file, the old one is unlinked
  REPLACEMENT_IN_PLACE = 1,    // the new file is renamed over the spool file
  REPLACEMENT_LEAVE_BOTH = 2,  // neither file is touched
};

// Room for the path that an archive spool callback may fill in.
inline constexpr std::size_t COMMON_ARCHIVE_SPOOL_SIZE = 1024;
// Room the caller should give for the error text.
inline constexpr std::size_t COMMON_ERROR_TEXT_SIZE = 256;

// Given the job record and a buffer of `size` bytes (COMMON_ARCHIVE_SPOOL_SIZE),
// may fill the buffer with the path of a file to archive instead of the spool
// file; non-zero when it did.
using ArchiveSpoolCallback = int (*)(JobAttribs* ja, char* buffer, std::size_t size);

// Error texts set by common_process_job.
inline constexpr const char COMMON_ERR_NO_MEMORY[] = "Unable to allocate memory";
inline constexpr const char COMMON_ERR_ANALYSIS[] = "Failed to process spool file";
inline constexpr const char COMMON_ERR_SERVER[] = "Call to application server failed";

// Decides and carries out one job. `ja` must have spool file, user name,
// printer name and server name set. `n_up` is the CUPS number-up value;
// `printer_address` (may be null or empty) is used to ask the printer for its
// description when no PPD names its model. With `background_on_hold` set the
// first HOLD forks the rest of the flow into a detached child (the parent gets
// JOB_ACTION_BACKGROUND). `replacement_strategy` is a ReplacementStrategy;
// `archive_spool` may be null. `error_text` (may be null) gets the empty text
// at entry and one of the COMMON_ERR_* texts when that happens; it is cut to
// `error_size`. 0, or -1 for bad input (including an invalid strategy, refused
// before any work), a failed fork or an allocation failure; *action is set
// whenever the result is 0.
[[nodiscard]] int common_process_job(JobAttribs* ja, int n_up, const char* printer_address,
                                     int background_on_hold, int replacement_strategy,
                                     JobAction* action, ArchiveSpoolCallback archive_spool,
                                     char* error_text, std::size_t error_size);

// common_process_job with a journal (job_journal.h, may be null) that keeps
// the job's decision for a CUPS retry of the same job: a decision an earlier
// run made is carried out again without asking the server or writing the
// job event line again; a decision call that an earlier run sent and never
// saw answered is not sent again (the printer's failure mode decides). A
// stop request (os_stop.h: the job was cancelled in CUPS) while the job is
// decided or held ends the flow with JOB_ACTION_DONT_PRINT after telling the
// server (cancelPrintJob).
[[nodiscard]] int common_process_job_ex(JobAttribs* ja, int n_up, const char* printer_address,
                                        int background_on_hold, int replacement_strategy,
                                        JobAction* action, ArchiveSpoolCallback archive_spool,
                                        char* error_text, std::size_t error_size,
                                        JobJournal* journal);

// 1 when an item of IgnoreDocumentNames or of the status-document names
// ("Supplies Levels", "Printer Control Command", "Report Status") occurs in
// `document_name` (caseless), else 0.
[[nodiscard]] int common_is_ignored_document_name(const char* document_name);
