// Job totals after the last page. No free driver writes these trailers, so
// the trailers are hand-made lines behind real driver output.
#include <gtest/gtest.h>

#include <string>

#include "scan/pjl.h"
#include "scan_test_util.h"

namespace {

using scan_test::Bytes;
using scan_test::bytes;

// Hand-made: 300 bytes standing in for page data, the trailer text, then
// the final universal exit (and what a driver writes after it).
Bytes job_with_trailer(const std::string& trailer, const std::string& after = "") {
  return bytes(std::string(300, 'd') + trailer + PJL_UEL + after);
}

PjlTrailerInfo read(const Bytes& data, int* result) {
  PjlTrailerInfo t;
  *result = pjl_parse_trailer(data.data(), data.size(), &t);
  return t;
}

TEST(PjlTrailerTest, RealJobsEndWithoutTotals) {
  // hpcups ends with "@PJL EOJ" and Ghostscript with a bare exit: no totals.
  for (const char* file : {"cf-hpcups-clj3600-duplex-text-a4.pxl", "gs-ljet4pjl-mixed-a4.pcl"}) {
    SCOPED_TRACE(file);
    int result = -1;
    const PjlTrailerInfo t = read(scan_test::corpus_bytes(file), &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(t.pages, -1);
    EXPECT_FALSE(pjl_trailer_has_pages(t));
  }
}

struct LineCase {
  const char* name;
  std::string trailer;
  std::string after = "";
  int result = 1;
  int pages = -1;
  int duplex = 0;
  int grayscale = 0;
  int multipage = -1;
};

TEST(PjlTrailerTest, LinesBeforeTheFinalExit) {
  const LineCase cases[] = {
      {.name = "PRINTPAGES replaces PAGECOUNTER",
       .trailer = "@PJL PAGECOUNTER=\"7\"\r\n@PJL COMMENT PREPRINTINFO: PRINTPAGES=5\r\n",
       .pages = 5},
      {.name = "the line nearest the exit wins",
       .trailer = "@PJL PAGECOUNTER=\"3\"\n@PJL PAGECOUNTER=\"4\"\n",
       .pages = 4},
      {.name = "duplex, render mode and n-up",
       .trailer = "@PJL COMMENT PREPRINTINFO: DUPLEX=DUPLEX\n@PJL COMMENT PREPRINTINFO: "
                  "RENDERMODE=TRUEBLACK\n@PJL COMMENT PREPRINTINFO: MULTIPAGE=2\n",
       .duplex = 1,
       .grayscale = 1,
       .multipage = 2},
      {.name = "simplex and colour are read as such",
       .trailer = "@PJL COMMENT PREPRINTINFO: DUPLEX=SIMPLEX\n"
                  "@PJL COMMENT PREPRINTINFO: RENDERMODE=COLOR\n"},
      {.name = "a count too long for 32 bits saturates",
       .trailer = "@PJL PAGECOUNTER=\"123456789012345678901234567890\"\n",
       .pages = 2147483647},
      {.name = "the exit must start 9 to 100 bytes before the end",
       .trailer = "@PJL PAGECOUNTER=\"7\"\n",
       .after = std::string(120, 'z'),
       .result = 0},
      {.name = "no @PJL line",
       .trailer = "\n\n",
       .result = 0},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    int result = -1;
    const PjlTrailerInfo t = read(job_with_trailer(c.trailer, c.after), &result);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(t.pages, c.pages);
    EXPECT_EQ(t.duplex, c.duplex);
    EXPECT_EQ(t.grayscale, c.grayscale);
    EXPECT_EQ(t.multipage, c.multipage);
  }
}

// Hand-made FXJOBINFO block.
std::string fx_block(const std::string& lines) {
  return "@PJL COMMENT FXJOBINFO BEGIN\r\n" + lines + "@PJL COMMENT FXJOBINFO END\r\n";
}
std::string fx_page(const char* size, const char* mode, const char* duplex) {
  return std::string("@PJL COMMENT FXJOBINFO PAGEINFO=1 SIZE[") + size + "] MODE[" + mode +
         "] DUPLEX[" + duplex + "]\r\n";
}

struct FxCase {
  const char* name;
  std::string lines;
  int pages;
  int color_pages;
  int copies = 0;
  int duplex = 0;
  int width = -1;
  int height = -1;
};

TEST(PjlTrailerTest, FxJobInfoBlock) {
  const std::string colour_page = fx_page("209.5X297.4", "COLOR", "DUPLEX");
  const std::string mono_page = fx_page("209.5X297.4", "MONO", "DUPLEX");
  const FxCase cases[] = {
      {.name = "every page line counts, the one before END too",
       .lines = colour_page + mono_page + colour_page,
       .pages = 3,
       .color_pages = 2,
       .duplex = 1,
       .width = 210,
       .height = 297},
      {.name = "empty pages are skipped whole",
       .lines = mono_page + fx_page("100X100", "EMPTY", "SIMPLEX"),
       .pages = 1,
       .color_pages = 0,
       .duplex = 1,
       .width = 210,
       .height = 297},
      {.name = "copies from physical and logical pages",
       .lines = colour_page + colour_page + colour_page + colour_page + colour_page + colour_page +
                "@PJL COMMENT FXJOBINFO LOGICALPAGES=3\r\n"
                "@PJL COMMENT FXJOBINFO PHYSICALPAGES = 6\r\n",
       .pages = 3,
       .color_pages = 3,
       .copies = 2,
       .duplex = 1,
       .width = 210,
       .height = 297},
      {.name = "JOBCOPIES first",
       .lines = "@PJL COMMENT FXJOBINFO PAGECOPIES=2\r\n@PJL COMMENT FXJOBINFO JOBCOPIES=4\r\n" +
                fx_page("215.9X279.4", "MONO", "SIMPLEX"),
       .pages = 1,
       .color_pages = 0,
       .copies = 4,
       .width = 216,
       .height = 279},
      {.name = "no page lines: duplex and size unknown",
       .lines = "@PJL COMMENT FXJOBINFO NUP=2\r\n",
       .pages = 0,
       .color_pages = 0,
       .duplex = -1},
  };
  for (const FxCase& c : cases) {
    SCOPED_TRACE(c.name);
    int result = -1;
    const PjlTrailerInfo t = read(job_with_trailer(fx_block(c.lines)), &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(t.pages, c.pages);
    EXPECT_EQ(t.color_pages, c.color_pages);
    EXPECT_EQ(t.copies, c.copies);
    EXPECT_EQ(t.duplex, c.duplex);
    EXPECT_EQ(pjl_trailer_is_duplex(t), c.duplex == 1);
    EXPECT_EQ(t.page_width, c.width);
    EXPECT_EQ(t.page_height, c.height);
  }
}

TEST(PjlTrailerTest, FxJobInfoNeedsBothEnds) {
  int result = -1;
  // No END: the lines before the exit are tried instead (none here).
  read(job_with_trailer("@PJL COMMENT FXJOBINFO BEGIN\r\n" +
                        fx_page("210X297", "COLOR", "DUPLEX")),
       &result);
  EXPECT_EQ(result, 0);
  // Too short to hold a block.
  const Bytes tiny = bytes("FXJOBINFO");
  PjlTrailerInfo t;
  EXPECT_EQ(pjl_parse_trailer(tiny.data(), tiny.size(), &t), 0);
  EXPECT_EQ(pjl_parse_trailer(tiny.data(), tiny.size(), nullptr), 0);
}

}  // namespace
