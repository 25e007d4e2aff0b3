// Epson ESC/Page (language code 17): the page language of Epson's lasers,
// wrapped in EJL lines. Sheets, copies, driver, printer and document name
// come from the EJL lines; colour, duplex and paper from EJL settings and
// the models' byte headers; the models' page markers stand in when the EJL
// gives no sheet count.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

struct JobAttribs;

// Analyses the job into `ja`; always 0 (a job whose pages cannot be found
// is logged and keeps its other findings).
[[nodiscard]] int epsonpage_process_job(const std::uint8_t* data, std::uint64_t length,
                                        JobAttribs* ja);

// 1 when the job ends with an empty page in front of its EJL trailer: the
// last "@EJL" lines (within the last 1019 bytes, at most 40 bytes apart),
// blank between the first two, behind FF FF ESC 01. Else 0. Never reads
// outside the data.
[[nodiscard]] int is_last_page_blank(const std::uint8_t* data, std::uint64_t length);

extern const AnalyzerEntry EPSONPAGE_ANALYZER;
