// Konica Minolta DI GDI jobs: one start-of-page marker per page.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = start-of-page markers (also 0); copies 1. Returns 0.
[[nodiscard]] int kmgdi_di_process_job(const std::uint8_t* data, std::uint64_t length,
                                       JobAttribs* ja);

extern const AnalyzerEntry KMGDI_DI_ANALYZER;
