// Ricoh GDI jobs in two formats: the SP C231 stream with a footer per page
// that carries the page's colour, and the WSMF stream with settings at fixed
// offsets of its header.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages and colour pages from the page footers (also 0); copies and duplex
// from the header. Returns 0.
[[nodiscard]] int ricoh_gdi_sp_process_job(const std::uint8_t* data, std::uint64_t length,
                                           JobAttribs* ja);
// Pages = "WSMFBitBlt Data" end-of-page records (also 0); copies, duplex and
// paper from the header's fixed offsets when they are in the data. Returns 0.
[[nodiscard]] int ricoh_gdi_process_job(const std::uint8_t* data, std::uint64_t length,
                                        JobAttribs* ja);

extern const AnalyzerEntry RICOH_GDI_SP_ANALYZER;
extern const AnalyzerEntry RICOH_GDI_ANALYZER;
