// XPP jobs: a settings line per page (duplex, N-up, paper, copies).
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = settings lines / N-up, rounded up; duplex, paper and copies from
// the first line; grayscale. Returns 0 (nothing set without a line).
[[nodiscard]] int xpp_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

extern const AnalyzerEntry XPP_ANALYZER;
