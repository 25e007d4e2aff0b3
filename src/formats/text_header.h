// Small helpers of the formats that read their settings as text: numbers
// from a pattern's groups, read without locale and saturated.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

#include "foundation/decimal.h"

// A group's decimal integer (leading digits; 0 when none), saturated to int.
[[nodiscard]] inline int text_group_int(std::string_view group) {
  const DecimalRead read = decimal_read(group, DecimalSign::NONE);
  if (read.value > INT32_MAX) return INT32_MAX;
  return static_cast<int>(read.value);
}

// A group's decimal number with a fraction ("8.5"); 0 when none.
[[nodiscard]] inline double text_group_double(std::string_view group) {
  double value = 0;
  const auto result = std::from_chars(group.data(), group.data() + group.size(), value,
                                      std::chars_format::fixed);
  return result.ec == std::errc{} ? value : 0.0;
}
