// Xerox Phaser GDI jobs: the remote (SAG-GDI) stream with a fixed page
// header per page.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = page headers; grayscale; paper from the first page header; PJL
// duplex and tumble. Returns 0, or -1 when the count fails (data shorter
// than a page header).
[[nodiscard]] int xerox_gdi_remote_process_job(const std::uint8_t* data, std::uint64_t length,
                                               JobAttribs* ja);

extern const AnalyzerEntry XEROX_GDI_REMOTE_ANALYZER;
