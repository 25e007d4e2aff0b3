// Panasonic GDI jobs in two formats: pages from page records, copies,
// duplex and paper from their records or PJL lines.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = page records that are not a fake end of page (set when at least
// 1); copies, duplex and paper records; "Letter" when no paper is known.
// Returns 0.
[[nodiscard]] int panasonic_gdi_process_job(const std::uint8_t* data, std::uint64_t length,
                                            JobAttribs* ja);
// Pages = ESC && 1 R ESC records (set when at least 1); duplex and copies
// from PJL lines in the first 2048 bytes; "Letter" when no paper is known.
// Returns 0.
[[nodiscard]] int panasonic2_gdi_process_job(const std::uint8_t* data, std::uint64_t length,
                                             JobAttribs* ja);

extern const AnalyzerEntry PANASONIC_GDI_ANALYZER;
extern const AnalyzerEntry PANASONIC2_GDI_ANALYZER;
