// The 2184-byte header that locally rendered HBPL jobs (language codes 59
// and 66) put in front of their PCL XL data: paper, copies and duplex. The
// driver analyses the PCL XL behind it first and reads the header after.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

struct JobAttribs;

// Bytes of the header; the PCL XL stream begins behind them.
inline constexpr std::uint64_t HBPL_LOCAL_HEADER_SIZE = 2184;

// Reads the header in `layout` 1 (code 66) or 0 (code 59) into `ja`. 0, or
// -1 when the data is not longer than the header.
[[nodiscard]] int hbpl_local_process_job(const std::uint8_t* data, std::uint64_t length,
                                         int layout, JobAttribs* ja);

extern const AnalyzerEntry HBPL_LOCAL_ANALYZER;
