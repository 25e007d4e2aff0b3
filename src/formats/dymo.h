// Dymo label jobs: each label ends with ESC E (in the job of CUPS's driver,
// outside its raster lines).
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = ESC E form feeds (also 0). Returns 0.
[[nodiscard]] int dymo_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

extern const AnalyzerEntry DYMO_ANALYZER;
