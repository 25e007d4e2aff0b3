// Canon BJ raster jobs (the inkjet command language of ESC ( x commands):
// pages from form feeds, grayscale and page size from the job's commands.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Counts the pages (form feeds outside the commands' parameters) and reads
// the monochrome mode (ESC ( c; a monochrome job has 0 colour pages, a
// colour one leaves them uncounted), duplex (ESC ( $) and the page size
// (ESC ( p, 1/60 inch, the length first). Returns 0.
[[nodiscard]] int canon_bj_process_job(const std::uint8_t* data, std::uint64_t length,
                                       JobAttribs* ja);

extern const AnalyzerEntry CANON_BJ_ANALYZER;
