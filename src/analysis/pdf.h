// The PDF analyzer (language code 3): pages, page size, a driver's page
// attributes, inline copies, and the job settings of a PJL header and of a
// PWG print ticket in front of the PDF.
//
// Pages are the /Count of the page tree's root when one is found (the last
// one in the file, so that an incremental update's tree counts), else the
// page dictionaries; both are read in the file and inside its object
// streams, which are inflated one at a time (each at most
// PDF_OBJSTM_MAX_BYTES).
#pragma once

#include <cstdint>

#include "analysis/analyzer_dispatch.h"

struct JobAttribs;

// 0 analysed (also after the time limit ran out); -1 when no page was found
// (the job is never billed as no pages) or a pattern of the ticket step
// cannot be compiled.
[[nodiscard]] int pdf_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

extern const AnalyzerEntry PDF_ANALYZER;
