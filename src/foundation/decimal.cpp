#include "foundation/decimal.h"

#include <charconv>
#include <system_error>

#include "foundation/ascii.h"

DecimalRead decimal_read(std::string_view text, DecimalSign sign) {
  DecimalRead read;
  std::size_t start = 0;
  bool negative = false;
  if (sign == DecimalSign::OPTIONAL && !text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    start = 1;
  }
  std::size_t end = start;
  while (end < text.size() && ascii_is_digit(text[end])) ++end;
  if (end == start) return read;

  // from_chars reads the digits as an unsigned magnitude; the sign is applied
  // afterwards so that INT64_MIN itself reads without saturating.
  std::uint64_t magnitude = 0;
  const auto [stop, error] = std::from_chars(text.data() + start, text.data() + end, magnitude);
  (void)stop;
  constexpr std::uint64_t max_positive = std::numeric_limits<std::int64_t>::max();
  const std::uint64_t limit = negative ? max_positive + 1 : max_positive;
  if (error == std::errc::result_out_of_range || magnitude > limit) {
    read.saturated = true;
    magnitude = limit;
  }
  if (negative) {
    read.value = magnitude == max_positive + 1 ? std::numeric_limits<std::int64_t>::min()
                                               : -static_cast<std::int64_t>(magnitude);
  } else {
    read.value = static_cast<std::int64_t>(magnitude);
  }
  read.length = end;
  return read;
}

DecimalRead decimal_read_after_space(std::string_view text, DecimalSign sign) {
  std::size_t blanks = 0;
  while (blanks < text.size() && ascii_is_space(text[blanks])) ++blanks;
  DecimalRead read = decimal_read(text.substr(blanks), sign);
  if (read.length != 0) read.length += blanks;
  return read;
}

bool decimal_parse_whole(std::string_view text, std::int64_t* out, DecimalSign sign) {
  const DecimalRead read = decimal_read(text, sign);
  if (read.length == 0 || read.length != text.size()) return false;
  *out = read.value;
  return true;
}

bool decimal_parse_whole(std::string_view text, int* out, DecimalSign sign) {
  std::int64_t value = 0;
  if (!decimal_parse_whole(text, &value, sign)) return false;
  *out = decimal_clamp<int>(value);
  return true;
}
