// Konica Minolta GDI jobs: the GDI form with PJL pages (codes 32 and 33),
// the WSMC form whose PJL says everything (code 50) and the Bizhub form
// with start-of-page and copy records (code 35).
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// A Ricoh DDST job (formats/ddst.h) or a Minolta command stream
// (formats/kmgdi_commands.h) is read by its own walk. Otherwise pages from
// "@PJL SET PAPER=" lines before each IMAGELEN header, else from the
// IMAGELEN headers, else from runs of zero bytes; then the PJL header when
// the job has PJL lines. Returns 0.
[[nodiscard]] int kmgdi_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);
// Copies 1, the PJL header and the PJL trailer's pages, once a "@PJL" line
// is found; nothing without one. Returns 0.
[[nodiscard]] int kmgdi_wsmc_process_job(const std::uint8_t* data, std::uint64_t length,
                                         JobAttribs* ja);
// Pages from start-of-page records, the size from the first, copies from
// the copy record (-1 without one). Returns 0.
[[nodiscard]] int kmgdi_bizhub_process_job(const std::uint8_t* data, std::uint64_t length,
                                           JobAttribs* ja);

extern const AnalyzerEntry KMGDI_ANALYZER;
extern const AnalyzerEntry KMGDI_WSMC_ANALYZER;
extern const AnalyzerEntry KMGDI_BIZHUB_ANALYZER;
