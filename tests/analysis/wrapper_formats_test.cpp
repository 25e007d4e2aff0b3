// The wrapper formats through the analysis driver: an Oce job wrapper and
// an HBPL local header put around corpus jobs (the wrapping is hand-built,
// as no free driver writes either; the print data is Ghostscript's).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/analyzer.h"
#include "analysis/oce.h"
#include "corpus/corpus.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/util.h"
#include "support/files.h"

namespace {

using namespace std::string_literals;
using analysis_test::AnalysisTest;

constexpr char PCL5_FILE[] = "gs-ljet4-text-a4.pcl";      // 2 pages, A4
constexpr char PCLXL_FILE[] = "gs-pxlmono-text-a4.pxl";   // 2 pages, A4
constexpr char PDF_FILE[] = "gs-pdfwrite-text-a4.pdf";
constexpr char COLOUR_PCL5_FILE[] = "gs-cljet5c-mixed-letter.pcl";  // 4 pages, 2 in colour

std::string corpus_bytes(const char* name) {
  const auto row = corpus_row_named(name);
  return row ? sw_test::read_file(row->path) : std::string();
}

std::string oce_wrap(const std::string& settings, const std::string& job,
                     const std::string& begin = "*OceJobBegin",
                     const std::string& data = "*OceJobData") {
  return begin + "\r\n" + settings + data + job;
}

// The PCL XL stream without Ghostscript's PJL lines: their ENTER LANGUAGE
// would make detection take the whole file for PCL XL.
std::string pclxl_stream() {
  const std::string pxl = corpus_bytes(PCLXL_FILE);
  const auto binding = pxl.find(") HP-PCL XL");
  return binding == std::string::npos ? std::string() : pxl.substr(binding);
}

class WrapperFormats : public AnalysisTest {};

TEST_F(WrapperFormats, OceJobsReportTheEmbeddedJobAndTheHeader) {
  const std::string pcl5 = corpus_bytes(PCL5_FILE);
  const std::string pxl = pclxl_stream();
  ASSERT_FALSE(pcl5.empty());
  ASSERT_FALSE(pxl.empty());
  const std::string settings =
      "ColorMode\tMonochrome\r\nCopies 3\r\nJobName \"quarterly report\"\r\n";
  struct Case {
    const char* name;
    std::string bytes;
    int language, pages, copies, grayscale;
    std::string document;
  };
  const std::vector<Case> cases = {
      {"PCL5 inside", oce_wrap(settings, pcl5), LANG_PCL5, 2, 3, 1, "quarterly report"},
      {"PCL XL inside", oce_wrap("Copies 2\r\n", pxl), LANG_PCL6, 2, 2, 0, ""},
      {"colour mode left to the job", oce_wrap("ColorMode color\r\n", pcl5), LANG_PCL5, 2, 1, 0,
       ""},
      {"upper-case marks", oce_wrap(settings, pcl5, "*OCEJobBegin", "*OCEJobData"), LANG_PCL5, 2,
       3, 1, "quarterly report"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = file("oce.prn", c.bytes);
    JobAttribsPtr ja(analyzer_create_job_attribs());
    EXPECT_EQ(analyzer_process_spool_file(path.c_str(), 0, ja.get()), 0) << log();
    EXPECT_EQ(ja->language, c.language);
    EXPECT_EQ(ja->pages, c.pages);
    EXPECT_EQ(ja->copy_count, c.copies);
    EXPECT_EQ(ja->is_grayscale, c.grayscale);
    EXPECT_EQ(std::string(ja->document_name), c.document);
    EXPECT_EQ(std::string(ja->paper_size_name), "A4");
  }
}

// With colour detection, the colour pages are the embedded job's, except
// that a job the header prints in monochrome has none (judged gray).
TEST_F(WrapperFormats, OceMonochromeJobsHaveNoColourPages) {
  const auto row = corpus_row_named(COLOUR_PCL5_FILE);
  ASSERT_TRUE(row.has_value());
  const std::string pcl5 = sw_test::read_file(row->path);
  ASSERT_FALSE(pcl5.empty());
  struct Case {
    const char* name;
    std::string bytes;
    int color;
    int colour_pages;
  };
  const std::vector<Case> cases = {
      {"colour job", oce_wrap("ColorMode color\r\n", pcl5), 1, row->expected_colour_pages()},
      {"monochrome job", oce_wrap("ColorMode Monochrome\r\n", pcl5), 1, 0},
      {"no colour detection", oce_wrap("ColorMode Monochrome\r\n", pcl5), 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = file("oce.prn", c.bytes);
    JobAttribsPtr ja(analyzer_create_job_attribs());
    EXPECT_EQ(analyzer_process_spool_file(path.c_str(), c.color, ja.get()), 0) << log();
    EXPECT_EQ(ja->language, LANG_PCL5);
    EXPECT_EQ(ja->pages, row->pages);
    EXPECT_EQ(ja->color_pages, c.colour_pages);
  }
}

TEST_F(WrapperFormats, OceMarksAndTheirFailures) {
  const std::string pcl5 = corpus_bytes(PCL5_FILE);
  const std::string pdf = corpus_bytes(PDF_FILE);
  ASSERT_FALSE(pcl5.empty());
  ASSERT_FALSE(pdf.empty());
  struct Case {
    const char* name;
    std::string bytes;
    int result, language, copies;
  };
  const std::vector<Case> cases = {
      {"upper-case marks", oce_wrap("Copies 2\n", pcl5, "*OCEJobBegin", "*OCEJobData"), 0,
       LANG_PCL5, 2},
      {"PDF inside is left alone", oce_wrap("Copies 2\n", pdf), 0, LANG_OCE, 1},
      {"no data mark", "*OceJobBegin\nCopies 2\n" + pcl5, -1, LANG_OCE, 1},
      {"no begin mark", "Copies 2\n*OceJobData" + pcl5, -1, LANG_OCE, 1},
      {"data mark in front of the begin mark", "*OceJobData*OceJobBegin" + pcl5, -1, LANG_OCE, 1},
      {"nothing behind the data mark", oce_wrap("Copies 2\n", ""), 0, LANG_OCE, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobAttribsPtr ja(analyzer_create_job_attribs());
    ja->language = LANG_OCE;
    const sw_test::ExactBuffer b(c.bytes);
    EXPECT_EQ(oce_process_job(b.data(), b.size(), 0, ja.get()), c.result);
    EXPECT_EQ(ja->language, c.language);
    EXPECT_EQ(ja->copy_count, c.copies);
  }
}

TEST_F(WrapperFormats, OceJobNameOnlyWhenTheJobHasNone) {
  const std::string job = oce_wrap("JobName \"from header\"\n", corpus_bytes(PCL5_FILE));
  JobAttribsPtr ja(analyzer_create_job_attribs());
  util_safe_strncpy(ja->document_name, "from spooler", sizeof ja->document_name);
  const sw_test::ExactBuffer b(job);
  EXPECT_EQ(oce_process_job(b.data(), b.size(), 0, ja.get()), 0);
  EXPECT_EQ(std::string(ja->document_name), "from spooler");
}

// Code 66: the PCL XL analyzer gives the pages of the stream behind the
// header, the header its paper, copies and duplex.
TEST_F(WrapperFormats, HbplLocalHeaderAroundPclXl) {
  const std::string pxl = pclxl_stream();
  ASSERT_FALSE(pxl.empty());
  std::string header(2184, '\0');
  header.replace(0, 5, "EDAJC");
  header[16] = 9;    // paper: A4
  header[32] = 3;    // copies, little-endian
  header[1100] = 2;  // duplex
  const auto path = file("hbpl.prn", header + pxl);
  JobAttribsPtr ja(analyzer_create_job_attribs());
  EXPECT_EQ(analyzer_process_spool_file(path.c_str(), 0, ja.get()), 0) << log();
  EXPECT_EQ(ja->language, LANG_HBPL_3);
  EXPECT_EQ(ja->pages, 2);
  EXPECT_EQ(ja->copy_count, 3);
  EXPECT_EQ(ja->is_duplex, 1);
  EXPECT_EQ(std::string(ja->paper_size_name), "A4");
}

}  // namespace
