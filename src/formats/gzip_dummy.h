// gzip-compressed spool data (language code 69): recognised, not analysed.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

struct JobAttribs;

// Logs that the job is ignored and sets nothing; always 0.
[[nodiscard]] int gzip_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

extern const AnalyzerEntry GZIP_ANALYZER;
