// Jobs wrapped with the Windows DEVMODE of the driver (the ZIMF wrapper):
// pages from the page records, copies, colour mode and duplex from the
// DEVMODE.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = page records (also 0); copies (when larger), grayscale and duplex
// from the DEVMODE, or copies 1, colour and simplex when it cannot be
// reached. Returns 0.
[[nodiscard]] int zimf_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

extern const AnalyzerEntry ZIMF_ANALYZER;
