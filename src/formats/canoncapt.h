// Canon CAPT jobs: pages from the page records, copies, duplex and the paper
// name from the job header.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = page records (also 0); copies, duplex and the paper name from the
// job header, each read only when its bytes are in the data. Returns 0.
[[nodiscard]] int canoncapt_process_job(const std::uint8_t* data, std::uint64_t length,
                                        JobAttribs* ja);

extern const AnalyzerEntry CANONCAPT_ANALYZER;
