// XPIF job tickets and Kyocera trailers. No free producer writes either:
// the tickets and trailers are hand-made, in the shape the drivers write.
#include <gtest/gtest.h>

#include <string>

#include "scan/kyocerameta.h"
#include "scan/xpif.h"
#include "scan_test_util.h"

namespace {

using scan_test::Bytes;
using scan_test::bytes;

// Hand-made ticket: declaration and opening element in the first 200
// bytes, then the given job attributes, then PostScript.
Bytes ticket(const std::string& attributes, const std::string& doctype =
                                                "<!DOCTYPE xpif SYSTEM \"xpif-v02076.dtd\">\n") {
  return bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + doctype +
               "<xpif version=\"1.0\" cpss-version=\"2.07\" xml:lang=\"en\">\n"
               "<job-template-attributes>\n" + attributes +
               "</job-template-attributes>\n</xpif>\n%!PS-Adobe-3.0\nshowpage\n");
}

struct TicketCase {
  const char* name;
  Bytes data;
  int result = 1;
  int qty = -1;
  int duplex = 0;
  int grayscale = 0;
  int x_mm = -1;
  int y_mm = -1;
};

TEST(XpifTest, ReadsTheTicket) {
  const std::string media =
      "<media-col syntax=\"collection\"><media-size syntax=\"collection\">"
      "<x-dimension syntax=\"integer\">999</x-dimension>"
      "<y-dimension syntax=\"integer\">29700</y-dimension></media-size></media-col>\n";
  const std::string per_page =
      "<page-overrides syntax=\"1setOf\"><value syntax=\"collection\">"
      "<input-documents syntax=\"1setOf\"><value syntax=\"rangeOfInteger\">"
      "<lower-bound syntax=\"integer\">1</lower-bound>"
      "<upper-bound syntax=\"integer\">1</upper-bound></value></input-documents>"
      "<color-effects-type syntax=\"keyword\">monochrome-grayscale</color-effects-type>"
      "</value></page-overrides>\n";
  const TicketCase cases[] = {
      {.name = "copies, sides, colour effect, media",
       .data = ticket("<copies syntax=\"integer\">3</copies>\n"
                      "<sides syntax=\"keyword\">two-sided-long-edge</sides>\n"
                      "<color-effects-type syntax=\"keyword\">monochrome-grayscale"
                      "</color-effects-type>\n" + media),
       .qty = 3,
       .duplex = 1,
       .grayscale = 1,
       .x_mm = 10,
       .y_mm = 297},
      {.name = "one-sided colour",
       .data = ticket("<sides syntax=\"keyword\">one-sided</sides>\n"
                      "<color-effects-type syntax=\"keyword\">color</color-effects-type>\n")},
      {.name = "colour set per page leaves grayscale alone",
       .data = ticket(per_page)},
      {.name = "copies too long for 32 bits saturate",
       .data = ticket("<copies syntax=\"integer\">99999999999999</copies>\n"),
       .qty = 2147483647},
      {.name = "no declaration",
       .data = ticket("<copies syntax=\"integer\">3</copies>\n", "<!-- xpif -->\n"),
       .result = 0},
      {.name = "no closing element within 6000 bytes",
       .data = ticket(std::string(6000, ' ') + "<copies syntax=\"integer\">3</copies>\n"),
       .result = 0},
  };
  for (const TicketCase& c : cases) {
    SCOPED_TRACE(c.name);
    PjlHeaderInfo h;
    EXPECT_EQ(xpif_parse_header(c.data.data(), c.data.size(), &h), c.result);
    EXPECT_EQ(h.qty, c.qty);
    EXPECT_EQ(h.duplex, c.duplex);
    EXPECT_EQ(h.grayscale, c.grayscale);
    EXPECT_EQ(h.x_dimension_mm, c.x_mm);
    EXPECT_EQ(h.y_dimension_mm, c.y_mm);
  }
}

TEST(XpifTest, RealJobsHaveNoTicket) {
  PjlHeaderInfo h;
  const Bytes ps = scan_test::corpus_bytes("gs-ps2write-mixed-a4.ps");
  EXPECT_EQ(xpif_parse_header(ps.data(), ps.size(), &h), 0);
  EXPECT_EQ(xpif_parse_header(nullptr, 0, &h), 0);
  EXPECT_EQ(xpif_parse_header(ps.data(), ps.size(), nullptr), 0);
}

// Hand-made Kyocera job end: page data, the "!R!" comment lines, the final
// universal exit and the PJL end of job.
Bytes kyocera_end(const std::string& comments) {
  return bytes(std::string(1500, 'k') + comments + "!R! EXIT;\n" + PJL_UEL +
               "@PJL EOJ\r\n" + PJL_UEL);
}

TEST(KyoceraTrailerTest, CountsAndPaper) {
  struct Case {
    const char* name;
    std::string comments;
    int result;
    unsigned colour;
    unsigned mono;
    const char* paper;
  };
  const Case cases[] = {
      {"counts and paper", "!R! CMNT Color=3,Mono=5; EXIT;\n!R! CMNT PaperSize = A4 ;\n", 1, 3, 5,
       "A4"},
      // A trailer without counts must not pass for 0 colour pages.
      {"paper alone is no success", "!R! CMNT PaperSize=LETTER;\n", 0, 0, 0, "LETTER"},
      {"counts saturate", "!R! CMNT Color=99999999999, Mono=1; EXIT;\n", 1, 2147483647, 1, ""},
      {"no comment lines", "", 0, 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes data = kyocera_end(c.comments);
    KyoceraTrailerInfo t;
    EXPECT_EQ(kyocerameta_parse_trailer(data.data(), data.size(), &t), c.result);
    EXPECT_EQ(t.color_pages, c.colour);
    EXPECT_EQ(t.mono_pages, c.mono);
    EXPECT_STREQ(t.paper_size_name, c.paper);
  }
}

TEST(KyoceraTrailerTest, WindowsAtTheEnd) {
  KyoceraTrailerInfo t;
  const std::string counts = "!R! CMNT Color=3,Mono=5; EXIT;\n";
  // 1201 bytes or less: no room.
  Bytes small = kyocera_end(counts);
  small.erase(small.begin(), small.end() - 1201);
  EXPECT_EQ(kyocerameta_parse_trailer(small.data(), small.size(), &t), 0);
  // The exit must start 10 to 200 bytes before the end.
  Bytes late = kyocera_end(counts);
  late.insert(late.end(), 300, 'z');
  EXPECT_EQ(kyocerameta_parse_trailer(late.data(), late.size(), &t), 0);
  // A real job without a trailer.
  const Bytes pcl = scan_test::corpus_bytes("gs-ljet4pjl-mixed-a4.pcl");
  EXPECT_EQ(kyocerameta_parse_trailer(pcl.data(), pcl.size(), &t), 0);
  EXPECT_EQ(kyocerameta_parse_trailer(pcl.data(), pcl.size(), nullptr), 0);
}

}  // namespace
