// The PDF, TIFF6, plain-text and XPS analyzers on every corpus file of their
// language codes, through the analysis driver: pages, colour pages, copies,
// duplex and paper against the tools' truths in the manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "analysis/analysis_test_util.h"
#include "analysis/analyzer.h"
#include "corpus/corpus.h"
#include "foundation/ja.h"
#include "foundation/util.h"
#include "support/files.h"

namespace {

using analysis_test::AnalysisTest;
using JaPtr = JobAttribsPtr;

struct Mm {
  int width;
  int height;
};

Mm paper_mm(const std::string& paper) {
  return paper == "A4" ? Mm{210, 297} : Mm{216, 279};
}

JaPtr analyse(const CorpusRow& row, int color) {
  JaPtr ja(analyzer_create_job_attribs());
  EXPECT_EQ(analyzer_process_spool_file_internal(row.path.c_str(), color, 0, ja.get()), 0);
  EXPECT_EQ(ja->language, row.lang);
  return ja;
}

// The page size when the data gives one: the source's paper (to the
// millimetre), or, with only a name, that name.
void expect_paper(const CorpusRow& row, const JobAttribs& ja) {
  if (ja.page_width_mm > 0) {
    const Mm want = paper_mm(row.paper);
    EXPECT_LE(std::abs(ja.page_width_mm - want.width), 1) << ja.page_width_mm;
    EXPECT_LE(std::abs(ja.page_height_mm - want.height), 1) << ja.page_height_mm;
  }
  if (ja.paper_size_name[0] != '\0') {
    EXPECT_EQ(util_case_equal_str(ja.paper_size_name, row.paper.c_str()), 1) << ja.paper_size_name;
  }
}

class PdfXpsCorpusTest : public AnalysisTest {};

// Every page of a PDF counts, whether its dictionary lies in the file or in
// an object stream; the page size is the source's. PDF colour is not read:
// it is not judged (-1), unless the job's own PJL header prints it in gray.
TEST_F(PdfXpsCorpusTest, PdfFilesGiveTheirPagesCopiesDuplexAndPaper) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows_for_lang(3)) {
    SCOPED_TRACE(row.file);
    ++files;
    const JaPtr ja = analyse(row, 1);
    EXPECT_EQ(ja->color_pages, row.colour_out ? -1 : 0);
    EXPECT_EQ(ja->pages, row.pages);
    EXPECT_EQ(ja->copy_count, row.copies);
    EXPECT_EQ(ja->is_duplex, row.duplex ? 1 : 0);
    ASSERT_GT(ja->page_width_mm, 0);
    expect_paper(row, *ja);
  }
  EXPECT_GE(files, 9);
}

// TIFF pages are the images of the job; the page size comes from each
// image's pixels and resolution (400, 600, 300 and 50 dpi). Pixels are not
// read: bilevel and gray images are judged gray, images in a colour model
// leave the colour not judged (-1).
TEST_F(PdfXpsCorpusTest, TiffJobsGiveTheirPagesCopiesAndPaper) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows_for_lang(27)) {
    SCOPED_TRACE(row.file);
    ++files;
    const JaPtr ja = analyse(row, 0);
    EXPECT_EQ(ja->color_pages, row.colour_out ? -1 : 0);
    EXPECT_EQ(ja->pages, row.pages);
    EXPECT_EQ(ja->copy_count, row.copies);
    ASSERT_GT(ja->page_width_mm, 0);
    expect_paper(row, *ja);
    EXPECT_STREQ(ja->document_name, "spoolwarden corpus");
  }
  EXPECT_GE(files, 5);
}

// A TIFF job whose PJL header prints it in gray is judged gray, whatever
// the colour model of its images: the colour TIFF job with the gray line
// that PJL drivers write in front of the language.
TEST_F(PdfXpsCorpusTest, TiffJobPrintedGrayByItsHeaderIsJudgedGray) {
  const auto row = corpus_row_named("pjl-tiff24nc-r50-mixed-a4.prn");
  ASSERT_TRUE(row.has_value());
  std::string job = sw_test::read_file(row->path);
  const std::size_t enter = job.find("@PJL ENTER LANGUAGE=TIFF6");
  ASSERT_NE(enter, std::string::npos);
  job.insert(enter, "@PJL SET RENDERMODE=GRAYSCALE\r\n");
  JaPtr ja(analyzer_create_job_attribs());
  ASSERT_EQ(analyzer_process_spool_file_internal(file("gray.prn", job).c_str(), 1, 0, ja.get()), 0);
  EXPECT_EQ(ja->pages, row->pages);
  EXPECT_EQ(ja->is_grayscale, 1);
  EXPECT_EQ(ja->color_pages, 0);
}

// Texts are laid out as CUPS's texttopdf does at 66 lines a page (the
// manifest's pages of pdftotext's texts are checked that way). Ghostscript's
// txtwrite writes no page breaks: its 62 lines are one page by texttopdf.
// Other files detected as text (printer commands, label rasters) have no
// page truth of their own and are left out.
TEST_F(PdfXpsCorpusTest, TextsGiveThePagesATextPrinterMakes) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows_for_lang(42)) {
    const bool txtwrite = row.file == "gs-txtwrite-text-a4.txt";
    if (!txtwrite && row.chain.rfind("pdftotext", 0) != 0) continue;
    SCOPED_TRACE(row.file);
    ++files;
    const JaPtr ja = analyse(row, 1);
    EXPECT_EQ(ja->pages, txtwrite ? 1 : row.pages);
    EXPECT_EQ(ja->color_pages, 0);
    EXPECT_EQ(ja->is_grayscale, 1);
  }
  EXPECT_GE(files, 4);
}

// XPS pages as mupdf renders them; colour pages from fills, strokes and the
// JPEG, PNG and TIFF images of every encoding in the corpus; copies, duplex
// and paper from job tickets. Without colour detection no colour is counted.
TEST_F(PdfXpsCorpusTest, XpsPackagesGiveTheirPagesColourPagesAndTickets) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows_for_lang(61)) {
    SCOPED_TRACE(row.file);
    ++files;
    const JaPtr ja = analyse(row, 1);
    EXPECT_EQ(ja->pages, row.pages);
    EXPECT_EQ(ja->color_pages, row.expected_colour_pages());
    EXPECT_EQ(ja->is_grayscale, row.expected_colour_pages() == 0 ? 1 : 0);
    EXPECT_EQ(ja->copy_count, row.copies);
    EXPECT_EQ(ja->is_duplex, row.duplex ? 1 : 0);
    expect_paper(row, *ja);

    const JaPtr plain = analyse(row, 0);
    EXPECT_EQ(plain->pages, row.pages);
    EXPECT_EQ(plain->color_pages, -1);
  }
  EXPECT_GE(files, 13);
}

}  // namespace
