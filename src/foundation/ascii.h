// Locale-free ASCII character classes. <cctype> depends on the process's
// locale and is undefined for negative char values, so nothing that reads
// print data, configuration or server answers uses it. Every function takes
// any character type (char, signed or unsigned, or a byte) and never reads
// outside its argument; bytes above 0x7f belong to no class.
#pragma once

#include <cstdint>
#include <string_view>

template <typename C>
constexpr std::uint8_t ascii_byte(C c) {
  return static_cast<std::uint8_t>(c);
}

// Blank, tab, line feed, vertical tab, form feed, carriage return: the
// C locale's isspace.
template <typename C>
constexpr bool ascii_is_space(C c) {
  const std::uint8_t b = ascii_byte(c);
  return b == ' ' || (b >= '\t' && b <= '\r');
}
// Blank or tab only.
template <typename C>
constexpr bool ascii_is_blank(C c) {
  const std::uint8_t b = ascii_byte(c);
  return b == ' ' || b == '\t';
}
template <typename C>
constexpr bool ascii_is_digit(C c) {
  const std::uint8_t b = ascii_byte(c);
  return b >= '0' && b <= '9';
}
template <typename C>
constexpr bool ascii_is_upper(C c) {
  const std::uint8_t b = ascii_byte(c);
  return b >= 'A' && b <= 'Z';
}
template <typename C>
constexpr bool ascii_is_lower(C c) {
  const std::uint8_t b = ascii_byte(c);
  return b >= 'a' && b <= 'z';
}
template <typename C>
constexpr bool ascii_is_alpha(C c) {
  return ascii_is_upper(c) || ascii_is_lower(c);
}
template <typename C>
constexpr bool ascii_is_alnum(C c) {
  return ascii_is_alpha(c) || ascii_is_digit(c);
}
template <typename C>
constexpr bool ascii_is_xdigit(C c) {
  const std::uint8_t b = ascii_byte(c);
  return ascii_is_digit(b) || (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F');
}
// Printable, blank included (0x20 to 0x7e).
template <typename C>
constexpr bool ascii_is_print(C c) {
  const std::uint8_t b = ascii_byte(c);
  return b >= 0x20 && b <= 0x7e;
}
// Control bytes 0x00 to 0x1f and 0x7f.
template <typename C>
constexpr bool ascii_is_control(C c) {
  const std::uint8_t b = ascii_byte(c);
  return b < 0x20 || b == 0x7f;
}
// The value of a hexadecimal digit, -1 for any other byte.
template <typename C>
constexpr int ascii_hex_value(C c) {
  const std::uint8_t b = ascii_byte(c);
  if (ascii_is_digit(b)) return b - '0';
  if (b >= 'a' && b <= 'f') return b - 'a' + 10;
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  return -1;
}
// Case mapping of ASCII letters; every other byte is returned as it is.
template <typename C>
constexpr C ascii_to_lower(C c) {
  return ascii_is_upper(c) ? static_cast<C>(ascii_byte(c) + ('a' - 'A')) : c;
}
template <typename C>
constexpr C ascii_to_upper(C c) {
  return ascii_is_lower(c) ? static_cast<C>(ascii_byte(c) - ('a' - 'A')) : c;
}

// `text` without the white space (ascii_is_space) at its start, at its end,
// or at both ends.
constexpr std::string_view ascii_trim_space_left(std::string_view text) {
  while (!text.empty() && ascii_is_space(text.front())) text.remove_prefix(1);
  return text;
}
constexpr std::string_view ascii_trim_space_right(std::string_view text) {
  while (!text.empty() && ascii_is_space(text.back())) text.remove_suffix(1);
  return text;
}
constexpr std::string_view ascii_trim_space(std::string_view text) {
  return ascii_trim_space_right(ascii_trim_space_left(text));
}
