// The driver's steps whose planners live in their own units: the PJL header
// and planner, the CPCA planner with its packet fix-up, the custom planner
// and the XPS print-ticket rewrite. A step whose planner is not part of
// this build does what the job would need if it had nothing for that
// planner: no PJL header is seen, the job is not taken as CPCA, no custom
// tokens are loaded, and a zipped XPS job cannot be modified.
#include "foundation/log.h"
#include "modify/modify_spool_file_internal.h"

std::int64_t modify_step_find_pjl_header(const std::uint8_t*, std::uint64_t, char* language_name,
                                         std::size_t size) {
  if (language_name != nullptr && size > 0) language_name[0] = '\0';
  return -1;
}

int modify_step_plan_pjl(ModifyRun*) { return 1; }

int modify_step_plan_cpca(ModifyRun* run) {
  run->attribute_planners_allowed = true;
  run->is_cpca = false;
  return 1;
}

int modify_step_plan_custom(ModifyRun*) { return -1; }

int modify_step_adjust_packets(ModifyRun*) { return 1; }

int modify_step_check_cpca(ModifyRun*) { return 1; }

int modify_step_xps(const ModifyRun*, std::FILE*) {
  LOG_ERROR("XPS print tickets cannot be rewritten by this build");
  return 0;
}
