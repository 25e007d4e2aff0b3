// Seams of the job flow into its subsystems: the spool-file rewrite
// (src/modify) and the transform run for a redirect target (the target
// printer's transform scripts, src/transform).
#pragma once

#include <cstddef>

struct JobAttribs;
struct watermark_params;

// Rewrites the spool file as the decision asks into a new temporary file
// whose path goes to `new_path`. 1 when a rewritten file was written, else 0.
// The first call of a process loads the custom token file (CustomTokenFile).
[[nodiscard]] int job_hook_modify_spool_file_to_temp_file(const watermark_params* wm,
                                                          JobAttribs* ja, const char* spool_file,
                                                          char* new_path, std::size_t size);

// 1 when a transform applies to the job for the target printer and type.
[[nodiscard]] int job_hook_xvp_has_work_to_do(const JobAttribs* ja, const char* target_printer,
                                              const char* target_type);

// Runs the transform for the target; 1 with the path of the transformed file
// in `modified_file` (the caller releases it with job_hook_xvp_release), 0
// when the transform failed (logged).
[[nodiscard]] int job_hook_xvp_transform(JobAttribs* ja, const char* target_printer,
                                         const char* target_type, const char* spool_file,
                                         char* modified_file, std::size_t size);

// Deletes a transformed file made by job_hook_xvp_transform; empty is ignored.
void job_hook_xvp_release(const char* modified_file);
