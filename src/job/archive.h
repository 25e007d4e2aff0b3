// Archive copies of a job's print data: ArchiveDir/<yyyy/mm/dd/hh>/<job uid>/
// pdl.<extension>, written as tmp-pdl.prn and renamed, in a detached
// background process; the server is told when a copy is complete. A file
// ".archiving-stopped" directly in ArchiveDir stops all archiving.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>

struct JobAttribs;

inline constexpr const char ARCHIVE_STOP_FILE[] = ".archiving-stopped";
inline constexpr const char ARCHIVE_TMP_PDL_NAME[] = "tmp-pdl.prn";
// Umask of the archive child: archived print data is readable only by the
// service account, its group and root.
inline constexpr unsigned ARCHIVE_UMASK = 027;

// "%04d/%02d/%02d/%02d" of year, month, day and hour of `submit_time` into
// `buffer`; 1 when it fits, else 0.
int analyzer_build_archive_path(char* buffer, std::size_t size, const std::tm* submit_time);

// Opens `file` here, then forks a detached child that copies it to the
// archive under the job's archive path and uid and exits. Failures are only
// logged; the job goes on either way.
void archive_copy_spool_to_archive_in_background(const char* file, const JobAttribs* ja);

// Copies the open stream `in` (read from `file_path`, used in messages) into
// the archive: ArchiveDir/archive_path/job_uid/pdl.<ext of language or of the
// detected language when 0>, and notifies the server. 1 when the copy is in
// place, 0 otherwise (also when archiving is stopped).
int archive_copy_spool_to_archive(const char* file_path, FILE* in, const char* archive_path,
                                  const char* job_uid, int language);

// 1 when ".archiving-stopped" exists in ArchiveDir.
[[nodiscard]] int archive_does_stop_file_exist();

// ArchiveDir/archive_path/job_uid, .../tmp-pdl.prn and .../pdl.<extension>,
// each part joined with exactly one "/". 1 when the path fits.
[[nodiscard]] int archive_build_archive_job_dir(char* buffer, std::size_t size,
                                                const char* archive_path, const char* job_uid);
[[nodiscard]] int archive_build_archive_tmp_pdl_path(char* buffer, std::size_t size,
                                                     const char* archive_path,
                                                     const char* job_uid);
[[nodiscard]] int archive_build_achive_pdl_path(char* buffer, std::size_t size,
                                                const char* archive_path, const char* job_uid,
                                                const char* extension);
