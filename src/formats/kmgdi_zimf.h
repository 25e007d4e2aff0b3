// Konica Minolta ZIMF-R jobs: an event stream of "key=value;" texts with
// an end-of-page event per page.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = "Event=EndOfPage" (also 0); copies 1; duplex from "Sides=TwoSided";
// the page size of the last MediaSize event; grayscale when a raster object
// has no colour planes. Returns 0.
[[nodiscard]] int kmgdi_zimf_process_job(const std::uint8_t* data, std::uint64_t length,
                                         JobAttribs* ja);

extern const AnalyzerEntry KMGDI_ZIMF_ANALYZER;
