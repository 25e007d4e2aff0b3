// FX360 page-language jobs: duplex and paper in the job's text head, pages
// from the page commands or the end-of-page commands with their copies.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Reads the header (duplex, paper) and the pages: "setp intray" commands, or
// "ep N" end-of-page commands, which also give the copies when all pages
// agree. Returns 0, or -1 when the header has neither setting or a pattern
// fails to compile.
[[nodiscard]] int fx360_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

extern const AnalyzerEntry FX360_ANALYZER;
