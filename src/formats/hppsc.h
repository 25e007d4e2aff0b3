// HP PSC GDI jobs (LIDIL): pages from the packet chain's load-page
// commands, settings from the PJL header.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Pages = the load-page commands of the packet chain; where no packet of
// it can be read, separator markers - 1 (left alone without any). Then the
// inline PJL header step. Returns 0.
[[nodiscard]] int hp_gdi_psc_process_job(const std::uint8_t* data, std::uint64_t length,
                                         JobAttribs* ja);

extern const AnalyzerEntry HP_GDI_PSC_ANALYZER;
