// The PCL XL analyzer (language codes 4 and 63, and the PCL XL stream
// behind the HBPL header of codes 59 and 66): pages, colour pages, copies,
// duplex and paper of a PCL XL job.
#pragma once

#include <cstdint>

#include "analysis/analyzer_dispatch.h"

struct JobAttribs;

// Analyses the whole PCL XL job `data` of `length` bytes into `ja`, with
// colour-page detection when `color` is 1. 0 when analysed (also after the
// ParseTimeout ran out, with what was found so far); -1 when the colour
// detector or the page list cannot be created.
[[nodiscard]] int pcl6_process_job(const std::uint8_t* data, std::uint64_t length, int color,
                                   JobAttribs* ja);

extern const AnalyzerEntry PCL6_ANALYZER;
