// Ricoh RPCS (language code 26): pages from its start-of-page and end-of-page
// records, then the PJL header, the RPCR job header behind
// "@PJL ENTER LANGUAGE=RPCR" (copies, paper) and inline copies.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

struct JobAttribs;

// Pages are the start-of-page records (less the repeated first page header),
// else the fifth- or sixth-form starts, else the end-of-page records. Returns 0.
[[nodiscard]] int rpcs_process_job(const std::uint8_t* data, std::uint64_t length,
                                   JobAttribs* ja);

extern const AnalyzerEntry RPCS_ANALYZER;
