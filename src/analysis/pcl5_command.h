// Reading PCL parameterised commands: ESC, a parameterised character (0x21
// to 0x2f), a group character (0x60 to 0x7e), then groups of a value and a
// parameter letter. A lower-case letter (0x60 to 0x7e) continues the command,
// an upper-case one (0x40 to 0x5e) ends it; the data of a W or V group
// follows its letter. Values may carry a sign and a decimal fraction.
#pragma once

#include <cstdint>

#include "scan/byte_cursor.h"

inline constexpr std::uint8_t PCL_ESC = 0x1b;

// One value and its letter.
struct PclGroup {
  std::int64_t value = 0;       // integer part with its sign, saturated
  std::uint32_t fraction = 0;   // digits after the point, in millionths
  bool has_digits = false;      // some digit was read (an empty value is 0)
  std::uint8_t letter = 0;      // the parameter letter
  std::uint64_t value_start = 0;
  std::uint64_t end = 0;        // position behind the letter
};

// The letter ends the command (upper case).
[[nodiscard]] constexpr bool pcl_is_terminator(std::uint8_t letter) {
  return letter >= 0x40 && letter <= 0x5e;
}
// The letter continues the command (lower case).
[[nodiscard]] constexpr bool pcl_is_continuation(std::uint8_t letter) {
  return letter >= 0x60 && letter <= 0x7e;
}
// The letter in upper case.
[[nodiscard]] constexpr std::uint8_t pcl_upper(std::uint8_t letter) {
  return pcl_is_continuation(letter) ? static_cast<std::uint8_t>(letter - 0x20) : letter;
}

// Reads one group at `pos`: an optional sign, digits, an optional point and
// digits, then a letter from 0x40 to 0x7e. Nothing at or behind `limit` (at
// most the data's size) is read. false when the bytes are not a group.
[[nodiscard]] bool pcl_read_group(ByteSpan data, std::uint64_t pos, std::uint64_t limit,
                                  PclGroup* group);
