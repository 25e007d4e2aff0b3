// The PCL XL planner over Ghostscript's and cupsfilter's PCL XL: duplex as
// Ghostscript writes it, a watermark executed once per page before EndPage
// (and its PageCopies), rewrites that our PCL XL analyzer and the planner's
// own item walk read to the end with the same pages, and that the strict
// reader (tests/support/pxl_strict.h) reads as a printer must.
#include "modify/planner_pcl6.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/pcl6.h"
#include "foundation/ja.h"
#include "foundation/watermark.h"
#include "modify/pcl6_items.h"
#include "modify/replacement_list.h"
#include "modify_test_support.h"
#include "support/pxl_strict_assert.h"

namespace {

using modify_test::ModifyTest;
using namespace std::string_literals;
using namespace std::string_view_literals;
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
  EXPECT_TRUE(sw_test::is_strict_pcl_xl(p.output));
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
  EXPECT_TRUE(sw_test::is_strict_pcl_xl(p.output));
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
  EXPECT_TRUE(sw_test::is_strict_pcl_xl(brother.output));
  EXPECT_TRUE(sw_test::is_strict_pcl_xl(sharp.output));
}

TEST_F(ModifyTest, PclXlWatermarkRunsOncePerPageBeforeEndPageAndItsCopies) {
  struct Case {
    const char* file;
    std::string_view before_end_page;  // what follows the execution
  } cases[] = {
      {"gs-pxlcolor-mixed-a4.pxl", "\xC1\x01\x00\xF8\x31\x44"sv},
      {"gs-pxlcolor-photo-a4-rle.pxl", "\xC1\x01\x00\xF8\x31\x44"sv},
      {"gs-pxlmono-copies2-duplex-text-a4.pxl", "\xC1\x02\x00\xF8\x31\x44"sv},
      {"cf-pxlcolor-mixed-a4.pxl", {}},
      {"cf-hpcups-clj3600-mixed-a4.pxl", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string input = sw_test::corpus_bytes(c.file);
    const Planned p = plan(input, watermark_request("CONFIDENTIAL"));
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.state.watermark, 1);
    const int pages = pages_of(input);
    EXPECT_EQ(count_of(p.output, WATERMARK_EXEC), pages);
    if (!c.before_end_page.empty()) {
      EXPECT_EQ(count_of(p.output, WATERMARK_EXEC + std::string(c.before_end_page)), pages);
    }
    EXPECT_EQ(count_of(p.output, "Torvelle_Stream"), pages + 1);
    // The rewrite reads to its end, with the same pages, the stream
    // defined once and executed on every page.
    EXPECT_EQ(pages_of(p.output), pages);
    const PxlScan scan = walk(p.output);
    EXPECT_EQ(static_cast<int>(scan.pages.size()), pages);
    EXPECT_TRUE(sw_test::is_strict_pcl_xl(p.output));
    const sw_test::PxlStrictRead read = sw_test::pxl_strict_read(p.output);
    EXPECT_EQ(read.pages(), pages);
    EXPECT_EQ(read.stream_names, std::vector<std::string>{"Torvelle_Stream"});
  }
}

// The definition right after BeginSession, field by field, in a job
// Ghostscript wrote (its stream header line: ") HP-PCL XL;1;1;Comment ...").
TEST_F(ModifyTest, PclXlWatermarkStreamIsDefinedInItsOwnDataSource) {
  const std::string input = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  const Planned p = plan(input, watermark_request("DRAFT"));
  ASSERT_EQ(p.result, 1);
  EXPECT_TRUE(sw_test::is_strict_pcl_xl(p.output));
  const std::size_t session = input.find("\xF8\x8F\x41"sv) + 3;  // ErrorReport, BeginSession
  ASSERT_EQ(p.output.substr(0, session), input.substr(0, session));
  const std::string_view out = std::string_view(p.output).substr(session);
  std::string def;
  def += "\xC0\x00\xF8\x88"sv;                  // SourceType 0 (default)
  def += "\xC0\x01\xF8\x82"sv;                  // DataOrg 1 (binary, low byte first)
  def += "\x48"sv;                              // OpenDataSource
  def += "\xC8\xC0\x0FTorvelle_Stream\xF8\x8B"sv;  // ubyte_array (15) StreamName
  def += "\x5B"sv;                              // BeginStream
  def += "\xC2"sv;                              // uint32 (the stream's length)
  ASSERT_EQ(out.substr(0, def.size()), def);
  const std::string_view length = out.substr(def.size(), 4);
  std::uint32_t n = 0;
  for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<std::uint8_t>(length[i]);
  std::string read = "\xF8\x8C"s;  // StreamDataLength
  read += "\x5C"sv;                // ReadStream
  read += "\xFA"sv;                // embedded data of the same length
  read += length;
  ASSERT_EQ(out.substr(def.size() + 4, read.size()), read);
  const std::size_t body_at = def.size() + 4 + read.size();
  const std::string_view body = out.substr(body_at, n);
  std::string head;
  head += ") HP-PCL XL;1;1\n"sv;             // the job's class, protocol, revision
  head += "\xC0\x00\xF8\x86"sv;              // Measure 0 (inch)
  head += "\xD1\x58\x02\x58\x02\xF8\x89"sv;  // UnitsPerMeasure 600 x 600
  head += "\x77"sv;                          // SetPageScale
  head += "\xC1\x08\x00\xF8\x4B\x7A"sv;      // PenWidth 8, SetPenWidth
  head += "\xC0\x01\xF8\x03\x6A"sv;          // ColorSpace 1 (gray), SetColorSpace
  head += "\xC8\xC0\x10"sv;                  // ubyte_array (16)
  head += "Courier         \xF8\xA8"sv;       // FontName
  EXPECT_EQ(body.substr(0, head.size()), head);
  // ROP3 240 SetROP, then NullBrush 0 SetBrushSource.
  EXPECT_NE(body.find("\xC0\xF0\xF8\x2C\x7B\xC0\x00\xF8\x04\x63"sv), std::string_view::npos);
  // EndStream, CloseDataSource, then the job's own items.
  EXPECT_EQ(out.substr(body_at + n, 2 + 32), "\x5D\x49"s + input.substr(session, 32));
}

TEST_F(ModifyTest, PclXlWatermarkSpacingFitsLargeFonts) {
  const std::string input = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  // 100 points at 600 dpi: 833 dots, half of it 417, more than a byte.
  const Planned p = plan(input, watermark_request("AB", 100));
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(count_of(p.output, std::string("\xC9\xC0\x02\xA1\x01\xA1\x01\xF8\xAF", 9)), 2);
  EXPECT_TRUE(sw_test::is_strict_pcl_xl(p.output));
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
  EXPECT_TRUE(sw_test::is_strict_pcl_xl(p.output));
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
