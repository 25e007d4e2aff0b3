// The XPS analyzer and print tickets on packages built here (zip written by
// minizip; the XML is hand-made where no driver in the corpus writes the
// case: N-up tickets, page tickets, missing parts, hostile images).
#include "analysis/xps.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/xps_color.h"
#include "analysis/xps_test_util.h"
#include "foundation/ja.h"

namespace {

using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;
using JaPtr = JobAttribsPtr;
using xps_test::Entry;
using xps_test::integer;
using xps_test::make_package;
using xps_test::n_up_feature;
using xps_test::Package;
using xps_test::ticket;

const std::string DUPLEX_SHORT =
    "<psf:Feature name=\"psk:JobDuplexAllDocumentsContiguously\">"
    "<psf:Option name=\"psk:TwoSidedShortEdge\" /></psf:Feature>";
const std::string DUPLEX_ONE_SIDED =
    "<psf:Feature name=\"psk:DocumentDuplex\"><psf:Option name=\"psk:OneSided\"/></psf:Feature>";
const std::string COPIES_4 =
    "<psf:ParameterInit name=\"psk:JobCopiesAllDocuments\">" + integer(4) + "</psf:ParameterInit>";
const std::string MONO =
    "<psf:Feature name=\"psk:PageOutputColor\"><psf:Option name=\"psk:Monochrome\" /></psf:Feature>";
const std::string A4 =
    "<psf:Feature name=\"psk:PageMediaSize\"><psf:Option name=\"psk:ISOA4\">"
    "<psf:ScoredProperty name=\"psk:MediaSizeWidth\">" + integer(210000) + "</psf:ScoredProperty>"
    "<psf:ScoredProperty name=\"psk:MediaSizeHeight\">" + integer(297000) + "</psf:ScoredProperty>"
    "</psf:Option></psf:Feature>";

const std::string BLACK_PAGE = "<Path Fill=\"#FF000000\" Data=\"M 0,0 L 10,10\"/>";
const std::string RED_PAGE = "<Path Fill=\"#FFff0000\" Data=\"M 0,0 L 10,10\"/>";

class XpsTest : public AnalysisTest {
 protected:
  // Runs the analyzer on a package; its result.
  int analyse(const std::string& package, int color, JobAttribs* ja) {
    const ExactBuffer buffer(package);
    return xps_process_job(buffer.data(), buffer.size(), color, ja);
  }
};

TEST_F(XpsTest, TicketsSetJobAttributes) {
  struct Case {
    const char* name;
    std::string features;
    int result;
    int copies, duplex, tumble, grayscale, width, height;
  };
  const Case cases[] = {
      {"short edge", DUPLEX_SHORT, 1, 1, 1, 1, 0, -1, -1},
      {"one sided turns duplex off", DUPLEX_ONE_SIDED, 1, 1, 0, 0, 0, -1, -1},
      {"copies, mono, A4", COPIES_4 + MONO + A4, 1, 4, 1, 0, 1, 210, 297},
      // A feature without its value is left out; the others still count.
      {"duplex without option",
       COPIES_4 + "<psf:Feature name=\"psk:JobDuplexAllDocumentsContiguously\"></psf:Feature>", 0, 4, 1,
       0, 0, -1, -1},
      {"media without sizes",
       "<psf:Feature name=\"psk:PageMediaSize\"><psf:Option name=\"psk:ISOA4\" /></psf:Feature>" + MONO,
       0, 1, 1, 0, 1, -1, -1},
  };
  for (const Case& c : cases) {
    JaPtr ja(analyzer_create_job_attribs());
    ja->is_duplex = 1;  // as a PJL header or the spooler may have set it
    XpsTicketInfo info;
    EXPECT_EQ(parse_print_ticket(ticket(c.features), XPS_SCOPE_JOB, ja.get(), &info, nullptr), c.result)
        << c.name;
    EXPECT_EQ(ja->copy_count, c.copies) << c.name;
    EXPECT_EQ(ja->is_duplex, c.duplex) << c.name;
    EXPECT_EQ(ja->is_tumble, c.tumble) << c.name;
    EXPECT_EQ(ja->is_grayscale, c.grayscale) << c.name;
    EXPECT_EQ(ja->page_width_mm, c.width) << c.name;
    EXPECT_EQ(ja->page_height_mm, c.height) << c.name;
  }
}

// Features nest (N-up holds its presentation direction); either N-up name
// counts; the places of the rewritable values point at their text.
TEST_F(XpsTest, TicketNUpAndValuePlaces) {
  for (const char* feature : {"DocumentNUp", "JobNUpAllDocumentsContiguously"}) {
    XpsTicketInfo info;
    EXPECT_EQ(parse_print_ticket(ticket(n_up_feature(feature, 4)), XPS_SCOPE_JOB, nullptr, &info, nullptr), 1);
    EXPECT_TRUE(info.names_pages_per_sheet) << feature;
    EXPECT_EQ(info.pages_per_sheet, 4) << feature;
  }
  const std::string text = ticket(COPIES_4 + DUPLEX_SHORT +
                                  "<psf:Feature name=\"psk:PageOutputColor\"><psf:Option name=\"psk:Color\"/></psf:Feature>");
  XpsTicketPlaces places;
  XpsTicketInfo info;
  ASSERT_EQ(parse_print_ticket(text, XPS_SCOPE_PAGE, nullptr, &info, &places), 1);
  EXPECT_FALSE(info.names_pages_per_sheet);
  EXPECT_EQ(text.substr(places.copies.offset, places.copies.length), "4");
  EXPECT_EQ(text.substr(places.duplex.offset, places.duplex.length), "psk:TwoSidedShortEdge");
  EXPECT_EQ(text.substr(places.color.offset, places.color.length), "psk:Color");
}

TEST_F(XpsTest, ColourValues) {
  struct Case {
    const char* value;
    bool colour;
  };
  const Case cases[] = {
      {"#FF0000", true},      {"#ff808080", false},  {"#FF80ff80", true}, {"#FFFF8080", true},
      {"#4C4D4C", false},     // a renderer's grey
      {"#00FF0000", false},   // fully transparent
      {"#ffAAaaAA", false},   // digits in either case
      {"#F00", false},        {"Red", false},        {"{StaticResource b}", false},
      {"sc#1,0.5,0.5", true}, {"sc#1,0.2,0.2,0.2", false},
  };
  for (const Case& c : cases) EXPECT_EQ(xps_color_value_is_color(c.value), c.colour) << c.value;
}

TEST_F(XpsTest, ImageSources) {
  const std::string page = "/Documents/1/Pages/1.fpage";
  EXPECT_EQ(xps_image_source_part(page, "../Resources/Images/1.png"), "/Documents/1/Resources/Images/1.png");
  EXPECT_EQ(xps_image_source_part(
                page, "{ColorConvertedBitmap /Documents/1/Resources/Images/0.tif /Documents/1/Resources/Profiles/Profile_0.icc}"),
            "/Documents/1/Resources/Images/0.tif");
  EXPECT_EQ(xps_image_source_part(page, "{StaticResource img}"), "");
}

// Pages are sheets of the job's N-up; a page ticket changes the N-up only
// when it names one; a package without content types still counts.
TEST_F(XpsTest, PagesAreSheets) {
  const std::string job_ticket = ticket(n_up_feature("DocumentNUp", 2));
  const std::string seq_rels = xps_test::relationships({{"printticket", "/Metadata/Job_PT.xml"}});
  const std::string page_ticket_types =
      "<Types><Override PartName=\"/Metadata/Page_PT.xml\" ContentType=\"application/vnd.ms-printing.printticket+xml\"/></Types>";
  struct Case {
    const char* name;
    int pages;
    bool content_types;
    std::string page_ticket;  // listed in the content types when set
    int sheets;
  };
  const Case cases[] = {
      {"five pages two up", 5, true, "", 3},
      {"page ticket without N-up", 5, true, ticket(A4), 3},
      {"page ticket with N-up 4", 5, true, ticket(n_up_feature("DocumentNUp", 4)), 2},
      {"no content types", 5, false, "", 3},
  };
  for (const Case& c : cases) {
    Package p{.pages = std::vector<std::string>(static_cast<std::size_t>(c.pages), BLACK_PAGE),
              .content_types = false,
              .extra = {{"Metadata/Job_PT.xml", job_ticket}},
              .sequence_rels = seq_rels};
    if (c.content_types) p.extra.push_back({"[Content_Types].xml", page_ticket_types});
    if (!c.page_ticket.empty()) p.extra.push_back({"Metadata/Page_PT.xml", c.page_ticket});
    JaPtr ja(analyzer_create_job_attribs());
    EXPECT_EQ(analyse(make_package(p), 0, ja.get()), 0) << c.name;
    EXPECT_EQ(ja->pages, c.sheets) << c.name;
  }
}

// Colour is counted per sheet; with two pages a sheet, colour on pages 1
// and 2 is one colour sheet, on pages 2 and 3 two.
TEST_F(XpsTest, ColourSheets) {
  const std::string job_ticket = ticket(n_up_feature("DocumentNUp", 2));
  const std::string seq_rels = xps_test::relationships({{"printticket", "/Metadata/Job_PT.xml"}});
  struct Case {
    std::vector<std::string> pages;
    int color_pages;
  };
  const Case cases[] = {
      {{RED_PAGE, RED_PAGE, BLACK_PAGE, BLACK_PAGE}, 1},
      {{BLACK_PAGE, RED_PAGE, RED_PAGE, BLACK_PAGE}, 2},
      {{BLACK_PAGE, BLACK_PAGE, BLACK_PAGE}, 0},
  };
  for (const Case& c : cases) {
    JaPtr ja(analyzer_create_job_attribs());
    const Package p{.pages = c.pages, .extra = {{"Metadata/Job_PT.xml", job_ticket}}, .sequence_rels = seq_rels};
    ASSERT_EQ(analyse(make_package(p), 1, ja.get()), 0);
    EXPECT_EQ(ja->color_pages, c.color_pages);
    EXPECT_EQ(ja->is_grayscale, c.color_pages == 0 ? 1 : 0);
  }
}

// A page's images decide when no vector colour does; an image that is
// missing makes the job unanalysable; a format not decoded counts as colour.
TEST_F(XpsTest, PageImages) {
  const auto image_page = [](const std::string& source) {
    return "<Path Data=\"M 0,0 L 9,9\"><Path.Fill><ImageBrush ImageSource=\"" + source +
           "\" Viewbox=\"0,0,9,9\"/></Path.Fill></Path>";
  };
  // A bilevel TIFF header (photometric 0, one sample), as Ghostscript writes
  // them: byte order, the directory at 8 with two entries.
  const std::string gray_tiff = std::string(
      "II*\0" "\x08\0\0\0"             // header, first directory at 8
      "\x02\0"                         // two entries
      "\x06\x01\x03\0\x01\0\0\0\0\0\0\0"  // 262 photometric, SHORT, 1: 0
      "\x15\x01\x03\0\x01\0\0\0\x01\0\0\0"  // 277 samples per pixel, SHORT, 1: 1
      "\0\0\0\0", 38);                 // no next directory
  struct Case {
    const char* name;
    std::string source;
    std::vector<Entry> parts;
    int result;
    int pages;
    int color_pages;
  };
  const Case cases[] = {
      {"gray tiff", "/img/0.tif", {{"img/0.tif", gray_tiff}}, 0, 1, 0},
      {"wdp is taken as colour", "/img/0.wdp", {{"img/0.wdp", "whatever"}}, 0, 1, 1},
      {"missing jpeg", "/img/0.jpg", {}, -1, -1, -1},
      {"broken png", "/img/0.png", {{"img/0.png", "not a png"}}, -1, -1, -1},
  };
  for (const Case& c : cases) {
    JaPtr ja(analyzer_create_job_attribs());
    const Package p{.pages = {image_page(c.source)}, .extra = c.parts};
    EXPECT_EQ(analyse(make_package(p), 1, ja.get()), c.result) << c.name;
    EXPECT_EQ(ja->pages, c.pages) << c.name;
    EXPECT_EQ(ja->color_pages, c.color_pages) << c.name;
  }
}

// The image of a job of a few hundred bytes: a progressive JPEG declaring
// 12288 x 56320 pixels in 3 components (a libFuzzer find), which libjpeg
// would decode into 2 GB of coefficients; and device images of the seeds.
std::string seed_image(const std::string& name) {
  return xps_test::read_file(std::string(SW_SOURCE_DIR) + "/fuzz/corpus/image_tv/" + name);
}

std::string image_brush(const std::string& source) {
  return "<Path Data=\"M 0,0 L 9,9\"><Path.Fill><ImageBrush ImageSource=\"" + source +
         "\" Viewbox=\"0,0,9,9\"/></Path.Fill></Path>";
}

// An image too large to judge leaves its page, and so the job's colour, not
// judged (the pages stand, grayscale is not claimed), unless colour shows on
// that page anyway.
TEST_F(XpsTest, ImagesTooLargeToJudge) {
  const std::string hostile = seed_image("jpeg-progressive-declaring-12288x56320");
  const std::vector<Entry> images = {{"img/0.jpg", hostile},
                                     {"img/1.png", seed_image("png16m-colour")},
                                     {"img/2.png", seed_image("png256-gray")}};
  ASSERT_EQ(hostile.size(), 499u);
  struct Case {
    const char* name;
    std::vector<std::string> pages;
    int color_pages;
  };
  const Case cases[] = {
      {"alone", {image_brush("/img/0.jpg")}, COLOR_PAGES_UNJUDGED},
      {"beside a grey image", {image_brush("/img/0.jpg") + image_brush("/img/2.png")},
       COLOR_PAGES_UNJUDGED},
      {"after a colour page", {RED_PAGE, image_brush("/img/0.jpg")}, COLOR_PAGES_UNJUDGED},
      {"beside a colour image", {image_brush("/img/0.jpg") + image_brush("/img/1.png")}, 1},
      {"beside red paths", {image_brush("/img/0.jpg") + RED_PAGE}, 1},
  };
  for (const Case& c : cases) {
    JaPtr ja(analyzer_create_job_attribs());
    const Package p{.pages = c.pages, .extra = images};
    EXPECT_EQ(analyse(make_package(p), 1, ja.get()), 0) << c.name;
    EXPECT_EQ(ja->pages, static_cast<int>(c.pages.size())) << c.name;
    EXPECT_EQ(ja->color_pages, c.color_pages) << c.name;
    EXPECT_EQ(ja->is_grayscale, 0) << c.name;
  }
}

// The whole program on that job stays within a bound of memory (it peaked
// at 2 GB resident) and sends the colour pages as not counted.
TEST_F(XpsTest, HostileImageJobStaysWithinMemory) {
  constexpr long MAX_RESIDENT_KB = 256 * 1024;
  const Package p{.pages = {image_brush("/img/0.jpg")},
                  .extra = {{"img/0.jpg", seed_image("jpeg-progressive-declaring-12288x56320")}}};
  const std::string package = file("hostile.xps", make_package(p)).string();
  const std::string output = path_of("fields.txt");
  const std::string program = std::string(SW_BINARY_DIR) + "/tools/spool-analyze";
  // The child's peak counts the pages it shared with this process until
  // the exec; beyond those it may take the bound.
  rusage self{};
  ASSERT_EQ(getrusage(RUSAGE_SELF, &self), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null = open("/dev/null", O_WRONLY);
    if (out < 0 || null < 0 || dup2(out, 1) < 0 || dup2(null, 2) < 0) _exit(127);
    execl(program.c_str(), program.c_str(), package.c_str(), "--color", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  ASSERT_EQ(wait4(pid, &status, 0, &usage), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string fields = xps_test::read_file(output);
  EXPECT_NE(fields.find("\npages=1\n"), std::string::npos) << fields;
  EXPECT_NE(fields.find("\ncolor_pages=-1\n"), std::string::npos) << fields;
  EXPECT_LT(usage.ru_maxrss, self.ru_maxrss + MAX_RESIDENT_KB)
      << "this process: " << self.ru_maxrss << " kB";
}

TEST_F(XpsTest, UnreadablePackagesFail) {
  JaPtr ja(analyzer_create_job_attribs());
  const std::string not_zip = "PK but nothing that a zip reader could use, for sure";
  EXPECT_EQ(analyse(not_zip, 1, ja.get()), -1);
  // No start part; no document in the sequence; no page at all.
  const std::string no_start = xps_test::make_zip({{"Documents/1/Pages/1.fpage", "<FixedPage/>"}});
  EXPECT_EQ(analyse(no_start, 1, ja.get()), -1);
  const std::string empty_document = make_package(Package{});
  EXPECT_EQ(analyse(empty_document, 1, ja.get()), -1);
  EXPECT_EQ(ja->pages, 0);
}

// An expired time limit stops the colour scan: the pages stand, their colour
// is not judged (never billed as gray: the second page is red), and
// grayscale is not claimed.
TEST_F(XpsTest, TimeLimitStopsTheColourScan) {
  global_ctx.parse_timeout = -1;  // already out
  JaPtr ja(analyzer_create_job_attribs());
  const Package p{.pages = {BLACK_PAGE, RED_PAGE}};
  EXPECT_EQ(analyse(make_package(p), 1, ja.get()), 0);
  EXPECT_EQ(ja->pages, 2);
  EXPECT_EQ(ja->color_pages, COLOR_PAGES_UNJUDGED);
  EXPECT_EQ(ja->is_grayscale, 0);
  EXPECT_TRUE(logged("Parse timeout exceeded. Language: XPS"));
}

}  // namespace
