// Epson inkjet streams: ESC/P2 raster with remote-command blocks (language
// code 18), the ESC/P-R command stream (55) and the ESC/P3 "ENDP" stream
// (48). The ESC/P-R walk falls back to the older walks when its page starts
// and ends disagree.
#pragma once

#include <cstdint>

#include "scan/analyzer_entry.h"

struct JobAttribs;

// ESC/P-R and ESC/P3: a walk over the command stream's records (remote
// blocks, command mode, ESC/P3 mode) giving pages, colour pages, duplex and
// the page size. `language` (48 or 55) picks the fall-back analyzer when the
// start-page and end-page counts differ or are 0. Returns 0.
[[nodiscard]] int epson_process_job_new(const std::uint8_t* data, std::uint64_t length,
                                        int color_detection, int language, JobAttribs* ja);

// ESC/P2: form feeds after page content are pages (less the blank side of
// an odd duplex job); raster data is skipped by its lengths, and its inks
// make a page colour unless the colour mode is monochrome; the unit and the
// paper size come from the extended commands, duplex from the remote
// blocks, copies from the EJL lines. Returns 0.
[[nodiscard]] int epson_process_job(const std::uint8_t* data, std::uint64_t length,
                                    int color_detection, JobAttribs* ja);

// ESC/P3: end-page records are pages, "+makeD:" headers give the page size.
// Returns 0.
[[nodiscard]] int epson2_process_job(const std::uint8_t* data, std::uint64_t length,
                                     JobAttribs* ja);

// One tagged number of an ESC/P3 parameter block (a capital letter, ":" and
// a big-endian value of 1, 2 or 4 bytes up to the next tag): 1 and *value
// when `tag` has such a value, else 0.
[[nodiscard]] int get_param_int(const std::uint8_t* block, std::uint64_t block_length, char tag,
                                std::uint32_t* value);

// Code 18: ESC/P2 without colour detection.
extern const AnalyzerEntry EPSON_ANALYZER;
// Codes 48 and 55: the colour-detection flag as extra; the language code
// from the record.
extern const AnalyzerEntry EPSON_NEW_ANALYZER;
