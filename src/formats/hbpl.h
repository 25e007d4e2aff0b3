// HBPL and PLW (Fuji Xerox host-based page languages, as foo2hbpl2 writes
// them): pages from EndPage texts, FX page markers or SD records (the page
// start behind an FX marker gives the page's colour and paper), a dot size
// from a dimension record, then the PJL trailer and header.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Analyses an HBPL or PLW job. Returns 0.
[[nodiscard]] int hbpl_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

extern const AnalyzerEntry HBPL_ANALYZER;
