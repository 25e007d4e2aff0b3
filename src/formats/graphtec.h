// Graphtec cutting-plotter jobs: the plot area in the job's first command
// line, one page a job.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// One page of the size in the header (tenths of a millimetre), turned when
// it is plainly landscape; nothing when the header does not match or the
// size is out of range. Returns 0.
[[nodiscard]] int graphtec_process_job(const std::uint8_t* data, std::uint64_t length,
                                       JobAttribs* ja);

extern const AnalyzerEntry GRAPHTEC_ANALYZER;
