// ZjStream, the record stream of host-based laser printers: "JZJZ", then
// records with a 16-byte big-endian header (size, type, item count, "ZZ" at
// bytes 14-15), some carrying 12-byte parameter items. Two ways to read it:
// the record parse walks the records by their sizes; the byte scan looks for
// record headers byte by byte (for streams the record parse refuses).
#pragma once

#include <cstdint>

#include "foundation/containers.h"
#include "scan/analyzer_entry.h"

struct JobAttribs;

// Analyses a ZjStream job: with `record_parse` set (language code 28) the
// records are walked when "JZJZ" stands in the first 1024 bytes (pages,
// settings, and each page's colour where its records mark it), falling
// back to the byte scan on any defect; without it (code 67) only the byte
// scan runs. Always returns 0.
int zjstream_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja,
                         int record_parse);

// Applies the `count` items of a start-page record, from `first_item` on, to
// the job (duplex, grayscale, copies, paper). `record` is the record's
// first byte, offsets in messages are counted from `base` ("JZJZ"). Returns
// 1 when every item was read, 0 on an item that does not fit.
[[nodiscard]] int parse_zjstream_params(const std::uint8_t* base, const std::uint8_t* record,
                                        const std::uint8_t* first_item, const std::uint8_t* end,
                                        std::uint32_t count, JobAttribs* ja);

// 1 when the lists pair up: the same number of offsets, at least one, and
// no end before its start; else 0 (logged).
[[nodiscard]] int zj_valid_page_lists(const offset_list* starts, const offset_list* ends);

// Code 28 passes 1 as the extra argument, code 67 passes 0.
extern const AnalyzerEntry ZJSTREAM_ANALYZER;
