// The PDF analyzer on small hand-made PDFs, for what no driver in the corpus
// writes: PJL paper sizes, boxes with a non-zero origin, PWG tickets, a
// driver's page-attribute comment, inline copies, revised page trees and
// files without pages, and streams whose lengths no writer gets wrong.
// (Object streams, linearized files, attached PDFs, large images and the PJL
// headers of real PPDs are corpus files.)
#include "analysis/pdf.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/pdf_internal.h"
#include "foundation/ja.h"
#include "support/zlib_deflate.h"

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

// Three page dictionaries without a page tree (the pages counted are the
// dictionaries the walk meets) between `front` and `back`, padded at the end.
std::string three_pages_between(const std::string& front, const std::string& back = "") {
  std::string out = "%PDF-1.4\n%\xc7\xec\x8f\xa2\n" + front;
  for (int i = 0; i < 3; ++i) {
    out += std::to_string(20 + i) +
           " 0 obj\n<</Type/Page/MediaBox [0 0 595 842]/Parent 3 0 R>>\nendobj\n";
  }
  return out + back + "trailer\n<< /Root 1 0 R >>\n%%EOF\n" + std::string(300, '%') + "\n";
}

// Binary stream data of `size` bytes (high bytes only, so no keyword), with
// a page dictionary and a page-tree root written into it every 1000 bytes
// when `with_pages` is set: text that a walk through the data would count.
std::string binary_data(std::size_t size, bool with_pages) {
  std::string out;
  for (std::size_t i = 0; out.size() < size; ++i) {
    if (with_pages && i % 1000 == 0) {
      out += "<</Type /Page /MediaBox [0 0 100 100]>> <</Type /Pages /Count 9>>";
    } else {
      out += static_cast<char>(0x80 + (i * 37) % 128);
    }
  }
  return out;
}

std::string stream_object(int n, const std::string& dict, const std::string& data,
                          const std::string& eol = "\n") {
  return std::to_string(n) + " 0 obj\n<<" + dict + ">>\nstream" + eol + data + eol +
         "endstream\nendobj\n";
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

// A page's own box is the size, wherever its dictionary holds it: right
// behind its type, or before it (keys in sorted order) behind hex strings
// and nested dictionaries; the last page's box stands, and a box that cannot
// be read keeps the one before.
TEST_F(PdfTest, EachPagesOwnBoxWhereverItsDictionaryHoldsIt) {
  const std::string box_first = "<</Type/Page/MediaBox [0 0 612 792]>>";
  const std::string sorted =
      "<< /Contents 4 0 R /ID [<ab><cd>] /MediaBox [0 0 842 1191] /Resources << /Font << /F1 5 0 R "
      ">> /ProcSet [/PDF] >> /Rotate 0 /Type /Page >>";
  const struct {
    const char* name;
    std::string pages;
    int width;
    int height;
  } cases[] = {
      {"sorted keys", sorted, 297, 420},
      {"behind the type, then sorted", box_first + "\n" + sorted, 297, 420},
      {"sorted, then behind the type", sorted + "\n" + box_first, 216, 279},
      {"an unreadable box last", sorted + "\n<</Type/Page/MediaBox [0 0 612]>>", 297, 420},
  };
  for (const auto& c : cases) {
    JaPtr ja(analyzer_create_job_attribs());
    ASSERT_EQ(analyse(three_pages_between("", "9 0 obj\n" + c.pages + "\nendobj\n"), ja.get()), 0)
        << c.name;
    EXPECT_EQ(ja->page_width_mm, c.width) << c.name;
    EXPECT_EQ(ja->page_height_mm, c.height) << c.name;
  }
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

// Stream data is stepped over by its length where its dictionary names a
// filter (encoded bytes) or an attached file, and only where "endstream"
// stands behind it; otherwise it is walked as before. Either way the job's
// three pages count, and the pages written into the data do not. The
// streams are hand-made: no writer gets lengths wrong, and none leaves page
// dictionaries readable in encoded data (the corpus holds an attached PDF in
// stored Flate blocks, and qpdf's attachments).
TEST_F(PdfTest, StreamDataSteppedOverByItsLength) {
  const std::string fake = binary_data(6000, true);
  const std::string plain = binary_data(6000, false);
  const std::string len = std::to_string(fake.size());
  struct Case {
    const char* name;
    std::string front;  // objects in front of the job's pages
    std::string back;   // and behind them
  };
  const Case cases[] = {
      {"encoded, direct length", stream_object(5, "/Filter /FlateDecode /Length " + len, fake)},
      {"encoded, CRLF line ends",
       stream_object(5, "/Length " + len + "/Filter/DCTDecode", fake, "\r\n")},
      {"encoded, filter array",
       stream_object(5, "/Filter [/ASCII85Decode /FlateDecode] /Length " + len, fake)},
      {"encoded, indirect length",
       stream_object(5, "/Length 6 0 R /Filter /FlateDecode", fake) + "6 0 obj\n" + len +
           "\nendobj\n"},
      {"attached file, not encoded, short",
       stream_object(5, "/Type /EmbeddedFile /Length 200", fake.substr(0, 200))},
      // Damaged: walked as they are, so no page behind them is lost.
      {"length past its endstream",
       stream_object(5, "/Filter /FlateDecode /Length " + std::to_string(plain.size() + 150),
                     plain)},
      {"negative length", stream_object(5, "/Filter /FlateDecode /Length -6000", plain)},
      {"length beyond the file",
       stream_object(5, "/Filter /FlateDecode /Length 9223372036854775807", plain)},
      {"length beyond 64 bits",
       stream_object(5, "/Filter /FlateDecode /Length 36893488147419103232", plain)},
      {"length not an integer", stream_object(5, "/Filter /FlateDecode /Length 6000.5", plain)},
      {"indirect length, data cut short before the pages",
       "5 0 obj\n<</Length 6 0 R/Filter /FlateDecode>>\nstream\n" + plain + "\n",
       stream_object(8, "/Length 9 0 R/Filter /FlateDecode", std::string("x\x9c\x03\x00", 4)) +
           "9 0 obj\n4\nendobj\n"},
  };
  for (const Case& c : cases) {
    JaPtr ja(analyzer_create_job_attribs());
    const std::string job = three_pages_between(c.front, c.back);
    EXPECT_EQ(analyse(job, ja.get()), 0) << c.name;
    EXPECT_EQ(ja->pages, 3) << c.name;
    EXPECT_EQ(ja->page_width_mm, 210) << c.name;
  }
}

// A stream cut off by the end of the file: the pages in front of it count,
// and nothing is read past the end (the buffer is exactly the file).
TEST_F(PdfTest, StreamCutOffByTheEndOfTheFile) {
  const std::string data = binary_data(5000, false);
  const std::string dicts[] = {"/Filter /FlateDecode /Length 100000",
                               "/Filter /FlateDecode /Length 7 0 R",
                               "/Type /EmbeddedFile /Length 7 0 R"};
  for (const std::string& dict : dicts) {
    const std::string pages = three_pages_between("");
    const std::string job = pages.substr(0, pages.find("trailer")) + "5 0 obj\n<<" + dict +
                            ">>\nstream\n" + data;
    JaPtr ja(analyzer_create_job_attribs());
    EXPECT_EQ(analyse(job, ja.get()), 0) << dict;
    EXPECT_EQ(ja->pages, 3) << dict;
  }
}

// Unencoded data is walked: a driver's page attributes in a metadata packet
// are found, and an object stream whose data is stepped over (its /Type
// behind its /Length) is still inflated and walked; its stored Flate blocks
// show its three page dictionaries as they are, which count once.
TEST_F(PdfTest, UnencodedDataAndObjectStreamsStillRead) {
  const std::string packet = "<?xpacket begin?><x:xmpmeta>" + std::string(5000, ' ') +
                             "<PageAttribRange PaperSize=\"A4\" Copies=\"2\"/></x:xmpmeta>"
                             "<?xpacket end?>";
  JaPtr ja(analyzer_create_job_attribs());
  ASSERT_EQ(analyse(three_pages_between(stream_object(
                        5, "/Type /Metadata /Subtype /XML /Length " + std::to_string(packet.size()),
                        packet)),
                    ja.get()),
            0);
  EXPECT_EQ(ja->copy_count, 2);
  EXPECT_STREQ(ja->paper_size_name, "A4");

  std::string objects = "20 0 21 70 22 140 ";
  for (int i = 0; i < 3; ++i) {
    objects += "<</Type/Page/MediaBox [0 0 612 792]/Parent 3 0 R>>" + std::string(19, ' ');
  }
  objects += std::string(6000, ' ');
  const std::string deflated = sw_test::zlib_deflate(objects, 0);
  ASSERT_FALSE(deflated.empty());
  const std::string job = "%PDF-1.5\n" +
                          stream_object(4, "/Length " + std::to_string(deflated.size()) +
                                               " /Filter /FlateDecode /Type /ObjStm /N 3 /First 18",
                                        deflated) +
                          "trailer\n<< /Root 1 0 R >>\n%%EOF\n" + std::string(300, '%');
  JaPtr objstm(analyzer_create_job_attribs());
  ASSERT_EQ(analyse(job, objstm.get()), 0);
  EXPECT_EQ(objstm->pages, 3);
  EXPECT_EQ(objstm->page_width_mm, 216);
}

// PCLm as hpcups writes it: a job ticket in comments before each page, each
// page's strips as image objects behind it, named by their ink.
std::string pclm(const std::string& sides, const std::string& colour_mode,
                 const std::vector<std::string>& page_strips) {
  std::string out = "%PDF-1.7\n%PCLm 1.0\n";
  std::string kids;
  int n = 10;
  for (const std::string& strips : page_strips) {
    out += "%  PCLmS-Job-Ticket\n%      sides: " + sides + "\n%      print-color-mode: " +
           colour_mode + "\n%      copies: 1\n%  PCLmS-Job-Ticket-End\n";
    const int page = n++;
    kids += std::to_string(page) + " 0 R ";
    std::string images;
    std::string objects;
    for (std::size_t i = 0; i < strips.size(); ++i) {
      const int image = n++;
      images += "/Image" + std::to_string(i) + " " + std::to_string(image) + " 0 R\n";
      const std::string name = strips[i] == 'w' ? "WhiteStrip" : "ColorStrip";
      objects += stream_object(image, "\n/Width 8\n/Height 1\n/Name /" + name + "\n/Length 2\n",
                               "\x81\xff");
    }
    out += std::to_string(page) +
           " 0 obj\n<<\n/Type /Page\n/Parent 2 0 R\n/MediaBox [0 0 595 842]\n" +
           "/Resources <<\n/XObject <<\n" + images + ">>\n>>\n>>\nendobj\n" + objects;
  }
  out += "2 0 obj\n<<\n/Type /Pages\n/Kids [ " + kids + "]\n/Count " +
         std::to_string(page_strips.size()) + "\n>>\nendobj\n";
  return out + "trailer\n<< /Root 1 0 R >>\n%%EOF\n" + std::string(300, '%') + "\n";
}

// A PCLm job's ticket gives its sides and monochrome mode; the blank back
// side the driver ends an odd two-sided job with (a page of white strips)
// is no page, while a blank page in a one-sided job or a page with ink
// stays.
TEST_F(PdfTest, PclmTicketAndTheBlankBackSide) {
  struct Case {
    const char* name;
    std::string job;
    int pages;
    int duplex;
    int tumble;
    int grayscale;
  };
  const std::string two_sided = "two-sided-long-edge";
  const Case cases[] = {
      {"two-sided, blank fourth page", pclm(two_sided, "color", {"cw", "c", "wc", "ww"}), 3, 1, 0,
       0},
      {"short edge, monochrome", pclm("two-sided-short-edge", "monochrome", {"c", "ww"}), 1, 1, 1,
       1},
      {"two-sided, ink on the last page", pclm(two_sided, "color", {"c", "wc"}), 2, 1, 0, 0},
      {"one-sided, blank last page", pclm("one-sided", "color", {"c", "ww"}), 2, 0, 0, 0},
      {"two-sided, odd count", pclm(two_sided, "color", {"c", "c", "ww"}), 3, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JaPtr ja(analyzer_create_job_attribs());
    ASSERT_EQ(analyse(c.job, ja.get()), 0);
    EXPECT_EQ(ja->pages, c.pages);
    EXPECT_EQ(ja->is_duplex, c.duplex);
    EXPECT_EQ(ja->is_tumble, c.tumble);
    EXPECT_EQ(ja->is_grayscale, c.grayscale);
    EXPECT_EQ(ja->color_pages, c.grayscale != 0 ? 0 : -1);
  }
  // Every prefix stays in bounds.
  const std::string job = pclm("two-sided-long-edge", "color", {"c", "ww"});
  for (std::size_t n = 0; n <= job.size(); n += 7) {
    JaPtr ja(analyzer_create_job_attribs());
    (void)analyse(job.substr(0, n), ja.get());
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
