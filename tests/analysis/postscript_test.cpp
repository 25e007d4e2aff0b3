// The PostScript analyzer on real output: every corpus row of language 1
// (Ghostscript's ps2write, poppler's pdftops, the cups-filters chains with
// copies, duplex, N-up and page ranges, a job of two documents, groff with
// an EPS figure, and the PostScript Debian ships in its documentation
// packages), against the truths the tools gave. Then the behaviours no tool
// writes a file for, each with a small hand-made job.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "analysis/analysis_test_util.h"
#include "scan/lang_detect.h"
#include "analysis/postscript.h"
#include "corpus/corpus.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "support/files.h"

namespace {

using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;
using JaPtr = JobAttribsPtr;

// A number "key=N" in a corpus row's note, or `otherwise`.
int note_value(const CorpusRow& row, const std::string& key, int otherwise) {
  const auto at = row.note.find(key + "=");
  return at == std::string::npos ? otherwise : std::atoi(row.note.c_str() + at + key.size() + 1);
}

struct Paper {
  int width;
  int height;
};
Paper paper_mm(const std::string& name) {
  return name == "A4" ? Paper{210, 297} : name == "Letter" ? Paper{216, 279} : Paper{-1, -1};
}

JaPtr analyse(std::string_view bytes, int color) {
  JaPtr ja(analyzer_create_job_attribs());
  const ExactBuffer buffer(bytes);
  EXPECT_EQ(postscript_process_job(buffer.data(), buffer.size(), color, ja.get()), 0);
  return ja;
}

class PostScriptTest : public AnalysisTest {};

TEST_F(PostScriptTest, CorpusRowsGiveTheToolsTruths) {
  const auto rows = corpus_rows_for_lang(1);
  ASSERT_GE(rows.size(), 20u);
  for (const CorpusRow& row : rows) {
    SCOPED_TRACE(row.file + " (" + row.chain + ")");
    const std::string bytes = sw_test::read_file(row.path);
    ASSERT_FALSE(bytes.empty()) << "corpus file missing";
    const int pages = note_value(row, "out_pages", row.pages);
    const JaPtr colour = analyse(bytes, 1);
    EXPECT_EQ(colour->pages, pages);
    EXPECT_EQ(colour->color_pages, note_value(row, "out_colour", row.expected_colour_pages()));
    EXPECT_EQ(colour->copy_count, row.copies);
    EXPECT_EQ(colour->is_duplex, row.duplex ? 1 : 0);
    EXPECT_EQ(colour->is_tumble, row.note.find("tumble") != std::string::npos ? 1 : 0);
    const Paper paper = paper_mm(row.paper);
    EXPECT_EQ(colour->page_width_mm, paper.width);
    EXPECT_EQ(colour->page_height_mm, paper.height);
    // Without colour detection the same pages, and no colour count.
    const JaPtr plain = analyse(bytes, 0);
    EXPECT_EQ(plain->pages, pages);
    EXPECT_EQ(plain->color_pages, -1);
  }
}

}  // namespace

namespace {

// A hand-made DSC job: a header, then the given pages (each ends with
// showpage), then a trailer. Padding comments keep every check's window
// inside the job.
std::string dsc_job(const std::string& header, std::initializer_list<std::string> pages,
                    const std::string& trailer = "%%Trailer\n") {
  std::string job = "%!PS-Adobe-3.0\n" + header + "%%EndComments\n%" + std::string(120, '-') + "\n";
  int n = 0;
  for (const std::string& page : pages) {
    ++n;
    job += "%%Page: " + std::to_string(n) + " " + std::to_string(n) + "\n" + page + "\nshowpage\n";
  }
  return job + trailer + "%%EOF\n%" + std::string(600, '-') + "\n";
}

TEST_F(PostScriptTest, PageCountsOfHandMadeJobs) {
  const std::string text = "/Times-Roman findfont 12 scalefont setfont 72 700 moveto (Some text) show";
  struct Case {
    const char* name;
    std::string job;
    int pages;
  };
  const Case cases[] = {
      // A last page of a duplex job that ends close to the trailer is a
      // blank back side only when it puts nothing on paper.
      {"duplex, empty last page",
       dsc_job("%%Requirements: duplex\n", {text, ""}, "%%Trailer\n%%Pages: 2\n"), 1},
      {"duplex, short last page that draws",
       dsc_job("%%Requirements: duplex\n", {text, "0 0 1 setrgbcolor 0 0 9 9 rectfill"},
               "%%Trailer\n%%Pages: 2\n"),
       2},
      // Ordinals out of every range neither overflow nor win.
      {"absurd ordinal", "%!PS-Adobe-3.0\n%%Page: x 99999999999999999999\n" + text +
                             "\nshowpage\n%%Page: y 1\n" + text + "\nshowpage\n%%EOF\n" + std::string(300, ' '),
       2},
      // An N-up value of 0 from the file divides nothing.
      {"N-up of 0", "%!PS\n/x 0 2 definenup\n" + std::string(200, ' ') + "\n" + text + " showpage\n" + text +
                        " showpage\n" + text + " showpage\n" + std::string(300, ' '),
       3},
      {"pages of free-standing showpage operators",
       "%!PS\n" + text + " showpage\n/sp { showpage } bind def\n" + text + " showpage\n" + std::string(300, ' '),
       2},
      {"empty job", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const JaPtr ja = analyse(c.job, 1);
    EXPECT_EQ(ja->pages, c.pages);
    EXPECT_GE(ja->copy_count, 1);
  }
}

TEST_F(PostScriptTest, FieryRangesCountByIntervals) {
  // Hand-made Fiery colour modes: pages 1 to 3 gray, then 2 back to CMYK;
  // a range past the last page and one of 2^31 - 1 pages are ignored (the
  // count is made by intervals, never by a list of that many pages).
  const std::string features =
      "%%BeginFeature: RangeNum1 1-3\n%%EndFeature\n"
      "%%BeginFeature: RangeProp1_1 EFColorMode: Grayscale\n%%EndFeature\n"
      "%%BeginFeature: RangeNum2 2-2, 5-9\n%%EndFeature\n"
      "%%BeginFeature: RangeProp2_1 EFColorMode: CMYK\n%%EndFeature\n"
      "%%BeginFeature: RangeNum3 1-2147483647\n%%EndFeature\n"
      "%%BeginFeature: RangeProp3_1 EFColorMode: Grayscale\n%%EndFeature\n";
  const std::string page = "0 setgray 0 0 9 9 rectfill";
  const JaPtr ja = analyse(dsc_job(features, {page, page, page, page, page, page}), 1);
  EXPECT_EQ(ja->pages, 6);
  EXPECT_EQ(ja->color_pages, 4);  // pages 1 and 3 gray
}

TEST_F(PostScriptTest, UnclosedResourceKeepsLaterColour) {
  // Hand-made: a PDF object's resource that never ends, then a page in
  // colour. The colour is the page's, not the resource's.
  const std::string job = dsc_job("", {"%%BeginResource: file (PDF object obj_5)\n5 0 obj\n<<>>endobj\n" +
                                           std::string(120, '%') + "\n1 0 0 setrgbcolor 0 0 9 9 rectfill"});
  const JaPtr ja = analyse(job, 1);
  EXPECT_EQ(ja->pages, 1);
  EXPECT_EQ(ja->color_pages, 1);
  EXPECT_TRUE(logged("BeginResource with no EndResource"));
}

TEST_F(PostScriptTest, TimeLimitKeepsWhatWasFound) {
  const auto rows = corpus_rows_for_lang(1);
  ASSERT_FALSE(rows.empty());
  std::string job;
  const std::string one = sw_test::read_file(rows.front().path);
  while (job.size() < (std::size_t{16} << 20)) job += one;
  global_ctx.parse_timeout = 0;
  const JaPtr ja = analyse(job, 0);
  EXPECT_TRUE(logged("Parse timeout exceeded.. Language: Postscript (timeout=0 sec)"));
  EXPECT_EQ(ja->copy_count, 1);
}

}  // namespace

namespace {

// Hand-made Canon wrapping (no tool here writes it): a settings packet with
// the binder copy count, then the driver's PostScript with a 21-byte
// print-data block every `every` bytes.
//   settings packet: CD CA | 10 00 | opcode 00 15 | 00 01 | length 00 04 |
//                    FF FF and 8 x 00 | attribute 07 D7 | copies 00 03
//   data block:      CD CA | 10 02 | opcode 00 1A | 00 01 | length 10 00 |
//                    00 00 00 96 and 6 x 00 | 01
std::string canon_wrapped(const std::string& postscript, std::size_t every) {
  const std::string settings("\xCD\xCA\x10\x00\x00\x15\x00\x01\x00\x04\xFF\xFF\x00\x00\x00\x00\x00\x00\x00\x00"
                             "\x07\xD7\x00\x03",
                             24);
  const std::string block("\xCD\xCA\x10\x02\x00\x1A\x00\x01\x10\x00\x00\x00\x00\x96\x00\x00\x00\x00\x00\x00\x01",
                          21);
  std::string out = settings;
  for (std::size_t at = 0; at < postscript.size(); at += every) {
    out += block;
    out += postscript.substr(at, every);
  }
  return out;
}

TEST_F(PostScriptTest, CanonWrappedPostScript) {
  const auto rows = corpus_rows_for_lang(1);
  std::string postscript;
  for (const CorpusRow& row : rows) {
    if (row.file == "gs-ps2write-mixed-a4.ps") postscript = sw_test::read_file(row.path);
  }
  ASSERT_FALSE(postscript.empty());
  // Blocks every 97 bytes land inside page comments and content streams.
  const ExactBuffer job(canon_wrapped(postscript, 97));
  EXPECT_EQ(analyzer_lang_detect(job.data(), job.size()), LANG_POSTSCRIPT_CANON);
  const std::string tmp = (dir_ / "tmp").string();
  std::filesystem::create_directory(tmp);
  ASSERT_EQ(setenv("TMPDIR", tmp.c_str(), 1), 0);
  JaPtr ja(analyzer_create_job_attribs());
  EXPECT_EQ(postscript_canon_process_job(job.data(), job.size(), 1, ja.get()), 0);
  EXPECT_EQ(ja->pages, 4);
  EXPECT_EQ(ja->color_pages, 2);
  EXPECT_EQ(ja->copy_count, 3);
  EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "the filtered copy was left behind";
  // Without a place for the filtered copy the job cannot be analysed.
  ASSERT_EQ(setenv("TMPDIR", (dir_ / "missing").c_str(), 1), 0);
  JaPtr failed(analyzer_create_job_attribs());
  EXPECT_EQ(postscript_canon_process_job(job.data(), job.size(), 1, failed.get()), -1);
  EXPECT_TRUE(logged("Unable to make temp file"));
  unsetenv("TMPDIR");
}

}  // namespace
