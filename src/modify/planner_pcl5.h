// The PCL5 planner (language codes 5 and 6, PCL5 and Canon PCL5): forces
// duplex and copies by rewriting the job's "&l" S and X commands on every
// page (adding them after the set-up commands when the set-up has none),
// forces monochrome printing, and draws the watermark from a macro run as an
// automatic overlay on every page.
//
// Commands are added after every set-up that a reset (ESC E) begins and a
// page follows, since a reset takes back what was chosen before it.
//
// What it does not do: a short-edge duplex job stays short-edge; a copy
// count it cannot read (not a whole number of up to 5 digits) is left and
// copies are not reported as carried out; a job without a reset or "&l"
// page set-up before its first page (PaintJet output) is left alone.
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
