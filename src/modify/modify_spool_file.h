// The spool-file modification: rewrites a job as the server's decision asks
// (watermark, forced duplex, grayscale or copies, compression) into a new
// file. The spool file is mapped read-only once; planners add edits to one
// replacement list, which is checked, replicated for inline copies,
// compressed and written out. The spool file itself is never changed.
//
// A modification that cannot carry the request out fails as a whole: the
// job then prints as it was, the output file is deleted and the user-facing
// reason goes to the application server's log (report_error_app_log).
#pragma once

#include <cstddef>
#include <cstdio>

struct JobAttribs;
struct watermark_params;

// Writes the rewritten job into a new temporary file (created exclusively in
// the configured temporary directory) whose path is left in `out_path`. 1 on
// success; 0 with `out_path` emptied and no file left behind.
[[nodiscard]] int modify_spool_file_to_temp_file(const watermark_params* request,
                                                 const JobAttribs* job, const char* in_path,
                                                 char* out_path, std::size_t size);

// The same into `out_path` (never the input itself); a failed output file is
// deleted.
[[nodiscard]] int modify_spool_file_new_file(const watermark_params* request,
                                             const JobAttribs* job, const char* in_path,
                                             const char* out_path);

// The same into an open stream. `*out_written` (when given) is 0 at the start
// and 1 once output has been written to the stream.
[[nodiscard]] int modify_spool_file_new_file_handle(const watermark_params* request,
                                                    const JobAttribs* job, const char* in_path,
                                                    std::FILE* out, int* out_written);

// Loads the administrator's custom token file once per process (its rules
// run over every modified job); 1 when a list is loaded.
[[nodiscard]] int modify_spool_file_init(const char* custom_token_path);
// Frees the loaded custom tokens.
void modify_spool_file_close();

// User-facing errors go to standard error instead of the server's log (the
// command-line tool).
void set_watermark_commandline_mode(int on);

// Sends "Did not modify spool file for job ..." with `message` to the
// server's log as a warning (standard error in command-line mode).
void report_error_app_log(const char* message, const JobAttribs* job, const char* document_name);
