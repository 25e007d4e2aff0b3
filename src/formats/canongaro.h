// Canon GARO wide-format jobs: the page count from the CPCA page-count
// record, copies and grayscale from the CPCA settings, then the PJL header
// (whose sizes are in tenths of a millimetre).
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Analyses a Canon GARO job. Returns 0.
[[nodiscard]] int canongaro_process_job(const std::uint8_t* data, std::uint64_t length,
                                        JobAttribs* ja);

extern const AnalyzerEntry CANONGARO_ANALYZER;
