// CUPS raster on small streams built from the published page-header layout.
// All fixtures are hand-made (field by field below); the real drivers' and
// Ghostscript's rasters are in raster_epson_corpus_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "formats/cupsraster.h"
#include "foundation/ja.h"
#include "support/test_support.h"

namespace {

using sw_test::ExactBuffer;

struct Header {
  std::string sync = "RaS2";
  std::uint32_t copies = 1;
  std::uint32_t width_pt = 595;   // A4
  std::uint32_t height_pt = 842;
  std::uint32_t color_space = 1;  // RGB
  std::string page_size_name;
  // A raster the page walk can follow (8 x 2 pixels of a byte each, so 16
  // bytes of data a page); otherwise the pages are counted by headers equal
  // to the first.
  bool walkable = false;
};

void put32(std::string* s, std::size_t at, std::uint32_t v, bool big_endian) {
  for (int i = 0; i < 4; ++i) {
    const int shift = big_endian ? 24 - 8 * i : 8 * i;
    (*s)[at + i] = static_cast<char>((v >> shift) & 0xFF);
  }
}

// The sync word and one page header; offsets count from the sync word.
std::string header(const Header& h) {
  const bool v1 = h.sync == "RaSt" || h.sync == "tSaR";
  const bool big_endian = h.sync[0] == 'R';
  std::string s(4 + (v1 ? CUPSRASTER_V1_HEADER : CUPSRASTER_V2_HEADER), '\0');
  s.replace(0, 4, h.sync);
  s.replace(4, 6, "Letter");                  // MediaClass, so headers are not all zero
  put32(&s, 344, h.copies, big_endian);       // NumCopies
  put32(&s, 356, h.width_pt, big_endian);     // PageSize[0]
  put32(&s, 360, h.height_pt, big_endian);    // PageSize[1]
  put32(&s, 376, 2480, big_endian);           // cupsWidth
  put32(&s, 380, 3508, big_endian);           // cupsHeight
  put32(&s, 404, h.color_space, big_endian);  // cupsColorSpace
  if (h.walkable) {
    put32(&s, 376, 8, big_endian);  // cupsWidth
    put32(&s, 380, 2, big_endian);  // cupsHeight
    put32(&s, 388, 8, big_endian);  // cupsBitsPerColor
    put32(&s, 392, 8, big_endian);  // cupsBitsPerPixel
    put32(&s, 396, 8, big_endian);  // cupsBytesPerLine; cupsColorOrder 0 (chunked)
  }
  if (!v1) s.replace(1736, h.page_size_name.size(), h.page_size_name);  // cupsPageSizeName
  return s;
}

// `pages` pages: each one header (the sync word only before the first)
// and `data_bytes` bytes of raster data.
std::string stream(const Header& h, int pages, std::size_t data_bytes) {
  const std::string first = header(h);
  std::string out;
  for (int i = 0; i < pages; ++i) {
    out += i == 0 ? first : first.substr(4);
    out += std::string(data_bytes, '\xff');
  }
  return out;
}

struct Result {
  int status;
  JobAttribsPtr ja;
};

Result analyse(const std::string& bytes) {
  Result r{0, JobAttribsPtr(analyzer_create_job_attribs())};
  const ExactBuffer buffer(bytes);
  r.status = cupsraster_process_job(buffer.data(), buffer.size(), r.ja.get());
  return r;
}

class CupsRasterTest : public sw_test::TempDirTest {};

// The header's numbers are in the writer's byte order: "RaSt", "RaS2" and
// "RaS3" streams (PWG raster among them) are big-endian.
TEST_F(CupsRasterTest, HeaderNumbersFollowTheSyncWordsByteOrder) {
  for (const char* sync : {"RaSt", "tSaR", "RaS2", "2SaR", "RaS3", "3SaR"}) {
    SCOPED_TRACE(sync);
    const Result r = analyse(stream({.sync = sync, .copies = 3}, 2, 4000));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.ja->copy_count, 3);
    EXPECT_EQ(r.ja->page_width_mm, 210);
    EXPECT_EQ(r.ja->page_height_mm, 297);
    EXPECT_EQ(r.ja->pages, 2);
  }
}

// A page in a gray colour space is judged gray; a page in a colour space
// is not judged (its pixels are not read), so its job's colour pages stay
// -1 and the job is not gray.
TEST_F(CupsRasterTest, GrayAndBlackColourSpacesAreGrayscale) {
  struct Case {
    std::uint32_t space;
    int grayscale;
    int color_pages;
  };
  // 0 W, 3 K, 18 sW carry no colour; 1 RGB, 6 CMYK, 19 sRGB may.
  for (const Case c : {Case{0, 1, 0}, Case{3, 1, 0}, Case{18, 1, 0}, Case{1, 0, -1},
                       Case{6, 0, -1}, Case{19, 0, -1}}) {
    SCOPED_TRACE(c.space);
    for (const bool walkable : {false, true}) {
      const Result r = analyse(stream(
          {.sync = walkable ? "RaSt" : "RaS2", .color_space = c.space, .walkable = walkable}, 2,
          16));
      EXPECT_EQ(r.ja->pages, 2);
      EXPECT_EQ(r.ja->is_grayscale, c.grayscale);
      EXPECT_EQ(r.ja->color_pages, c.color_pages);
    }
  }
}

// Each page header has its own colour space: a gray first page does not
// make a job gray whose later page is in colour.
TEST_F(CupsRasterTest, EveryPagesColourSpaceCounts) {
  struct Case {
    std::uint32_t first;
    std::uint32_t second;
    int grayscale;
    int color_pages;
  };
  for (const Case c : {Case{0, 3, 1, 0}, Case{18, 0, 1, 0}, Case{0, 1, 0, -1},
                       Case{19, 18, 0, -1}}) {
    SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second));
    const std::string page = std::string(16, '\x7f');
    const std::string bytes =
        header({.sync = "RaSt", .color_space = c.first, .walkable = true}) + page +
        header({.sync = "RaSt", .color_space = c.second, .walkable = true}).substr(4) + page;
    const Result r = analyse(bytes);
    EXPECT_EQ(r.ja->pages, 2);
    EXPECT_EQ(r.ja->is_grayscale, c.grayscale);
    EXPECT_EQ(r.ja->color_pages, c.color_pages);
  }
}

// A page whose data is shorter than a header (a blank page of compressed
// PWG raster) still counts when it is the last one.
TEST_F(CupsRasterTest, ShortLastPageCounts) {
  for (const char* sync : {"RaSt", "RaS2"}) {
    SCOPED_TRACE(sync);
    EXPECT_EQ(analyse(stream({.sync = sync}, 3, 10)).ja->pages, 3);
    EXPECT_EQ(analyse(stream({.sync = sync}, 1, 0)).ja->pages, 1);
  }
}

TEST_F(CupsRasterTest, UnknownSyncOrNoRoomForAHeaderFails) {
  std::string v2 = header({.sync = "RaS2"});  // 1800 bytes: sync and a full header
  EXPECT_EQ(analyse(v2).status, 0);
  v2.pop_back();
  EXPECT_EQ(analyse(v2).status, -1);
  EXPECT_TRUE(logged("Invalid CUPS raster format"));
  EXPECT_EQ(analyse("RaS4" + std::string(3000, '\0')).status, -1);
  EXPECT_TRUE(logged("Unsupported CUPS raster version"));
  EXPECT_EQ(analyse("").status, -1);
}

TEST_F(CupsRasterTest, Version3PaperNameLosesNaDashAndBracket) {
  struct Case {
    const char* field;
    const char* paper;
  };
  for (const Case c : {Case{"na_letter_8.5x11in", "na_letter_8.5x11in"},
                       Case{"NA-letter(8.5x11in)", "letter"}, Case{"A4", "A4"}}) {
    SCOPED_TRACE(c.field);
    const Result r = analyse(stream({.sync = "3SaR", .page_size_name = c.field}, 1, 10));
    EXPECT_STREQ(r.ja->paper_size_name, c.paper);
  }
  // Version 2 headers are not read for it.
  const Result v2 = analyse(stream({.sync = "2SaR", .page_size_name = "A5"}, 1, 10));
  EXPECT_STREQ(v2.ja->paper_size_name, "");
}

}  // namespace
