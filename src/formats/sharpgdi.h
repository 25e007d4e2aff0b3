// Sharp GDI jobs: one page marker per page inside a PJL job.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = page markers (set when at least 1), then the inline PJL header step
// with sizes in millimetres; "Letter" when no paper is known. Returns 0.
[[nodiscard]] int sharp_gdi_process_job(const std::uint8_t* data, std::uint64_t length,
                                        JobAttribs* ja);

extern const AnalyzerEntry SHARP_GDI_ANALYZER;
