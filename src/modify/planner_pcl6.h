// The PCL XL planner (language code 4): forces duplex by rewriting or adding
// each BeginPage's page-mode attribute, asks for gray by rewriting a
// BeginPage ColorSpace attribute where a job has one, and draws the
// watermark from a stream defined after each BeginSession and executed
// before each EndPage. Copies of PCL XL jobs are forced in the PJL header;
// pages that ask for copies of their own are then set to one copy.
//
// What it does not do: grayscale is never reported as carried out (PCL XL
// pages choose their colour space after BeginPage, and rewriting those
// choices would misread the pages' colour image data); a watermark needs a
// little-endian stream (the ")" binding that drivers write) and an EndPage
// for every page.
#pragma once

#include <cstdint>

struct watermark_params;
struct JobAttribs;
struct ReplacementList;

// The replacement planner: appends the edits to `list` and sets the
// msf_state flags of duplex and watermark when it carried them out. 1 on
// success; 0 (logged) when the data is not PCL XL that the item walk reads
// to its end, has no BeginSession or BeginPage, or a watermark cannot be
// placed on every page.
[[nodiscard]] int plan_replacements_pcl6(const watermark_params* request, const JobAttribs* job,
                                         const std::uint8_t* data, std::uint64_t length,
                                         ReplacementList* list);
