// Watermark geometry: page sizes from paper names and PCL codes, positions
// from every edge, gray values, the hexadecimal log form.
#include "modify/watermark_common.h"

#include <cmath>
#include <string>

#include "foundation/config.h"
#include "modify_test_support.h"

namespace {

using modify_test::ModifyTest;

TEST_F(ModifyTest, PageSizeComesFromTheExactNameBeforeAShorterOneThatBeginsIt) {
  struct Case {
    const char* name;
    std::int32_t code;
    std::int32_t orientation;
    double height;
    double width;
  };
  const Case cases[] = {
      {.name = "letter", .code = 0, .orientation = PAGE_ORIENTATION_UNKNOWN, .height = 279.4,
       .width = 215.9},
      {.name = "letter", .code = 0, .orientation = 1, .height = 215.9, .width = 279.4},
      {.name = "Letter", .code = 0, .orientation = 2, .height = 279.4, .width = 215.9},
      {.name = "A4 Rotated", .code = 0, .orientation = 0, .height = 210, .width = 297},
      {.name = "a4 rotated", .code = 0, .orientation = 1, .height = 297, .width = 210},
      {.name = "PRC Envelope #10", .code = 0, .orientation = 0, .height = 458, .width = 324},
      {.name = "PRC Envelope #1", .code = 0, .orientation = 0, .height = 165, .width = 102},
      {.name = "Envelope C65", .code = 0, .orientation = 0, .height = 229, .width = 114},
      // A name that only begins with a row's takes the longest such row.
      {.name = "A4 Rotated (x)", .code = 0, .orientation = 0, .height = 210, .width = 297},
      {.name = "A4/Plain", .code = 0, .orientation = 0, .height = 297, .width = 210},
      // An unknown name falls to the code.
      {.name = "Foolscap", .code = 3, .orientation = 0, .height = 355.6, .width = 215.9},
      {.name = nullptr, .code = 26, .orientation = 0, .height = 297, .width = 210},
      {.name = "", .code = 1, .orientation = 0, .height = 266.7, .width = 184.15},
      {.name = nullptr, .code = 100, .orientation = 1, .height = 176, .width = 250},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name == nullptr ? "(none)" : c.name);
    EXPECT_DOUBLE_EQ(get_bottom_page_mm(c.code, c.name, c.orientation, 0.0), c.height);
    EXPECT_DOUBLE_EQ(get_right_page_mm(c.code, c.name, c.orientation, 0.0), c.width);
  }
  EXPECT_TRUE(logged("Unknown PCL page name 'Foolscap'"));
  EXPECT_TRUE(logged("Neither PCL page name nor page dimensions specified"));
}

TEST_F(ModifyTest, PageSizeKnownAlreadyWinsAndNoRowGivesZero) {
  EXPECT_DOUBLE_EQ(get_bottom_page_mm(26, "Letter", 1, 123.5), 123.5);
  EXPECT_DOUBLE_EQ(get_right_page_mm(26, "Letter", 1, 99.0), 99.0);
  // Not a number is not a known size.
  EXPECT_DOUBLE_EQ(get_bottom_page_mm(26, nullptr, 0, std::nan("")), 297.0);
  EXPECT_FALSE(logged("No default PCL page size"));
  EXPECT_DOUBLE_EQ(get_bottom_page_mm(5, nullptr, 0, 0.0), 0.0);
  EXPECT_TRUE(logged("No default PCL page size"));
  // Rows without a code never answer for "no code".
  EXPECT_DOUBLE_EQ(get_bottom_page_mm(PCL_PAGE_CODE_NONE, nullptr, 0, 0.0), 0.0);
  EXPECT_DOUBLE_EQ(get_right_page_mm(PCL_PAGE_CODE_NONE, "nothing", 0, -1.0), 0.0);
}

TEST_F(ModifyTest, PageTableRowsAreEachFoundByTheirOwnName) {
  const auto rows = pcl5_page_attribs();
  ASSERT_EQ(rows.size(), PCL5_PAGE_ATTRIBS_COUNT);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    EXPECT_GT(rows[i].width_mm, 0.0);
    EXPECT_GT(rows[i].height_mm, 0.0);
    // Each row is found by its own name, whatever names begin it.
    EXPECT_DOUBLE_EQ(get_bottom_page_mm(0, rows[i].name, 0, 0.0), rows[i].height_mm);
    EXPECT_DOUBLE_EQ(get_right_page_mm(0, rows[i].name, 0, 0.0), rows[i].width_mm);
  }
}

TEST_F(ModifyTest, PositionsFromAnyEdgeBecomeTopLeftCoordinates) {
  EXPECT_DOUBLE_EQ(xform_pos_x(-72, 612), 540);
  EXPECT_DOUBLE_EQ(xform_pos_x(72, 612), 72);
  EXPECT_DOUBLE_EQ(xform_pos_y(100, 792), 692);
  EXPECT_DOUBLE_EQ(xform_pos_y(-100, 792), 100);
  EXPECT_DOUBLE_EQ(xform_pos_y(0, 792), 792);
  EXPECT_TRUE(std::isnan(xform_pos_x(std::nan(""), 612)));
  EXPECT_DOUBLE_EQ(points_to_600dpi(72), 600);
  EXPECT_DOUBLE_EQ(mm_to_600dpi(25.4), 600);
  // An A4 page at 600 dpi: 4960 x 7016 dots, a mark 1 inch from the right
  // and top edges.
  const watermark_point boundary{mm_to_600dpi(210), mm_to_600dpi(297)};
  const watermark_point position{points_to_600dpi(-72), points_to_600dpi(-72)};
  watermark_point out{};
  resolve_watermark_coords(&position, &boundary, &out);
  EXPECT_NEAR(out.x, 4960.6 - 600, 0.1);
  EXPECT_DOUBLE_EQ(out.y, 600);
  const watermark_point from_bottom{30, 40};
  resolve_watermark_coords(&from_bottom, &boundary, &out);
  EXPECT_DOUBLE_EQ(out.x, 30);
  EXPECT_DOUBLE_EQ(out.y, boundary.y - 40);
  EXPECT_FALSE(logged("resolve_watermark_coords: invalid boundary"));
  const watermark_point flat{612, 0};
  resolve_watermark_coords(&from_bottom, &flat, &out);
  EXPECT_DOUBLE_EQ(out.y, -40);
  EXPECT_TRUE(logged("boundary->y > 0.0"));
  EXPECT_TRUE(logged("resolve_watermark_coords: invalid boundary x=612.0,y=0.0"));
}

TEST_F(ModifyTest, GrayLevelsMapToGrayValuesAndOthersToBlack) {
  const double expected[] = {0.0, 0.3, 0.6, 0.9, 1.0};
  for (int level = 0; level < 5; ++level) {
    EXPECT_DOUBLE_EQ(gray_level_to_number(level), expected[level]) << level;
  }
  EXPECT_DOUBLE_EQ(gray_level_to_number(7), 0.0);
  EXPECT_DOUBLE_EQ(gray_level_to_number(-1), 0.0);
}

TEST_F(ModifyTest, HexFormKeepsWholePiecesThatFitAndLogsWithoutABuffer) {
  const std::uint8_t bytes[] = {0x1b, 0x00, 0xff};
  char out[16];
  ASSERT_EQ(byte_seq_to_hex(bytes, 3, out, sizeof out), 1);
  EXPECT_STREQ(out, "0x1B,0x00,0xFF,");
  char small[11];  // two pieces and the terminator
  ASSERT_EQ(byte_seq_to_hex(bytes, 3, small, sizeof small), 1);
  EXPECT_STREQ(small, "0x1B,0x00,");
  EXPECT_EQ(byte_seq_to_hex(bytes, 3, nullptr, 10), 0);
  EXPECT_TRUE(logged("byte_seq_to_hex called without a buffer"));

  global_ctx.dev_logging = 1;
  tagbstring view = bview("A\0B", 3);
  print_bstring_bytes("pjl", &view);
  EXPECT_TRUE(logged("bstring_bytes: pjl [ 3 bytes]{0x41,0x00,0x42,}"));
  print_bstring(7, &view);
  EXPECT_TRUE(logged("bstring:   7- 3]'A~B'"));
}

TEST_F(ModifyTest, ConcatDestroyConsumesTheAddition) {
  BstringPtr target(bfromcstr("ab"));
  EXPECT_EQ(bconcat_destroy(target.get(), bfromcstr("cd")), BSTR_OK);
  EXPECT_STREQ(bdata(target.get()), "abcd");
  EXPECT_EQ(bconcat_destroy(target.get(), nullptr), BSTR_ERR);
  EXPECT_TRUE(logged("bconcat_destroy passed NULL addition bstring"));
}

}  // namespace
