// The PCL5 planner (language codes 5 and 6, PCL5 and Canon PCL5): forces
// duplex and copies by rewriting the job's "&l" S and X commands on every
// page (adding them after the set-up commands when the set-up has none),
// forces monochrome printing, and draws the watermark from a macro run as an
// automatic overlay on every page.
//
// What it does not do: a short-edge duplex job stays short-edge; a copy
// count it cannot read (not a whole number of up to 5 digits) is left and
// copies are not reported as carried out; commands are added once, after
// the first set-up, so a later reset (ESC E) in the middle of the job takes
// them back for the pages after it.
#pragma once

#include <cstdint>

struct watermark_params;
struct JobAttribs;
struct ReplacementList;

// The replacement planner: appends the edits to `list` and sets the
// msf_state flags of what it carried out. 1 on success; 0 (logged) when the
// job does not look like PCL5, a duplex value is not one digit, or an edit
// cannot be added. A job of 1000 bytes or more that holds "!R!SEM6;EXIT;"
// in its first 1000 bytes is left alone unless a watermark is asked for.
[[nodiscard]] int plan_replacements_pcl5(const watermark_params* request, const JobAttribs* job,
                                         const std::uint8_t* data, std::uint64_t length,
                                         ReplacementList* list);
