// Xerox Phaser GDI jobs: the remote (SAG-GDI) stream with a fixed page
// header per page, and the locally rendered stream with its settings as
// text in the job's head.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = page headers; grayscale; paper from the first page header; PJL
// duplex and tumble. Returns 0, or -1 when the count fails (data shorter
// than a page header).
[[nodiscard]] int xerox_gdi_remote_process_job(const std::uint8_t* data, std::uint64_t length,
                                               JobAttribs* ja);
// Pages = page markers (also 0); copies at offset 36; grayscale; paper size
// and duplex from the head's text. Returns 0, or -1 for data under 100 bytes
// or a failed count or pattern.
[[nodiscard]] int xerox_gdi_local_process_job(const std::uint8_t* data, std::uint64_t length,
                                              JobAttribs* ja);

extern const AnalyzerEntry XEROX_GDI_REMOTE_ANALYZER;
extern const AnalyzerEntry XEROX_GDI_LOCAL_ANALYZER;
