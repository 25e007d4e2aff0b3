// The literal bytes that every match of an anchored expression begins with,
// read from the pattern text so that a caller can reject a position with a
// byte comparison before running the expression.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t REGEX_PREFIX_MAX = 8;

// Writes up to REGEX_PREFIX_MAX bytes to `out` and returns their count; 0 when
// nothing is certain (unanchored or extended patterns, a top-level
// alternative, quoting, or a pattern that does not begin with a literal).
// With PCRE_CASELESS the bytes are to be compared without ASCII case.
[[nodiscard]] std::size_t regex_literal_prefix(const char* pattern, int options,
                                               std::uint8_t* out);
