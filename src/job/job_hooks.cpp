#include "job/job_hooks.h"

#include <unistd.h>

#include "foundation/config.h"
#include "foundation/log.h"
#include "modify/modify_spool_file.h"
#include "modify/planner_custom.h"
#include "modify/replacement_list.h"
#include "transform/xvp_xform.h"

namespace {

// The administrator's rules (CustomTokenFile), read once per process at its
// first rewrite: a job that is not rewritten never needs them. A file that
// is missing, unreadable or refused leaves the process without custom rules
// (the loader says why); the rewrite goes on without them.
void load_custom_tokens_once() {
  static bool tried = false;
  if (tried) return;
  tried = true;
  if (modify_spool_file_init(global_ctx.custom_token_file) == 1) {
    LOG_DEBUG("Custom token file %s: %lld rules", global_ctx.custom_token_file,
              static_cast<long long>(planner_custom_num_planners()));
  }
}

}  // namespace

int job_hook_modify_spool_file_to_temp_file(const watermark_params* wm, JobAttribs* ja,
                                            const char* spool_file, char* new_path,
                                            std::size_t size) {
  load_custom_tokens_once();
  return modify_spool_file_to_temp_file(wm, ja, spool_file, new_path, size);
}

int job_hook_xvp_has_work_to_do(const JobAttribs* ja, const char* target_printer,
                                const char* target_type) {
  return xvp_has_work_to_do(ja, target_printer, target_type);
}

int job_hook_xvp_transform(JobAttribs* ja, const char* target_printer, const char* target_type,
                           const char* spool_file, char* modified_file, std::size_t size) {
  if (modified_file == nullptr || size == 0) return 0;
  modified_file[0] = '\0';
  ReplacementList* raw = nullptr;
  if (!xvp_generate_replacements(ja, target_printer, target_type, nullptr, spool_file, &raw, 0)) {
    LOG_ERROR("Could not transform spool file");
    return 0;
  }
  const ReplacementListPtr list(raw);
  // No script or no edits: the job goes out as it is, without a copy.
  if (!replacement_list_has_modified_file(list.get()) && replacement_list_size(list.get()) == 0 &&
      list->inline_copies == 1) {
    return 0;
  }
  LOG_DEBUG("XVP: applying replacement list on spool file: %s", spool_file);
  if (!replacement_list_force_apply(list.get(), spool_file)) {
    LOG_ERROR("Could not apply replacement list");
    return 0;
  }
  return replacement_list_take_modified_file(list.get(), modified_file, size);
}

void job_hook_xvp_release(const char* modified_file) {
  if (modified_file != nullptr && modified_file[0] != '\0') unlink(modified_file);
}
