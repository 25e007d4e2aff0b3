// The PostScript format analyzer (language code 1) and its Canon-wrapped
// variant (code 2). PostScript carries no reliable page count of its own:
// the analyzer walks the whole spool file once, keeps a counter for every
// page-marking dialect (DSC comments, page status strings, showpage and its
// redefinitions, imposition comments of particular drivers) and decides at
// the end which to believe. The same walk collects copies, duplex, N-up,
// grayscale, paper and document name, feeds the colour-page detector, and
// scans a compressed prolog again after decoding it.
#pragma once

#include <cstdint>

#include "analysis/analyzer_dispatch.h"

struct JobAttribs;

// Analyses [data, data + length) into `ja` with colour-page detection when
// `detect_color` is set. 0 analysed (also when the time limit ran out, with
// what was found), -1 when the analysis could not run.
[[nodiscard]] int postscript_process_job(const std::uint8_t* data, std::uint64_t length,
                                         int detect_color, JobAttribs* ja);
// The same with the Canon-filtered flag, which lets the colour detector
// ignore colour of the empty text such jobs carry.
[[nodiscard]] int postscript_process_job_inner(const std::uint8_t* data, std::uint64_t length,
                                               int detect_color, JobAttribs* ja,
                                               int canon_filtered);
// PostScript interleaved with Canon CPCA blocks: the blocks are cut out into
// a temporary file, which is analysed as PostScript; the CPCA settings then
// give copies, grayscale and duplex. 0, or -1 on failure.
[[nodiscard]] int postscript_canon_process_job(const std::uint8_t* data, std::uint64_t length,
                                               int detect_color, JobAttribs* ja);

extern const AnalyzerEntry POSTSCRIPT_ANALYZER;
extern const AnalyzerEntry POSTSCRIPT_CANON_ANALYZER;
