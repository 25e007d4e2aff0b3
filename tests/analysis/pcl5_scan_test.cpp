// The PCL5 scanner on constructs that no driver in the corpus writes:
// hand-made jobs, annotated where the bytes are not plain text. Page ends,
// job-level commands, modes, blank back sides, and hostile lengths.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "analysis/pcl5_test_util.h"
#include "foundation/config.h"

namespace {

using namespace std::string_literals;
using analysis_test::AnalysisTest;
using pcl5_test::analyse;
using pcl5_test::blanks;

struct Case {
  const char* name;
  std::string job;
  int pages;
  int copies = 1;
  int duplex = 0;
  const char* paper = "";
  int width_mm = -1;
  int height_mm = -1;
};

class Pcl5ScanTest : public AnalysisTest {};

TEST_F(Pcl5ScanTest, Jobs) {
  const std::string reset = "\x1b" "E";
  const Case cases[] = {
      // ESC&p2X: two bytes of transparent data, the last 0x90; the form
      // feed right behind it is a standard page end, not a unicode one.
      {"form feed behind binary data", reset + "one\f" + "\x1b&p2XA\x90\f" + blanks(30), 2},
      // "!", a control byte, "!" before a form feed: a driver's text.
      {"form feed inside driver text", reset + blanks(40) + "note!\x01!\f" + blanks(50) + "x\f", 1},
      {"the same within the first 30 bytes", reset + "!\x01!\f" + blanks(60) + "x\f", 2},
      {"one combined ESC&l command", reset + "\x1b&l2a1s3X" + blanks(30) + "text\f", 1, 3, 1,
       "Letter"},
      {"ESC&l read no further than 14 bytes", reset + "\x1b&l1a2a3a4a5a6a7a8a26A" + blanks(30) + "x\f",
       1},
      {"resets after 100 bytes, runs counted once",
       reset + blanks(120) + reset + reset + reset + blanks(20) + reset + blanks(20), 2},
      {"two resets and three universal exits",
       reset + blanks(120) + reset + "x" + reset + "x" + pcl5_test::UEL + pcl5_test::UEL +
           pcl5_test::UEL + blanks(20),
       3},
      {"a form feed and two ejects", reset + "a\fb\x1b&l0Hc\x1b&l0H" + blanks(20), 2},
      // Raster jobs: resets and exits end only pages that raster data came
      // before; the PJL job's own ESC E and exits around its one page are
      // no pages. (ESC*b3W: a row of three bytes.)
      {"a raster page between two resets, in a PJL job",
       pcl5_test::UEL + "@PJL ENTER LANGUAGE=PCL\r\n" + blanks(120) + reset +
           "\x1b*r1A\x1b*b3W\x01\x0c\x03\x1b*rB" + reset + pcl5_test::UEL + blanks(20),
       1},
      // The PJL header ends at the ESC of the first PCL command, which is
      // examined: its copies count.
      {"command that ends the job header",
       pcl5_test::UEL + "@PJL ENTER LANGUAGE=PCL\r\n\x1b&l3X" + blanks(30) + "text\f", 1, 3},
      {"HP-GL/2 from the first byte with PS in plotter units",
       "BPINPS400,619;" + blanks(40) + "PG;" + blanks(120), 1, 1, 0, "", 10, 15},
      {"HP-GL/2 pages and RP", reset + "\x1b%1BIN;RP2;PD1,1;PG;PD2,2;PG;" + blanks(120), 2, 2},
      {"HP-GL/2 footer PG;RP2;", reset + "\x1b%1BIN;PD1,1;PG;PD2,2;PG;RP2;" + blanks(20), 2, 3},
      // Lengths beyond the job: the scan steps to the end without reading
      // there.
      {"raster row longer than the job", reset + "x\f\x1b*b9999999999999999W" + blanks(30) + "\f",
       1},
      {"transparent data longer than the job", reset + "x\f\x1b&p9999999999999999X\f" + blanks(30),
       1},
      // Paper code 101 with a unit of 0 per inch: no size.
      {"custom paper with a unit of 0",
       reset + "\x1b&l101A\x1b&u0D\x1b*o5W\x0e\x05\x00\x0d\x05\x1b*o5W\x0e\x06\x00\x13\x88"s +
           blanks(30) + "x\f",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto ja = analyse(c.job, 0);
    EXPECT_EQ(ja->pages, c.pages);
    EXPECT_EQ(ja->copy_count, c.copies);
    EXPECT_EQ(ja->is_duplex, c.duplex);
    EXPECT_STREQ(ja->paper_size_name, c.paper);
    EXPECT_EQ(ja->page_width_mm, c.width_mm);
    EXPECT_EQ(ja->page_height_mm, c.height_mm);
  }
}

// Duplex drivers insert blank back sides; a page that holds only cursor
// moves and white space is blank, one of more than 250 bytes never is.
TEST_F(Pcl5ScanTest, BlankBackSidesOfDuplexJobs) {
  const std::string head = "\x1b" "E\x1b&l1S";  // duplex
  const std::string blank = "\x1b*p100x200Y  \r\n";
  const auto two_blank = analyse(head + "one\f" + blank + "\f" + "three\f" + blank + "\f", 0);
  EXPECT_EQ(two_blank->pages, 2);
  EXPECT_EQ(two_blank->is_duplex, 1);
  const auto long_last = analyse(head + "one\f" + blank + "\f" + "three\f" + blanks(251) + "\f", 0);
  EXPECT_EQ(long_last->pages, 4);
}

// A Canon wrapper's PCL starts at its ESC E within 1500 bytes; a short job
// without one is not read past its end.
TEST_F(Pcl5ScanTest, ShortCanonWrapperWithoutPcl) {
  std::string job = "\xcd\xca\x10\x00\x00\x11\x00\x01\x00\x14\x00\x00"s + blanks(30);
  const auto ja = analyse(job, 1);
  EXPECT_EQ(ja->pages, 0);
}

// The time limit: a job of positions that every test examines and none
// takes ends with what was found, and the analysis still succeeds.
TEST_F(Pcl5ScanTest, ParseTimeoutEndsTheScan) {
  global_ctx.parse_timeout = 0;
  const std::string job = "\x1b" "E" + std::string(4 << 20, '7') + "\f";
  int rc = -1;
  const auto ja = analyse(job, 1, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(logged("parse timeout exceeded. Language: PCL5"));
}

}  // namespace
