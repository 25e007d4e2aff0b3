#include "job/job_hooks.h"

#include <unistd.h>

int job_hook_modify_spool_file_to_temp_file(const watermark_params*, JobAttribs*, const char*,
                                            char* new_path, std::size_t size) {
  if (new_path != nullptr && size > 0) new_path[0] = '\0';
  return 0;
}

int job_hook_xvp_has_work_to_do(const JobAttribs*, const char*, const char*) { return 0; }

int job_hook_xvp_transform(JobAttribs*, const char*, const char*, const char*,
                           char* modified_file, std::size_t size) {
  if (modified_file != nullptr && size > 0) modified_file[0] = '\0';
  return 0;
}

void job_hook_xvp_release(const char* modified_file) {
  if (modified_file != nullptr && modified_file[0] != '\0') unlink(modified_file);
}
