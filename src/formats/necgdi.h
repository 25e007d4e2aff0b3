// NEC NPDL jobs behind "@PJL ENTER LANGUAGE=NPDL": pages from the
// start-of-page commands, paper and duplex from the NPDL header.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = FS Z CR FF FS commands (also 0); the paper (a name or a custom
// size in tenths of a millimetre) and duplex from the NPDL header;
// grayscale. Returns 0, or -1 when the NPDL header cannot be found.
[[nodiscard]] int nec_gdi_process_job(const std::uint8_t* data, std::uint64_t length,
                                      JobAttribs* ja);

extern const AnalyzerEntry NEC_GDI_ANALYZER;
