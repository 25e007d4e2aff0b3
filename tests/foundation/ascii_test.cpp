// The locale-free classes agree with the C locale's <cctype> on every byte
// below 0x80 and put every byte above it in no class, whatever the character
// type they are called with.
#include "foundation/ascii.h"

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <string_view>

namespace {

TEST(AsciiTest, ClassesMatchTheCLocaleOnEveryByte) {
  ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const bool ascii = b < 0x80;
    const auto c = static_cast<char>(b);  // negative above 0x7f where char is signed
    EXPECT_EQ(ascii_is_space(c), ascii && std::isspace(b) != 0);
    EXPECT_EQ(ascii_is_blank(c), ascii && std::isblank(b) != 0);
    EXPECT_EQ(ascii_is_digit(c), ascii && std::isdigit(b) != 0);
    EXPECT_EQ(ascii_is_alpha(c), ascii && std::isalpha(b) != 0);
    EXPECT_EQ(ascii_is_alnum(c), ascii && std::isalnum(b) != 0);
    EXPECT_EQ(ascii_is_xdigit(c), ascii && std::isxdigit(b) != 0);
    EXPECT_EQ(ascii_is_upper(c), ascii && std::isupper(b) != 0);
    EXPECT_EQ(ascii_is_lower(c), ascii && std::islower(b) != 0);
    EXPECT_EQ(ascii_is_print(c), ascii && std::isprint(b) != 0);
    EXPECT_EQ(ascii_is_control(c), ascii && std::iscntrl(b) != 0);
    EXPECT_EQ(ascii_to_lower(static_cast<unsigned char>(b)), ascii ? std::tolower(b) : b);
    EXPECT_EQ(ascii_to_upper(static_cast<unsigned char>(b)), ascii ? std::toupper(b) : b);
    const int hex = ascii_hex_value(c);
    EXPECT_EQ(hex >= 0, ascii && std::isxdigit(b) != 0);
  }
  EXPECT_EQ(ascii_hex_value('f'), 15);
  EXPECT_EQ(ascii_hex_value('A'), 10);
  EXPECT_EQ(ascii_hex_value('9'), 9);
}

TEST(AsciiTest, TrimsWhiteSpace) {
  using namespace std::string_view_literals;
  EXPECT_EQ(ascii_trim_space(" \t\r\n a b \v\f"), "a b");
  EXPECT_EQ(ascii_trim_space_left("  a "), "a ");
  EXPECT_EQ(ascii_trim_space_right("  a "), "  a");
  EXPECT_EQ(ascii_trim_space(" \t "), "");
  EXPECT_EQ(ascii_trim_space("\xa0x\xa0"sv), "\xa0x\xa0"sv);  // not white space here
}

}  // namespace
