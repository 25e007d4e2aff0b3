// The XPS analyzer (language code 61); the package's structure and the
// reading of print tickets, which the rewriting of tickets shares, are in
// scan/xps_package.h.
//
// A job's pages are counted as sheets: pages per sheet come from the job's
// print ticket and from page-level tickets that name one. With colour
// detection each page is judged by the colours of its paths, glyphs and
// brushes and, when none is coloured, by its JPEG, PNG and TIFF images
// (each image judged once per job).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analyzer_dispatch.h"
#include "scan/xps_package.h"
#include "scan/xps_zip.h"

// The format analyzer: 0 analysed (also after the time limit ran out);
// -1 when the package cannot be read, has no pages, or an image that a
// page uses is missing or broken (then pages are -1 as well).
[[nodiscard]] int xps_process_job(const std::uint8_t* data, std::uint64_t length, int color,
                                  JobAttribs* ja);

extern const AnalyzerEntry XPS_ANALYZER;
