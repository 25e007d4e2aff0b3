// Canon UFR jobs: forced duplex turns the simplex records of the job's
// header into duplex ones.
#pragma once

#include <cstdint>

struct JobAttribs;
struct ReplacementList;
struct watermark_params;

// Replacement planner (modify/planner.h). Only forced duplex is carried out;
// the other changes are left to the planners that run before it.
[[nodiscard]] int plan_replacements_canon_ufr(const watermark_params* request,
                                              const JobAttribs* job, const std::uint8_t* data,
                                              std::uint64_t length, ReplacementList* list);
