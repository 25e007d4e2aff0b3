// The planner that runs after the page-language planner: nothing to do yet;
// it keeps the place where edits that must see every other planner's go.
#pragma once

#include <cstdint>

struct JobAttribs;
struct ReplacementList;
struct watermark_params;

// Replacement planner (modify/planner.h); changes nothing and succeeds.
[[nodiscard]] int plan_replacements_after(const watermark_params* request, const JobAttribs* job,
                                          const std::uint8_t* data, std::uint64_t length,
                                          ReplacementList* list);
