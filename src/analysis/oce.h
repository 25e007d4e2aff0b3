// The Oce job wrapper (language code 60): a header of readable settings
// between "*OceJobBegin" and "*OceJobData", then the print job itself. The
// embedded job goes to the analyzer of its language; the header adds
// grayscale, copies and the job name.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

struct JobAttribs;

// Analyses the embedded job (PostScript, PCL XL or PCL5, with colour
// detection when `detect_color` is set) and reads the header. The record's
// language becomes the embedded one. Returns the embedded analyzer's
// result, 0 for an embedded language without an analyzer here, -1 when the
// wrapper's marks are missing or out of order.
[[nodiscard]] int oce_process_job(const std::uint8_t* data, std::uint64_t length, int detect_color,
                                  JobAttribs* ja);

extern const AnalyzerEntry OCE_ANALYZER;
