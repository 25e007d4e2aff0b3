// KIP wide-format jobs: HP-GL plots inside PJL, with the copies, the paper
// size and the orientation as text in the job's head.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = "@PJL ENTER LANGUAGE = KIPGL" lines; copies, page size (plotter
// units of 1/40 mm, swapped for reverse landscape) from the head. Returns 0,
// or -1 without a page or when a pattern fails to compile.
[[nodiscard]] int kip_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

extern const AnalyzerEntry KIP_ANALYZER;
