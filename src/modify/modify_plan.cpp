// The planners in their fixed order over one mapped job, then the steps that
// turn their edits into the final list: packet fix-up, inline replication,
// compression and the checks.
#include <cinttypes>
#include <cstring>

#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/util.h"
#include "modify/modify_spool_file_internal.h"
#include "modify/planner_after.h"
#include "modify/planner_before.h"
#include "modify/planner_inline_copies.h"
#include "modify/planner_table.h"
#include "modify/planner_xpif.h"
#include "server/rpc_process_job.h"

namespace {

const std::uint8_t* data_of(const ModifyRun* run) { return run->mm->data; }

bool run_planner(ModifyRun* run, replacement_planner planner, const char* failure) {
  if (planner(&run->request, run->job, data_of(run), run->working_length, run->list.get()) == 1) {
    return true;
  }
  LOG_ERROR("%s", failure);
  return false;
}

bool create_list(ModifyRun* run) {
  char language_name[REPLACEMENT_LANGUAGE_NAME_MAX + 1];
  const std::int64_t end_of_pjl = modify_step_find_pjl_header(
      data_of(run), run->mm->size, language_name, sizeof language_name);
  LOG_DEBUG(" Job '%s' has end_of_pjl=%" PRId64 ", language_name='%s'", run->job->job_id,
            end_of_pjl, language_name);
  run->list.reset(replacement_list_create(run->mm->size, end_of_pjl, language_name));
  run->working_length = run->mm->size;
  return run->list != nullptr;
}

// The planners that edit what the job asks of the printer, whatever its
// page language: copies repeated in the file, makers' headers, PJL, XPIF.
bool plan_job_level(ModifyRun* run) {
  ReplacementList* list = run->list.get();
  run->working_length =
      plan_replacements_inline_copies(&run->request, run->job, run->mm.get(), list);
  if (run->working_length == 0) {
    LOG_ERROR("Replacement planner plan_replacements_inline_copies failed");
    return false;
  }
  if (!run_planner(run, plan_replacements_before, "Replacement plan_replacements_before failed")) {
    return false;
  }
  replacement_list_sort(list);
  if (replacement_list_get_end_of_pjl(list) >= 0 && !modify_step_plan_pjl(run)) {
    LOG_ERROR("Replacement planner plan_replacements_pjl failed");
    return false;
  }
  if (!run_planner(run, plan_replacements_xpif,
                   "Replacement planner plan_replacements_xpif failed")) {
    return false;
  }
  replacement_list_sort(list);
  if (!modify_step_plan_cpca(run)) {
    LOG_ERROR("Replacement planner plan_replacements_canon_cpca failed");
    return false;
  }
  // Unwrapping may have re-pointed the mapping; the list says what its
  // offsets refer to now.
  run->working_length = replacement_list_get_buffer_len(list);
  replacement_list_sort(list);
  return true;
}

// The custom and page-language planners, unless CPCA packets forbid them.
bool plan_page_level(ModifyRun* run) {
  ReplacementList* list = run->list.get();
  if (!run->attribute_planners_allowed) {
    replacement_list_sort(list);
    LOG_DEBUG("No custom or language replacement planner was run");
    run->limited_by_packets = true;
    return true;
  }
  const int custom = modify_step_plan_custom(run);
  if (custom == 0) {
    LOG_ERROR("Custom planner failed");
    return false;
  }
  const replacement_planner planner = get_planner_for_language(run->language);
  const char* name = analyzer_lang_to_string(run->language);
  if (planner == nullptr) {
    LOG_DEBUG("No replacement planner for language %s", name);
  } else if (planner(&run->request, run->job, data_of(run), run->working_length, list) != 1) {
    LOG_ERROR("Replacement planner for language %s failed", name);
    return false;
  }
  replacement_list_sort(list);
  if (!run_planner(run, plan_replacements_after, "Replacement plan_replacements_after failed")) {
    return false;
  }
  replacement_list_sort(list);
  if (custom < 0 && planner == nullptr) {
    LOG_DEBUG("No custom or language replacement planner was run");
  }
  return true;
}

// Each change asked for is checked on its own: one planner carrying out
// duplex says nothing about the watermark. What was not done is named.
void check_changes_done(ModifyRun* run) {
  if (!modify_spool_file_has_work_to_do(&run->request, 1)) return;
  msf_state state{};
  get_msf_state(run->list.get(), &state);
  char not_done[MODIFY_NOT_DONE_SIZE];
  if (!modify_changes_not_done(&run->request, state, not_done, sizeof not_done)) return;
  if (!run->attribute_planners_allowed) {
    LOG_DEBUG("CPCA packet boundaries prevented attribute modification");
  } else if (!state.watermark && !state.duplex && !state.grayscale && !state.copies) {
    LOG_ERROR("No attribute modifications performed.");
  }
  LOG_ERROR("Requested changes not performed: %s", not_done);
  util_safe_strncpy(run->not_done, not_done, sizeof run->not_done);
}

bool finish_list(ModifyRun* run) {
  ReplacementList* list = run->list.get();
  if (!modify_step_adjust_packets(run)) {
    LOG_ERROR("replacement_list_adjust_packet_structure failed");
    return false;
  }
  if (!replacement_list_replicate_inline(run->mm.get(), list)) {
    LOG_ERROR("replacement_list_replicate_inline failed");
    return false;
  }
  if (!replacement_list_post_process(&run->request, list, run->in_path)) {
    LOG_ERROR("replacement_list_post_process failed");
    return false;
  }
  replacement_list_log(list, "Final ReplacementList");
  replacement_list_sort(list);
  if (!replacement_list_is_valid(data_of(run), run->mm->size, list)) {
    LOG_ERROR("Invalid ReplacementList");
    return false;
  }
  if (run->is_cpca && !modify_step_check_cpca(run)) {
    LOG_ERROR("Invalid CPCA");
    return false;
  }
  return true;
}

// A list that changes nothing is a failure, unless packets left nothing to
// change: the job is then written as it was.
bool has_changes(ModifyRun* run) {
  const ReplacementList* list = run->list.get();
  if (replacement_list_size(list) > 0 || replacement_list_is_modified_inline_copies(list) ||
      replacement_list_is_post_processed(list)) {
    return true;
  }
  if (run->limited_by_packets) {
    LOG_DEBUG("Did not make any replacements in spool file. modification_limited");
    return true;
  }
  modify_write_error(run, "Did not make any replacements in spool file");
  LOG_ERROR("Did not make any replacements in spool file");
  return false;
}

}  // namespace

int modify_plan(ModifyRun* run) {
  if (!create_list(run)) {
    LOG_ERROR("Could not create replacement_list");
    return 0;
  }
  if (!plan_job_level(run) || !plan_page_level(run)) {
    run->list.reset();
    LOG_ERROR("Could not create replacement_list");
    return 0;
  }
  check_changes_done(run);
  return finish_list(run) && has_changes(run) ? 1 : 0;
}
