// Pieces of the ZjStream analyzer shared between its files.
#pragma once

#include <cstdint>

struct JobAttribs;

// Record types and item ids that the analyzer reads.
inline constexpr std::uint32_t ZJT_START_DOC = 0;
inline constexpr std::uint32_t ZJT_END_DOC = 1;
inline constexpr std::uint32_t ZJT_START_PAGE = 2;
inline constexpr std::uint32_t ZJT_END_PAGE = 3;
inline constexpr std::uint16_t ZJI_DUPLEX = 2;
inline constexpr std::uint16_t ZJI_PAPER = 3;
inline constexpr std::uint16_t ZJI_COPIES = 4;
inline constexpr std::uint16_t ZJI_COLOR_MODE = 7;
inline constexpr std::uint16_t ZJI_QUANTITY = 15;

inline constexpr std::uint64_t ZJ_HEADER_SIZE = 16;
inline constexpr std::uint64_t ZJ_ITEM_SIZE = 12;

[[nodiscard]] inline bool zj_is_two_sided(std::uint32_t value) { return value == 2 || value == 3; }

// The record parse: 1 when the stream was read to its end (the findings are
// in `ja`), 0 when it must fall back to the byte scan.
[[nodiscard]] int zjstream_parse_records(const std::uint8_t* data, std::uint64_t length,
                                         std::uint64_t magic, JobAttribs* ja);

// The byte scan over the whole data.
void zjstream_scan_bytes(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);
