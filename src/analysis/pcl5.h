// The PCL5 analyzer (language codes 5 PCL5, 16 HP-GL/2 and 49 PCL3GUI) and
// the Canon-wrapped PCL5 analyzer (code 6): pages, colour pages, copies,
// duplex, grayscale and paper of a job, from one scan of its bytes and the
// job-level records around it (PJL header, XPIF ticket, PJL and Kyocera
// trailers, CPCA settings).
#pragma once

#include <cstdint>

#include "analysis/analyzer_dispatch.h"

struct JobAttribs;

// Analyses `length` bytes of PCL5 or HP-GL/2 at `data` into `ja`; colour
// pages are counted when `color` is non-zero. 0 when analysed (also when the
// time limit ran out: the job keeps what was found), -1 when the colour
// detector cannot be created. Colour pages stay unknown (-1, not grayscale)
// when the job's raster data cannot be judged.
[[nodiscard]] int pcl5_process_job(const std::uint8_t* data, std::uint64_t length, int color,
                                   JobAttribs* ja);

// The same for PCL5 wrapped in Canon CPCA packets: the print data is
// unpacked into a temporary file and analysed, and the CPCA copy count,
// grayscale and duplex records override what the PCL5 said. 0 when
// analysed or when the job is not CPCA-wrapped, -1 when it could not be
// unpacked, mapped or analysed.
[[nodiscard]] int pcl5_canon_process_job(const std::uint8_t* data, std::uint64_t length,
                                         int color, JobAttribs* ja);

extern const AnalyzerEntry PCL5_ANALYZER;
extern const AnalyzerEntry PCL5_CANON_ANALYZER;
