// OKI HiperC (as foo2hiperc writes it): pages from the end-of-page records,
// plus one for the first page when the HiperC header says so; each page's
// colour from the planes its records open; then the PJL header.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Analyses a HiperC job. Returns 0.
[[nodiscard]] int hiperc_process_job(const std::uint8_t* data, std::uint64_t length,
                                     JobAttribs* ja);

extern const AnalyzerEntry HIPERC_ANALYZER;
