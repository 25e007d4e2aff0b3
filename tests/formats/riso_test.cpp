// RISO command streams, hand-made from the command syntax ("?<" parameters
// ">" letter): no free driver writes them.
#include <gtest/gtest.h>

#include <string>

#include "formats/riso.h"
#include "foundation/ja.h"
#include "support/test_support.h"

namespace {

using sw_test::ExactBuffer;

// Commands are read with 30 bytes behind their "?": the job ends in padding,
// as the printer's trailer would.
const std::string PAD(40, ' ');

JobAttribsPtr riso(const std::string& job, int color = 1) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  const ExactBuffer b("?<0>S" + PAD + job + PAD);
  EXPECT_EQ(riso_process_job(b.data(), b.size(), color, ja.get()), 0);
  return ja;
}

std::string pages(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "data?P?";
  return s;
}

class RisoTest : public sw_test::TempDirTest {};

TEST_F(RisoTest, PageEndsAndColourMarks) {
  // Duplex pads 3 pages to 4: 3 mono and 1 colour mark account for them.
  const auto duplex = riso("?<6;1>W" + PAD + "?<1>r?<1>r?<1>r?<0>r" + pages(3));
  EXPECT_EQ(duplex->pages, 3);
  EXPECT_EQ(duplex->is_duplex, 1);
  EXPECT_EQ(duplex->is_tumble, 0);
  EXPECT_EQ(duplex->color_pages, 1);
  EXPECT_EQ(duplex->is_grayscale, 0);
  // Two marks for three pages: colour stays unknown.
  const auto partial = riso("?<1>r?<0>r" + pages(3));
  EXPECT_EQ(partial->color_pages, -1);
  EXPECT_EQ(partial->is_grayscale, 0);
  // The second page-end form.
  EXPECT_EQ(riso("x?<0>P?y?<0>P?")->pages, 2);
}

TEST_F(RisoTest, SettingsAndSizes) {
  const auto ja = riso("?<3>c" + PAD + "?<1;4;12>O" + PAD + "?<3;2;2>O" + PAD + pages(1));
  EXPECT_EQ(ja->copy_count, 3);
  EXPECT_STREQ(ja->paper_size_name, "A3WIDE");
  EXPECT_EQ(ja->is_duplex, 1);
  EXPECT_EQ(ja->is_tumble, 1);
  const auto size = riso("?<2970;2100>m" + PAD + pages(1));
  EXPECT_EQ(size->page_width_mm, 210);
  EXPECT_EQ(size->page_height_mm, 297);
  EXPECT_EQ(riso("?<16;1>W" + PAD + pages(1))->is_grayscale, 1);
}

TEST_F(RisoTest, SaveOnlyJobHasNoPages) {
  const auto ja = riso("?<6;1;1>O" + PAD + pages(2));
  EXPECT_EQ(ja->pages, 0);
  EXPECT_EQ(ja->color_pages, 0);
  EXPECT_EQ(riso("?<6;0;2>O" + PAD + pages(2))->pages, 2);
}

TEST_F(RisoTest, DocumentNameBehindItsCommand) {
  EXPECT_STREQ(riso("?<1;6>Rreport?" + PAD + pages(1))->document_name, "report");
  // Without the closing "?" the bytes are not a name.
  EXPECT_STREQ(riso("?<1;6>Rreport!" + PAD + pages(1))->document_name, "");
}

}  // namespace
