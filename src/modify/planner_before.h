// Makers' settings outside PJL that must change before the PJL planner sees
// the header: the colour mode of Ricoh RPJL comments and the binding of NEC
// NPDL jobs.
#pragma once

#include <cstdint>

struct JobAttribs;
struct ReplacementList;
struct watermark_params;

// Replacement planner (modify/planner.h); needs the list's end of PJL. Sets
// the grayscale or duplex flag only for a setting it rewrote.
[[nodiscard]] int plan_replacements_before(const watermark_params* request, const JobAttribs* job,
                                           const std::uint8_t* data, std::uint64_t length,
                                           ReplacementList* list);
