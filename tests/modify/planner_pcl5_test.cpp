// The PCL5 planner over Ghostscript's and the CUPS drivers' PCL5: copies and
// duplex commands as Ghostscript's own devices write them, the set-up found
// before the first page, rewrites that our PCL5 analyzer reads with the same
// pages.
#include "modify/planner_pcl5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "analysis/pcl5.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/watermark.h"
#include "modify/pcl5_setup.h"
#include "modify/replacement_list.h"
#include "modify_test_support.h"

namespace {

using modify_test::ModifyTest;
using modify_test::Planned;
using modify_test::run_planner;

Planned plan(const std::string& input, const watermark_params& request, int language = 5) {
  JobAttribsPtr job(analyzer_create_job_attribs());
  job->language = language;
  ReplacementListPtr list(replacement_list_create(input.size(), -1, "PCL"));
  return run_planner(plan_replacements_pcl5, input, request, job.get(), list.get());
}

JobAttribsPtr analyse(const std::string& bytes) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  EXPECT_EQ(pcl5_process_job(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), 0,
                             ja.get()),
            0);
  return ja;
}

std::int64_t insertion_point(const std::string& bytes) {
  Pcl5Setup setup;
  EXPECT_TRUE(pcl5_find_setup(
      scan_bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), &setup));
  return setup.insertion;
}

std::string ghostscript_pcl(const std::string& device, const std::string& args,
                            const std::string& source = "text") {
  return sw_test::command_output("gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=" + device +
                                 " -sPAPERSIZE=a4 -dFIXEDMEDIA -r300 " + args + " -sOutputFile=- " +
                                 SW_SOURCE_DIR + "/tests/corpus/src/" + source + ".ps");
}

int count_of(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
    ++n;
  return n;
}

TEST_F(ModifyTest, Pcl5ForcedCopiesEqualGhostscriptsCopiesOnEveryPage) {
  for (const char* source : {"text", "mixed"}) {
    SCOPED_TRACE(source);
    const std::string input = ghostscript_pcl("ljet4", "", source);
    watermark_params request{};
    request.copies = 3;
    const Planned p = plan(input, request);
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.state.copies, 1);
    EXPECT_EQ(p.output, ghostscript_pcl("ljet4", "-dNumCopies=3", source));
  }
}

TEST_F(ModifyTest, Pcl5ForcedDuplexWritesLjet4dsCommandAfterTheSetUp) {
  const std::string input = ghostscript_pcl("ljet4", "");
  const std::string ljet4d = ghostscript_pcl("ljet4d", "");
  ASSERT_NE(ljet4d.find("\x1b&l1S"), std::string::npos);
  watermark_params request{};
  request.force_duplex = 1;
  const Planned p = plan(input, request);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.state.duplex, 1);
  // After the reset and the last page-size command of the set-up.
  const std::string setup =
      "\x1b"
      "E\x1b&l0O\x1b&l26A\x1b&l0O\x1b&l26A";
  EXPECT_EQ(p.output, setup + "\x1b&l1S" + input.substr(setup.size()));
  const JobAttribsPtr ja = analyse(p.output);
  EXPECT_EQ(ja->is_duplex, 1);
  EXPECT_EQ(ja->pages, analyse(input)->pages);
  // ljet4d's own duplex job is left alone.
  EXPECT_EQ(plan(ljet4d, request).edits, 0);
}

TEST_F(ModifyTest, Pcl5SetUpEndsBeforeTheFirstPage) {
  for (const char* file :
       {"gs-ljet4-text-a4.pcl", "gs-ljet4pjl-mixed-a4.pcl", "gs-ljet4d-mixed-a4.pcl",
        "cf-rastertohp-laserjet-text-a4.pcl", "gs-cljet5c-mixed-letter.pcl"}) {
    SCOPED_TRACE(file);
    const std::string input = sw_test::corpus_bytes(file);
    const std::int64_t u = insertion_point(input);
    const auto first_raster = input.find("\x1b*r");
    ASSERT_NE(first_raster, std::string::npos);
    EXPECT_GT(u, 0);
    EXPECT_LT(static_cast<std::uint64_t>(u), first_raster);
  }
}

// Hand-made: set-up, then commands that no driver writes this way, to show
// what is and is not rewritten.
TEST_F(ModifyTest, Pcl5RewritesCommandsAndNeverData) {
  const std::string raster_with_commands = "\x1b*b10W\x1b&l0S\x1b&l7X";  // 10 bytes of data
  struct Case {
    const char* name;
    std::string page;      // after the set-up
    std::string expected;  // the rewrite of the page
    int copies_done;
  } cases[] = {
      {"data that looks like commands", "\x1b*r1A" + raster_with_commands + "\x1b*rB\f",
       "\x1b*r1A" + raster_with_commands + "\x1b*rB\f", 1},
      {"a later page's values", "\x1b*r1A\x1b*rB\f\x1b&l0s1X\x1b*r1A\x1b*rB\f",
       "\x1b*r1A\x1b*rB\f\x1b&l1s3X\x1b*r1A\x1b*rB\f", 1},
      {"short edge kept", "\x1b*r1A\x1b*rB\f\x1b&l2S\x1b*r1A\f",
       "\x1b*r1A\x1b*rB\f\x1b&l2S\x1b*r1A\f", 1},
      {"a copy count that is no number", "\x1b*r1A\x1b*rB\f\x1b&l1.5X\x1b*r1A\f",
       "\x1b*r1A\x1b*rB\f\x1b&l1.5X\x1b*r1A\f", 0},
  };
  const std::string setup =
      "\x1b"
      "E\x1b&l26A";
  std::string filler;
  for (int i = 0; i < 10; ++i) filler += "\x1b*t300R";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    watermark_params request{};
    request.force_duplex = 1;
    request.copies = 3;
    const Planned p = plan(setup + filler + c.page, request);
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.output, setup + "\x1b&l1S\x1b&l3X" + filler + c.expected);
    EXPECT_EQ(p.state.duplex, 1);
    EXPECT_EQ(p.state.copies, c.copies_done);
  }
}

TEST_F(ModifyTest, Pcl5CommandsFollowEveryResetThatStartsPages) {
  // cljet5c resets the printer at the start of each page; the cat3 job is
  // three jobs in a row, each with its own reset. A reset takes back the
  // modes chosen before it.
  struct Case {
    const char* file;
    int setups;
  } cases[] = {{"gs-cljet5c-mixed-letter.pcl", 4}, {"cat3-gs-ljet4pjl-mixed-a4.pcl", 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string input = sw_test::corpus_bytes(c.file);
    watermark_params request{};
    request.force_grayscale = 1;
    request.force_duplex = 1;
    std::strcpy(request.text, "W");
    request.font_size = 24;
    const Planned p = plan(input, request);
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.state.grayscale, 1);
    EXPECT_EQ(count_of(p.output, "\x1b&b1M"), count_of(input, "\x1b&b1M") + c.setups);
    EXPECT_EQ(count_of(p.output, "\x1b&l1S"), count_of(input, "\x1b&l1S") + c.setups);
    EXPECT_EQ(count_of(p.output, "\x1b&f4X"), c.setups);
    EXPECT_EQ(analyse(p.output)->pages, analyse(input)->pages);
  }
}

TEST_F(ModifyTest, Pcl5WatermarkMacroRunsOnEveryPageWithItsOwnIds) {
  const std::string input = sw_test::corpus_bytes("gs-ljet4pjl-mixed-a4.pcl");
  watermark_params request{};
  std::strcpy(request.text,
              "TOP\x1b"
              "E SECRET");  // a reset hidden in the text
  request.font_size = 24;
  request.gray_level = WATERMARK_GRAY_MEDIUM;
  const Planned p = plan(input, request);
  ASSERT_EQ(p.result, 1);
  EXPECT_EQ(p.state.watermark, 1);
  EXPECT_EQ(count_of(p.output, "TOPE SECRET"), 5);
  EXPECT_EQ(count_of(p.output,
                     "\x1b"
                     "E"),
            count_of(input,
                     "\x1b"
                     "E"));
  EXPECT_EQ(count_of(p.output, "\x1b&f22y0X"), 1);
  EXPECT_EQ(count_of(p.output, "\x1b&f4X"), 1);
  EXPECT_EQ(analyse(p.output)->pages, analyse(input)->pages);

  // Hand-made: a job that uses macro 22 and the patterns the watermark
  // would take gets other ids.
  const std::string own =
      "\x1b"
      "E\x1b&l26A\x1b&f22y0X\x1b&f1X\x1b*c32000G\x1b*c32004G" +
      std::string(80, ' ') + "text\f";
  const Planned q = plan(own, request);
  ASSERT_EQ(q.result, 1);
  EXPECT_EQ(count_of(q.output, "\x1b&f22y"), 1);
  EXPECT_EQ(count_of(q.output, "\x1b*c32000G"), 1);
  EXPECT_EQ(count_of(q.output, "\x1b*c32004G"), 1);
}

TEST_F(ModifyTest, Pcl5PlannerRefusesWhatIsNotPcl5) {
  watermark_params request{};
  request.force_duplex = 1;
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"form feed first",
       "\f\x1b"
       "E\x1b&l26A\x1b*r1A" +
           std::string(100, 'x')},
      {"no set-up command", "\x1b*r1A" + std::string(100, 'x')},
      {"too short",
       "\x1b"
       "E\x1b&l26A"},
      {"a reset followed by text",
       "\x1b"
       "E" +
           std::string(100, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Planned p = plan(c.bytes, request);
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.edits, 0);
  }
}

}  // namespace
