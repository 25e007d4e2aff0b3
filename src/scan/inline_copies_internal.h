// Bounded helpers shared by the two inline-copy tests (internal to
// scan/inline_copies*.cpp).
#pragma once

#include <cstdint>
#include <optional>

#include "scan/byte_cursor.h"

// The first universal exit that lies wholly in [from, to) of `data`.
[[nodiscard]] std::optional<std::uint64_t> inline_find_uel(ByteSpan data, std::uint64_t from,
                                                           std::uint64_t to);
// true when `copies` runs of `size` bytes from `start` end within `length`.
[[nodiscard]] bool inline_copies_fit(std::uint64_t length, std::uint64_t start,
                                     std::uint64_t copies, std::uint64_t size);
// memcmp of `count` bytes at a and b; false when either run leaves the data.
[[nodiscard]] bool inline_bytes_equal(ByteSpan data, std::uint64_t a, std::uint64_t b,
                                      std::uint64_t count);
// How many of the `count` bytes at a and b agree before the first difference.
[[nodiscard]] std::uint64_t inline_common_prefix(ByteSpan data, std::uint64_t a, std::uint64_t b,
                                                 std::uint64_t count);
