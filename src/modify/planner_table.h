// Which replacement planner edits the page data of a language.
#pragma once

#include <cstdint>
#include <span>

#include "modify/planner.h"

struct planner_row {
  std::int64_t language;  // language code (foundation/ja_languages.h)
  replacement_planner planner;
};

// The rows, one per language that has a page-language planner.
[[nodiscard]] std::span<const planner_row> planner_table();

// The planner of `language`, or nullptr when it has none.
[[nodiscard]] replacement_planner get_planner_for_language(std::int64_t language);
