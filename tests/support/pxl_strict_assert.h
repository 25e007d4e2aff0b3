// The strict PCL XL reader (pxl_strict.h) as a GoogleTest assertion:
//   EXPECT_TRUE(sw_test::is_strict_pcl_xl(rewritten));
// fails with where and why the reader stopped and the bytes around it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "support/pxl_strict.h"

namespace sw_test {

// The bytes from 16 before `at` to 16 after it, in hexadecimal, with the
// byte at `at` in brackets.
inline std::string hex_around(std::string_view data, std::uint64_t at) {
  std::string out;
  const std::uint64_t from = at > 16 ? at - 16 : 0;
  for (std::uint64_t i = from; i < data.size() && i <= at + 16; ++i) {
    char byte[8];
    std::snprintf(byte, sizeof byte, i == at ? "[%02X]" : " %02X ",
                  static_cast<unsigned>(static_cast<unsigned char>(data[i])));
    out += byte;
  }
  return out;
}

inline ::testing::AssertionResult is_strict_pcl_xl(std::string_view data) {
  const PxlStrictRead read = pxl_strict_read(data);
  if (read.ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "not strict PCL XL: " << read.error << "\n  " << hex_around(data, read.error_offset);
}

}  // namespace sw_test
