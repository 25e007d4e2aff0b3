// The PCL XL colour detector, its image row decoders and the backward
// attribute reader. Real driver output is tested through the analyzer
// (pcl6_test.cpp); the cases here are hand-made PCL XL (little-endian
// binding) for what no free driver writes: an RGB image of gray pixels
// with padded rows, coloured white space, 40-byte font names.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/pcl6_attr.h"
#include "analysis/pcl6_decode.h"
#include "analysis/pcl6color_internal.h"

namespace {

using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;

// ---- Hand-made PCL XL ----

// The stream header: positions below 20 are never examined.
const std::string HEADER = ") HP-PCL XL;2;1;Comment hand-made\n";

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (const int v : values) s += static_cast<char>(v);
  return s;
}
// C0 v F8 id: a ubyte attribute.
std::string ubyte(int v, int id) { return bytes({0xC0, v, 0xF8, id}); }
// C1 lo hi F8 id: a uint16 attribute.
std::string uint16(int v, int id) { return bytes({0xC1, v & 0xFF, v >> 8, 0xF8, id}); }
// C8 C0 n bytes F8 id: a ubyte array attribute.
std::string ubyte_array(const std::string& data, int id) {
  return bytes({0xC8, 0xC0, static_cast<int>(data.size())}) + data + bytes({0xF8, id});
}
std::string rgb_brush(int r, int g, int b) {
  return ubyte_array(bytes({r, g, b}), PXL_ATTR_RGB_COLOR) + bytes({PXL_OP_SET_BRUSH_SOURCE});
}
// Text (A8) painting `text` as its TextData.
std::string text(const std::string& t) { return ubyte_array(t, PXL_ATTR_TEXT_DATA) + "\xA8"; }

// Colour pages of a one-page stream, examined at every position.
int colour_pages(const std::string& stream) {
  const ExactBuffer buffer(stream);
  const ByteSpan job(buffer.data(), buffer.size());
  PCL6ColorPtr d(PCL6ColorNew());
  for (std::uint64_t p = 0; p < job.size(); ++p) PCL6ColorParseAtPos(d.get(), job, p, 1);
  PCL6ColorCommitLastPage(d.get());
  return PCL6ColorGetColorPageCount(d.get());
}

class Pcl6ColorTest : public AnalysisTest {};

TEST_F(Pcl6ColorTest, BrushPenAndWhiteSpace) {
  struct Case {
    const char* name;
    std::string stream;
    int colour;
  };
  const std::string red = rgb_brush(255, 0, 0);
  const Case cases[] = {
      {"equal components", rgb_brush(10, 10, 10), 0},
      {"Ghostscript's 0.3 gray as RGB (4C 4D 4C)", rgb_brush(0x4C, 0x4D, 0x4C), 0},
      {"a blue-gray", rgb_brush(10, 10, 40), 1},
      {"pen", ubyte_array(bytes({0, 0, 200}), PXL_ATTR_RGB_COLOR) + "\x79", 1},
      {"gray brush", ubyte(0x80, 0x09) + bytes({PXL_OP_SET_BRUSH_SOURCE}), 0},
      {"red brush painting blanks and line ends", red + text(" \r\n\t"), 0},
      {"red brush painting an empty text", red + text(""), 0},
      {"red brush painting a letter", red + text(" A"), 1},
      {"red brush, double-byte blanks",
       red + bytes({0xC9, 0xC0, 2, ' ', 0, '\n', 0, 0xF8, PXL_ATTR_TEXT_DATA, 0xA8}), 0},
      {"red brush, then a black brush before the text",
       red + rgb_brush(0, 0, 0) + text("Hello"), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(colour_pages(HEADER + c.stream), c.colour);
  }
}

// PCL XL pads image rows to PadBytesMultiple (4 by default): a 5-pixel RGB
// row is 15 bytes and a pad. Read across the pads as three-byte pixels, a
// gray image would show colour from its second row on.
TEST_F(Pcl6ColorTest, UncompressedRgbRowsWithoutTheirPads) {
  const std::string begin_image = ubyte(2, PXL_ATTR_COLOR_SPACE) + "\x6A" +
                                  ubyte(2, PXL_ATTR_COLOR_DEPTH) +
                                  ubyte(0, PXL_ATTR_COLOR_MAPPING) +
                                  uint16(5, PXL_ATTR_SOURCE_WIDTH) +
                                  uint16(3, PXL_ATTR_SOURCE_HEIGHT) + "\xB0";
  const std::string read_image = uint16(0, PXL_ATTR_START_LINE) +
                                 uint16(3, PXL_ATTR_BLOCK_HEIGHT) +
                                 ubyte(0, PXL_ATTR_COMPRESS_MODE) + "\xB1" + bytes({0xFB, 48});
  auto rows = [](int last_red) {
    std::string data;
    for (int row = 0; row < 3; ++row) {
      for (const int g : {10, 50, 90, 130, 170}) data += bytes({g, g, g});
      data += '\0';  // pad
    }
    if (last_red != 0) data.replace(44, 3, bytes({last_red, 0, 0}));
    return data;
  };
  EXPECT_EQ(colour_pages(HEADER + begin_image + read_image + rows(0)), 0);
  EXPECT_EQ(colour_pages(HEADER + begin_image + read_image + rows(200)), 1);
}

// Colour sheets with two pages to a sheet, pages numbered from 1.
TEST_F(Pcl6ColorTest, NupColourSheets) {
  struct Case {
    std::vector<int> colour_pages;
    int sheets;
  };
  const Case cases[] = {{{1, 2}, 1}, {{2, 3}, 2}, {{1, 2, 3, 4}, 2}, {{4}, 1}};
  const std::string stream = HEADER + rgb_brush(200, 0, 0);
  const ExactBuffer buffer(stream);
  const ByteSpan job(buffer.data(), buffer.size());
  const std::uint64_t brush = stream.size() - 1;
  for (const Case& c : cases) {
    PCL6ColorPtr d(PCL6ColorNew());
    PCL6ColorSetNup(d.get(), 2);
    for (int page = 1; page <= 4; ++page) {
      const bool colour = std::find(c.colour_pages.begin(), c.colour_pages.end(), page) !=
                          c.colour_pages.end();
      PCL6ColorParseAtPos(d.get(), job, colour ? brush : 0, page);
    }
    PCL6ColorCommitLastPage(d.get());
    EXPECT_EQ(PCL6ColorGetColorPageCount(d.get()), c.sheets);
  }
}

// Font names of 40 bytes (the longest kept) are told apart by their last byte.
TEST_F(Pcl6ColorTest, FullLengthFontNames) {
  const std::string name_a(40, 'F');
  std::string name_b = name_a;
  name_b.back() = 'G';
  const std::string stream = HEADER + std::string(30, '\0') +
                             ubyte_array(name_a, PXL_ATTR_FONT_NAME) + "\x52" +
                             ubyte_array(name_b, PXL_ATTR_FONT_NAME) + "\x52" +
                             ubyte_array(name_a, PXL_ATTR_FONT_NAME) + "\x52";
  const ExactBuffer buffer(stream);
  const ByteSpan job(buffer.data(), buffer.size());
  PCL6ColorPtr d(PCL6ColorNew());
  for (std::uint64_t p = 0; p < job.size(); ++p) PCL6ColorParseAtPos(d.get(), job, p, 1);
  EXPECT_EQ(d->num_font_names, 2);
  EXPECT_EQ(d->current_font, 0);
  EXPECT_EQ(std::string(d->font_names[1].data()), name_b);
}

// ---- Row decoders ----

struct Rows {
  std::vector<std::string> rows;
  static bool visit(ByteSpan row, void* context) {
    static_cast<Rows*>(context)->rows.emplace_back(scan_text(row));
    return false;
  }
};

TEST(Pcl6Decode, RunLengthRowsCrossRuns) {
  struct Case {
    const char* name;
    std::string compressed;
    PxlDecodeResult result;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"literal, repeat across a row end, no-op, literal",
       bytes({0x01, 1, 2, 0xFC, 7, 0x80, 0x00, 9}), PxlDecodeResult::DONE,
       {bytes({1, 2, 7, 7}), bytes({7, 7, 7, 9})}},
      {"a literal longer than the data", bytes({0x05, 1, 2, 3}), PxlDecodeResult::SHORT, {}},
      {"a repeat without its byte", bytes({0xFE}), PxlDecodeResult::SHORT, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ExactBuffer in(c.compressed);
    std::vector<std::uint8_t> row;
    Rows out;
    EXPECT_EQ(pxl_decode_rle_rows(ByteSpan(in.data(), in.size()), 4, 2, row, Rows::visit, &out),
              c.result);
    EXPECT_EQ(out.rows, c.rows);
  }
}

TEST(Pcl6Decode, DeltaRowsApplyToTheSeedRow) {
  // Row 1: two bytes at offset 1. Row 2: no commands (the seed row again).
  // Row 3: one byte at offset 31 + 2 (an extended offset past the row end
  // replaces nothing).
  const std::string compressed = bytes({3, 0, 0x21, 0xAA, 0xBB}) + bytes({0, 0}) +
                                 bytes({3, 0, 0x1F, 0x02, 0xCC});
  const ExactBuffer in(compressed);
  std::vector<std::uint8_t> row;
  Rows out;
  EXPECT_EQ(pxl_decode_delta_rows(ByteSpan(in.data(), in.size()), 6, 3, row, Rows::visit, &out),
            PxlDecodeResult::DONE);
  const std::string seed = bytes({0, 0xAA, 0xBB, 0, 0, 0});
  EXPECT_EQ(out.rows, (std::vector<std::string>{seed, seed, seed}));
  // A command whose replacement bytes are cut off.
  const ExactBuffer bad(bytes({2, 0, 0x20, 0xAA}));
  EXPECT_EQ(pxl_decode_delta_rows(ByteSpan(bad.data(), bad.size()), 6, 1, row, Rows::visit, &out),
            PxlDecodeResult::BAD_DATA);
}

// ---- Attribute lists ----

TEST(Pcl6Attr, ReadsTheListBackFromItsOperator) {
  // ColorDepth 1 (ubyte), then SourceWidth 0x05C0 (a uint16 whose low byte
  // is the ubyte tag C0), then the operator.
  const std::string list = ubyte(1, PXL_ATTR_COLOR_DEPTH) + uint16(0x05C0, PXL_ATTR_SOURCE_WIDTH) +
                           ubyte_array("A4", PXL_ATTR_MEDIA_SIZE) + "\xB0";
  const ExactBuffer buffer(list);
  const ByteSpan data(buffer.data(), buffer.size());
  PxlAttr attrs[PXL_MAX_ATTRS];
  const int n = pxl_read_attrs_before(data, data.size() - 1, 100, attrs, PXL_MAX_ATTRS);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(attrs[0].id, PXL_ATTR_MEDIA_SIZE);
  EXPECT_EQ(attrs[0].value.count, 2u);
  EXPECT_EQ(attrs[1].id, PXL_ATTR_SOURCE_WIDTH);
  EXPECT_EQ(pxl_value_int(data, attrs[1].value), 0x05C0);
  EXPECT_EQ(pxl_value_int(data, attrs[2].value), 1);
  // A window that ends inside the list reads only what lies in it.
  EXPECT_EQ(pxl_read_attrs_before(data, data.size() - 1, 8, attrs, PXL_MAX_ATTRS), 1);
  // Embedded data must lie inside the buffer.
  const ExactBuffer data_op(bytes({0xB1, 0xFA, 4, 0, 0, 0, 1, 2, 3, 4}));
  const ByteSpan d(data_op.data(), data_op.size());
  EXPECT_EQ(pxl_embedded_data_end(d, 0), 10u);
  EXPECT_EQ(pxl_embedded_data_end(d.first(9), 0), std::nullopt);
}

}  // namespace
