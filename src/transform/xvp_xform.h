// Turning the edits a script collected into one ReplacementList over the
// job's spool file, and the entry points the job flow calls for a job that
// the application server redirects to another printer.
#pragma once

#include <cstdint>
#include <cstdio>

#include "transform/xvp_cook.h"

struct JobAttribs;
struct ReplacementList;
struct mapped_mem;

// All edits carry offsets of the unchanged spool file, so all of them, the
// job-header strip included, become requests of one list over that file;
// edits that overlap each other or the stripped bytes are refused (they
// cannot be placed), and the list is written out once, `n_repeats` times
// over. STRIP_HEADER does nothing for a language without a job header to
// strip. 1 with the list in *out (the caller frees it), 0 on failure.
[[nodiscard]] int insertion_list_apply(std::FILE* job_log, const insertion_list& edits,
                                       const mapped_mem* spool, std::int32_t n_repeats,
                                       int language, ReplacementList** out);
// One line per edit: name, offset, length and the text's first 40 bytes.
void insertion_list_print(std::FILE* job_log, const insertion_list& edits);

// 1 when the environment version is 11 or more and EnableTransforms is on.
[[nodiscard]] int xvp_is_enabled();
// 1 when the target printer may have transform work for the job: a script
// for the target, or a source directory for the job's printer, exists.
[[nodiscard]] int xvp_has_work_to_do(const JobAttribs* ja, const char* target_printer_name,
                                     const char* target_printer_type);
// Chooses the script (`script_path` or, when none is given, by the target),
// runs it over the spool file and hands the edits over as a list in *out
// (an empty list when no script applies; in test mode the list already has
// its modified file). `quiet` keeps the test-mode notice from the server's
// log. 1 on success; 0 leaves *out null and the spool file as it is.
[[nodiscard]] int xvp_generate_replacements(const JobAttribs* ja, const char* target_printer_name,
                                            const char* target_printer_type,
                                            const char* script_path, const char* spool_path,
                                            ReplacementList** out, int quiet);
