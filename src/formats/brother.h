// Brother GDI jobs: page records after a job header of the same shape, and
// the QL label format with one start-of-page command per label.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Page-record codes that the dispatch rows pass as `match_code`.
inline constexpr int BROTHER_RECORD_HBP = 0x0B;
inline constexpr int BROTHER_RECORD_HBP2 = 0x0C;

// Pages = records ESC | 01 00 match_code, less the job header (-1 without
// any); the paper from the job header's byte 34. Returns 0.
[[nodiscard]] int brother_process_job(const std::uint8_t* data, std::uint64_t length,
                                      int match_code, JobAttribs* ja);
// Pages = ESC i z 8E 0B start-of-page commands (also 0). Returns 0.
[[nodiscard]] int brother2_process_job(const std::uint8_t* data, std::uint64_t length,
                                       JobAttribs* ja);

extern const AnalyzerEntry BROTHER_ANALYZER;
extern const AnalyzerEntry BROTHER2_ANALYZER;
