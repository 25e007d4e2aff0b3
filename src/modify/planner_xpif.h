// Jobs with an XPIF ticket at their start (Xerox drivers): duplex,
// grayscale and copies are rewritten in the ticket's elements.
#pragma once

#include <cstdint>

struct JobAttribs;
struct ReplacementList;
struct watermark_params;

// Replacement planner (modify/planner.h). A job without a ticket in its
// first 4096 bytes is left alone; a flag is set only for an element that
// was rewritten.
[[nodiscard]] int plan_replacements_xpif(const watermark_params* request, const JobAttribs* job,
                                         const std::uint8_t* data, std::uint64_t length,
                                         ReplacementList* list);
