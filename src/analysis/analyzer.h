// The analysis driver: maps a spool file, detects its language, runs the one
// format analyzer that the language selects, takes the owner's name from the
// print data when configured, and merges an analysis record into the job
// record that the spooler described.
#pragma once

#include <cstdint>

struct JobAttribs;

// Results of the driver besides the analyzers' own negative values.
inline constexpr int ANALYZER_FAILED = -1;
// The language was not recognised.
inline constexpr int ANALYZER_UNKNOWN_LANGUAGE = -2;

// Bytes of the spool file's head and tail written to the debug log.
inline constexpr std::uint64_t ANALYZER_LOG_SPOOL_BYTES = 100;

// Analyses the file at `path` into `ja` (which must exist) and then, whatever
// the result, runs saved_spool_save_if_rogue_job. `color` is the printer's
// colour-detection flag. 0 when analysed, negative on failure (the record
// keeps what was set before the failure).
[[nodiscard]] int analyzer_process_spool_file(const char* path, int color, JobAttribs* ja);

// The one road of every analysis and file detection: opens and maps the
// file, sets the record's spool path (when empty), size and language; with
// `detect_only` set stops there (result 0), otherwise dispatches to the
// language's analyzer. 0 or negative: -1 no path, file not openable or
// mappable, no analyzer available; -2 unknown language; an analyzer's own
// negative result.
[[nodiscard]] int analyzer_process_spool_file_internal(const char* path, int color,
                                                       int detect_only, JobAttribs* ja);

// Language code of the file at `path`, through the driver in detect-only
// mode; 0 when the file cannot be opened or mapped.
[[nodiscard]] int analyzer_lang_detect_spool_file(const char* path);

// Merges the analysis record `a` into the job record `j`. With `keep` set the
// spooler's duplex, tumble and grayscale flags stay set; `n_up` of 2 or more
// turns pages into sheets. Neither record may be null.
void analyzer_splice_job_attribs(JobAttribs* j, const JobAttribs* a, int color, int keep,
                                 int n_up);

// Normalises one record: the merge of `ja` into a fresh record (keep 1, no
// n-up) is copied back over `ja`.
void analyzer_self_splice_job_attribs(JobAttribs* ja, int color);

// With debug logging, writes "log_spool_bytes: <title>: " and each of the
// `count` bytes as two lower-case hexadecimal digits and a comma.
void log_spool_bytes(const char* title, const std::uint8_t* bytes, std::uint64_t count);
