// The colour-page detector on hand-made pages: the colour operators of
// drivers the corpus cannot produce (no tool here writes their output), each
// with the case that must stay gray. Real output (ps2write, pdftops,
// pstops, the Debian manuals) is tested by the corpus table.
#include <gtest/gtest.h>

#include <memory>
#include <string_view>
#include <string>

#include "analysis/analysis_test_util.h"
#include "analysis/postscript.h"
#include "analysis/ps_image.h"
#include "foundation/ja.h"

namespace {

using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;
using JaPtr = JobAttribsPtr;

// Two DSC pages: `first` and a black second page; the padding keeps every
// test's window inside the job.
std::string two_pages(const std::string& first) {
  return "%!PS-Adobe-3.0\n%%Pages: 2\n%%EndComments\n%" + std::string(120, '-') + "\n%%Page: 1 1\n" + first +
         "\nshowpage\n%%Page: 2 2\n0 setgray 0 0 9 9 rectfill\nshowpage\n%%EOF\n%" + std::string(700, '-') + "\n";
}

int colour_pages(const std::string& job) {
  JaPtr ja(analyzer_create_job_attribs());
  const ExactBuffer buffer(job);
  EXPECT_EQ(postscript_process_job(buffer.data(), buffer.size(), 1, ja.get()), 0);
  EXPECT_EQ(ja->pages, 2);
  return ja->color_pages;
}

class PsColorTest : public AnalysisTest {};

TEST_F(PsColorTest, ColourOperators) {
  const std::string pad(60, ' ');
  struct Case {
    const char* name;
    std::string page;
    int colour;
  };
  const Case cases[] = {
      {"gray RGB", pad + "0.5 0.5 0.5 setrgbcolor 0 0 9 9 rectfill", 0},
      {"red RGB", pad + "1 0 0 setrgbcolor 0 0 9 9 rectfill", 1},
      {"the same gray written twice", pad + "0.5 0.50 0.5 setrgbcolor 0 0 9 9 rectfill", 0},
      {"CMYK black", pad + "0 0 0 1 setcmykcolor 0 0 9 9 rectfill", 0},
      {"CMYK all colours saturated", pad + "1 1 1 0 setcmykcolor 0 0 9 9 rectfill", 0},
      {"CMYK nearly gray", pad + "0.2 0.20001 0.2 0 setcmykcolor 0 0 9 9 rectfill", 0},
      {"CMYK magenta", pad + "0 1 0 0 setcmykcolor 0 0 9 9 rectfill", 1},
      {"CMYK magenta that shows only the byte 5", pad + "0 1 0 0 setcmykcolor (\x05)sh", 0},
      {"PDF content red", pad + "/DeviceRGB {} cs\n[1 0 0] sc\n0 0 9 9 re f", 1},
      {"PDF content gray", pad + "/DeviceRGB {} cs\n[0.3 0.3 0.3] sc\n0 0 9 9 re f", 0},
      // Colour that only sets up empty text before the next colour.
      {"invisible text", pad + "1 0 0 0 scol ( ) S\n" + std::string(40, ' ') + "0 0 0 0 scol", 0},
      {"visible text", pad + "1 0 0 0 scol (Hello) S\n" + std::string(40, ' ') + "0 0 0 0 scol", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(colour_pages(two_pages(c.page)), c.colour);
  }
}

TEST_F(PsColorTest, ColourProceduresOfTheProlog) {
  // Hand-made in the way TeX's colour support writes its prolog: procedures
  // that set colours, defined and never used; then a page that calls one.
  const std::string prolog =
      "%%BeginProlog\n/Red { 0 1 1 0 setcmykcolor } def\n/Blue { 0 0 1 setrgbcolor } bind def\n%%EndProlog\n";
  const std::string head = "%!PS-Adobe-3.0\n%%Pages: 2\n%%EndComments\n" + prolog + "%" + std::string(120, '-') + "\n";
  const std::string tail = "\nshowpage\n%%EOF\n%" + std::string(700, '-') + "\n";
  const std::string black = "%%Page: 1 1\n0 0 9 9 rectfill\nshowpage\n%%Page: 2 2\n0 0 9 9 rectfill";
  EXPECT_EQ(colour_pages(head + black + tail), 0);
  const std::string used = "%%Page: 1 1\n0 0 9 9 rectfill\nshowpage\n%%Page: 2 2\n" + std::string(60, ' ') +
                           "Blue 0 0 9 9 rectfill";
  EXPECT_EQ(colour_pages(head + used + tail), 1);
}

TEST_F(PsColorTest, EmbeddedPdfObjectsColourTheirUsers) {
  // Hand-made PDF objects in resources: object 7 draws in RGB and object 8
  // refers to 7, which refers back to 8 (a cycle must end the walk). Only a
  // page that uses the pattern is colour.
  const std::string resources =
      "%%BeginResource: file (PDF object obj_7)\n7 0 obj <</Shading <</ColorSpace /DeviceRGB>> /Next 8 0 R>> "
      "endobj\n%%EndResource\n"
      "%%BeginResource: file (PDF object obj_8)\n8 0 obj <</Ref 7 0 R>> endobj\n%%EndResource\n";
  const std::string head = "%!PS-Adobe-3.0\n%%Pages: 2\n%%EndComments\n%%BeginProlog\n" + resources +
                           "%%EndProlog\n%" + std::string(120, '-') + "\n";
  const std::string tail = "\nshowpage\n%%EOF\n%" + std::string(700, '-') + "\n";
  const std::string unused = head + "%%Page: 1 1\n0 0 9 9 rectfill\nshowpage\n%%Page: 2 2\n0 0 9 9 rectfill" + tail;
  const std::string used = head + "%%Page: 1 1\n0 0 9 9 rectfill\nshowpage\n%%Page: 2 2\n" + std::string(60, ' ') +
                           "/Pattern 8 0 R /P1 cs" + std::string(120, ' ') + tail;
  EXPECT_EQ(colour_pages(unused), 0);
  EXPECT_EQ(colour_pages(used), 1);
}

// Colour images whose samples cannot be decoded here: the page is not
// judged (the job's colour pages are COLOR_PAGES_UNJUDGED), never gray;
// unless some other mark colours the page. The real forms (pdftops' arrays
// of strings, hexadecimal samples behind colorimage, ps2write's inline
// images) are decoded in the corpus rows; no tool here writes data that
// fails to decode, so these are hand-made.
TEST_F(PsColorTest, ImagesThatDoNotDecodeLeaveTheColourUnjudged) {
  const std::string pad(60, ' ');
  auto pdftops_inline = [&](const std::string& decode, const std::string& filter) {
    return pad + "[<~s8W-!s8W-!~>\n<>]\n0\n<<\n  /ImageType 1\n  /Width 2\n  /Height 2\n  /Decode " + decode +
           "\n  /DataSource { pdfImStr }\n    " + filter + "\n>>\nimage\npop pop\n";
  };
  const std::string rgb = "[0 1 0 1 0 1]";
  struct Case {
    const char* name;
    std::string page;
    int colour;
  };
  const Case cases[] = {
      {"pdftops string array, Flate data that does not inflate", pdftops_inline(rgb, "/FlateDecode filter"),
       COLOR_PAGES_UNJUDGED},
      {"pdftops string array, LZW data with a bad code", pdftops_inline(rgb, "/LZWDecode filter"),
       COLOR_PAGES_UNJUDGED},
      {"pdftops string array, JPEG data", pdftops_inline(rgb, "/DCTDecode filter"), COLOR_PAGES_UNJUDGED},
      {"the same on a page with a red fill", "1 0 0 setrgbcolor 0 0 9 9 rectfill\n" + pdftops_inline(rgb, "/DCTDecode filter"), 1},
      {"pdftops string array of a gray image", pdftops_inline("[0 1]", "/DCTDecode filter"), 0},
      {"colorimage of JPEG data behind the operator",
       pad + "2 2 8 [2 0 0 -2 0 2] currentfile /DCTDecode filter false 3 colorimage\n" + std::string(40, 'x'),
       COLOR_PAGES_UNJUDGED},
      {"colorimage of samples held in a variable", pad + "2 2 8 [2 0 0 -2 0 2] { pic } false 3 colorimage",
       COLOR_PAGES_UNJUDGED},
      {"colorimage of gray hexadecimal samples",
       pad + "2 2 8 [2 0 0 -2 0 2] currentfile /ASCIIHexDecode filter false 3 colorimage\n"
             "101010 808080 ffffff 202020>",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(colour_pages(two_pages(c.page)), c.colour);
  }
}

// pdftops palette images whose palette is not read here (a base that is
// not a device space, a palette shorter than its entries, one given as a
// literal string) leave the page unjudged; a DeviceGray base is gray. The
// read palettes (RGB, in place and preloaded, coloured and gray) are the
// corpus rows of pdftops; these spaces come from PDFs no tool here writes.
TEST_F(PsColorTest, PalettesNotReadLeaveTheColourUnjudged) {
  const std::string pad(60, ' ');
  auto palette_image = [&](const std::string& space) {
    return pad + space + " setcolorspace\n[<~s8W-!s8W-!~>\n<>]\n0\n<<\n  /ImageType 1\n  /Width 2\n  /Height 2\n"
                         "  /BitsPerComponent 8\n  /Decode [0 255]\n  /DataSource { pdfImStr }\n    /LZWDecode filter\n>>\n"
                         "image\npop pop\n";
  };
  struct Case {
    const char* name;
    std::string page;
    int colour;
  };
  const Case cases[] = {
      {"DeviceN base", palette_image("[/Indexed [/DeviceN [/Spot] /DeviceCMYK {0 0 0}] 1 <00ff>]"),
       COLOR_PAGES_UNJUDGED},
      {"palette shorter than its entries", palette_image("[/Indexed /DeviceRGB 3 <ff0000 00ff00>]"),
       COLOR_PAGES_UNJUDGED},
      {"palette as a literal string", palette_image("[/Indexed /DeviceRGB 0 (abc)]"), COLOR_PAGES_UNJUDGED},
      {"DeviceGray base", palette_image("[/Indexed /DeviceGray 1 <00ff>]"), 0},
      {"CMYK palette with a colour entry", palette_image("[/Indexed /DeviceCMYK 1 <00000000 ff000000>]"), 1},
      {"the space of an earlier image is not this one's",
       pad + "[/Indexed /DeviceRGB 1 <ff0000 00ff00>] setcolorspace\n" +
           palette_image("[/Separation /Spot /DeviceGray {}]"),
       COLOR_PAGES_UNJUDGED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(colour_pages(two_pages(c.page)), c.colour);
  }
}

TEST_F(PsColorTest, PixelTest) {
  struct Case {
    const char* name;
    std::string samples;
    int components;
    int colour;
  };
  const Case cases[] = {
      {"gray RGB pixels", std::string("\x10\x10\x10\x80\x80\x80\xff\xff\xff", 9), 3, 0},
      {"one colour pixel among gray", std::string("\x10\x10\x10\x0a\x0a\x0b\x80\x80\x80", 9), 3, 1},
      {"a colour last pixel", std::string("\x10\x10\x10\x0a\x0a\x0b", 6), 3, 1},
      {"CMYK with saturated black", std::string("\xc8\x00\x00\xff", 4), 4, 0},
      {"CMYK cyan", std::string("\xc8\x00\x00\x00", 4), 4, 1},
      {"less than a pixel", std::string("\x10\x20", 2), 3, 0},
      {"nothing", std::string(), 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ExactBuffer samples(c.samples);
    EXPECT_EQ(raster_contains_color(samples.data(), samples.size(), c.components, nullptr), c.colour);
  }
}

// Rasters longer than the blocks the test compares at once: the first
// colour pixel is found wherever it is, and a raster counts as uniform
// only when every pixel up to the first colour one equals the first pixel.
TEST_F(PsColorTest, PixelTestOfLongRasters) {
  auto rgb = [](int pixels, std::string_view pixel) {
    std::string raster;
    for (int i = 0; i < pixels; ++i) raster += pixel;
    return raster;
  };
  const std::string gray("\x40\x40\x40", 3);
  const std::string white("\xff\xff\xff", 3);
  const std::string red("\xff\x00\x00", 3);
  const std::string cmyk_black("\x00\x40\x80\xff", 4);
  const std::string cmyk_cyan("\xc8\x00\x00\x00", 4);
  struct Case {
    const char* name;
    std::string samples;
    int components;
    int colour;
    int uniform;
  };
  const Case cases[] = {
      {"one gray value", rgb(1000, gray), 3, 0, 1},
      {"gray values", rgb(500, gray) + rgb(500, white), 3, 0, 0},
      {"colour after 16 gray pixels", rgb(16, gray) + red + rgb(20, gray), 3, 1, 0},
      {"colour after 37 gray pixels", rgb(37, gray) + red, 3, 1, 0},
      {"colour after 1000 gray pixels and a part pixel", rgb(1000, gray) + red + "\x01", 3, 1, 0},
      {"a colour first pixel", red + rgb(40, gray), 3, 1, 1},
      {"colour with saturated black only", rgb(40, cmyk_black), 4, 0, 1},
      {"CMYK colour after 33 black pixels", rgb(33, cmyk_black) + cmyk_cyan, 4, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ExactBuffer samples(c.samples);
    int uniform = -1;
    EXPECT_EQ(raster_contains_color(samples.data(), samples.size(), c.components, &uniform), c.colour);
    EXPECT_EQ(uniform, c.uniform);
  }
}

}  // namespace
