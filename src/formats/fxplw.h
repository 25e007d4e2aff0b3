// Fuji Xerox PLW jobs: pages from the EndPage texts, grayscale and copies
// from "@" settings, then the PJL header.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Analyses a PLW job. Returns 0.
[[nodiscard]] int fxplw_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

extern const AnalyzerEntry FXPLW_ANALYZER;
