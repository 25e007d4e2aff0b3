// One row per language whose page data a planner can edit. Languages
// without a row are still rewritten by the planners every job gets (inline
// copies, PJL, XPIF, CPCA); only their page data is left alone.
#include "modify/planner_table.h"

#include "foundation/ja_languages.h"
#include "modify/planner_canon_ufr.h"
#include "modify/planner_pcl5.h"
#include "modify/planner_pcl6.h"
#include "modify/planner_postscript.h"

namespace {

constexpr planner_row PLANNERS[] = {
    {LANG_POSTSCRIPT, plan_replacements_postscript},
    {LANG_POSTSCRIPT_CANON, plan_replacements_postscript},
    {LANG_PCL5, plan_replacements_pcl5},
    {LANG_CANON_UFR, plan_replacements_canon_ufr},
    {LANG_PCL5_CANON, plan_replacements_pcl5},
    {LANG_PCL6, plan_replacements_pcl6},
};

}  // namespace

std::span<const planner_row> planner_table() { return PLANNERS; }

replacement_planner get_planner_for_language(std::int64_t language) {
  for (const planner_row& row : PLANNERS) {
    if (row.language == language) return row.planner;
  }
  return nullptr;
}
