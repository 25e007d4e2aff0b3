// Sharp SPLC jobs, hand-made from the command layouts (no free driver writes
// SPLC).
#include <gtest/gtest.h>

#include <string>

#include "formats/sharpgdi_splc.h"
#include "foundation/ja.h"
#include "support/test_support.h"

namespace {

using sw_test::ExactBuffer;

std::string page(int paper) { return "7h" + std::to_string(paper) + "a0d100l100e...."; }

JobAttribsPtr splc(const std::string& job) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  const ExactBuffer b(job + std::string(20, ' '));
  EXPECT_EQ(sharp_gdi_splc_process_job(b.data(), b.size(), ja.get()), 0);
  return ja;
}

class SplcTest : public sw_test::TempDirTest {};

TEST_F(SplcTest, PagesCountAgainAfterAPaperChange) {
  const auto ja = splc(page(9) + page(9) + page(9) + page(1) + page(1));
  EXPECT_EQ(ja->pages, 2);
  EXPECT_STREQ(ja->paper_size_name, "Letter");
  // SPLC marks no colour: not judged, and not taken as gray.
  EXPECT_EQ(ja->is_grayscale, 0);
  EXPECT_EQ(ja->color_pages, -1);
  const auto a4 = splc(page(9) + page(9) + page(9));
  EXPECT_EQ(a4->pages, 3);
  EXPECT_STREQ(a4->paper_size_name, "A4");
}

TEST_F(SplcTest, JobCommandGivesDuplexAndCopies) {
  const auto ja = splc("p600r1j3x1c" + page(11));
  EXPECT_EQ(ja->is_duplex, 1);
  EXPECT_EQ(ja->copy_count, 3);
  EXPECT_STREQ(ja->paper_size_name, "A5");
  EXPECT_EQ(splc("p600r0j1x1c" + page(11))->is_duplex, 0);
  // No paper anywhere: Letter.
  EXPECT_STREQ(splc("nothing here")->paper_size_name, "Letter");
}

}  // namespace
