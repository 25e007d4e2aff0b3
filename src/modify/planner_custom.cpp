// The loaded custom rules and the planner that runs them. Each run compiles
// the rules afresh and starts with empty match lists, so one process may
// serve several jobs.
#include "modify/planner_custom.h"

#include "foundation/ja.h"
#include "foundation/log.h"
#include "modify/custom_tokens.h"
#include "modify/replacement_regex.h"

namespace {

ReplaceTokenListPtr& loaded_list() {
  static ReplaceTokenListPtr list;
  return list;
}

}  // namespace

int planner_custom_init(const char* path) {
  if (loaded_list() != nullptr) return 1;
  loaded_list().reset(load_custom_tokens(path));
  return loaded_list() != nullptr ? 1 : 0;
}

std::int64_t planner_custom_num_planners() {
  return loaded_list() == nullptr ? -1 : replace_token_list_size(loaded_list().get());
}

int plan_replacements_custom(const watermark_params* /*request*/, const JobAttribs* job,
                             const std::uint8_t* data, std::uint64_t length,
                             ReplacementList* list) {
  if (loaded_list() == nullptr) {
    LOG_ERROR("custom token list not loaded");
    return 0;
  }
  if (job == nullptr) return 0;
  return replace_token_list_add_replacements(loaded_list().get(), data, length, job->language,
                                             job->printer_type, list);
}

void planner_custom_close() { loaded_list().reset(); }
