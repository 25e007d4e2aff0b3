// Lexmark SMART jobs: "$PJL" lines in the data give the pages (one
// "$PJL BITMAP START" a page), the copies and the paper name; then the
// job's PJL header.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Analyses a Lexmark SMART job. Returns 0.
[[nodiscard]] int lexmark_smart_process_job(const std::uint8_t* data, std::uint64_t length,
                                            JobAttribs* ja);

extern const AnalyzerEntry LEXMARK_SMART_ANALYZER;
