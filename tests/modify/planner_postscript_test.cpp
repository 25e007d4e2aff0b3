// The PostScript planner, its rewrites rendered by Ghostscript: the
// watermark once per page in txtwrite's text and in the bounding boxes,
// duplex and copies in the PCL XL that pxlmono makes of the rewrite, gray
// in pdfwrite's page device even when the job asks for RGB afterwards.
#include "modify/planner_postscript.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/ja.h"
#include "foundation/watermark.h"
#include "modify/replacement_list.h"
#include "modify_test_support.h"

namespace {

using modify_test::ModifyTest;
using modify_test::Planned;
using modify_test::run_planner;

constexpr const char* MARK = "ZQXWATERMARKQZX";

Planned plan(const std::string& input, const watermark_params& request,
             const char* printer_type = "", int pages = -1, int duplex = 0) {
  JobAttribsPtr job(analyzer_create_job_attribs());
  job->language = 1;
  job->pages = pages;
  job->is_duplex = duplex;
  std::strncpy(job->printer_type, printer_type, sizeof job->printer_type - 1);
  ReplacementListPtr list(replacement_list_create(input.size(), -1, nullptr));
  return run_planner(plan_replacements_postscript, input, request, job.get(), list.get());
}

watermark_params watermark(const char* text) {
  watermark_params r{};
  std::strncpy(r.text, text, sizeof r.text - 1);
  r.font_size = 24;
  r.gray_level = WATERMARK_GRAY_MEDIUM;
  r.position = WATERMARK_POSITION_BOTTOM;
  return r;
}

int count_of(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
    ++n;
  return n;
}

// The lower-left corners of the pages' bounding boxes.
std::vector<std::pair<int, int>> bbox_corners(const std::string& bbox_output) {
  std::vector<std::pair<int, int>> corners;
  std::istringstream in(bbox_output);
  std::string line;
  while (std::getline(in, line)) {
    int llx = 0, lly = 0, urx = 0, ury = 0;
    if (std::sscanf(line.c_str(), "%%%%BoundingBox: %d %d %d %d", &llx, &lly, &urx, &ury) == 4)
      corners.emplace_back(llx, lly);
  }
  return corners;
}

class PostScriptPlanner : public ModifyTest {
 protected:
  // Ghostscript's output for `ps` with a device (and arguments after the
  // job), its messages included.
  std::string render(const std::string& ps, const std::string& device,
                     const std::string& tail = "") const {
    const std::string path = write("job.ps", ps);
    const std::string out = device == "pdfwrite" ? "/dev/null" : "-";
    return sw_test::command_output("gs -q -dBATCH -dNOPAUSE -dNOSAFER -sDEVICE=" + device +
                                   " -sOutputFile=" + out + " " + path + " " + tail + " 2>&1");
  }
};

TEST_F(PostScriptPlanner, InsertionPointFollowsTheFirstPostScriptLine) {
  struct Case {
    std::string job;
    std::int64_t expected;
  } cases[] = {
      {"%!PS-Adobe-3.0\n%%Pages: 1\n", 15},
      {"\x1b%-12345X@PJL JOB\r\n@PJL ENTER LANGUAGE = POSTSCRIPT\r\n%!PS\n", 53},
      {"%!PS\r\n\x01M%%Title: x\n", 8},
      {"no start here\n", -1},
      {"%!PS-Adobe-3.0 without a line end", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.job);
    EXPECT_EQ(find_start_of_ps(reinterpret_cast<const std::uint8_t*>(c.job.data()), c.job.size()),
              c.expected);
  }
}

TEST_F(PostScriptPlanner, WatermarkShowsOncePerPageAndGrowsTheBoundingBox) {
  for (const char* file :
       {"gs-ps2write-text-letter.ps", "cf-pstops-mixed-letter.ps", "cf-pdftops-mixed-a4.ps"}) {
    SCOPED_TRACE(file);
    const CorpusRow row = *corpus_row_named(file);
    const std::string input = sw_test::corpus_bytes(file);
    const Planned p = plan(input, watermark(MARK));
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.state.watermark, 1);
    EXPECT_EQ(count_of(render(p.output, "txtwrite"), MARK), row.pages);
    const auto before = bbox_corners(render(input, "bbox"));
    const auto after = bbox_corners(render(p.output, "bbox"));
    ASSERT_EQ(static_cast<int>(after.size()), row.pages);
    for (std::size_t i = 0; i < after.size(); ++i) {
      EXPECT_LE(after[i].second, 45);  // the watermark's baseline is 20 pt above the bottom
      EXPECT_LE(after[i].second, before[i].second);
    }
  }
}

TEST_F(PostScriptPlanner, WatermarkTextIsAPostScriptString) {
  const Planned p = plan("%!PS\n", watermark("(a)\\"));
  EXPECT_NE(p.output.find("/watermark_text (\\(a\\)\\\\) def"), std::string::npos);
}

TEST_F(PostScriptPlanner, EndPageHookWorksInAReadOnlyDictionary) {
  // Hand-made: a page shown while a read-only dictionary is the current one.
  const std::string job =
      "%!PS-Adobe-3.0\n/ro 1 dict readonly def\n"
      "/Helvetica 20 selectfont 100 400 moveto (page) show\nro begin showpage end\n";
  const Planned p = plan(job, watermark(MARK));
  ASSERT_EQ(p.result, 1);
  const std::string text = render(p.output, "txtwrite");
  EXPECT_EQ(count_of(text, MARK), 1);
  EXPECT_EQ(text.find("invalidaccess"), std::string::npos) << text;
}

TEST_F(PostScriptPlanner, DuplexAndCopiesReachThePrinterLanguage) {
  const std::string input = sw_test::corpus_bytes("cf-pstops-mixed-letter.ps");
  watermark_params request{};
  request.force_duplex = 1;
  request.copies = 3;
  const Planned p = plan(input, request);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.state.duplex, 1);
  EXPECT_EQ(p.state.copies, 1);
  // The driver's duplex section is rewritten too.
  EXPECT_EQ(count_of(p.output, "%%BeginFeature: *Duplex DuplexNoTumble"), 1);
  const std::string pxl = render(p.output, "pxlmono");
  const int pages = corpus_row_named("cf-pstops-mixed-letter.ps")->pages;
  EXPECT_EQ(count_of(pxl, std::string("\xC0\x01\xF8\x35", 4)), pages);          // DuplexPageMode
  EXPECT_EQ(count_of(pxl, std::string("\xC1\x03\x00\xF8\x31\x44", 6)), pages);  // PageCopies 3
}

TEST_F(PostScriptPlanner, GrayscaleHoldsEvenWhenTheJobAsksForColourLater) {
  const std::string input = sw_test::corpus_bytes("gs-ps2write-text-letter.ps") +
                            "\n<< /ProcessColorModel /DeviceRGB >> setpagedevice\n";
  watermark_params request{};
  request.force_grayscale = 1;
  const Planned p = plan(input, request);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.state.grayscale, 1);
  const std::string model =
      render(p.output, "pdfwrite", "-c 'currentpagedevice /ProcessColorModel get =='");
  EXPECT_NE(model.find("/DeviceGray"), std::string::npos) << model;
  // Without the rewrite the job's request for colour holds.
  EXPECT_NE(render(input, "pdfwrite", "-c 'currentpagedevice /ProcessColorModel get =='")
                .find("/DeviceRGB"),
            std::string::npos);
}

TEST_F(PostScriptPlanner, CopiesRuleRewritesTheDriversCount) {
  // Hand-made: the comment form that the rule rewrites.
  const std::string job = "%!PS\n%%BeginNonPPDFeature: NumCopies 1\n1 dict setpagedevice\n";
  watermark_params request{};
  request.copies = 3;
  const Planned p = plan(job, request);
  ASSERT_EQ(p.result, 1);
  EXPECT_NE(p.output.find("%%BeginNonPPDFeature: NumCopies 3\n"), std::string::npos);
  EXPECT_NE(p.output.find("/torvelle_copies 3 def"), std::string::npos);
  EXPECT_EQ(count_of(p.output, "%%BeginNonPPDFeature"), 1);
}

TEST_F(PostScriptPlanner, C2270GetsOnlyItsDuplexRulesOverTheWholeJob) {
  // Hand-made: two duplex sections, the second beyond the first mebibyte.
  const std::string section = "%%BeginFeature: *Duplex None\n<</Duplex false>>setpagedevice\n";
  const std::string job = "%!PS\n" + section + std::string(1100000, ' ') + "\n" + section;
  watermark_params request = watermark(MARK);
  request.force_duplex = 1;
  request.force_grayscale = 1;
  const Planned p = plan(job, request, "FX ApeosPort-IV C2270 PS");
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(count_of(p.output, "*Duplex DuplexNoTumble"), 2);
  EXPECT_EQ(p.output.find(MARK), std::string::npos);  // no block
  EXPECT_EQ(p.state.duplex, 1);
  EXPECT_EQ(p.state.grayscale, 0);  // no colour section matched
  EXPECT_EQ(p.state.watermark, 0);
}

TEST_F(PostScriptPlanner, DuplexJobOfOddPagesLeavesTheLastBackBlank) {
  const Planned p = plan("%!PS\n", watermark(MARK), "", 5, 1);
  EXPECT_NE(p.output.find("/max_watermark_pages 5 def"), std::string::npos);
  const Planned q = plan("%!PS\n", watermark(MARK), "", 5, 0);
  EXPECT_NE(q.output.find("/max_watermark_pages -1 def"), std::string::npos);
}

TEST_F(PostScriptPlanner, NoStartNoRewrite) {
  const Planned p = plan("no PostScript here\n", watermark(MARK));
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.edits, 0);
}

}  // namespace
