// The job uid that names a job to the application server: 40 lower-case
// hexadecimal digits of the SHA-1 digest of a text built from the job.
#pragma once

#include <cstddef>

struct JobAttribs;

// Longest text that is digested.
inline constexpr std::size_t JOB_UID_TEXT_MAX = 511;

// The digest of "%04d-%02d-%s-%s-%s-%s": submit year, day of the year / 7,
// job id, server name, printer name, user name. The uid the job flow uses.
// 1 when written (size at least 41), else 0 (buffer emptied when it has room).
int analyzer_build_job_uid_with_estimated_time(char* buffer, std::size_t size,
                                               const JobAttribs* ja);

// The digest of "%04d%02d%02dT%02d%02d%02d-%s-%s-%s-%s": the full submit
// time, job id, server name, printer name, user name.
int analyzer_build_job_uid(char* buffer, std::size_t size, const JobAttribs* ja);
