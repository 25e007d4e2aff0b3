// The driver's steps for Canon CPCA jobs (the planner that unwraps them,
// the packet fix-up and the last check) and for XPS jobs (the print-ticket
// rewrite).
#include "foundation/log.h"
#include "modify/cpca_packet_structure.h"
#include "modify/cpca_rewrite_check.h"
#include "modify/modify_spool_file_internal.h"
#include "modify/planner_canon_cpca.h"
#include "modify/xps_modify.h"

int modify_step_plan_cpca(ModifyRun* run) {
  int allow = 1;
  int is_cpca = 0;
  const int ok = plan_replacements_canon_cpca(&run->request, run->job, run->mm.get(),
                                              run->list.get(), &allow, &is_cpca);
  run->attribute_planners_allowed = allow != 0;
  run->is_cpca = is_cpca != 0;
  return ok;
}

int modify_step_adjust_packets(ModifyRun* run) {
  return replacement_list_adjust_packet_structure(run->mm->data, run->mm->size, run->list.get());
}

int modify_step_check_cpca(ModifyRun* run) {
  return cpca_is_valid(run->mm->data, run->mm->size, run->list.get());
}

int modify_step_xps(const ModifyRun* run, std::FILE* out) {
  msf_state done{};
  const int written = xps_modify(&run->request, nullptr, run->mm->data, run->mm->size, out, &done);
  char not_done[MODIFY_NOT_DONE_SIZE];
  if (modify_changes_not_done(&run->request, done, not_done, sizeof not_done)) {
    LOG_ERROR("Requested changes not performed: %s", not_done);
  }
  return written;
}
