// The blank-stripe test on hand-made stripe data (the real drivers' blank
// back sides and colour planes are in the record-format corpus tests).
#include "formats/jbig_blank.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/record_formats_test_util.h"

namespace {

using namespace record_formats_test;

ByteSpan span_of(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(JbigBlank, OnlyZerosAndEndOfStripeMarkersAreBlank) {
  struct Case {
    const char* name;
    std::string stripes;
    bool blank;
  };
  const Case cases[] = {
      {"no data", "", true},
      {"end markers only (foo2xqx, foo2ddst)", bytes({0xFF, 0x02, 0xFF, 0x02, 0xFF, 0x02}), true},
      {"padded bands (foo2hp)", bytes({0xFF, 0x02, 0, 0}), true},
      {"zeros before a marker, a reset marker", bytes({0, 0, 0xFF, 0x02, 0, 0xFF, 0x03}), true},
      {"coded bytes", bytes({0x4B, 0xC6, 0xFF, 0x02}), false},
      {"a stuffed FF data byte", bytes({0xFF, 0x00, 0xFF, 0x02}), false},
      {"another marker (NEWLEN)", bytes({0xFF, 0x05, 0, 0, 0, 1}), false},
      {"a lone FF at the end", bytes({0xFF, 0x02, 0xFF}), false},
  };
  for (const Case& c : cases) {
    const sw_test::ExactBuffer buffer(c.stripes);
    EXPECT_EQ(jbig_stripes_are_blank(ByteSpan(buffer.data(), buffer.size())), c.blank) << c.name;
  }
}

TEST(JbigBlank, TypicalPredictionFromTheBitmapHeader) {
  // DL, D, P, reserved, XD, YD, L0 (BE32 each), MX, MY, order, options.
  const std::string header =
      bytes({0, 0, 1, 0}) + be32(4960) + be32(7016) + be32(128) + bytes({0, 0, 3});
  EXPECT_TRUE(jbig_bih_has_typical_prediction(span_of(header + bytes({0x48}))));   // LRLTWO TPBON
  EXPECT_FALSE(jbig_bih_has_typical_prediction(span_of(header + bytes({0x40}))));  // LRLTWO
  EXPECT_FALSE(jbig_bih_has_typical_prediction(span_of(header)));                  // cut short
}

}  // namespace
