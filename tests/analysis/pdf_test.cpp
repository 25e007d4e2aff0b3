// The PDF analyzer on small hand-made PDFs, for what no driver in the corpus
// writes: PJL paper sizes, boxes with a non-zero origin, PWG tickets, a
// driver's page-attribute comment, inline copies, revised page trees and
// files without pages. (Object streams, linearized files and the PJL
// headers of real PPDs are corpus files.)
#include "analysis/pdf.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "analysis/analysis_test_util.h"
#include "analysis/pdf_internal.h"
#include "foundation/ja.h"

namespace {

using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;
using JaPtr = JobAttribsPtr;

const std::string UEL = "\x1b%-12345X";

// Objects as pdfwrite lays them out: pages with their MediaBox, then the
// page tree's root. The end is padded so that every window fits.
std::string pdf(int pages, const std::string& box = "0 0 595 842", const std::string& extra = "") {
  std::string out = "%PDF-1.4\n%\xc7\xec\x8f\xa2\n";
  std::string kids;
  for (int i = 0; i < pages; ++i) {
    const std::string n = std::to_string(10 + i);
    out += n + " 0 obj\n<</Type/Page/MediaBox [" + box + "]\n/Parent 3 0 R\n/Contents 4 0 R\n>>\nendobj\n";
    kids += n + " 0 R ";
  }
  out += "3 0 obj\n<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages) +
         " >>\nendobj\n" + extra;
  return out + "trailer\n<< /Root 1 0 R >>\n%%EOF\n" + std::string(300, '%') + "\n";
}

class PdfTest : public AnalysisTest {
 protected:
  int analyse(const std::string& bytes, JobAttribs* ja) {
    const ExactBuffer buffer(bytes);
    return pdf_process_job(buffer.data(), buffer.size(), ja);
  }
};

// PJL PAPERWIDTH and PAPERLENGTH count 1/720 inch: A4 is 5953 x 8419.
TEST_F(PdfTest, PjlPaperSizeInDecipoints) {
  const std::string job = UEL + "@PJL JOB\r\n@PJL SET PAPERWIDTH=5953\r\n@PJL SET PAPERLENGTH=8419\r\n"
                          "@PJL ENTER LANGUAGE=PDF\r\n" + pdf(1, "0 0 420 595");
  JaPtr ja(analyzer_create_job_attribs());
  ASSERT_EQ(analyse(job, ja.get()), 0);
  EXPECT_EQ(ja->page_width_mm, 210);
  EXPECT_EQ(ja->page_height_mm, 297);
}

TEST_F(PdfTest, BoxSizes) {
  struct Case {
    const char* box;
    int width;   // -1: no size read
    int height;
  };
  const Case cases[] = {
      {"0 0 612 792", 216, 279},
      {"10 20 605 862", 210, 297},   // an origin that is not 0 0
      {"-10 -10 585 832", 210, 297},
      {"0 0 595.28 841.89", 210, 297},
      {"0 0 612", -1, -1},
      {"0 0 12 0 R 5", -1, -1},
  };
  for (const Case& c : cases) {
    const std::optional<PdfBoxSize> size = pdf_box_size(c.box);
    EXPECT_EQ(size ? size->width_mm : -1, c.width) << c.box;
    EXPECT_EQ(size ? size->height_mm : -1, c.height) << c.box;
  }
  JaPtr ja(analyzer_create_job_attribs());
  ASSERT_EQ(analyse(pdf(2, "10 20 605 862"), ja.get()), 0);
  EXPECT_EQ(ja->pages, 2);
  EXPECT_EQ(ja->page_width_mm, 210);
  EXPECT_EQ(ja->page_height_mm, 297);
}

TEST_F(PdfTest, PwgTicketAndPageAttributes) {
  struct Case {
    const char* name;
    std::string head;
    int copies, duplex, grayscale;
    const char* paper;
  };
  const Case cases[] = {
      {"pwg ticket",
       "<PwgPrintJobTicket><Copies> 3 </Copies><Sides>TwoSidedLongEdge</Sides>"
       "<ColorEffectsType>Monochrome</ColorEffectsType></PwgPrintJobTicket>\n",
       3, 1, 1, ""},
      {"pwg ticket, one copy in colour",
       "<PwgPrintJobTicket><Copies>1</Copies><ColorEffectsType>Color</ColorEffectsType></PwgPrintJobTicket>\n",
       1, 0, 0, ""},
      {"pwg ticket without its end", "<PwgPrintJobTicket><Copies>5</Copies>\n", 1, 0, 0, ""},
      {"page attributes",
       "%<PageAttribRange PaperSize=\"A4\" Duplex=\"LongEdge\" Copies=\"2\"/>\n", 2, 1, 0, "A4"},
      {"page attributes, simplex", "%<PageAttribRange Duplex=\"Simplex\"/>\n", 1, 0, 0, ""},
  };
  for (const Case& c : cases) {
    JaPtr ja(analyzer_create_job_attribs());
    const std::string data = pdf(1);
    ASSERT_EQ(analyse(data.substr(0, 20) + c.head + data.substr(20), ja.get()), 0) << c.name;
    EXPECT_EQ(ja->copy_count, c.copies) << c.name;
    EXPECT_EQ(ja->is_duplex, c.duplex) << c.name;
    EXPECT_EQ(ja->is_grayscale, c.grayscale) << c.name;
    EXPECT_STREQ(ja->paper_size_name, c.paper) << c.name;
  }
}

// Copies that the data holds already (a page-label array restarting at "1"
// for each copy) are not asked for again by the PJL COPIES; QTY still is.
TEST_F(PdfTest, InlineCopiesAndPjlCopies) {
  const std::string labels = "20 0 obj\n[0 <</P(1)>> 1 <</P(1)>> 2 <</P(1)>>]\nendobj\n";
  for (const auto& [setting, copies] : {std::pair{"COPIES", 1}, std::pair{"QTY", 3}}) {
    const std::string job = UEL + "@PJL JOB\r\n@PJL SET " + setting + "=3\r\n@PJL ENTER LANGUAGE=PDF\r\n" +
                            pdf(3, "0 0 595 842", labels);
    JaPtr ja(analyzer_create_job_attribs());
    ASSERT_EQ(analyse(job, ja.get()), 0);
    EXPECT_EQ(ja->copy_count, copies) << setting;
    EXPECT_TRUE(logged("num_inline_copies=3"));
  }
}

TEST_F(PdfTest, PagesCountedFromThePageTree) {
  struct Case {
    const char* name;
    std::string data;
    int result;
    int pages;
  };
  // A revision appended to the file: page 10 written again and the root's
  // /Count raised to 3 with a new page 12.
  const std::string revised = pdf(2) +
      "10 0 obj\n<</Type/Page/MediaBox [0 0 595 842]/Parent 3 0 R>>\nendobj\n"
      "12 0 obj\n<</Type/Page/MediaBox [0 0 595 842]/Parent 3 0 R>>\nendobj\n"
      "3 0 obj\n<< /Type /Pages /Kids [ 10 0 R 11 0 R 12 0 R ] /Count 3 >>\nendobj\n" +
      std::string(300, '%');
  const std::string no_tree = "%PDF-1.4\n1 0 obj\n<</Type/Page/Contents 4 0 R>>\nendobj\n" +
                              std::string(300, ' ');
  const Case cases[] = {
      {"revised tree", revised, 0, 3},
      {"page dictionaries without a tree", no_tree, 0, 1},
      {"a last page type in the last bytes", "%PDF-1.4\n" + std::string(200, ' ') + "<</Type/Page", -1, 0},
      {"no pages", "%PDF-1.4\n" + std::string(500, 'x'), -1, 0},
  };
  for (const Case& c : cases) {
    JaPtr ja(analyzer_create_job_attribs());
    EXPECT_EQ(analyse(c.data, ja.get()), c.result) << c.name;
    EXPECT_EQ(ja->pages, c.pages) << c.name;
  }
}

// An expired time limit stops the walk where it is: what was found stands
// (here nothing, which is reported as not analysed).
TEST_F(PdfTest, TimeLimitStopsTheWalk) {
  global_ctx.parse_timeout = -1;  // already out
  JaPtr ja(analyzer_create_job_attribs());
  EXPECT_EQ(analyse(pdf(2), ja.get()), -1);
  EXPECT_TRUE(logged("Parse timeout exceeded. Language: PDF"));
}

}  // namespace
