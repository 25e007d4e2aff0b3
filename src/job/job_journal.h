// What one run of the backend leaves for the next run of the same CUPS job,
// so that a job CUPS retries (the printer reset the connection, cupsd was
// restarted) is not recorded by the server a second time: the job uid and
// submit time, how far the decision had come, and the decision itself.
//
// A journal file "<printer>-<job id>.state" in the private directory
// "<SpoolDir>/jobstate" belongs to one CUPS job: it is only used again when
// the job's fingerprint (job id, printer, user, title and the identity of the
// submitted data) is the same, and it is removed when the job ends for good.
// Results follow the job flow's convention: 0 for success, -1 for failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "foundation/ja.h"
#include "foundation/os_file.h"
#include "server/rpc_process_job.h"

// How far the decision of the job had come.
enum JobJournalPhase : int {
  JOURNAL_NONE = 0,     // nothing known: a new job
  JOURNAL_ASKING = 1,   // a decision call was about to be sent and got no answer
  JOURNAL_HELD = 2,     // the server asked to hold the job and ask again
  JOURNAL_DECIDED = 3,  // the final decision is known
};

// The journal's directory inside SpoolDir, and its mode (root only).
inline constexpr const char JOB_JOURNAL_DIR_NAME[] = "jobstate";
inline constexpr unsigned JOB_JOURNAL_DIR_MODE = 0700;
// Entries older than this belong to jobs that CUPS gave up on.
inline constexpr std::int64_t JOB_JOURNAL_MAX_AGE_SECS = 7 * 24 * 3600;

struct JobJournal {
  char path[OS_PATH_BUFFER_SIZE];  // empty: no journal is kept
  char fingerprint[JA_UID_SIZE];   // of the job of this run
  int found_phase;                 // JobJournalPhase of an earlier run of this job
  char job_uid[JA_UID_SIZE];       // from the earlier run (found_phase > NONE)
  std::tm submit_time;
  ProcessJobResponse response;     // the decision (found_phase == DECIDED)
  std::int32_t pages;              // the job record's after the earlier merge
  std::int32_t copies;
};

// Opens the journal of the job in `dir`: computes the fingerprint from the
// record and `data_identity` (a text that names the submitted data, such as
// the size, time and inode of CUPS's data file) and reads what an earlier
// run of the same job left. An entry of another job under the same name
// (a job id used again) is dropped. 0; -1 when no journal can be kept (then
// `journal->path` is empty and the job goes on without one).
[[nodiscard]] int job_journal_open(JobJournal* journal, const char* dir, const JobAttribs* ja,
                                   const char* data_identity);

// Writes the phase with the job's uid, submit time, pages and copies, and
// for JOURNAL_DECIDED the decision. Written whole or not at all. 0 or -1.
[[nodiscard]] int job_journal_record(JobJournal* journal, JobJournalPhase phase,
                                     const JobAttribs* ja, const ProcessJobResponse* response);

// Puts what an earlier run recorded into the job record: job uid, submit
// time and, for a decided job, pages and copies.
void job_journal_restore(const JobJournal* journal, JobAttribs* ja);

// Removes the journal file (the job ended for good). Nothing without a path.
void job_journal_remove(JobJournal* journal);

// Deletes journal files in `dir` older than `max_age_secs`; the count.
int job_journal_prune(const char* dir, std::int64_t max_age_secs);

// "size:mtime:inode" of the file at `path` into `buffer`: the identity of
// data that CUPS keeps unchanged while it retries a job. 1, or 0 when the
// file cannot be examined.
[[nodiscard]] int job_journal_file_identity(const char* path, char* buffer, std::size_t size);
// "size:digest" of the data in the file at `path`, the digest taken over its
// first and last JOB_JOURNAL_DIGEST_SPAN bytes (a whole pass would cost a
// second read of a large job). 1, or 0 when the file cannot be read.
inline constexpr std::size_t JOB_JOURNAL_DIGEST_SPAN = 64 * 1024;
[[nodiscard]] int job_journal_data_identity(const char* path, char* buffer, std::size_t size);
