// The PCL5 command reader of the PCL5 planner: one escape sequence at a
// time, with its parameters and the binary data it carries, so that the
// planner walks a job command by command and steps over raster, font and
// pattern data by its declared count instead of reading it as commands.
//
// Nothing is read outside the span; a count past the end ends the command
// at the end of the data.
#pragma once

#include <cstdint>

#include "scan/byte_cursor.h"

inline constexpr std::uint8_t PCL5_ESC = 0x1b;
// Parameters kept per command; later ones are read over but not kept.
inline constexpr int PCL5_PARAMS_MAX = 16;
// Longest value of one parameter (sign, digits, point, digits).
inline constexpr std::uint64_t PCL5_VALUE_MAX = 32;

struct Pcl5Param {
  char letter = 0;  // as written: lower case continues, upper case ends
  std::uint64_t value_offset = 0;
  std::uint64_t value_length = 0;
};

struct Pcl5Command {
  std::uint64_t offset = 0;  // the ESC
  std::uint64_t end = 0;     // byte after the command and its data
  char parameterized = 0;    // '&', '*', '(' ... ; 0 for a two-character command
  char group = 0;            // 'l' of ESC&l; 0 when none (ESC(8U, ESC%-12345X)
  char final = 0;            // letter of a two-character command (ESC E)
  int param_count = 0;       // parameters kept
  Pcl5Param params[PCL5_PARAMS_MAX];
  std::uint64_t data_offset = 0;  // binary data of a W (or ESC&p X) parameter
  std::uint64_t data_length = 0;
  bool complete = false;  // ended by an upper-case letter within the data

  // true for ESC <parameterized> <group>, e.g. is('&', 'l').
  [[nodiscard]] bool is(char p, char g) const { return parameterized == p && group == g; }
};

// Reads the command whose ESC is at `at` into `cmd`. false when `at` holds
// no ESC or the byte after it is none of the command characters; cmd->end
// is then at + 1.
[[nodiscard]] bool pcl5_read_command(ByteSpan data, std::uint64_t at, Pcl5Command* cmd);

// The value of a parameter as a whole number; false when it is not one
// (sign, fraction, more than 9 digits).
[[nodiscard]] bool pcl5_param_int(ByteSpan data, const Pcl5Param& p, std::int64_t* value);
