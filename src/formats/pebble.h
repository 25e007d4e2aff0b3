// Pebble jobs: one ESC "Pr;" per page.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = ESC "Pr;" start-of-page commands (also 0). Returns 0.
[[nodiscard]] int pebble_process_job(const std::uint8_t* data, std::uint64_t length,
                                     JobAttribs* ja);

extern const AnalyzerEntry PEBBLE_ANALYZER;
