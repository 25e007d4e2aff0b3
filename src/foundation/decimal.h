// The one reader of decimal integers in text and print data. Numbers from
// print data, headers and answers can be arbitrarily long; this reader never
// overflows: it saturates at the limits of the type and says so. Built on
// std::from_chars, so no locale is involved.
//
// Callers keep their own rules around it (whether blanks are skipped first,
// whether a sign is allowed, which range is valid) and name them; the loop
// over the digits exists only here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

// Whether one leading '+' or '-' is part of the number.
enum class DecimalSign { NONE, OPTIONAL };

struct DecimalRead {
  std::int64_t value = 0;  // saturated to the int64 range
  std::size_t length = 0;  // bytes read: sign and digits; 0 when no digit was found
  bool saturated = false;  // the digits did not fit in 64 bits
};

// Reads a decimal integer at the very start of `text`: the sign (when
// allowed) and the longest run of ASCII digits. Nothing is skipped before
// it. length 0 when no digit follows (a lone sign reads nothing).
[[nodiscard]] DecimalRead decimal_read(std::string_view text,
                                       DecimalSign sign = DecimalSign::OPTIONAL);

inline DecimalRead decimal_read(std::span<const std::uint8_t> bytes,
                                DecimalSign sign = DecimalSign::OPTIONAL) {
  return decimal_read(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), sign);
}

// strtol's rule without the locale: white space (ascii_is_space) is skipped,
// then a number is read as by decimal_read. `length` counts the white space
// too; when no digit follows, nothing is consumed (length 0, value 0).
[[nodiscard]] DecimalRead decimal_read_after_space(std::string_view text,
                                                   DecimalSign sign = DecimalSign::OPTIONAL);

// `value` clamped into the range of Int.
template <typename Int>
constexpr Int decimal_clamp(std::int64_t value) {
  if (value < static_cast<std::int64_t>(std::numeric_limits<Int>::min())) {
    return std::numeric_limits<Int>::min();
  }
  if (value > static_cast<std::int64_t>(std::numeric_limits<Int>::max())) {
    return std::numeric_limits<Int>::max();
  }
  return static_cast<Int>(value);
}

// true when the whole of `text` is one number (with a sign where `sign`
// allows one); *out receives it saturated to its type. Empty text, a lone
// sign or trailing bytes give false and leave *out untouched.
[[nodiscard]] bool decimal_parse_whole(std::string_view text, int* out,
                                       DecimalSign sign = DecimalSign::OPTIONAL);
[[nodiscard]] bool decimal_parse_whole(std::string_view text, std::int64_t* out,
                                       DecimalSign sign = DecimalSign::OPTIONAL);
