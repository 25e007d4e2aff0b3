// The TIFF6 analyzer (language code 27): TIFF images sent in a PJL job, each
// behind an "@PJL ENTER LANGUAGE=TIFF6" line.
#pragma once

#include <cstdint>

#include "analysis/analyzer_dispatch.h"

struct JobAttribs;

// Pages are the images of the TIFFs in the job (each TIFF's directory chain
// walked); a job whose images cannot be read counts its page ends (universal
// exits after the first nine bytes) instead. The page size comes from each
// image's size and resolution; copies from "@PJL DEFAULT COPIES" lines and
// the PJL header (paper sizes in 1/720 inch). 0 analysed (also after the
// time limit ran out), -1 when no page was found.
[[nodiscard]] int tiff6_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

extern const AnalyzerEntry TIFF6_ANALYZER;
