// QPDL (Samsung SPL2/SPLc, as SpliX and foo2qpdl write it): pages from the
// 16-byte page headers that repeat the first one, or from the DMCS records
// some drivers write per page; copies and the page size from fixed records;
// each page's colour from its band records (formats/qpdl_colour.h); then the
// job's PJL header, and SpliX's manual duplex.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

// Analyses a QPDL job. Returns 0.
[[nodiscard]] int qpdl_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);

extern const AnalyzerEntry QPDL_ANALYZER;
