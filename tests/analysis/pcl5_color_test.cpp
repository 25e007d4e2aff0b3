// The PCL5 colour-page detector on constructs that no driver in the corpus
// writes (hand-made PCL and HP-GL/2, annotated command by command), run
// through the analyzer so that each case is a whole job. Real driver output
// (CID delta rows, Simple Colour planes, PCL3GUI) is covered by the corpus
// test.
#include <gtest/gtest.h>

#include <string>

#include "analysis/pcl5_test_util.h"

namespace {

using namespace std::string_literals;
using analysis_test::AnalysisTest;
using pcl5_test::analyse;

// ESC*v6W: configure image data. Colour space 0 (RGB), then the pixel
// encoding, bits per index and 8 bits per primary.
std::string cid(char encoding, char bits_per_index) {
  return "\x1b*v6W\x00"s + encoding + bits_per_index + "\x08\x08\x08"s;
}
const std::string INDEXED_3BIT = cid('\x01', '\x03');  // 8 entries, 1 to 6 coloured
const std::string INDEXED_8BIT = cid('\x01', '\x08');  // 256 entries, 1 to 6 coloured
const std::string DIRECT_RGB = cid('\x03', '\x08');    // three bytes per pixel
// Cursor move and font selection: non-marking.
const std::string MOVE_AND_FONT = "\x1b*p100x200Y\x1b(s1p12v0s0b4148T";

// One raster row: raster width, start, method, the row, end.
std::string raster(const std::string& width, const std::string& method, const std::string& row) {
  return "\x1b*r" + width + "S\x1b*r1A\x1b*b" + method + "M\x1b*b" + std::to_string(row.size()) +
         "W" + row + "\x1b*rC";
}

// HP-GL/2 between ESC%0B and ESC%0A, padded so that every command, and the
// ESC%0A back to PCL, has the room the scan asks for.
std::string hpgl(const std::string& commands) {
  return "\x1b%0B" + commands + pcl5_test::blanks(40) + "\x1b%0A" + pcl5_test::blanks(10);
}

struct Case {
  const char* name;
  std::string job;  // one page, ended by a form feed
  int colour_pages;
};

class Pcl5ColorTest : public AnalysisTest {};

TEST_F(Pcl5ColorTest, OnePageJobs) {
  const Case cases[] = {
      {"coloured foreground confirmed by text after moves",
       INDEXED_3BIT + "\x1b*v1S" + MOVE_AND_FONT + "Hello", 1},
      {"foreground entry 0 of the palette", INDEXED_3BIT + "\x1b*v0S" + MOVE_AND_FONT + "Hello", 0},
      {"entry assigned a gray", INDEXED_3BIT + "\x1b*v128a128b128c1I\x1b*v1SHello", 0},
      {"entry of the default palette assigned red", "\x1b*v255a0b0c1I\x1b*v1SHello", 1},
      {"direct row of a driver's rounded gray (76,77,76)",
       DIRECT_RGB + raster("2", "0", "\x4c\x4d\x4c\x4c\x4d\x4c"), 0},
      {"direct row with a coloured pixel (10,10,14)",
       DIRECT_RGB + raster("2", "0", "\x0a\x0a\x0a\x0a\x0a\x0e"), 1},
      {"indexed row of entries 0 and 7", INDEXED_8BIT + raster("4", "0", "\x00\x07\x07\x00"s), 0},
      {"indexed row with entry 3", INDEXED_8BIT + raster("4", "0", "\x00\x03\x07\x00"s), 1},
      // Delta row (method 3) before any raster width: command byte 0x40
      // replaces 3 bytes at offset 0 of the seed row.
      {"delta row without a raster width",
       DIRECT_RGB + "\x1b*r1A\x1b*b3M\x1b*b4W\x40\xff\x00\x00"s + "\x1b*rC", 1},
      {"palette select 64 is ignored", INDEXED_3BIT + "\x1b&p64S\x1b*v1SHello", 1},
      {"a fresh palette has no colour", INDEXED_3BIT + "\x1b&p5S\x1b*v1SHello", 0},
      {"200 bits per index give 256 entries", cid('\x01', '\xc8') + "\x1b*v1SHello", 1},
      {"HP-GL/2 pen 1 set to black", hpgl("IN;PC1,0,0,0;SP1;PD100,100;PU;"), 0},
      {"HP-GL/2 pen 1 set to red", hpgl("IN;PC1,255,0,0;SP1;PD100,100;PU;"), 1},
      {"NP without a number colours pens 2 to 7", hpgl("IN;NP;SP3;PD100,100;PU;"), 1},
      {"an out-of-range pen number", hpgl("IN;SP99999999999999999999;PD100,100;PU;"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto ja = analyse("\x1b" "E" + c.job + "\f");
    EXPECT_EQ(ja->pages, 1);
    EXPECT_EQ(ja->color_pages, c.colour_pages);
    EXPECT_EQ(ja->is_grayscale, c.colour_pages == 0 ? 1 : 0);
  }
}

// Every counted page end starts a new page for the detector, not only form
// feeds: two coloured pages are two colour pages.
TEST_F(Pcl5ColorTest, EveryKindOfPageEndClosesAPage) {
  const std::string red_text = INDEXED_3BIT + "\x1b*v1SHello";
  const std::string pad = pcl5_test::blanks(120);  // resets count after 100 bytes
  const Case cases[] = {
      {"HP-GL/2 page ends", hpgl("IN;PC1,255,0,0;SP1;PD1,1;PG;PD2,2;PG;"), 2},
      {"resets", pad + red_text + "\x1b" "E" + red_text + "\x1b" "E", 2},
      {"duplex page side selections", red_text + "\x1b&a2G" + red_text + "\x1b&a2G", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto ja = analyse("\x1b" "E" + c.job);
    EXPECT_EQ(ja->pages, 2);
    EXPECT_EQ(ja->color_pages, c.colour_pages);
  }
}

// Raster data whose colour cannot be told (three dithered colour planes of
// Simple Colour) makes the colour pages unknown, not gray; so do the same
// planes behind a monochrome palette (drivers send colour planes after
// declaring one black component), while one plane under it is gray.
TEST_F(Pcl5ColorTest, PlanesWithoutABlackPlaneAreUnknown) {
  const std::string planes = "\x1b*b1V\xff\x1b*b1V\x00\x1b*b1W\xff"s;  // R, G, B
  const auto rgb = analyse("\x1b" "E\x1b*r3U\x1b*r8S\x1b*r1A\x1b*b0M" + planes + "\x1b*rC\f");
  EXPECT_EQ(rgb->color_pages, COLOR_PAGES_UNJUDGED);
  EXPECT_EQ(rgb->is_grayscale, 0);
  const auto mono = analyse("\x1b" "E\x1b*r1U\x1b*r8S\x1b*r1A\x1b*b0M" + planes + "\x1b*rC\f");
  EXPECT_EQ(mono->color_pages, COLOR_PAGES_UNJUDGED);
  EXPECT_EQ(mono->is_grayscale, 0);
  const auto black =
      analyse("\x1b" "E\x1b*r1U\x1b*r8S\x1b*r1A\x1b*b0M\x1b*b1W\xff\x1b*rC\f"s);
  EXPECT_EQ(black->color_pages, 0);
  EXPECT_EQ(black->is_grayscale, 1);
}

}  // namespace
