// The PCL XL analyzer on real driver output: Ghostscript's pxlmono,
// pxlcolor, lj5mono and lj5gray devices, the cups-filters PCL XL chain and
// hpcups, with the truths of the corpus manifest (pages and paper from
// pdfinfo of the source, colour pages from inkcov, copies and duplex from
// the recipe's options). Where a case needs a setting no free driver
// writes (a PJL line of a finishing driver, concatenated copies), a real
// job is edited and the edit is named in the case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/pcl6.h"
#include "corpus/corpus.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "support/files.h"

namespace {

using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;
using JaPtr = JobAttribsPtr;

constexpr int LANG_PCL6 = 4;
constexpr int LANG_XPL2 = 63;

struct Result {
  int status = -99;
  JaPtr ja;
};

Result analyse(const std::string& bytes, int color) {
  const ExactBuffer buffer(bytes);
  Result r{0, JaPtr(analyzer_create_job_attribs())};
  r.status = pcl6_process_job(buffer.data(), buffer.size(), color, r.ja.get());
  return r;
}

std::string corpus_bytes(const std::string& file) {
  return sw_test::read_file(corpus_dir() + "/" + file);
}

// `line` put in front of the job's "@PJL ENTER LANGUAGE" (an edit of real
// output: the PJL header of a driver that writes the setting).
std::string with_pjl_line(std::string job, const std::string& line) {
  const auto at = job.find("@PJL ENTER LANGUAGE");
  if (at != std::string::npos) job.insert(at, line + "\n");
  return job;
}

// Millimetre sizes of the papers the corpus uses as custom sizes.
struct PaperSize {
  const char* name;
  int width;
  int height;
};
constexpr PaperSize CUSTOM_PAPERS[] = {{"A2", 420, 594}};

// Chains whose colour the analyzer cannot read: hpcups' JetReady output
// carries its pages as compressed bands in vendor-unique data. The
// analyzer marks the colour pages unjudged rather than claim none, unless
// the driver's header prints the job in gray.
bool colour_unread(const CorpusRow& row) {
  return row.chain.find("hp-color_laserjet_3600.ppd") != std::string::npos && row.colour_out;
}

// Copies that the chain wrote into the data as repeated pages: whole jobs
// concatenated, or the pages of a job repeated by the CUPS filters (manual
// copies). Without a copy count in the job (PageCopies, a PJL QTY or COPIES
// per copy) they are pages; the printed total is the same.
bool copies_as_pages(const CorpusRow& row) {
  return row.chain.find("concatenated") != std::string::npos ||
         row.chain.find("-o copies=") != std::string::npos;
}

class Pcl6Test : public AnalysisTest {};

TEST_F(Pcl6Test, CorpusJobsGiveTheToolsTruths) {
  std::vector<CorpusRow> rows = corpus_rows_for_lang(LANG_PCL6);
  for (auto& r : corpus_rows_for_lang(LANG_XPL2)) rows.push_back(std::move(r));
  ASSERT_GE(rows.size(), 15u);
  for (const CorpusRow& row : rows) {
    SCOPED_TRACE(row.file);
    const std::string bytes = corpus_bytes(row.file);
    ASSERT_FALSE(bytes.empty());
    const Result colour = analyse(bytes, 1);
    ASSERT_EQ(colour.status, 0);
    const JobAttribs& ja = *colour.ja;
    if (copies_as_pages(row)) {
      EXPECT_EQ(ja.pages * ja.copy_count, row.pages * row.copies);
    } else {
      EXPECT_EQ(ja.pages, row.pages);
      EXPECT_EQ(ja.copy_count, row.copies);
    }
    EXPECT_EQ(ja.is_duplex, row.duplex ? 1 : 0);
    const bool tumble = row.chain.find("-dTumble") != std::string::npos ||
                        row.chain.find("=DuplexTumble") != std::string::npos;
    EXPECT_EQ(ja.is_tumble, tumble ? 1 : 0);
    if (colour_unread(row)) {
      EXPECT_EQ(ja.color_pages, COLOR_PAGES_UNJUDGED);
      EXPECT_EQ(ja.is_grayscale, 0);
    } else {
      EXPECT_EQ(ja.color_pages, row.expected_colour_pages());
      EXPECT_EQ(ja.is_grayscale, row.expected_colour_pages() == 0 ? 1 : 0);
    }
    bool custom = false;
    for (const PaperSize& p : CUSTOM_PAPERS) {
      if (row.paper != p.name) continue;
      custom = true;
      EXPECT_STREQ(ja.paper_size_name, "");
      EXPECT_EQ(ja.page_width_mm, p.width);
      EXPECT_EQ(ja.page_height_mm, p.height);
    }
    if (!custom) {
      EXPECT_EQ(ja.paper_size_name, row.paper);
    }
    // Without colour detection the pages are the same: embedded data is
    // stepped over by its length either way.
    const Result plain = analyse(bytes, 0);
    ASSERT_EQ(plain.status, 0);
    EXPECT_EQ(plain.ja->pages, colour.ja->pages);
    EXPECT_EQ(plain.ja->color_pages, -1);
  }
}

// An image whose data the detector cannot read (a compression it does not
// know) leaves its page's colour undecided, never gray: Ghostscript's photo
// pages with every image's CompressMode (C0 nn F8 65 before ReadImage B1)
// set to 9.
TEST_F(Pcl6Test, UnreadableImagesLeaveTheColourUnjudged) {
  const auto row = corpus_row_named("gs-pxlcolor-photo-a4-rle.pxl");
  ASSERT_TRUE(row.has_value());
  std::string bytes = corpus_bytes(row->file);
  int patched = 0;
  for (std::size_t at = bytes.find("\xc0"); at != std::string::npos && at + 6 < bytes.size();
       at = bytes.find("\xc0", at + 1)) {
    if (bytes.compare(at + 2, 2, "\xf8\x65") == 0 && bytes[at + 4] == '\xb1') {
      bytes[at + 1] = '\x09';
      ++patched;
    }
  }
  ASSERT_GE(patched, 2);
  const Result r = analyse(bytes, 1);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.ja->pages, row->pages);
  EXPECT_EQ(r.ja->color_pages, COLOR_PAGES_UNJUDGED);
  EXPECT_EQ(r.ja->is_grayscale, 0);
  EXPECT_TRUE(logged("Unknown image compression type"));
}

// Bytes inside embedded data are never operators: a glyph whose data holds
// the bytes of an EndPage with its PageCopies (C1 01 00 F8 31 44 C0) does not
// end a page, with or without colour detection.
TEST_F(Pcl6Test, EmbeddedDataIsSteppedOverWithEitherColourFlag) {
  std::string job = corpus_bytes("gs-pxlmono-text-a4.pxl");
  // Edit of real output: the first ReadChar's glyph data (F8 A3 53 FA len).
  const auto read_char = job.find("\xF8\xA3\x53\xFA");
  ASSERT_NE(read_char, std::string::npos);
  const std::string fake_end_page("\xC1\x01\x00\xF8\x31\x44\xC0", 7);
  job.replace(read_char + 8 + 4, fake_end_page.size(), fake_end_page);
  for (const int color : {0, 1}) {
    SCOPED_TRACE(color);
    const Result r = analyse(job, color);
    EXPECT_EQ(r.ja->pages, 2);
  }
}

// The colour detector numbers pages from 1, once per page: with N pages to
// a sheet (NLPP, a finishing driver's PJL job attribute) the colour sheets
// follow from the colour pages 2 and 4 of the real job.
TEST_F(Pcl6Test, ColourSheetsWithPagesPerSheet) {
  struct Case {
    int nlpp;
    int colour_sheets;
  };
  const Case cases[] = {{.nlpp = 2, .colour_sheets = 2}, {.nlpp = 4, .colour_sheets = 1}};
  const std::string job = corpus_bytes("gs-pxlcolor-mixed-a4.pxl");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nlpp);
    const std::string nlpp = "@PJL SET JOBATTR=\"@NLPP=" + std::to_string(c.nlpp) + "\"";
    const Result r = analyse(with_pjl_line(job, nlpp), 1);
    EXPECT_EQ(r.ja->pages, 4);
    EXPECT_EQ(r.ja->color_pages, c.colour_sheets);
  }
}

// Copies concatenated in the spool file, each led by "@PJL SET QTY": the
// pages are one copy's only when the copies are byte for byte the same, and
// then the copies count.
TEST_F(Pcl6Test, ConcatenatedCopiesWithTheirOwnQty) {
  const std::string qty = "@PJL SET QTY=1";
  const std::string a4 = with_pjl_line(corpus_bytes("gs-pxlmono-text-a4.pxl"), qty);
  const std::string letter = with_pjl_line(corpus_bytes("cf-pxlmono-text-letter.pxl"), qty);
  struct Case {
    const char* name;
    std::string job;
    int pages;
    int copies;
  };
  const Case cases[] = {
      {.name = "three identical copies", .job = a4 + a4 + a4, .pages = 2, .copies = 3},
      {.name = "three different jobs", .job = a4 + letter + a4, .pages = 6, .copies = 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = analyse(c.job, 0);
    EXPECT_EQ(r.ja->pages, c.pages);
    EXPECT_EQ(r.ja->copy_count, c.copies);
  }
}

// An empty even page is left out only as the blank back side of a duplex
// job; printed one-sided it takes a sheet (the corpus row counts 2 pages).
TEST_F(Pcl6Test, BlankBackSideOfADuplexJob) {
  const std::string job = corpus_bytes("gs-pxlmono-blank-a4.pxl");
  EXPECT_EQ(analyse(job, 0).ja->pages, 2);
  const Result duplex = analyse(with_pjl_line(job, "@PJL SET DUPLEX=ON"), 0);
  EXPECT_EQ(duplex.ja->is_duplex, 1);
  EXPECT_EQ(duplex.ja->pages, 1);
}

// Booklet settings of finishing drivers (PJL lines edited into a real job
// of 4 pages).
TEST_F(Pcl6Test, BookletSettings) {
  struct Case {
    const char* line;
    int pages;
    int duplex;
  };
  const Case cases[] = {
      {.line = "@PJL SET JOBATTR=\"@BKLT=LEFT\"", .pages = 2, .duplex = 0},
      {.line = "@PJL SET JOBATTR=\"@BKLT=NONE\"", .pages = 4, .duplex = 0},
      {.line = "@PJL SET PAGEIMAGEINFO=TWOUPPAMPHLET", .pages = 2, .duplex = 1},
      {.line = "@PJL SET LAYOUT=BOOKLET4IN1", .pages = 2, .duplex = 1},
      {.line = "@PJL SET FOLDING=CENTERFOLDIN", .pages = 2, .duplex = 1},
  };
  const std::string job = corpus_bytes("gs-pxlcolor-mixed-a4.pxl");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const Result r = analyse(with_pjl_line(job, c.line), 0);
    EXPECT_EQ(r.ja->pages, c.pages);
    EXPECT_EQ(r.ja->is_duplex, c.duplex);
  }
}

// A Kyocera job's trailer ("!R! CMNT Color=c,Mono=m; EXIT;" before the last
// universal exit) gives the colour pages when the detector found none and
// the trailer's count is at most 2 more. Edits of a real mono job: the
// Kyocera mark in its PJL header and the trailer at its end.
TEST_F(Pcl6Test, KyoceraTrailerColourPages) {
  struct Case {
    int trailer_colour;
    int colour_pages;
  };
  const Case cases[] = {{.trailer_colour = 2, .colour_pages = 2},
                        {.trailer_colour = 3, .colour_pages = 0},
                        {.trailer_colour = 0, .colour_pages = 0}};
  const std::string uel = "\x1b%-12345X";
  std::string job = with_pjl_line(corpus_bytes("gs-pxlmono-text-a4.pxl"),
                                  "@PJL COMMENT Kyocera Corporation");
  ASSERT_EQ(job.compare(job.size() - uel.size(), uel.size(), uel), 0);
  job.erase(job.size() - uel.size());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trailer_colour);
    const std::string trailer =
        "!R! CMNT Color=" + std::to_string(c.trailer_colour) + ",Mono=2; EXIT;\n";
    const Result r = analyse(job + trailer + uel + "@PJL EOJ\n" + uel, 1);
    EXPECT_EQ(r.ja->pages, 2);
    EXPECT_EQ(r.ja->color_pages, c.colour_pages);
    EXPECT_EQ(r.ja->is_grayscale, c.colour_pages > 0 ? 0 : 1);
  }
}

// Every truncation of a real job is analysed without reading outside the
// buffer, and what was found so far is kept.
TEST_F(Pcl6Test, TruncatedJobs) {
  global_ctx.debug_logging = 0;
  const std::string job = corpus_bytes("gs-pxlcolor-photo-a4-rle.pxl");
  ASSERT_GT(job.size(), 1000u);
  int last_pages = 0;
  for (std::size_t cut = 0; cut <= job.size(); cut += 1 + job.size() / 97) {
    SCOPED_TRACE(cut);
    for (const int color : {0, 1}) {
      const Result r = analyse(job.substr(0, cut), color);
      EXPECT_EQ(r.status, 0);
      EXPECT_LE(r.ja->pages, 3);
      if (color == 0) {
        EXPECT_GE(r.ja->pages, last_pages);
        last_pages = r.ja->pages;
      }
    }
  }
}

TEST_F(Pcl6Test, ParseTimeoutKeepsWhatWasFound) {
  global_ctx.parse_timeout = -1;  // already run out at the first look
  const Result r = analyse(corpus_bytes("gs-pxlcolor-mixed-a4.pxl"), 1);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(logged("Parse timeout exceeded. Language: PCL6")) << log();
}

}  // namespace
