// The driver's steps whose planners live in their own units: the PJL header
// and planner and the custom planner (the CPCA and XPS steps are in
// modify_steps_cpca.cpp). A step whose planner is not part of this build
// does what the job would need if it had nothing for that planner: no PJL
// header is seen and no custom tokens are loaded.
#include "foundation/log.h"
#include "modify/modify_spool_file_internal.h"

std::int64_t modify_step_find_pjl_header(const std::uint8_t*, std::uint64_t, char* language_name,
                                         std::size_t size) {
  if (language_name != nullptr && size > 0) language_name[0] = '\0';
  return -1;
}

int modify_step_plan_pjl(ModifyRun*) { return 1; }

int modify_step_plan_custom(ModifyRun*) { return -1; }

