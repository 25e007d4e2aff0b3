// CUPS raster (language code 24): the raster stream that CUPS filters and
// Ghostscript's cups and pwgraster devices write, versions 1 to 3. Every
// page begins with a page header of the published layout; the first header
// gives the copies, the colour space, the page size and (version 3) the
// paper name; the pages are found by walking every page's header and
// raster (or, where the headers do not describe their raster, as the
// headers equal to the first one).
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

struct JobAttribs;

// Bytes of a page header behind the 4-byte sync word.
inline constexpr std::uint64_t CUPSRASTER_V1_HEADER = 420;
inline constexpr std::uint64_t CUPSRASTER_V2_HEADER = 1796;

// Analyses a CUPS raster stream: copies (NumCopies, at least 1), grayscale
// for the gray and black colour spaces, the page size from PageSize, the
// paper name of a version 3 header, and the pages; colour pages 0 when every
// page is in a gray colour space, else not counted. The header's numbers are
// read in the byte order of its sync word ("RaSt" big-endian, "tSaR"
// little-endian). 0, or -1 for an unknown sync word or data not longer than
// one header.
[[nodiscard]] int cupsraster_process_job(const std::uint8_t* data, std::uint64_t length,
                                         JobAttribs* ja);

extern const AnalyzerEntry CUPSRASTER_ANALYZER;
