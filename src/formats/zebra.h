// Zebra label jobs in two formats: one with a start-of-label record, one
// whose labels end with a P1 print command line.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = start-of-label records "DCLD" 01 00 "0" (also 0). Returns 0.
[[nodiscard]] int zebra_process_job(const std::uint8_t* data, std::uint64_t length,
                                    JobAttribs* ja);
// Pages = CR LF "P1" CR LF print commands (also 0); the EPL2, ZPL and CPCL
// jobs of CUPS's drivers by their print commands, with copies. Returns 0.
[[nodiscard]] int zebra2_process_job(const std::uint8_t* data, std::uint64_t length,
                                     JobAttribs* ja);

extern const AnalyzerEntry ZEBRA_ANALYZER;
extern const AnalyzerEntry ZEBRA2_ANALYZER;
