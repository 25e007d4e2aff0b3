// HP host-based GDI jobs: the remote form (XQX streams, as foo2xqx writes
// them, read record by record in formats/xqx.h; other data searched for
// end-of-page, dimension and duplex records), and the local form (also RISO
// GDI) with a running page count and a settings record. Both apply the
// job's PJL header afterwards.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Analyses a remote HP GDI job (language code 12). Returns 0.
[[nodiscard]] int hp_gdi_remote_process_job(const std::uint8_t* data, std::uint64_t length,
                                            JobAttribs* ja);
// Analyses a local HP GDI or RISO GDI job (codes 11 and 14). Returns 0.
[[nodiscard]] int hp_gdi_local_process_job(const std::uint8_t* data, std::uint64_t length,
                                           JobAttribs* ja);

extern const AnalyzerEntry HP_GDI_REMOTE_ANALYZER;
extern const AnalyzerEntry HP_GDI_LOCAL_ANALYZER;
