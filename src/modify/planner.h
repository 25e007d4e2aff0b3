// The contract of a replacement planner: it reads the request, the job and
// the spool bytes, appends its edits to the list and sets the msf_state flags
// of the changes it carried out (reading them first, storing them back at
// the end). 1 on success, 0 on failure (logged where it is found).
#pragma once

#include <cstdint>

struct JobAttribs;
struct ReplacementList;
struct watermark_params;

using replacement_planner = int (*)(const watermark_params* request, const JobAttribs* job,
                                    const std::uint8_t* data, std::uint64_t length,
                                    ReplacementList* list);
