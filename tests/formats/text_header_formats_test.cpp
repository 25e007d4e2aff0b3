// The text-header readers (ZIMF-R, FX360, local Xerox Phaser, KIP, Graphtec,
// XPP) on small jobs built from their settings texts. All fixtures here are
// hand-made: no free tool writes these formats.
#include <gtest/gtest.h>

#include <string>

#include "formats/fx360.h"
#include "formats/graphtec.h"
#include "formats/kip.h"
#include "formats/kmgdi_zimf.h"
#include "formats/xeroxgdi.h"
#include "formats/xpp.h"
#include "foundation/ja.h"
#include "support/test_support.h"

namespace {

using sw_test::ExactBuffer;

template <std::size_t N>
std::string B(const char (&text)[N]) {
  return std::string(text, N - 1);
}
std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

constexpr int UNSET = -99;

struct Case {
  const char* name;
  const AnalyzerEntry* entry;
  std::string bytes;
  int pages = UNSET;
  int copies = UNSET;
  int duplex = UNSET;
  int grayscale = UNSET;
  int color_pages = UNSET;  // -1: not judged
  const char* paper = nullptr;
  int width = UNSET;
  int height = UNSET;
  int status = 0;
  const char* printer_type = nullptr;
};

void check(const Case& c) {
  SCOPED_TRACE(c.name);
  JobAttribsPtr ja(analyzer_create_job_attribs());
  const ExactBuffer buffer(c.bytes);
  EXPECT_EQ(c.entry->analyze(buffer.data(), buffer.size(), 0, ja.get()), c.status);
  if (c.pages != UNSET) {
    EXPECT_EQ(ja->pages, c.pages);
  }
  if (c.copies != UNSET) {
    EXPECT_EQ(ja->copy_count, c.copies);
  }
  if (c.duplex != UNSET) {
    EXPECT_EQ(ja->is_duplex, c.duplex);
  }
  if (c.grayscale != UNSET) {
    EXPECT_EQ(ja->is_grayscale, c.grayscale);
  }
  if (c.color_pages != UNSET) {
    EXPECT_EQ(ja->color_pages, c.color_pages);
  }
  if (c.paper != nullptr) {
    EXPECT_STREQ(ja->paper_size_name, c.paper);
  }
  if (c.width != UNSET) {
    EXPECT_EQ(ja->page_width_mm, c.width);
  }
  if (c.height != UNSET) {
    EXPECT_EQ(ja->page_height_mm, c.height);
  }
  if (c.printer_type != nullptr) {
    EXPECT_STREQ(ja->printer_type, c.printer_type);
  }
}

const std::string PAD(120, ' ');

TEST(KmgdiZimf, EventsGivePagesSizeDuplexAndGray) {
  const std::string page = "Event=StartOfPage;" + PAD + "Event=EndOfPage;" + PAD;
  const std::string letter = "MediaSize=na_letter_8.5x11in;" + PAD;
  const std::string a5 = "MediaSize=iso_a5_148x210mm;" + PAD;
  const Case cases[] = {
      {.name = "two pages, the last size wins", .entry = &KMGDI_ZIMF_ANALYZER,
       .bytes = letter + page + a5 + page, .pages = 2, .copies = 1, .duplex = 0, .width = 148,
       .height = 210},
      {.name = "inches", .entry = &KMGDI_ZIMF_ANALYZER, .bytes = letter + page, .width = 216,
       .height = 279},
      {.name = "two-sided, no colour planes", .entry = &KMGDI_ZIMF_ANALYZER,
       .bytes = "Sides=TwoSided;" + PAD + "RasterObject.Planes=000000,0,0,0,0,0,0;" + PAD + page,
       .pages = 1, .duplex = 1, .grayscale = 1, .color_pages = 0},
      {.name = "an event too near the end", .entry = &KMGDI_ZIMF_ANALYZER,
       .bytes = "Event=EndOfPage", .pages = 0},
  };
  for (const Case& c : cases) check(c);
}

TEST(Fx360, HeaderAndPages) {
  const std::string header = "%!FX\nduplex 1 setp\nstp p A4 \n";
  const Case cases[] = {
      {.name = "setp intray pages", .entry = &FX360_ANALYZER,
       .bytes = header + repeat("setp intray 1\nep 2\n", 3), .pages = 3, .copies = 1,
       .duplex = 1, .paper = "A4"},
      {.name = "ep pages with their copies", .entry = &FX360_ANALYZER,
       .bytes = header + repeat("data\nep 2\n", 3), .pages = 3, .copies = 2},
      {.name = "disagreeing copies set nothing", .entry = &FX360_ANALYZER,
       .bytes = header + "x\nep 2\nx\nep 2\nx\nep 3\n", .pages = 0, .copies = 1},
      {.name = "an ep inside a line ends the count", .entry = &FX360_ANALYZER,
       .bytes = header + "x\nep 2\nx\nep 2\nx ep 2\nx\nep 2\n", .pages = 2, .copies = 2},
      {.name = "no header", .entry = &FX360_ANALYZER, .bytes = "nothing here\n", .status = -1},
  };
  for (const Case& c : cases) check(c);
}

std::string xerox_local(std::size_t length, const std::string& head, int markers) {
  std::string job(40, '\0');
  job[36] = 3;  // copies, LE16 at 36
  job += head;
  job += repeat(B("\x04\x00\x02\x00\x44\x00\x00\x00\x00\x00\x00\x00\x00\x00") + "img", markers);
  if (job.size() < length) job += std::string(length - job.size(), ' ');
  return job;
}

TEST(XeroxGdiLocal, HeadTextAndPages) {
  const std::string head = "paperWidth=2100 paperLength=2970 duplexManual=1 ";
  const Case cases[] = {
      {.name = "size, duplex, copies, pages", .entry = &XEROX_GDI_LOCAL_ANALYZER,
       .bytes = xerox_local(300, head, 2), .pages = 2, .copies = 3, .duplex = 1, .grayscale = 0,
       .color_pages = -1, .width = 210, .height = 297},
      {.name = "exactly 100 bytes", .entry = &XEROX_GDI_LOCAL_ANALYZER,
       .bytes = xerox_local(100, "", 1), .pages = 1},
      {.name = "99 bytes", .entry = &XEROX_GDI_LOCAL_ANALYZER,
       .bytes = xerox_local(99, "", 0).substr(0, 99), .status = -1},
  };
  for (const Case& c : cases) check(c);
}

TEST(Kip, HeadAndPages) {
  const std::string pjl = "@PJL ENTER LANGUAGE = KIPGL\nIN;PS40000,20000;";
  const Case cases[] = {
      {.name = "reverse landscape turns the page", .entry = &KIP_ANALYZER,
       .bytes = "NumofCopies = 2\nReverseLandscape=TRUE\n" + pjl + pjl, .pages = 2, .copies = 2,
       .width = 500, .height = 1000, .printer_type = "KIP UNIFIED HPGL"},
      {.name = "lower-case true is no match", .entry = &KIP_ANALYZER,
       .bytes = "ReverseLandscape=true\n" + pjl, .pages = 1, .width = 1000, .height = 500},
      {.name = "no plot", .entry = &KIP_ANALYZER, .bytes = "NumofCopies = 2\n", .status = -1},
  };
  for (const Case& c : cases) check(c);
}

std::string graphtec(int x_tenths, int y_tenths) {
  return "s,&100,100,100,/0,0,900,^3,0,\\-" + std::to_string(x_tenths) + ",0,Z0," +
         std::to_string(y_tenths) + ",\n";
}

TEST(Graphtec, HeaderSize) {
  const Case cases[] = {
      {.name = "plainly landscape is turned", .entry = &GRAPHTEC_ANALYZER,
       .bytes = graphtec(29700, 21000), .pages = 1, .width = 2100, .height = 2970},
      {.name = "small stays", .entry = &GRAPHTEC_ANALYZER, .bytes = graphtec(500, 1000),
       .pages = 1, .width = 50, .height = 100},
      {.name = "too small", .entry = &GRAPHTEC_ANALYZER, .bytes = graphtec(50, 1000), .pages = 0,
       .width = -1},
      {.name = "no header", .entry = &GRAPHTEC_ANALYZER, .bytes = "s,&100", .pages = 0},
  };
  for (const Case& c : cases) check(c);
}

std::string xpp_line(int dup, int nup) {
  return "@XPP SET DUP=" + std::to_string(dup) + " NUP=" + std::to_string(nup) +
         " DCH=0 PAPER=\"A4\" DIR=0 MEDIA=0 COPY=2 COMPRESS=\"NONE\"\n";
}

TEST(Xpp, SettingsLines) {
  const Case cases[] = {
      {.name = "5 lines at 2-up", .entry = &XPP_ANALYZER,
       .bytes = repeat(xpp_line(3, 2) + "page\n", 5), .pages = 3, .copies = 2, .duplex = 0,
       .grayscale = 0, .color_pages = -1, .paper = "A4"},
      {.name = "duplex", .entry = &XPP_ANALYZER, .bytes = xpp_line(1, 1), .pages = 1, .duplex = 1},
      {.name = "no line", .entry = &XPP_ANALYZER, .bytes = "DATA=\"XPP\"", .pages = 0},
  };
  for (const Case& c : cases) check(c);
}

}  // namespace
