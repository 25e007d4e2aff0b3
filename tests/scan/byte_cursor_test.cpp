// The shared cursor: every read stays inside its span, whatever positions
// and lengths it is asked for.
#include "scan/byte_cursor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Exact-size copy, so AddressSanitizer sees a one-byte over-read.
std::vector<std::uint8_t> bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(ByteCursorTest, RandomAccessNeverReadsPastTheEnd) {
  const auto data = bytes("\x1b%-12345X@PJL");
  const ByteSpan span(data);
  EXPECT_TRUE(scan_bytes_at(span, 0, "\x1b%-12345X"));
  EXPECT_TRUE(scan_bytes_at(span, 9, "@PJL"));
  EXPECT_FALSE(scan_bytes_at(span, 10, "@PJL"));
  EXPECT_FALSE(scan_bytes_at(span, UINT64_MAX, "@"));
  EXPECT_TRUE(scan_bytes_at(span, data.size(), ""));
  EXPECT_TRUE(scan_bytes_at_caseless(span, 9, "@pjl"));
  EXPECT_FALSE(scan_bytes_at_caseless(span, 11, "JLx"));
}

// Letters in either case match, on the eight-byte path and on the byte-wise
// tail; a different letter, short data or an offset past the end do not.
TEST(ByteCursorTest, LettersCompareInEitherCase) {
  const struct {
    const char* text;
    std::uint64_t at;
    const char* lower;
    bool match;
  } cases[] = {
      {"/MediaBox", 1, "mediabox", true},   {"/mEDIAbOX", 1, "mediabox", true},
      {"/MediaBox", 1, "mediaboxx", false}, {"<PageAttribRange", 1, "pageattribrange", true},
      {"/Type", 1, "type", true},           {"/Tipe", 1, "type", false},
      {"/MEDIABOX", 1, "mediabox", true},   {"/MediaBoy", 1, "mediabox", false},
      {"/Ty", 1, "type", false},            {"/Type", UINT64_MAX, "type", false},
  };
  for (const auto& c : cases) {
    const auto data = bytes(c.text);
    EXPECT_EQ(scan_letters_at_caseless(ByteSpan(data), c.at, c.lower), c.match)
        << c.text << " at " << c.at << " against " << c.lower;
  }
}

TEST(ByteCursorTest, NumbersAtOffsetsInBothOrders) {
  const std::vector<std::uint8_t> data = {0xCD, 0xCA, 0x10, 0x00, 0x01, 0x02};
  const ByteSpan span(data);
  EXPECT_EQ(scan_be16_at(span, 0), 0xCDCA);
  EXPECT_EQ(scan_le16_at(span, 0), 0xCACD);
  EXPECT_EQ(scan_be32_at(span, 2), 0x10000102u);
  EXPECT_EQ(scan_le32_at(span, 2), 0x02010010u);
  EXPECT_FALSE(scan_be32_at(span, 3).has_value());
  EXPECT_FALSE(scan_le16_at(span, 5).has_value());
  EXPECT_FALSE(scan_be16_at(span, UINT64_MAX - 1).has_value());
}

TEST(ByteCursorTest, RoomBelowAWindowNeverWraps) {
  EXPECT_TRUE(scan_room_below(0, 10, 4));
  EXPECT_TRUE(scan_room_below(5, 10, 4));
  EXPECT_FALSE(scan_room_below(6, 10, 4));
  EXPECT_FALSE(scan_room_below(0, 4, 4));
  EXPECT_FALSE(scan_room_below(0, 3, 4));
}

TEST(ByteCursorTest, FindsForwardAndBackward) {
  const auto data = bytes("ab%%Page: 1\n%%Page: 2\n%%EOF");
  const ByteSpan span(data);
  EXPECT_EQ(scan_find(span, 0, "%%Page:"), 2u);
  EXPECT_EQ(scan_find(span, 3, "%%Page:"), 12u);
  EXPECT_FALSE(scan_find(span, 13, "%%Page:").has_value());
  EXPECT_FALSE(scan_find(span, 999, "x").has_value());
  EXPECT_EQ(scan_rfind(span, data.size(), "%%Page:"), 12u);
  EXPECT_EQ(scan_rfind(span, 12, "%%Page:"), 2u);
  EXPECT_FALSE(scan_rfind(span, 2, "%%Page:").has_value());
  EXPECT_EQ(scan_rfind(span, 4, "%%Page:"), 2u) << "a text that begins before the limit";
  EXPECT_EQ(scan_rfind_byte(span, data.size(), '\n'), 21u);
  EXPECT_FALSE(scan_rfind_byte(span, 0, 'a').has_value());
  EXPECT_FALSE(scan_rfind(ByteSpan(data.data(), 3), 3, "abcd").has_value());
}

TEST(ByteCursorTest, SequentialReadsRefuseWhatIsNotThere) {
  const std::vector<std::uint8_t> data = {0x01, 0x02, 0x03};
  ByteCursor c(data.data(), data.size());
  std::uint16_t v16 = 0;
  std::uint32_t v32 = 0;
  EXPECT_TRUE(c.next_be16(&v16));
  EXPECT_EQ(v16, 0x0102);
  EXPECT_FALSE(c.next_be16(&v16)) << "one byte left";
  EXPECT_EQ(c.pos(), 2u) << "a failed read does not move";
  EXPECT_FALSE(c.next_le32(&v32));
  EXPECT_FALSE(c.skip(2));
  EXPECT_TRUE(c.skip(1));
  EXPECT_TRUE(c.at_end());
  EXPECT_EQ(c.peek(), -1);
  EXPECT_FALSE(c.skip(UINT64_MAX)) << "a huge length from the data";
  EXPECT_FALSE(c.seek(4));
  ByteCursor past(ByteSpan(data), 99);
  EXPECT_TRUE(past.at_end()) << "a start past the end is clamped";
}

TEST(ByteCursorTest, TextAndNumbers) {
  const auto data = bytes("COPIES=99999999999999999999999 QTY=-3");
  ByteCursor c{ByteSpan(data)};
  EXPECT_TRUE(c.skip_if("COPIES="));
  const DecimalRead copies = c.read_decimal();
  EXPECT_TRUE(copies.saturated);
  EXPECT_EQ(copies.value, INT64_MAX);
  EXPECT_TRUE(c.find_byte('Q'));
  EXPECT_FALSE(c.skip_if("QTX"));
  EXPECT_TRUE(c.skip_if("QTY="));
  EXPECT_EQ(c.read_decimal().value, -3);
  EXPECT_TRUE(c.at_end());
  EXPECT_FALSE(c.find("X"));
}

}  // namespace
