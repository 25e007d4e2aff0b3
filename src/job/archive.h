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
// Mode of an ArchiveDir that the backend makes (owned by root, group of the
// service account): the copy, made as the service account, creates the
// dated directories in it; other accounts cannot enter.
inline constexpr unsigned ARCHIVE_DIR_MODE = 0770;
// How long the job waits for the archive child to say whether it could make
// the job's directory. Making a few directories takes milliseconds; a child
// that has not answered by then (a hung network file system) is taken as
// not copying, so the job is never held up for long.
inline constexpr int ARCHIVE_READY_WAIT_MS = 10000;

// "%04d/%02d/%02d/%02d" of year, month, day and hour of `submit_time` into
// `buffer`; 1 when it fits, else 0.
int analyzer_build_archive_path(char* buffer, std::size_t size, const std::tm* submit_time);

// Starts the archive copy of `file` under the job's archive path and uid:
// makes ArchiveDir when it does not exist yet (as root: owned by root, the
// service account's group, ARCHIVE_DIR_MODE), opens `file` here, then forks
// a detached child that makes the job's directory as the account the copy
// runs as, says whether it could, copies and exits. 1 when the child made
// the job's directory and is copying into it: only then may the server be
// told the archive path. 0 when no copy is made (no ArchiveDir configured,
// archiving stopped, the file or the directory cannot be had; logged). The
// job goes on either way.
[[nodiscard]] int archive_copy_spool_to_archive_in_background(const char* file,
                                                              const JobAttribs* ja);

// Copies the open stream `in` (read from `file_path`, used in messages) into
// the archive: ArchiveDir/archive_path/job_uid/pdl.<ext of language or of the
// detected language when 0>, and notifies the server. 1 when the copy is in
// place, 0 otherwise (also when archiving is stopped).
int archive_copy_spool_to_archive(const char* file_path, FILE* in, const char* archive_path,
                                  const char* job_uid, int language);

// 1 when ".archiving-stopped" exists in ArchiveDir.
[[nodiscard]] int archive_does_stop_file_exist();

// 1 when a copy may be made: ArchiveDir is configured and archiving is not
// stopped; else 0, with the log lines that say why (`file_path` in them).
[[nodiscard]] int archive_is_wanted(const char* file_path);

// Makes ArchiveDir when it does not exist (as above); an existing directory
// is left as it is, whoever owns it. 1 when ArchiveDir is a directory.
[[nodiscard]] int archive_prepare_archive_dir();

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
