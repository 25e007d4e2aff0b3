// Epson ESC/Page on hand-made jobs (no free tool writes EJL sheet counts,
// QT copies or the models' byte headers): each fixture is an EJL header, a
// few page bytes and an EJL trailer, annotated where it matters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/epsonpage.h"
#include "foundation/ja.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using sw_test::ExactBuffer;

// The EJL header a driver writes: its lines, then the page language.
std::string ejl_job(const std::string& lines, const std::string& pages) {
  return "\x1b\x01@EJL \n"s + lines + "@EJL EN LA=ESC/PAGE\n" + pages +
         "\x1b\x01@EJL \n@EJL EJ \n\x1b\x01@EJL \n" + std::string(256, ' ');
}

// The job's page data: `n` pages, each ended by a form feed.
std::string pages_of(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "\x1drhE\x1d" "0;0.24muE data\x0c";
  return s;
}

struct Result {
  int pages, copies, duplex, grayscale;
  std::string paper, document;
};

Result analyse(const std::string& bytes) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  const ExactBuffer b(bytes);
  EXPECT_EQ(epsonpage_process_job(b.data(), b.size(), ja.get()), 0);
  return {ja->pages, ja->copy_count, ja->is_duplex, ja->is_grayscale, ja->paper_size_name,
          ja->document_name};
}

class EpsonPage : public sw_test::TempDirTest {};

TEST_F(EpsonPage, SheetsCopiesAndDuplexFromTheEjlLines) {
  const std::string sheets5 = "@EJL JI PAGES=\"5\"\n";
  const std::string sheets3 = "@EJL JI PAGES=\"3\"\n";
  const std::string lp8900 = "@EJL JI ID=\"0\" DRIVER=\"EPSON LASER LP-8900\"\n";
  // The blank last page: two form feeds and ESC 01 in front of the trailer,
  // whose lines are the only ones in the last 1019 bytes.
  const std::string blank_end = "\x0c\x0c\x1b\x01@EJL \n@EJL EJ\n"s;
  struct Case {
    const char* name;
    std::string job;
    Result want;
  };
  const std::vector<Case> cases = {
      {"simplex, QT=2 divides the sheets", ejl_job(sheets5 + "@EJL SET RS=QK QT=2 PS=A4 \n", ""),
       {.pages = 2, .copies = 2, .duplex = 0, .grayscale = 1, .paper = "A4"}},
      {"the LP-8900 driver counts copies itself",
       ejl_job(lp8900 + sheets5 + "@EJL SET RS=QK QT=2 PS=A4 \n", ""),
       {.pages = 5, .copies = 2, .duplex = 0, .grayscale = 1, .paper = "A4"}},
      {"CO divides the sheets only when it divides them exactly",
       ejl_job(sheets5 + "@EJL SET RS=QK CO=2 PS=A4 \n", ""),
       {.pages = 5, .copies = 2, .duplex = 0, .grayscale = 1, .paper = "A4"}},
      {"duplex: two sides a sheet", ejl_job(sheets3 + "@EJL SET DX=ON PS=LT \n", ""),
       {.pages = 6, .copies = 1, .duplex = 1, .grayscale = 1, .paper = "LETTER"}},
      {"duplex with an empty last page",
       "\x1b\x01@EJL \n"s + sheets3 + "@EJL SET DX=ON PS=LT \n" + std::string(1100, 'x') +
           blank_end,
       {.pages = 5, .copies = 1, .duplex = 1, .grayscale = 1, .paper = "LETTER"}},
      {"a PS code not in the table is kept", ejl_job(sheets3 + "@EJL SET PS=B4X \n", ""),
       {.pages = 3, .copies = 1, .duplex = 0, .grayscale = 1, .paper = "B4X"}},
      {"ESC/PAGE-COLOR makes it colour",
       ejl_job(sheets3 + "@EJL SET PS=A4 \n@EJL EN LA=ESC/PAGE-COLOR\n", ""),
       {.pages = 3, .copies = 1, .duplex = 0, .grayscale = 0, .paper = "A4"}},
      {"no sheet count: alc7000 page ends",
       ejl_job("", "36eps{IF\x80\x0e\x40 page 1 36eps{IF\x80\x0e\x40 page 2 "s),
       {.pages = 2, .copies = 1, .duplex = 0, .grayscale = 1, .paper = "A4"}},
      {"the document name", ejl_job("@EJL JI USER=\"u\" DOCUMENT=\"report.pdf\"\n" + sheets3, ""),
       {.pages = 3, .copies = 1, .duplex = 0, .grayscale = 1, .paper = "A4",
        .document = "report.pdf"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = analyse(c.job);
    EXPECT_EQ(r.pages, c.want.pages);
    EXPECT_EQ(r.copies, c.want.copies);
    EXPECT_EQ(r.duplex, c.want.duplex);
    EXPECT_EQ(r.grayscale, c.want.grayscale);
    EXPECT_EQ(r.paper, c.want.paper);
    EXPECT_EQ(r.document, c.want.document);
  }
}

// Ghostscript's lp and alc devices begin every filled path with the bytes
// of the C2000 page start, several times a page (4 pages gave 6): one page
// start counts per form feed.
TEST_F(EpsonPage, C2000PageStartsCountOncePerPage) {
  const std::string path = "E\x1d" "1bgpG\x1d" "0;-59;-59mvpG"s;
  const std::string job =
      ejl_job("", path + path + "\x0c\x1drhE" + path + "\x0c\x1drhE" + path + path + path + "\x0c");
  EXPECT_EQ(analyse(job).pages, 3);
}

// Without EJL sheet count or model markers, the page ends of the command
// stream: form feeds between commands, and resets that end a page of bit
// images; a form feed inside a data block is skipped with the block.
TEST_F(EpsonPage, PageEndsBetweenCommands) {
  // GS 5;40;1;0bi{I: a bit image of 5 data bytes, one of them a form feed.
  const std::string image = "\x1d" "5;40;1;0bi{I\x07\x0c\xff\x01\xfe"s;
  const std::string reset = "\x1drhE"s;
  EXPECT_EQ(analyse(ejl_job("", pages_of(3))).pages, 3);
  EXPECT_EQ(analyse(ejl_job("", image + reset + image + image + reset + reset)).pages, 2);
}

TEST_F(EpsonPage, NoPageEvidenceLeavesThePagesAlone) {
  struct Case {
    const char* name;
    std::string page_bytes;
  };
  const std::vector<Case> cases = {
      {"no page end", "\x1drhE\x1d" "0;0.24muE data"},
      // A GS that opens no command: the stream is not walked as written,
      // and its form feeds are not counted.
      {"a GS that is no command", pages_of(3) + "\x1d\x01\x02"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobAttribsPtr ja(analyzer_create_job_attribs());
    ja->pages = 7;
    const ExactBuffer b(ejl_job("", c.page_bytes));
    EXPECT_EQ(epsonpage_process_job(b.data(), b.size(), ja.get()), 0);
    EXPECT_EQ(ja->pages, 7);
    EXPECT_TRUE(logged("Unable to determine page count in Epson data stream")) << log_text();
  }
}

TEST_F(EpsonPage, LastPageBlank) {
  struct Case {
    const char* name;
    std::string bytes;
    int want;
  };
  const std::vector<Case> cases = {
      {"blank page in front of the trailer", "page\x0c\x0c\x1b\x01@EJL \r\n@EJL EJ\r\n"s, 1},
      {"one form feed", "page\x0c\x1b\x01@EJL \r\n@EJL EJ\r\n"s, 0},
      {"text between the lines", "page\x0c\x0c\x1b\x01@EJL x\r\n@EJL EJ\r\n"s, 0},
      {"lines far apart", "\x0c\x0c\x1b\x01@EJL " + std::string(50, ' ') + "@EJL", 0},
      {"a single line", "\x0c\x0c\x1b\x01@EJL \r\n", 0},
      // The first line at the start of the data has nothing in front of it:
      // the page-end test must not read before the data.
      {"first line at offset 2", "\x0c\x0c@EJL @EJL \n", 0},
      {"first line at offset 0", "@EJL \n@EJL \n", 0},
      {"empty", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ExactBuffer b(c.bytes);
    EXPECT_EQ(is_last_page_blank(b.data(), b.size()), c.want);
  }
}

// Every prefix of a job with EJL lines and model headers stays in bounds
// (AddressSanitizer in CI).
TEST_F(EpsonPage, TruncatedJobsStayInBounds) {
  const std::string job =
      ejl_job("@EJL JI DATE=\"2026/01/01\" PRINTER=\"LP-S8100\"\n@EJL SET RS=QK QT=2 DX=ON \n",
              "16eps{IB\x00\x01\x00\x01\x00\xff\x00\x00\x04\x00\xff\x4b\x31\x00\x00\x00\x00\x01"
              "eps{IH\x00\x00\x00\x12\x00\x00\x00\x00\x00\x00\x00\x01 36eps{IF"s +
                  std::string(14, '\x01') + "P\x00L\x01" + "\x00\x00\x00\x00\x00\x00\x00\x1d" +
                  "12eps{IL\x00\x00\x04\x00"s + "\x0c\x1d" "1b\x0c\x0c\x1b\x01");
  for (std::size_t n = 0; n <= job.size(); ++n) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    const ExactBuffer b(job.substr(0, n));
    EXPECT_EQ(epsonpage_process_job(b.data(), b.size(), ja.get()), 0);
  }
}

}  // namespace
