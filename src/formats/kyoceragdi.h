// Kyocera GDI jobs: one start-of-page record per page; the bytes before the
// first one carry the copies and the duplex mode.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = start-of-page records (also 0); copies = the byte before the first
// one (-1 without any); duplex when the byte 9 before it is A6. Returns 0.
[[nodiscard]] int kyocera_gdi_process_job(const std::uint8_t* data, std::uint64_t length,
                                          JobAttribs* ja);

extern const AnalyzerEntry KYOCERA_GDI_ANALYZER;
