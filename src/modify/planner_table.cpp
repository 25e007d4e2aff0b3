// One row per language whose page data a planner can edit. Languages
// without a row are still rewritten by the planners every job gets (inline
// copies, PJL, XPIF, CPCA); only their page data is left alone.
#include "modify/planner_table.h"

#include "foundation/ja_languages.h"
#include "modify/planner_canon_ufr.h"

namespace {

constexpr planner_row PLANNERS[] = {
    {LANG_CANON_UFR, plan_replacements_canon_ufr},
};

}  // namespace

std::span<const planner_row> planner_table() { return PLANNERS; }

replacement_planner get_planner_for_language(std::int64_t language) {
  for (const planner_row& row : PLANNERS) {
    if (row.language == language) return row.planner;
  }
  return nullptr;
}
