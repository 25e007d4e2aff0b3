// The custom planner: runs the administrator's custom token file (see
// custom_tokens.h), loaded once per process, over every job that is
// modified. It sets no flag of what it changed: its rules are not tied to
// any of the requested changes.
#pragma once

#include <cstdint>

struct JobAttribs;
struct ReplacementList;
struct watermark_params;

// Loads the file at `path` unless a list is loaded already; 1 when a list
// is loaded, 0 when the file is missing or refused.
[[nodiscard]] int planner_custom_init(const char* path);
// Rules of the loaded list, -1 when none is loaded.
[[nodiscard]] std::int64_t planner_custom_num_planners();
// Replacement planner (the modification driver's contract). Fails without a
// loaded list, and when a required rule finds nothing (the list has no
// place to insert it).
[[nodiscard]] int plan_replacements_custom(const watermark_params* request, const JobAttribs* job,
                                           const std::uint8_t* data, std::uint64_t length,
                                           ReplacementList* list);
// Frees the loaded list.
void planner_custom_close();
