// The marker-counting makers' formats on small jobs built from their record
// layouts. All fixtures here are hand-made: no free driver writes these
// formats (the real-driver jobs are in marker_formats_corpus_test.cpp).
#include <gtest/gtest.h>

#include <string>

#include "formats/brother.h"
#include "formats/canon.h"
#include "formats/canoncapt.h"
#include "formats/dymo.h"
#include "formats/hppsc.h"
#include "formats/kmgdi_di.h"
#include "formats/kyoceragdi.h"
#include "formats/necgdi.h"
#include "formats/panasonicgdi.h"
#include "formats/pebble.h"
#include "formats/ricohgdi.h"
#include "formats/sharpgdi.h"
#include "formats/xeroxgdi.h"
#include "formats/zebra.h"
#include "formats/zimf.h"
#include "foundation/ja.h"
#include "support/test_support.h"

namespace {

using sw_test::ExactBuffer;

// Bytes of a literal, embedded zeros included.
template <std::size_t N>
std::string B(const char (&text)[N]) {
  return std::string(text, N - 1);
}
std::string filler(std::size_t n, char c = 'x') { return std::string(n, c); }
std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

struct Result {
  int status = 0;
  JobAttribsPtr ja;
};

// Runs an analyzer on an exact-size copy of the bytes (a read one byte past
// the end is an AddressSanitizer error).
Result run(const AnalyzerEntry& entry, const std::string& bytes, int extra = 0) {
  Result r{0, JobAttribsPtr(analyzer_create_job_attribs())};
  const ExactBuffer buffer(bytes);
  r.status = entry.analyze(buffer.data(), buffer.size(), extra, r.ja.get());
  return r;
}

constexpr int UNSET = -99;

struct Case {
  const char* name;
  const AnalyzerEntry* entry;
  std::string bytes;
  int extra = 0;
  int pages = UNSET;
  int copies = UNSET;
  int duplex = UNSET;
  int grayscale = UNSET;
  int color_pages = UNSET;
  const char* paper = nullptr;
  int width = UNSET;
  int height = UNSET;
  int status = 0;
};

void check(const Case& c) {
  SCOPED_TRACE(c.name);
  const Result r = run(*c.entry, c.bytes, c.extra);
  EXPECT_EQ(r.status, c.status);
  if (c.pages != UNSET) {
    EXPECT_EQ(r.ja->pages, c.pages);
  }
  if (c.copies != UNSET) {
    EXPECT_EQ(r.ja->copy_count, c.copies);
  }
  if (c.duplex != UNSET) {
    EXPECT_EQ(r.ja->is_duplex, c.duplex);
  }
  if (c.grayscale != UNSET) {
    EXPECT_EQ(r.ja->is_grayscale, c.grayscale);
  }
  if (c.color_pages != UNSET) {
    EXPECT_EQ(r.ja->color_pages, c.color_pages);
  }
  if (c.paper != nullptr) {
    EXPECT_STREQ(r.ja->paper_size_name, c.paper);
  }
  if (c.width != UNSET) {
    EXPECT_EQ(r.ja->page_width_mm, c.width);
  }
  if (c.height != UNSET) {
    EXPECT_EQ(r.ja->page_height_mm, c.height);
  }
}

// ---- single-marker formats ----

TEST(MarkerFormats, PagesFromTheirMarkers) {
  const std::string sep = B("\xff\xff\xff\xff\xff\x24\x24\x00");
  const std::string km = B("\x01\x05\x25\x00\x00\x00\xff");
  const std::string zpl_end = B("\r\nP1\r\n");
  const std::string dcld = B("DCLD\x01\x00\x30");
  const std::string ql = B("\x1biz\x8e\x0b");
  const std::string pebble = B("\x1bPr;");
  const std::string sharp = B("\x81\x81\x00\x00\x00\x06");
  const Case cases[] = {
      // The separator stands before each page and after the last.
      {.name = "HP PSC: 3 separators, 2 pages", .entry = &HP_GDI_PSC_ANALYZER,
       .bytes = repeat(sep + filler(20), 3), .pages = 2},
      {.name = "HP PSC: one separator, 0 pages", .entry = &HP_GDI_PSC_ANALYZER,
       .bytes = sep + filler(20), .pages = 0},
      {.name = "HP PSC: no separator leaves the pages", .entry = &HP_GDI_PSC_ANALYZER,
       .bytes = filler(50), .pages = 0},
      {.name = "KM DI: 3 pages, copies 1", .entry = &KMGDI_DI_ANALYZER,
       .bytes = repeat(km + filler(10), 3), .pages = 3, .copies = 1},
      {.name = "KM DI: a marker too near the end is not counted", .entry = &KMGDI_DI_ANALYZER,
       .bytes = km + filler(10) + km + "xx", .pages = 1},
      {.name = "Zebra: labels end with P1", .entry = &ZEBRA2_ANALYZER,
       .bytes = "^XA" + zpl_end + "^XA" + zpl_end, .pages = 2},
      {.name = "Zebra: start-of-label records", .entry = &ZEBRA_ANALYZER,
       .bytes = repeat(dcld + filler(8), 4), .pages = 4},
      {.name = "Zebra: none is 0 pages", .entry = &ZEBRA_ANALYZER, .bytes = filler(40),
       .pages = 0},
      {.name = "Brother QL: one command per label", .entry = &BROTHER2_ANALYZER,
       .bytes = repeat(ql + filler(30), 3), .pages = 3},
      {.name = "Pebble: start of page", .entry = &PEBBLE_ANALYZER,
       .bytes = repeat(pebble + filler(5), 2), .pages = 2},
      {.name = "Dymo: ESC E ends a label", .entry = &DYMO_ANALYZER,
       .bytes = B("\x1b@") + filler(10) + B("\x1b\x45") + filler(10) + B("\x1b\x45") + "x",
       .pages = 2},
      {.name = "Sharp: pages, Letter without a paper", .entry = &SHARP_GDI_ANALYZER,
       .bytes = repeat(sharp + filler(10), 2), .pages = 2, .paper = "Letter"},
  };
  for (const Case& c : cases) check(c);
}

// ---- Canon BJ ----

std::string canon_cmd(char letter, const std::string& params) {
  return B("\x1b(") + letter + static_cast<char>(params.size() & 0xff) +
         static_cast<char>(params.size() >> 8) + params;
}

TEST(CanonBj, FormFeedsBetweenCommandsAreThePages) {
  // ESC ( p with 8 bytes of parameters: the size in 1/60 inch, the length
  // at +5 and the width at +9 (Gutenprint's A4: 682 x 480 sixtieths, the
  // printable area, 7 mm short of it on each side counted).
  const std::string size = canon_cmd('p', B("\x02\xaa\x00\x00\x01\xe0\x00\x00"));
  // ESC ( c whose first parameter byte is 31: monochrome.
  const std::string mono = canon_cmd('c', B("\x31\x00\x00"));
  // Raster data that holds form feeds: jumped over with its command.
  const std::string raster = canon_cmd('A', B("K\x0c\x0c\x0c\x0c"));
  const std::string page = size + raster + B("\x0c");
  const Case cases[] = {
      {.name = "two pages", .entry = &CANON_BJ_ANALYZER,
       .bytes = page + page + B("\x1b@\x00"), .pages = 2, .grayscale = 0, .color_pages = -1,
       .width = 210, .height = 295},
      // Monochrome mode judges every page gray; colour mode judges nothing.
      {.name = "monochrome", .entry = &CANON_BJ_ANALYZER, .bytes = mono + page + B("\x1b@"),
       .pages = 1, .grayscale = 1, .color_pages = 0},
      {.name = "colour mode", .entry = &CANON_BJ_ANALYZER,
       .bytes = canon_cmd('c', B("\x30\x00\x02")) + page + B("\x1b@"), .pages = 1,
       .grayscale = 0, .color_pages = -1},
      // A form feed followed by ESC is part of a command sequence.
      {.name = "FF ESC is no page", .entry = &CANON_BJ_ANALYZER,
       .bytes = B("\x0c\x00\x1b") + filler(4), .pages = 0},
      {.name = "FF 80 is no page", .entry = &CANON_BJ_ANALYZER,
       .bytes = B("\x0c\x80x") + filler(4), .pages = 0},
      // A command whose length runs past the end ends the walk.
      {.name = "truncated command", .entry = &CANON_BJ_ANALYZER,
       .bytes = B("\x0c\x00\x00\x1b(A\xff\xff"), .pages = 1},
  };
  for (const Case& c : cases) check(c);
}

// ---- Canon CAPT ----

std::string capt_header(char kind, std::uint16_t copies8, char byte31, std::uint16_t copies32,
                        char duplex, const std::string& paper_utf16) {
  std::string h(48, '\0');
  h[2] = kind;
  h[8] = static_cast<char>(copies8 & 0xff);
  h[9] = static_cast<char>(copies8 >> 8);
  h[16] = duplex;
  h[31] = byte31;
  h[32] = static_cast<char>(copies32 & 0xff);
  h[33] = static_cast<char>(copies32 >> 8);
  std::string name = paper_utf16;
  name.resize(50, '\0');
  return h + name;
}
std::string utf16(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

TEST(CanonCapt, HeaderAndPages) {
  const std::string page = B("\xa2\xd0\x04\x00\x04\x00\x08") + filler(10);
  const Case cases[] = {
      {.name = "kind 28: copies at 8, duplex, paper", .entry = &CANONCAPT_ANALYZER,
       .bytes = capt_header(0x28, 3, 0, 0, 2, utf16("A4")) + page + page, .pages = 2, .copies = 3,
       .duplex = 1, .paper = "A4"},
      {.name = "kind 18 with FA: copies at 32", .entry = &CANONCAPT_ANALYZER,
       .bytes = capt_header(0x18, 3, '\xfa', 5, 0, utf16("LETTER")) + page, .pages = 1,
       .copies = 5, .duplex = 0, .paper = "LETTER"},
      {.name = "other kind: copies 1", .entry = &CANONCAPT_ANALYZER,
       .bytes = capt_header(0x11, 3, 0, 0, 0, "") + page, .pages = 1, .copies = 1},
      {.name = "a one-letter paper name is not taken", .entry = &CANONCAPT_ANALYZER,
       .bytes = capt_header(0x28, 1, 0, 0, 0, utf16("X")) + page, .paper = ""},
      {.name = "a non-Latin-1 name is not taken", .entry = &CANONCAPT_ANALYZER,
       .bytes = capt_header(0x28, 1, 0, 0, 0, B("A\x00\x34\x12")) + page, .paper = ""},
  };
  for (const Case& c : cases) check(c);
}

// The header's fields are read only when the job holds them: a job of a
// few bytes, or one that ends inside the header, reads nothing past its end.
TEST(CanonCapt, ShortJobsReadNoHeaderFieldPastTheirEnd) {
  const std::string kind18 = capt_header(0x18, 7, '\xfa', 5, 3, "");
  const Case cases[] = {
      {.name = "empty", .entry = &CANONCAPT_ANALYZER, .bytes = "", .pages = 0, .copies = 1,
       .duplex = 0},
      {.name = "two bytes (byte 2 missing)", .entry = &CANONCAPT_ANALYZER, .bytes = "ab",
       .pages = 0, .copies = 1},
      {.name = "ends before byte 16", .entry = &CANONCAPT_ANALYZER, .bytes = kind18.substr(0, 16),
       .copies = 7, .duplex = 0},
      // byte 31 is FA but the copies at 32-33 are cut off
      {.name = "ends at byte 33", .entry = &CANONCAPT_ANALYZER, .bytes = kind18.substr(0, 33),
       .copies = 1, .duplex = 1},
  };
  for (const Case& c : cases) check(c);
}

// ---- DEVMODE wrapper ----

// A wrapper with a first block of `l1` bytes, a second of `l2`, and a
// DEVMODE with the given copies, colour and duplex members.
std::string zimf_job(std::uint16_t copies, char color, char duplex, std::size_t devmode_bytes = 95) {
  const std::uint16_t l1 = 10;
  const std::uint16_t l2 = 6;
  std::string d(80, 'w');
  d += static_cast<char>(l1);
  d += '\0';
  d += filler(2) + filler(l1);            // to 84, then the first block
  d += static_cast<char>(l2);
  d += '\0';
  d += filler(2) + filler(l2) + filler(4);  // 4 + l2 + 4 after the length field
  std::string devmode(95, '\0');
  devmode[86] = static_cast<char>(copies & 0xff);
  devmode[87] = static_cast<char>(copies >> 8);
  devmode[92] = color;
  devmode[94] = duplex;
  d += devmode.substr(0, devmode_bytes);
  return d;
}

TEST(Zimf, DevmodeSettingsAndPages) {
  const std::string page = B("\xcd\x9a\xa9\xdc") + filler(12) + B("\x02\x00\x00\x00") + filler(8);
  const Case cases[] = {
      {.name = "copies, monochrome, duplex", .entry = &ZIMF_ANALYZER,
       .bytes = zimf_job(4, 1, 2) + page + page, .pages = 2, .copies = 4, .duplex = 1,
       .grayscale = 1, .color_pages = 0},
      // The colour member chooses colour for the job, not for its pages.
      {.name = "colour, simplex", .entry = &ZIMF_ANALYZER, .bytes = zimf_job(1, 2, 1) + page,
       .pages = 1, .copies = 1, .duplex = 0, .grayscale = 0, .color_pages = -1},
      // Too short for byte 94 of the DEVMODE (the copies and colour were there).
      {.name = "DEVMODE cut before its duplex", .entry = &ZIMF_ANALYZER,
       .bytes = zimf_job(4, 1, 2, 94), .pages = 0, .copies = 1, .duplex = 0, .grayscale = 0},
      {.name = "no wrapper", .entry = &ZIMF_ANALYZER, .bytes = filler(81), .copies = 1},
      // The first length points past the data.
      {.name = "first block past the end", .entry = &ZIMF_ANALYZER,
       .bytes = filler(80) + B("\xff\xff") + filler(10), .copies = 1, .duplex = 0},
  };
  for (const Case& c : cases) check(c);
}

// ---- Panasonic ----

TEST(Panasonic, RecordsAndPjlLines) {
  const std::string page = B("\x1b\x01\x00\x71\x1b");
  const std::string fake = B("\x00\x70\x1b\x01\x00\x71\x1b");
  const std::string copies = B("\x1b\x03\x00\x4f\x00\x00");   // copies 0
  const std::string copies3 = B("\x1b\x03\x00\x4f\x03\x00");
  const std::string duplex = B("\x1b\x02\x00\x75\x01\x00");
  const std::string a5 = B("\x1b\x02\x00\x6b\x95");
  const std::string page2 = B("\x1b\x26\x26\x31\x52\x1b");
  const Case cases[] = {
      {.name = "pages, copies, duplex, paper", .entry = &PANASONIC_GDI_ANALYZER,
       .bytes = copies3 + duplex + a5 + "x" + page + "x" + page + "x", .pages = 2, .copies = 3,
       .duplex = 1, .paper = "A5"},
      {.name = "a fake end of page is not a page", .entry = &PANASONIC_GDI_ANALYZER,
       .bytes = "x" + fake + "xx" + page + "x", .pages = 1, .paper = "Letter"},
      {.name = "copies 0 as read", .entry = &PANASONIC_GDI_ANALYZER,
       .bytes = copies + "x" + page + "x", .copies = 0},
      {.name = "second format", .entry = &PANASONIC2_GDI_ANALYZER,
       .bytes = "@PJL SET DUPLEX=ON\n@PJL SET COPIES=2\n" + page2 + "x" + page2 + "x",
       .pages = 2, .copies = 2, .duplex = 1, .paper = "Letter"},
      {.name = "second format: COPIES=0 changes nothing", .entry = &PANASONIC2_GDI_ANALYZER,
       .bytes = "@PJL SET COPIES=0\n" + page2 + "x", .copies = 1, .duplex = 0},
  };
  for (const Case& c : cases) check(c);
}

// ---- Kyocera ----

TEST(KyoceraGdi, CopiesAndDuplexBeforeTheFirstPage) {
  const std::string page = B("\xf8\xff\xa0\x12\x00\x00\x9e\x1a\x08\x00\x07") + filler(8);
  std::string lead(12, '\0');
  lead[12 - 9] = '\xa6';
  lead[11] = 2;
  const Case cases[] = {
      {.name = "duplex, 2 copies", .entry = &KYOCERA_GDI_ANALYZER, .bytes = lead + page + page,
       .pages = 2, .copies = 2, .duplex = 1},
      {.name = "no page", .entry = &KYOCERA_GDI_ANALYZER, .bytes = filler(30), .pages = 0,
       .copies = -1, .duplex = 0},
  };
  for (const Case& c : cases) check(c);
}

// ---- Brother ----

TEST(Brother, TheJobHeaderIsNotAPage) {
  std::string header = B("\x1b\x7c\x01\x00\x0b") + filler(40, '\0');
  header[34] = 1;  // A4
  const std::string page = B("\x1b\x7c\x01\x00\x0b") + filler(10);
  const std::string page53 = B("\x1b\x7c\x01\x00\x0c") + filler(10);
  std::string header53 = header;
  header53[4] = 0x0c;
  header53[34] = 40;  // no such code
  const Case cases[] = {
      {.name = "header and 2 pages", .entry = &BROTHER_ANALYZER, .bytes = header + page + page,
       .extra = BROTHER_RECORD_HBP, .pages = 2, .paper = "A4"},
      {.name = "only the header", .entry = &BROTHER_ANALYZER, .bytes = header,
       .extra = BROTHER_RECORD_HBP, .pages = 0},
      {.name = "no record", .entry = &BROTHER_ANALYZER, .bytes = filler(40),
       .extra = BROTHER_RECORD_HBP, .pages = -1, .paper = ""},
      {.name = "the other record code", .entry = &BROTHER_ANALYZER,
       .bytes = header53 + page53 + page, .extra = BROTHER_RECORD_HBP2, .pages = 1, .paper = ""},
      {.name = "header cut before its paper byte", .entry = &BROTHER_ANALYZER,
       .bytes = header.substr(0, 34), .extra = BROTHER_RECORD_HBP, .pages = 0, .paper = ""},
  };
  for (const Case& c : cases) check(c);
}

// ---- Ricoh ----

std::string ricoh_footer(char color) {
  std::string f = B("GDIP\x00\x00\x00\x40") + std::string(24, '\0');
  f += color;
  return f + filler(4);
}

TEST(RicohSp, FootersGivePagesAndColour) {
  std::string header(20, '\0');
  header[11] = 2;   // copies, BE16 at 10
  header[16] = 1;   // duplex
  const Case cases[] = {
      // A first footer in the first 200 bytes follows a page without one.
      {.name = "early first footer", .entry = &RICOH_GDI_SP_ANALYZER,
       .bytes = header + filler(130) + ricoh_footer(0) + ricoh_footer(3), .pages = 3, .copies = 2,
       .duplex = 1, .grayscale = 0, .color_pages = 1},
      {.name = "late first footer", .entry = &RICOH_GDI_SP_ANALYZER,
       .bytes = header + filler(230) + ricoh_footer(1), .pages = 1, .grayscale = 1,
       .color_pages = 0},
      {.name = "no header", .entry = &RICOH_GDI_SP_ANALYZER, .bytes = "abc", .pages = 0,
       .copies = 1},
  };
  for (const Case& c : cases) check(c);
}

std::string wsmf_header(std::size_t length, std::uint16_t copies, char duplex, char paper) {
  std::string h(length, 'h');
  auto put = [&h](std::size_t at, char v) {
    if (at < h.size()) h[at] = v;
  };
  put(1068, static_cast<char>(copies & 0xff));
  put(1069, static_cast<char>(copies >> 8));
  put(1877, duplex);
  put(1882, paper);
  return h;
}

TEST(RicohGdi, FixedOffsetsAndPages) {
  const std::string page = B("WSMFBitBlt Data\x00\x00\x00\r\n\x00") + filler(60);
  const Case cases[] = {
      {.name = "copies, duplex, paper, 2 pages", .entry = &RICOH_GDI_ANALYZER,
       .bytes = wsmf_header(1900, 3, '\x8f', 9) + page + page, .pages = 2, .copies = 3,
       .duplex = 1, .paper = "A4"},
      {.name = "unknown paper code", .entry = &RICOH_GDI_ANALYZER,
       .bytes = wsmf_header(1900, 1, 0, 2), .pages = 0, .duplex = 0, .paper = ""},
  };
  for (const Case& c : cases) check(c);
}

// A job that ends on byte 1068 holds only half of the copies: they are not
// read (no byte 1069 past the end); one that ends before 1877 or 1882 reads
// neither.
TEST(RicohGdi, FixedOffsetsPastTheEndAreNotRead) {
  const Case cases[] = {
      {.name = "ends at 1069", .entry = &RICOH_GDI_ANALYZER, .bytes = wsmf_header(1069, 9, 0, 0),
       .copies = 1},
      {.name = "ends at 1070", .entry = &RICOH_GDI_ANALYZER, .bytes = wsmf_header(1070, 9, 0, 0),
       .copies = 9},
      {.name = "ends at 1877", .entry = &RICOH_GDI_ANALYZER,
       .bytes = wsmf_header(1877, 9, '\x8f', 9), .duplex = 0, .paper = ""},
  };
  for (const Case& c : cases) check(c);
}

// A page record read across a fixed offset hides it from the walk.
TEST(RicohGdi, APageRecordAcrossAnOffsetSkipsIt) {
  const std::string page = B("WSMFBitBlt Data\x00\x00\x00\r\n\x00") + filler(60);
  std::string job = wsmf_header(1900, 4, '\x8f', 9);
  job.replace(1060, page.size(), page);
  const Result r = run(RICOH_GDI_ANALYZER, job);
  EXPECT_EQ(r.ja->pages, 1);
  EXPECT_EQ(r.ja->copy_count, 1);
  EXPECT_EQ(r.ja->is_duplex, 1);
}

// ---- NEC ----

std::string npdl_job(const std::string& header, int pages) {
  return "\x1b%-12345X@PJL ENTER LANGUAGE=NPDL\r\n" + header + std::string(2, '\0') +
         repeat(B("\x1c\x5a\x0d\x0c\x1c") + filler(10), pages);
}

TEST(NecGdi, HeaderAndPages) {
  const Case cases[] = {
      {.name = "LT is LETTER, duplex", .entry = &NEC_GDI_ANALYZER,
       .bytes = npdl_job(B("\x1c" "fPLT.\x1c" "B,F,1,0."), 2), .pages = 2, .duplex = 1,
       .grayscale = 0, .color_pages = -1, .paper = "LETTER"},
      {.name = "custom size in tenths of a millimetre", .entry = &NEC_GDI_ANALYZER,
       .bytes = npdl_job(B("\x1c" "fPUNDF,2100,2970,1/10,m.\x1c"), 1), .pages = 1, .duplex = 0,
       .paper = "", .width = 210, .height = 297},
      {.name = "a field without its full stop is no name", .entry = &NEC_GDI_ANALYZER,
       .bytes = npdl_job(B("\x1c" "fPA4\x1c"), 1), .pages = 1, .paper = ""},
      {.name = "no NPDL line", .entry = &NEC_GDI_ANALYZER,
       .bytes = repeat(B("\x1c\x5a\x0d\x0c\x1c") + filler(10), 2), .status = -1},
      {.name = "no header end", .entry = &NEC_GDI_ANALYZER,
       .bytes = "@PJL ENTER LANGUAGE=NPDL\n" + B("\x1c" "fPA4."), .status = -1},
  };
  for (const Case& c : cases) check(c);
}

// The header's end is searched, and its paper field read, only inside the
// data, also when the job ends within 4096 bytes of the header's start.
TEST(NecGdi, AShortJobIsReadOnlyToItsEnd) {
  const Case cases[] = {
      {.name = "paper field at the end", .entry = &NEC_GDI_ANALYZER,
       .bytes = "@PJL ENTER LANGUAGE=NPDL" + B("\x1c" "fP"), .status = -1},
      {.name = "end pair as the last bytes", .entry = &NEC_GDI_ANALYZER,
       .bytes = "@PJL ENTER LANGUAGE=NPDL          " + B("\x1c" "fPA4.\x00\x00"), .paper = "A4"},
      {.name = "nothing behind the line", .entry = &NEC_GDI_ANALYZER,
       .bytes = "@PJL ENTER LANGUAGE=NPDL", .status = -1},
  };
  for (const Case& c : cases) check(c);
}

// ---- remote Xerox Phaser ----

std::string sag_page(const std::string& code) {
  // page header, then the paper code at +17, +18 and +20
  std::string p = B("\x00\x00\x00\x00\x00\x11\x00\x0f\x00\x00\x00\x00\x00\x04\x04\x00\x00");
  p += code.substr(0, 2) + std::string(1, '\0') + code.substr(2, 1) + filler(10);
  return p;
}

TEST(XeroxGdiRemote, PagesPaperAndPjlDuplex) {
  const std::string pjl_duplex =
      "\x1b%-12345X@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=SHORTEDGE\r\n" + filler(300, ' ');
  const Case cases[] = {
      {.name = "2 pages A4", .entry = &XEROX_GDI_REMOTE_ANALYZER,
       .bytes = "hdr" + sag_page(B("\x9a\x12\x1a")) + sag_page(B("\x9a\x12\x1a")), .pages = 2,
       .grayscale = 0, .color_pages = -1, .paper = "A4"},
      {.name = "unknown paper", .entry = &XEROX_GDI_REMOTE_ANALYZER,
       .bytes = sag_page(B("\x01\x02\x03")), .pages = 1, .paper = ""},
      {.name = "paper code cut off", .entry = &XEROX_GDI_REMOTE_ANALYZER,
       .bytes = sag_page(B("\x24\x13\x18")).substr(0, 20), .pages = 1, .paper = ""},
      {.name = "shorter than a page header", .entry = &XEROX_GDI_REMOTE_ANALYZER,
       .bytes = "abc", .status = -1},
      {.name = "PJL duplex, 6 headers: 4 pages", .entry = &XEROX_GDI_REMOTE_ANALYZER,
       .bytes = pjl_duplex + repeat(sag_page(B("\x24\x13\x18")), 6), .pages = 4, .duplex = 1,
       .paper = "LETTER"},
      {.name = "PJL duplex, 5 headers: 5 pages", .entry = &XEROX_GDI_REMOTE_ANALYZER,
       .bytes = pjl_duplex + repeat(sag_page(B("\x24\x13\x18")), 5), .pages = 5, .duplex = 1},
  };
  for (const Case& c : cases) check(c);
}

}  // namespace

namespace {

// A walk whose time limit has already run out stops at its first position:
// it logs where and for which format, and reports what it found (nothing).
class MarkerFormatsTimeout : public sw_test::TempDirTest {};

TEST_F(MarkerFormatsTimeout, AnExpiredLimitStopsTheWalkAndSaysWhere) {
  struct TimeoutCase {
    const AnalyzerEntry* entry;
    std::string bytes;
    const char* language;
  };
  const TimeoutCase cases[] = {
      {&KMGDI_DI_ANALYZER, repeat(B("\x01\x05\x25\x00\x00\x00\xff") + filler(10), 2), "KMGDI"},
      // Without a name of its own the walk names the language code's display name.
      {&DYMO_ANALYZER, repeat(B("\x1b\x45") + filler(3), 2), "Dymo"},
  };
  global_ctx.parse_timeout = -1;
  for (const TimeoutCase& c : cases) {
    SCOPED_TRACE(c.language);
    clear_log();
    const Result r = run(*c.entry, c.bytes);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.ja->pages, 0);
    EXPECT_TRUE(logged("parse timeout exceeded at position: 0"));
    EXPECT_TRUE(logged(std::string("Parse timeout exceeded. Language: ") + c.language)) << log_text();
  }
}

// The label jobs of CUPS's drivers carry their graphics as bytes of a
// declared size, which may hold a label end by chance: the walks step over
// them. (Hand-made: a driver writes such bytes only for a particular image.)
TEST(MarkerFormats, LabelJobsOfCupsDriversSkipTheirGraphics) {
  const std::string dymo_reset = filler(100, '\x1b') + B("\x1b@");
  const Case cases[] = {
      {.name = "Dymo: ESC E inside a raster line", .entry = &DYMO_ANALYZER,
       .bytes = dymo_reset + B("\x1bL\x00\x10\x1b\x44\x02\x1b\x65\x16\x1b\x45\x1b\x45"),
       .pages = 1},
      {.name = "Dymo: line feeds by ESC f 01 n, then a density letter f", .entry = &DYMO_ANALYZER,
       .bytes = dymo_reset + B("\x1b\x66\x01\x45\x1b\x66\x1b\x45\x1b\x45"), .pages = 2},
      {.name = "EPL2: a print command inside a graphic", .entry = &ZEBRA2_ANALYZER,
       .bytes = "\nN\nq816\nGW0,0,4,1\n\nP1\nP1\n", .pages = 1, .copies = 1},
      {.name = "EPL2: a graphic of saturated size", .entry = &ZEBRA2_ANALYZER,
       .bytes = "\nN\nq816\nGW0,0,99999999999999999999,99999999999999999999\nP1\n", .pages = 0},
      {.name = "EPL2: copies in the print command", .entry = &ZEBRA2_ANALYZER,
       .bytes = "\nN\nq816\nP2\n\nN\nq816\nP2\n", .pages = 2, .copies = 2},
      {.name = "ZPL: a format that only deletes prints nothing", .entry = &ZEBRA2_ANALYZER,
       .bytes = "^XA^FO0,0^XGR:X.GRF,1,1^FS^PQ3^XZ^XA^IDR:X.GRF^FS^XZ", .pages = 1, .copies = 3},
      {.name = "ZPL: a format without its end", .entry = &ZEBRA2_ANALYZER,
       .bytes = "~DGR:X.GRF,2,1,\nFF^XA^FO0,0^XGR:X.GRF,1,1^FS", .pages = 1},
      {.name = "CPCL: PRINT inside a graphic", .entry = &ZEBRA2_ANALYZER,
       .bytes = "! 0 203 203 100 2\r\nCG 9 1 0 0 \r\nPRINT\r\n\r\nFORM\r\nPRINT\r\n", .pages = 1,
       .copies = 2},
      {.name = "CPCL: a graphic larger than the data", .entry = &ZEBRA2_ANALYZER,
       .bytes = "! 0 203 203 100 1\r\nCG 900 900 0 0 \r\nPRINT\r\n", .pages = 0},
  };
  for (const Case& c : cases) check(c);
}

}  // namespace
