// Canon UFR, and LIPS under the same detection (language code 23): jobs
// usually in CPCA packets and headed by PJL. Canon's drivers signal pages in
// several ways depending on the model (LIPS end-of-page commands, CPCA
// impression counters and inline-copy records, model-specific page-end
// bytes); one walk counts them all, and a fixed order of preference then
// decides which gives the pages and which the copies.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

struct JobAttribs;

// Analyses the job into `ja`; 0, or -1 for a LIPS job without PJL whose
// commands cannot be followed.
[[nodiscard]] int canonufr_process_job(const std::uint8_t* data, std::uint64_t length,
                                       JobAttribs* ja);

extern const AnalyzerEntry CANONUFR_ANALYZER;
