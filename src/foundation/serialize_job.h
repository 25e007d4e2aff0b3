// Job meta-data files: a job printed while the application server could not
// decide it, kept so that it can be reported later.
#pragma once

#include "foundation/ja.h"

// Version of the job meta-data files written.
inline constexpr int SERIALIZE_JOB_VERSION = 4;

// Writes "job-<printer>-<job id>-<yyyymmddThhmmss>.dat" into `dir`. 1 on success.
[[nodiscard]] int serialize_job_writeout(const char* dir, const JobAttribs* ja);
// Writes "job-<printer>-<job id>.dat" into `dir`. 1 on success.
[[nodiscard]] int serialize_job_writeout_notimestamp(const char* dir, const JobAttribs* ja);
// Clears the record to zero, then reads the file at `path` into it. 1 on success.
[[nodiscard]] int serialize_job_readin(const char* path, JobAttribs* ja);
// Reads the short-named file of the printer and job. 1 on success.
[[nodiscard]] int serialize_job_readin_notimestamp(const char* dir, const char* printer_name,
                                                   const char* job_id, JobAttribs* ja);
// Deletes every timestamped file of that printer and job in `dir`. 1 when at
// least one was deleted.
[[nodiscard]] int serialize_job_delete(const char* dir, const char* printer_name,
                                       const char* job_id);
// Deletes the short-named file of the printer and job. 1 on success.
[[nodiscard]] int serialize_job_delete_notimestamp(const char* dir, const char* printer_name,
                                                   const char* job_id);
