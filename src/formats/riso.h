// RISO (language code 15): a command stream of "?<" parameters ">" and a
// command letter (?<6;1>W asks for duplex type 1). Copies, page size, paper,
// duplex, grayscale, the document name and page ends come from the commands.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

struct JobAttribs;

// Pages are the end-of-page commands; with colour detection the colour pages
// are the colour page marks when the mono and colour marks together account
// for every (duplex-padded) page. A save-only job reports no pages. Returns 0.
[[nodiscard]] int riso_process_job(const std::uint8_t* data, std::uint64_t length,
                                   int color_detection, JobAttribs* ja);

// Duplex on for a type other than 0, tumble for type 2, with a debug line
// under `prefix`.
void set_duplex_tumble(const char* prefix, int duplex_type, JobAttribs* ja);

extern const AnalyzerEntry RISO_ANALYZER;
