// One Canon CPCA packet as the packet model lays it out, for tests and
// benchmarks that build streams by hand: CD CA, 10 00 (settings) or 10 02
// (print data), the opcode, 00 01, the parameters' length, then FF FF and 8 x
// 00 (print data: 00 00 00 96 and 6 x 00), then the parameters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "scan/cpca.h"

namespace sw_test {

inline std::string cpca_packet(std::uint16_t opcode, std::string_view params) {
  const bool data = opcode == CPCA_OP_PRINT_DATA;
  std::string p = "\xCD\xCA\x10";
  p += data ? '\x02' : '\x00';
  p += static_cast<char>(opcode >> 8);
  p += static_cast<char>(opcode & 0xFF);
  p += std::string("\x00\x01", 2);
  p += static_cast<char>(params.size() >> 8);
  p += static_cast<char>(params.size() & 0xFF);
  p += data ? std::string("\x00\x00\x00\x96", 4) + std::string(6, '\0')
            : std::string("\xFF\xFF", 2) + std::string(8, '\0');
  p += params;
  return p;
}

}  // namespace sw_test
