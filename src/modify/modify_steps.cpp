// The driver's steps whose planners live in their own units: the PJL header
// and planner and the custom planner (the CPCA and XPS steps are in
// modify_steps_cpca.cpp), and the loading of the custom token file.
#include "foundation/log.h"
#include "modify/modify_spool_file.h"
#include "modify/modify_spool_file_internal.h"
#include "modify/planner_custom.h"
#include "modify/planner_pjl.h"
#include "scan/cpca.h"

std::int64_t modify_step_find_pjl_header(const std::uint8_t* data, std::uint64_t length,
                                         char* language_name, std::size_t size) {
  if (language_name != nullptr && size > 0) language_name[0] = '\0';
  return detect_pjl_header(data, length, language_name, size);
}

// Over the planners' view (one copy of a job the driver repeated). A Canon
// CPCA job is left to the CPCA planner: its settings packets carry copies,
// duplex and colour, the printer obeys them, and a QTY line in a PJL header
// (inside the packets or before them) would multiply the binder's copies.
int modify_step_plan_pjl(ModifyRun* run) {
  const std::uint8_t* data = run->mm->data;
  std::int64_t last_packet = -1;
  int valid = 0;
  if (cpca_get_packet_count(data, run->working_length, 0, &last_packet, &valid) >= 0) {
    LOG_DEBUG("PJL header of a Canon CPCA job: left to the CPCA planner");
    return 1;
  }
  return plan_replacements_pjl(&run->request, run->job, data, run->working_length,
                               run->list.get());
}

int modify_step_plan_custom(ModifyRun* run) {
  if (planner_custom_num_planners() < 0) return -1;
  return plan_replacements_custom(&run->request, run->job, run->mm->data, run->working_length,
                                  run->list.get());
}

int modify_spool_file_init(const char* custom_token_path) {
  return planner_custom_init(custom_token_path);
}

void modify_spool_file_close() { planner_custom_close(); }
