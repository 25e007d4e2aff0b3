#include "foundation/decimal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string_view>

namespace {

struct Case {
  std::string_view text;
  DecimalSign sign;
  std::int64_t value;
  std::size_t length;
  bool saturated;
};

TEST(DecimalTest, ReadsSaturatingAtTheStart) {
  constexpr auto MAX = std::numeric_limits<std::int64_t>::max();
  constexpr auto MIN = std::numeric_limits<std::int64_t>::min();
  const Case cases[] = {
      {"42abc", DecimalSign::OPTIONAL, 42, 2, false},
      {"-17", DecimalSign::OPTIONAL, -17, 3, false},
      {"+5", DecimalSign::OPTIONAL, 5, 2, false},
      {"-5", DecimalSign::NONE, 0, 0, false},
      {"-", DecimalSign::OPTIONAL, 0, 0, false},
      {" 7", DecimalSign::OPTIONAL, 0, 0, false},
      {"", DecimalSign::OPTIONAL, 0, 0, false},
      {"9223372036854775807", DecimalSign::OPTIONAL, MAX, 19, false},
      {"9223372036854775808", DecimalSign::OPTIONAL, MAX, 19, true},
      {"-9223372036854775808", DecimalSign::OPTIONAL, MIN, 20, false},
      {"-9223372036854775809", DecimalSign::OPTIONAL, MIN, 20, true},
      {"000000000000000000000000000001", DecimalSign::OPTIONAL, 1, 30, false},
      {"123456789012345678901234567890x", DecimalSign::OPTIONAL, MAX, 30, true},
  };
  for (const Case& c : cases) {
    const DecimalRead read = decimal_read(c.text, c.sign);
    EXPECT_EQ(read.value, c.value) << c.text;
    EXPECT_EQ(read.length, c.length) << c.text;
    EXPECT_EQ(read.saturated, c.saturated) << c.text;
  }
}

// strtol's rule: white space first; without digits nothing is consumed, so a
// caller can look at what follows the number (or at the text itself).
TEST(DecimalTest, ReadsAfterWhiteSpace) {
  const Case cases[] = {
      {" \t\n42:7", DecimalSign::OPTIONAL, 42, 5, false},
      {"  -3", DecimalSign::OPTIONAL, -3, 4, false},
      {"  -3", DecimalSign::NONE, 0, 0, false},
      {"   ", DecimalSign::OPTIONAL, 0, 0, false},
      {" \x0b 99999999999999999999", DecimalSign::OPTIONAL,
       std::numeric_limits<std::int64_t>::max(), 23, true},
  };
  for (const Case& c : cases) {
    const DecimalRead read = decimal_read_after_space(c.text, c.sign);
    EXPECT_EQ(read.value, c.value) << c.text;
    EXPECT_EQ(read.length, c.length) << c.text;
    EXPECT_EQ(read.saturated, c.saturated) << c.text;
  }
}

TEST(DecimalTest, WholeTextAndClamping) {
  int value = 7;
  EXPECT_TRUE(decimal_parse_whole("99999999999", &value));
  EXPECT_EQ(value, std::numeric_limits<int>::max());
  EXPECT_TRUE(decimal_parse_whole("-99999999999", &value));
  EXPECT_EQ(value, std::numeric_limits<int>::min());
  value = 7;
  EXPECT_FALSE(decimal_parse_whole("12 ", &value));
  EXPECT_FALSE(decimal_parse_whole("", &value));
  EXPECT_FALSE(decimal_parse_whole("+", &value));
  EXPECT_FALSE(decimal_parse_whole("-3", &value, DecimalSign::NONE));
  EXPECT_EQ(value, 7);
  EXPECT_EQ(decimal_clamp<std::uint16_t>(70000), 65535);
  EXPECT_EQ(decimal_clamp<std::uint16_t>(-1), 0);
}

}  // namespace
