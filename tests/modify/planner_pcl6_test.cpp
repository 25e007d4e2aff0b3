// The PCL XL planner over Ghostscript's and cupsfilter's PCL XL: duplex as
// Ghostscript writes it, a watermark executed once per page before EndPage
// (and its PageCopies), rewrites that our PCL XL analyzer and the planner's
// own item walk read to the end with the same pages.
#include "modify/planner_pcl6.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "analysis/pcl6.h"
#include "foundation/ja.h"
#include "foundation/watermark.h"
#include "modify/pcl6_items.h"
#include "modify/replacement_list.h"
#include "modify_test_support.h"

namespace {

using modify_test::ModifyTest;
using modify_test::Planned;
using modify_test::run_planner;

const std::string WATERMARK_EXEC =
    std::string("\x61\x74\x69\xC8\xC0\x0F", 6) + "Torvelle_Stream" + "\xF8\x8B\x5E\x60";

Planned plan(const std::string& input, const watermark_params& request,
             const char* language = "PCLXL", const char* printer_type = "",
             const msf_state& before = {}) {
  JobAttribsPtr job(analyzer_create_job_attribs());
  std::strncpy(job->printer_type, printer_type, sizeof job->printer_type - 1);
  ReplacementListPtr list(replacement_list_create(input.size(), -1, language));
  set_msf_state(list.get(), &before);
  return run_planner(plan_replacements_pcl6, input, request, job.get(), list.get());
}

watermark_params watermark_request(const char* text, double font_size = 24) {
  watermark_params r{};
  std::strncpy(r.text, text, sizeof r.text - 1);
  r.font_size = font_size;
  r.gray_level = WATERMARK_GRAY_MEDIUM;
  r.position = WATERMARK_POSITION_BOTTOM;
  r.default_page_a4 = 1;
  return r;
}

int pages_of(const std::string& bytes) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  EXPECT_EQ(pcl6_process_job(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), 0,
                             ja.get()),
            0);
  return ja->pages;
}

PxlScan walk(const std::string& bytes) {
  PxlScan scan;
  EXPECT_TRUE(pxl_scan_items(
      scan_bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), &scan));
  return scan;
}

int count_of(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
    ++n;
  return n;
}

// Ghostscript's PCL XL of a source document, with extra device arguments.
std::string ghostscript_pxl(const std::string& device, const std::string& args) {
  return sw_test::command_output("gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=" + device +
                                 " -sPAPERSIZE=a4 -dFIXEDMEDIA -r300 " + args + " -sOutputFile=- " +
                                 SW_SOURCE_DIR + "/tests/corpus/src/text.ps");
}

// Drops every DuplexPageSide attribute (a ubyte value, F8 36) that stands
// right before a BeginPage.
std::string without_duplex_page_side(std::string bytes) {
  const std::string side_attr("\xF8\x36\x43", 3);
  for (auto at = bytes.find(side_attr); at != std::string::npos && at >= 2;
       at = bytes.find(side_attr, at - 2)) {
    bytes.erase(at - 2, 4);
  }
  return bytes;
}

TEST_F(ModifyTest, PclXlItemWalkFindsEveryPageOfRealDriverOutput) {
  // Image and font data hold many bytes 43 (BeginPage); only operators count.
  for (const CorpusRow& row : corpus_rows_for_lang(4)) {
    if (row.file.rfind("cpca-", 0) == 0) continue;  // packets, unwrapped before planning
    SCOPED_TRACE(row.file);
    const std::string input = sw_test::corpus_bytes(row.file);
    const PxlScan scan = walk(input);
    const bool concatenated = row.file.rfind("cat2-", 0) == 0;
    EXPECT_EQ(scan.sessions.size(), concatenated ? 2u : 1u);
    for (const PxlPage& page : scan.pages) EXPECT_EQ(page.end.op, PXL_OP_END_PAGE);
    if (row.note.find("copies as pages") != std::string::npos) continue;
    EXPECT_EQ(static_cast<int>(scan.pages.size()), concatenated ? 2 * row.pages : row.pages);
  }
}

TEST_F(ModifyTest, PclXlForcedDuplexEqualsGhostscriptsDuplexButForThePageSide) {
  const std::string simplex = ghostscript_pxl("pxlmono", "");
  const std::string duplex = ghostscript_pxl("pxlmono", "-dDuplex");
  ASSERT_FALSE(simplex.empty());
  watermark_params request{};
  request.force_duplex = 1;
  const Planned p = plan(simplex, request);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.state.duplex, 1);
  EXPECT_EQ(p.output, without_duplex_page_side(duplex));
  // A job that already asks for duplex is left as it is.
  const Planned again = plan(ghostscript_pxl("pxlmono", "-dDuplex"), request);
  EXPECT_EQ(again.result, 1);
  EXPECT_EQ(again.edits, 0);
}

// Forced copies go into the PJL header (its QTY line, with the copies flag
// set); pages that ask for PageCopies of their own would multiply them, so
// they are set to one copy, as Ghostscript writes a job of one copy.
TEST_F(ModifyTest, PclXlPagesPrintOnceWhenThePjlHeaderCarriesTheCopies) {
  const std::string three = ghostscript_pxl("pxlmono", "-dNumCopies=3");
  const std::string one = ghostscript_pxl("pxlmono", "");
  ASSERT_FALSE(three.empty());
  watermark_params request{};
  request.copies = 3;
  msf_state pjl_done{};
  pjl_done.copies = 1;
  const Planned p = plan(three, request, "PCLXL", "", pjl_done);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.output, one);
  // Without copies in the PJL header the pages keep theirs.
  EXPECT_EQ(plan(three, request).edits, 0);
}

TEST_F(ModifyTest, PclXlDuplexValueFollowsThePrinter) {
  const std::string input = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  watermark_params request{};
  request.force_duplex = 1;
  const Planned brother = plan(input, request, "XL2HB");
  EXPECT_EQ(count_of(brother.output, std::string("\xC0\x81\xF8\x35\x43", 5)), 2);
  const Planned sharp = plan(input, request, "PCLXL", "SHARP MX-2610N");
  EXPECT_EQ(count_of(sharp.output, std::string("\xC0\x01\xF8\x35\xC0\x00\xF8\x36\x43", 9)), 1);
}

TEST_F(ModifyTest, PclXlWatermarkRunsOncePerPageBeforeEndPageAndItsCopies) {
  struct Case {
    const char* file;
    const char* before_end_page;  // what follows the execution
  } cases[] = {
      {"gs-pxlcolor-mixed-a4.pxl", "\xC1\x01\x00\xF8\x31\x44"},
      {"gs-pxlcolor-photo-a4-rle.pxl", "\xC1\x01\x00\xF8\x31\x44"},
      {"gs-pxlmono-copies2-duplex-text-a4.pxl", "\xC1\x02\x00\xF8\x31\x44"},
      {"cf-pxlcolor-mixed-a4.pxl", nullptr},
      {"cf-hpcups-clj3600-mixed-a4.pxl", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string input = sw_test::corpus_bytes(c.file);
    const Planned p = plan(input, watermark_request("CONFIDENTIAL"));
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.state.watermark, 1);
    const int pages = pages_of(input);
    EXPECT_EQ(count_of(p.output, WATERMARK_EXEC), pages);
    if (c.before_end_page != nullptr) {
      EXPECT_EQ(count_of(p.output, WATERMARK_EXEC + c.before_end_page), pages);
    }
    EXPECT_EQ(count_of(p.output, "Torvelle_Stream"), pages + 1);
    // The rewrite reads to its end, with the same pages.
    EXPECT_EQ(pages_of(p.output), pages);
    const PxlScan scan = walk(p.output);
    EXPECT_EQ(static_cast<int>(scan.pages.size()), pages);
  }
}

TEST_F(ModifyTest, PclXlWatermarkSpacingFitsLargeFonts) {
  const std::string input = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  // 100 points at 600 dpi: 833 dots, half of it 417, more than a byte.
  const Planned p = plan(input, watermark_request("AB", 100));
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(count_of(p.output, std::string("\xC9\xC0\x02\xA1\x01\xA1\x01\xF8\xAF", 9)), 2);
}

TEST_F(ModifyTest, PclXlGrayscaleIsNeverReportedDone) {
  const std::string input = sw_test::corpus_bytes("gs-pxlcolor-mixed-a4.pxl");
  watermark_params request{};
  request.force_grayscale = 1;
  const Planned p = plan(input, request);
  EXPECT_EQ(p.result, 1);
  EXPECT_EQ(p.state.grayscale, 0);
  EXPECT_EQ(p.output, input);
  EXPECT_TRUE(logged("grayscale not carried out"));
}

// Hand-made: a session of many empty pages (no driver writes 1200 pages of
// a small source quickly enough for a unit test).
TEST_F(ModifyTest, PclXlWatermarksEveryPageOfALongJob) {
  std::string job = ") HP-PCL XL;2;1\n";
  job += std::string("\xD1\x58\x02\x58\x02\xF8\x89",
                     7);                          // UnitsPerMeasure 600 x 600
  job += std::string("\xC0\x00\xF8\x86\x41", 5);  // Measure inch, BeginSession
  for (int i = 0; i < 1200; ++i) {
    job += std::string("\xC0\x00\xF8\x28\xC0\x02\xF8\x25\x43",
                       9);  // Orientation, A4, BeginPage
    job += "\x44";          // EndPage
  }
  job += "\x42";  // EndSession
  const Planned p = plan(job, watermark_request("x"));
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(count_of(p.output, WATERMARK_EXEC + "\x44"), 1200);
}

TEST_F(ModifyTest, PclXlPlannerRefusesDataItCannotWalk) {
  const std::string input = sw_test::corpus_bytes("gs-pxlcolor-photo-a4-rle.pxl");
  const watermark_params request = watermark_request("x");
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"cut inside image data", input.substr(0, input.size() / 2)},
      {"no stream header", input.substr(input.find("\n)") + 40)},
      {"a byte that is no item",
       [&] {
         std::string b = input;
         b[b.find("\xF8\x8F\x41") + 3] = '\xC7';  // reserved tag after BeginSession
         return b;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Planned p = plan(c.bytes, request);
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.edits, 0);
    EXPECT_EQ(p.state.watermark, 0);
  }
}

}  // namespace
