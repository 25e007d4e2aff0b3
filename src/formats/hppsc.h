// HP PSC GDI jobs: pages between separator markers, settings from the PJL
// header.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = separator markers - 1 (left alone without any), then the inline
// PJL header step. Returns 0.
[[nodiscard]] int hp_gdi_psc_process_job(const std::uint8_t* data, std::uint64_t length,
                                         JobAttribs* ja);

extern const AnalyzerEntry HP_GDI_PSC_ANALYZER;
