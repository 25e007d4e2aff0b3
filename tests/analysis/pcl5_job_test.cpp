// The PCL5 job summary: the PJL header's variations, trailers, n-up, inline
// copies with colour pages, and the Canon wrapper's failure. PJL headers
// and trailers that no free driver writes (OKI MultiPage, GL version,
// Kyocera comment lines) are hand-made around small PCL pages; the inline
// copies are real driver output.
#include <gtest/gtest.h>

#include <string>

#include "analysis/pcl5_test_util.h"
#include "scan/cpca.h"

namespace {

using namespace std::string_literals;
using analysis_test::AnalysisTest;
using pcl5_test::analyse;
using pcl5_test::blanks;
using pcl5_test::UEL;

// A PJL job: the header lines, then PCL pages of red text (an indexed
// palette whose entry 1 is red), padded so that the header reader, which
// needs 300 bytes and stops 150 bytes before the end, reads it.
std::string pjl_job(const std::string& pjl_lines, int pages, const std::string& tail = "") {
  std::string job = UEL + pjl_lines + "@PJL ENTER LANGUAGE=PCL\r\n\x1b" "E" +
                    "\x1b*v6W\x00\x01\x03\x08\x08\x08"s;  // CID: RGB, indexed, 3 bits
  for (int i = 0; i < pages; ++i) job += "\x1b*v1SRed text\f";
  return job + blanks(400) + tail;
}

class Pcl5JobTest : public AnalysisTest {};

TEST_F(Pcl5JobTest, PjlHeaderVariations) {
  const auto nup = analyse(pjl_job("@PJL OKIAUXJOBINFO DATA=MultiPage=2\r\n", 5));
  EXPECT_EQ(nup->pages, 3);

  const auto gray = analyse(pjl_job("@PJL SET RENDERMODE=GRAYSCALE\r\n", 2));
  EXPECT_EQ(gray->color_pages, 0);
  EXPECT_EQ(gray->is_grayscale, 1);

  // GL version 2.2: PAPERWIDTH and PAPERLENGTH over 25.4, whether or not
  // blanks stand around the "=".
  for (const char* version : {"@PJL SET GLVERSION = 2.2\r\n", "@PJL SET GLVERSION=2.2\r\n"}) {
    SCOPED_TRACE(version);
    const auto plot = analyse(pjl_job(
        std::string(version) + "@PJL SET PAPERWIDTH=254\r\n@PJL SET PAPERLENGTH=508\r\n", 1));
    EXPECT_EQ(plot->page_width_mm, 10);
    EXPECT_EQ(plot->page_height_mm, 20);
  }

  // The driver name always names the printer type; a QTY above the job's
  // copies becomes the copy count.
  const auto named = analyse(pjl_job("@PJL SET DRIVERNAME=\"Some Driver\"\r\n@PJL SET QTY=2\r\n", 1));
  EXPECT_STREQ(named->printer_type, "Some Driver");
  EXPECT_EQ(named->copy_count, 2);
}

// A QTY that the job already holds as byte-identical copies is not a copy
// count on top of them: real ljet4pjl output with QTY 3 in its header,
// written three times.
TEST_F(Pcl5JobTest, QtyOfAJobMadeOfItsCopies) {
  std::string one = pcl5_test::corpus_file("gs-ljet4pjl-mixed-a4.pcl");
  ASSERT_EQ(one.compare(0, 9, UEL), 0);
  one.insert(9, "@PJL SET QTY=3\r\n");
  const auto ja = analyse(one + one + one, 0);
  EXPECT_EQ(ja->pages, 4);
  EXPECT_EQ(ja->copy_count, 3);
}

// Inline copies divide the colour pages like the pages: real hpcups
// LaserJet colour output written twice (2 of 4 pages colour).
TEST_F(Pcl5JobTest, InlineCopiesDivideColourPages) {
  const std::string one = pcl5_test::corpus_file("cf-hpcups-clj2500-mixed-a4.pcl");
  const auto ja = analyse(one + one, 1);
  EXPECT_EQ(ja->pages, 4);
  EXPECT_EQ(ja->copy_count, 2);
  EXPECT_EQ(ja->color_pages, 2);
}

// Kyocera jobs: the trailer's colour count replaces the detector's, but
// only when the trailer gave the counts (a paper line alone says nothing).
TEST_F(Pcl5JobTest, KyoceraTrailer) {
  const std::string head = "!R!SEM6;EXIT;";
  const std::string counts = "!R! CMNT Color=1,Mono=2; EXIT;\r\n";
  const std::string paper = "!R! CMNT PaperSize=A4;\r\n";
  const std::string end = UEL + blanks(20);
  // The trailer reader looks only at jobs of more than 1201 bytes.
  const std::string room = blanks(1000);
  const auto with_counts = analyse(head + pjl_job("", 3, room + counts + paper + end));
  EXPECT_EQ(with_counts->color_pages, 1);
  const auto paper_only = analyse(head + pjl_job("", 3, room + paper + end));
  EXPECT_EQ(paper_only->color_pages, 3);
}

// A CPCA stream that breaks cannot be unpacked: the analysis fails and the
// job flow prints the job as it is.
TEST_F(Pcl5JobTest, BrokenCanonWrapperFails) {
  std::string job = pcl5_test::corpus_file("cpca-gs-ljet4-text-a4.pcl");
  ASSERT_GT(job.size(), 200U);
  // The second packet's signature, behind the first packet's parameters.
  const auto first_params = (static_cast<unsigned char>(job[8]) << 8) | static_cast<unsigned char>(job[9]);
  const std::size_t second = CPCA_HEADER_SIZE + first_params;
  ASSERT_EQ(job.compare(second, 2, "\xcd\xca"), 0);
  job[second] = 'X';
  const analysis_test::ExactBuffer buffer(job);
  pcl5_test::JaPtr ja(analyzer_create_job_attribs());
  EXPECT_EQ(pcl5_canon_process_job(buffer.data(), buffer.size(), 1, ja.get()), -1);

  const std::string good = pcl5_test::corpus_file("cpca-gs-ljet4-text-a4.pcl");
  const analysis_test::ExactBuffer wrapped(good);
  pcl5_test::JaPtr unpacked(analyzer_create_job_attribs());
  EXPECT_EQ(pcl5_canon_process_job(wrapped.data(), wrapped.size(), 1, unpacked.get()), 0);
  EXPECT_EQ(unpacked->pages, 2);
}

}  // namespace
