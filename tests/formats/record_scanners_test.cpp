// The record scanners on hand-made jobs (no free driver writes Lexmark
// SMART, HP GDI local, RISO, Bizhub, Canon GARO or FXPLW; for the others the
// fixtures isolate one rule). Every fixture is hand-made, built from the
// record layouts field by field; the real driver output is in the corpus
// test. Each job is also analysed cut at every length.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "formats/canongaro.h"
#include "formats/fxplw.h"
#include "formats/hbpl.h"
#include "formats/hiperc.h"
#include "formats/hpgdi.h"
#include "formats/kmgdi.h"
#include "formats/lexmark.h"
#include "formats/qpdl.h"
#include "formats/record_formats_test_util.h"

namespace {

using namespace record_formats_test;

// Filler that holds none of the records' first bytes.
std::string junk(std::size_t n) { return std::string(n, 'j'); }

// QPDL page header (16 bytes; bytes 2-3 the copies, 9 the side, 11-13 the
// page number).
std::string qpdl_header(int copies, int side, int page) {
  return bytes({0x00, 0x06, copies >> 8, copies & 0xFF, 0x02, 0x12, 0xA0, 0x1A, 0x6F, side, 0x00,
                0x00, page, 0x00, 0x02, 0x01});
}
std::string qpdl_dimensions(int w, int h) {
  return "X" + bytes({2, 0, 0, 2, 0, 0, 0, 1}) + zeros(15) + le16(static_cast<std::uint16_t>(w)) +
         zeros(2) + le16(static_cast<std::uint16_t>(h)) + zeros(2);
}
std::string dmcs() { return "DMCS" + bytes({0x7D, 0x12, 0, 0, 0x02}); }
std::string dmcsu() { return "DMCS" + bytes({0x75, 0x10, 0, 0, 0x02}); }
std::string qpdl_copy_record(int copies) { return bytes({0x00, 0x9A, 0x0B, 0x34, 0x08, 0x64, 0, copies}); }

// HiperC: the ENTER LANGUAGE line, the 16-byte header (byte 14 the type),
// and the second end-of-page form followed by the next page's first record.
std::string hiperc_start(int type) {
  return "@PJL ENTER LANGUAGE=HIPERC\n" + zeros(14) + bytes({type, 0});
}
std::string hiperc_next_page(bool colour) {
  return bytes({0xFF, 0, 0, 0, 0x34}) + zeros(7) +
         (colour ? bytes({0x10, 0x04, 0x00, 0x00, 0x11}) : bytes({0x10, 0x01, 0x03, 0x00, 0x11})) +
         zeros(3);
}

// HP GDI remote records (32-bit little-endian words).
std::string xqx_end_page() { return bytes({2, 0, 0, 0, 6, 0, 0, 0}) + zeros(4) + bytes({4}) + zeros(7) + bytes({2}); }
std::string xqx_dimensions(int w, int h) {
  return bytes({0x20, 0, 0, 0x0F, 0, 0, 0, 4, 0, 0}) + be16(static_cast<std::uint16_t>(w)) +
         bytes({0x20, 0, 0, 0x10, 0, 0, 0, 4, 0, 0}) + be16(static_cast<std::uint16_t>(h));
}
// foo2xqx's start-of-page copies item: id, size 4, count (BE32 each).
std::string xqx_copies(int n) { return bytes({0x20, 0, 0, 5, 0, 0, 0, 4}) + be32(static_cast<std::uint32_t>(n)); }
std::string xqx_duplex() { return bytes({0x12, 0, 0, 0, 4, 0, 0, 0, 0, 0x20, 0, 0, 1}); }

// XQX records (foo2xqx): type and item count (BE32), items of id, size and
// value (BE32 each); a JBIG record counts bytes of stripe data instead.
using XqxItems = std::vector<std::pair<std::uint32_t, std::string>>;
std::string xqx(std::uint32_t type, const XqxItems& items = {}) {
  std::string r = be32(type) + be32(static_cast<std::uint32_t>(items.size()));
  for (const auto& [id, value] : items)
    r += be32(id) + be32(static_cast<std::uint32_t>(value.size())) + value;
  return r;
}
// A plane's JBIG header (options 5C: typical prediction on).
const std::string JBIG_HEADER =
    bytes({0, 0, 1, 0}) + be32(9600) + be32(6848) + be32(128) + bytes({16, 0, 3, 0x5C});
const std::string MARKS = bytes({0x4B, 0xC6, 0xFF, 0x02});
const std::string BLANK = bytes({0xFF, 0x02, 0xFF, 0x02});
// A page opened by `opener` (start of page, or the end of the document in a
// manual duplex job of an odd page count) with one plane of `stripes`.
std::string xqx_page(const std::string& stripes, std::uint32_t opener = 3,
                     const XqxItems& items = {{0x20000001, be32(9)}}) {
  return xqx(opener, items) + xqx(5, {{0x40000002, JBIG_HEADER}}) + be32(7) +
         be32(static_cast<std::uint32_t>(stripes.size())) + stripes + xqx(6) + xqx(4);
}
std::string xqx_stream(const std::string& pages, std::uint32_t duplex) {
  return "\x1b%-12345X@PJL JOB\r\n\x1b%-12345X,XQX" + xqx(1, {{0x10000002, be32(duplex)}}) +
         pages + xqx(2) + "\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X";
}

// DDST (foo2ddst): PJL lines around each page, the bitmap in blocks behind
// IMAGELEN lines; `stage` 2 or 3 opens the page with the manual-duplex
// stage in place of "@PJL".
std::string ddst_page(const std::string& block, int stage = 0, int dpi = 600) {
  const std::string open = stage == 0 ? std::string("@PJL") : zeros(3) + bytes({stage});
  const int w = 4960 * dpi / 600;
  const int h = 7016 * dpi / 600;
  return open + " SET PAGESTATUS=START\r\n@PJL SET PAPER=A4\r\n@PJL SET PAPERWIDTH=" +
         std::to_string(w) + "\r\n@PJL SET PAPERLENGTH=" + std::to_string(h) +
         "\r\n@PJL SET RESOLUTION=" + std::to_string(dpi) + "\r\n@PJL SET IMAGELEN=" +
         std::to_string(block.size()) + "\r\n" + block + "@PJL SET PAGESTATUS=END\r\n";
}
std::string ddst_job(const std::string& pages) {
  return "\x1b%-12345X@PJL\r\n@PJL SET COMPRESS=JBIG\r\n@PJL SET USERNAME=root\r\n" + pages +
         "@PJL EOJ\r\n\x1b%-12345X";
}

// Minolta GDI commands: ESC, command, sequence, length (LE16), complement,
// parameters, checksum; a raster command's bitmap follows it.
std::string km_command(int command, const std::string& parameters) {
  std::string c = bytes({0x1B, command, 0}) + le16(static_cast<std::uint16_t>(parameters.size())) +
                  bytes({~command & 0xFF}) + parameters;
  unsigned sum = 0;
  for (char b : c) sum += static_cast<std::uint8_t>(b);
  return c + bytes({static_cast<int>(sum & 0xFF)});
}
std::string km_page(int paper) { return km_command(0x51, zeros(15) + bytes({paper}) + zeros(6)); }
std::string km_raster(const std::string& bitmap) {
  return km_command(0x52, le16(static_cast<std::uint16_t>(bitmap.size())) + zeros(6)) + bitmap;
}

// HP GDI local records.
std::string hp_running_count(int n) { return bytes({6, 0, 0, 0, 7, 0x30, 0}) + be16(static_cast<std::uint16_t>(n)); }
std::string riso_running_count(int n) { return bytes({6, 0, 0, 0, 7, 0x18, 0, 0}) + le16(static_cast<std::uint16_t>(n)); }
std::string hp_settings(int copies, int gray, int duplex) {
  std::string r = bytes({0x01, 0x04, 0x55, 0x01, 0xDC, 0x00}) + zeros(4) + bytes({0x80, 0x07}) +
                  zeros(4) + bytes({0, 0, 0, 0, 0x64, 0}) + le16(static_cast<std::uint16_t>(copies)) +
                  bytes({0x07, 0x00}) + zeros(2) + bytes({gray, 0, duplex});
  return r;
}
std::string hp_size(int w, int h) {
  return le16(static_cast<std::uint16_t>(w)) + zeros(2) + le16(static_cast<std::uint16_t>(h)) +
         zeros(2) + "X" + zeros(3) + "T" + zeros(11) + bytes({0x05, 0x04});
}

// Konica Minolta Bizhub records.
std::string bizhub_page(int w, int h) {
  return bytes({3, 0, 3, 0, 0x9E, 4}) + zeros(6) + le16(static_cast<std::uint16_t>(w)) + zeros(2) +
         le16(static_cast<std::uint16_t>(h));
}
std::string bizhub_copies(int n) { return bytes({1, 0, 2, 0, 0xEE, 4}) + zeros(6) + bytes({n}); }

// Canon GARO CPCA page-count record (page count BE16 at 22).
std::string garo_pages(int n) {
  return bytes({0xCD, 0xCA, 0x10, 0, 0, 0x12, 0, 0x01, 0, 0x04, 0xFF, 0xFF}) + zeros(8) +
         bytes({0x07, 0xD4}) + be16(static_cast<std::uint16_t>(n));
}

struct Case {
  const char* name;
  const AnalyzerEntry* entry;
  std::string data;
  std::optional<int> pages;
  std::optional<int> copies;
  std::optional<int> duplex;
  std::optional<int> grayscale;
  std::optional<int> color_pages;  // -1: not judged
  std::optional<int> width_mm;
  std::optional<int> height_mm;
  const char* paper = nullptr;
};

class RecordScannersTest : public sw_test::TempDirTest {
 protected:
  void check(const Case& c) {
    SCOPED_TRACE(c.name);
    const Findings f = run_analyzer(*c.entry, c.data);
    EXPECT_EQ(f.result, 0);
    if (c.pages) {
      EXPECT_EQ(f.ja->pages, *c.pages);
    }
    if (c.copies) {
      EXPECT_EQ(f.ja->copy_count, *c.copies);
    }
    if (c.duplex) {
      EXPECT_EQ(f.ja->is_duplex, *c.duplex);
    }
    if (c.grayscale) {
      EXPECT_EQ(f.ja->is_grayscale, *c.grayscale);
    }
    if (c.color_pages) {
      EXPECT_EQ(f.ja->color_pages, *c.color_pages);
    }
    if (c.width_mm) {
      EXPECT_EQ(f.ja->page_width_mm, *c.width_mm);
    }
    if (c.height_mm) {
      EXPECT_EQ(f.ja->page_height_mm, *c.height_mm);
    }
    if (c.paper != nullptr) {
      EXPECT_STREQ(f.ja->paper_size_name, c.paper);
    }
    run_every_prefix(*c.entry, c.data);
  }
};

TEST_F(RecordScannersTest, Qpdl) {
  const std::string page1 = qpdl_header(2, 1, 1);
  const Case cases[] = {
      // SpliX's manual duplex marks each back side with 03 at byte 9.
      {.name = "manual duplex back sides count",
       .entry = &QPDL_ANALYZER,
       .data = junk(20) + page1 + junk(40) + qpdl_header(2, 3, 2) + junk(40) +
               qpdl_header(2, 1, 3) + junk(40) + qpdl_header(2, 3, 4) + junk(40),
       .pages = 4,
       .copies = 2},
      {.name = "a header differing elsewhere is no page",
       .entry = &QPDL_ANALYZER,
       .data = junk(20) + page1 + junk(40) + qpdl_header(3, 1, 2) + junk(40),
       .pages = 1,
       .copies = 2},
      {.name = "DMCS records outrank the headers",
       .entry = &QPDL_ANALYZER,
       .data = junk(20) + page1 + dmcs() + dmcs() + dmcsu() + dmcsu() + dmcsu() +
               qpdl_copy_record(5) + page1 + junk(40),
       .pages = 3,
       .copies = 5},
      {.name = "dimension record",
       .entry = &QPDL_ANALYZER,
       .data = junk(20) + qpdl_dimensions(4788, 6772) + page1 + junk(40),
       .pages = 1,
       .width_mm = 210,
       .height_mm = 297},
  };
  for (const Case& c : cases) check(c);
}

TEST_F(RecordScannersTest, HiperC) {
  const Case cases[] = {
      // foo2hiperc begins a colour page with 10 04 00 00 11 (four planes).
      {.name = "colour and gray pages",
       .entry = &HIPERC_ANALYZER,
       .data = hiperc_start(3) + junk(30) + hiperc_next_page(true) + junk(30) +
               hiperc_next_page(false) + junk(30),
       .pages = 3},
      // The first form's walk goes on 10 bytes later, past a second form
      // that would begin at its tenth byte.
      {.name = "a record stepped over is no page",
       .entry = &HIPERC_ANALYZER,
       .data = hiperc_start(3) + junk(30) + bytes({2, 0, 0, 0, 8, 0, 0, 0}) +
               hiperc_next_page(false) + junk(30),
       .pages = 2},
      {.name = "header type 80 adds no page",
       .entry = &HIPERC_ANALYZER,
       .data = hiperc_start(0x80) + junk(30) + hiperc_next_page(false) + junk(30),
       .pages = 1},
      {.name = "OkiXferAdjust without header",
       .entry = &HIPERC_ANALYZER,
       .data = "OkiXferAdjust" + junk(30) + bytes({2, 0, 0, 0, 8, 0, 0, 0, 0xFF}) + junk(30),
       .pages = 1},
  };
  for (const Case& c : cases) check(c);
}

TEST_F(RecordScannersTest, KonicaMinoltaGdi) {
  const std::string imagelen = "@PJL SET IMAGELEN=1000\n";
  const std::string paper_then_image = "@PJL SET PAPER=A4\n@PJL SET X=1\n" + imagelen;
  const Case cases[] = {
      // Page padding of 4 KiB is one zero run, one page.
      {.name = "a long zero run is one marker",
       .entry = &KMGDI_ANALYZER,
       .data = junk(30) + zeros(4096) + junk(30) + zeros(12) + junk(1),
       .pages = 2},
      {.name = "runs apart by one byte, a last run without room",
       .entry = &KMGDI_ANALYZER,
       .data = "j" + zeros(12) + "j" + zeros(30) + "j" + zeros(5) + "j" + zeros(12),
       .pages = 2},
      {.name = "a run at the start",
       .entry = &KMGDI_ANALYZER,
       .data = zeros(12) + "jj",
       .pages = 1},
      {.name = "short zero runs are no marker",
       .entry = &KMGDI_ANALYZER,
       .data = junk(30) + zeros(11) + junk(30),
       .pages = 0},
      {.name = "PAPER lines before IMAGELEN headers",
       .entry = &KMGDI_ANALYZER,
       .data = junk(60) + paper_then_image + junk(60) + paper_then_image + junk(60) + imagelen +
               junk(40) + zeros(20) + junk(2),
       .pages = 2,
       .copies = 1},
      {.name = "Bizhub pages and size, no copy record",
       .entry = &KMGDI_BIZHUB_ANALYZER,
       .data = junk(10) + bizhub_page(4960, 7016) + junk(10) + bizhub_page(100, 100) + junk(10),
       .pages = 2,
       .copies = -1,
       .width_mm = 210,
       .height_mm = 297},
      {.name = "Bizhub copy record",
       .entry = &KMGDI_BIZHUB_ANALYZER,
       .data = junk(10) + bizhub_copies(3) + junk(10) + bizhub_page(4960, 7016) + junk(10),
       .pages = 1,
       .copies = 3},
      {.name = "WSMC without PJL sets nothing",
       .entry = &KMGDI_WSMC_ANALYZER,
       .data = junk(100),
       .pages = 0,
       .copies = 1},
  };
  for (const Case& c : cases) check(c);
}

TEST_F(RecordScannersTest, HbplAndPlw) {
  const std::string end_page = "EndPage of Physical\"";
  const std::string sd_dimensions =
      bytes({1, 0, 0, 0, 0x9A, 0xC4}) + le16(4960) + zeros(2) + le16(7016) + zeros(2);
  const Case cases[] = {
      {.name = "EndPage texts outrank FX markers",
       .entry = &HBPL_ANALYZER,
       .data = junk(10) + end_page + junk(10) + "\x1bPS<" + junk(10) + "\x1bPS<" + junk(30),
       .pages = 1,
       .copies = 1},
      {.name = "SD pages take the dot size",
       .entry = &HBPL_ANALYZER,
       .data = junk(10) + sd_dimensions + junk(10) + "SDB" + junk(30) + "SDC" + junk(30),
       .pages = 2,
       .width_mm = 210,
       .height_mm = 297},
      {.name = "PLW pages, gray, copies 0 read as 1",
       .entry = &FXPLW_ANALYZER,
       .data = junk(10) + "@CLRM=GRAY" + junk(20) + "@JOCO=0" + junk(50) + end_page + junk(30),
       .pages = 1,
       .copies = 1,
       .grayscale = 1,
       .color_pages = 0},
      {.name = "PLW copies",
       .entry = &FXPLW_ANALYZER,
       .data = junk(10) + "@JOCO = 4" + junk(50) + end_page + junk(30) + end_page + junk(30),
       .pages = 2,
       .copies = 4,
       .grayscale = 0,
       .color_pages = -1},
  };
  for (const Case& c : cases) check(c);
}

TEST_F(RecordScannersTest, HpGdi) {
  const Case cases[] = {
      {.name = "remote: pages, size, duplex",
       .entry = &HP_GDI_REMOTE_ANALYZER,
       .data = junk(10) + xqx_dimensions(4704, 6772) + xqx_duplex() + junk(10) + xqx_end_page() +
               junk(10) + xqx_end_page() + junk(10),
       .pages = 2,
       .duplex = 1,
       .color_pages = -1,
       .width_mm = 210,
       .height_mm = 297},
      // The records mark no colour; the PJL header's render mode puts the
      // whole job in gray.
      {.name = "remote: a gray PJL render mode judges the job gray",
       .entry = &HP_GDI_REMOTE_ANALYZER,
       .data = "\x1b%-12345X@PJL JOB\r\n@PJL SET RENDERMODE=GRAYSCALE\r\n" + junk(10) +
               xqx_end_page() + junk(300),
       .pages = 1,
       .grayscale = 1,
       .color_pages = 0},
      {.name = "remote: the copies item",
       .entry = &HP_GDI_REMOTE_ANALYZER,
       .data = junk(10) + xqx_copies(2) + junk(10) + xqx_end_page() + junk(10) + xqx_copies(3) +
               xqx_end_page() + junk(10),
       .pages = 2,
       .copies = 2},
      {.name = "local: the last running count wins",
       .entry = &HP_GDI_LOCAL_ANALYZER,
       .data = junk(10) + hp_settings(3, 1, 2) + hp_size(4960, 7016) + hp_running_count(0) +
               junk(10) + riso_running_count(1) + junk(10) + hp_running_count(4) + junk(10),
       .pages = 5,
       .copies = 3,
       .duplex = 1,
       .grayscale = 1,
       .color_pages = 0,
       .width_mm = 210,
       .height_mm = 297},
  };
  for (const Case& c : cases) check(c);
}

TEST_F(RecordScannersTest, XqxRecords) {
  const std::string marks = xqx_page(MARKS);
  const Case cases[] = {
      // foo2xqx's odd manual duplex: the blank back side, then the last
      // page opened by the end-of-document record.
      {.name = "odd manual duplex loses its blank back side",
       .entry = &HP_GDI_REMOTE_ANALYZER,
       .data = xqx_stream(marks + marks + xqx_page(BLANK) + xqx_page(MARKS, 2), 2),
       .pages = 3,
       .duplex = 1,
       .paper = "A4"},
      {.name = "even manual duplex keeps a blank page",
       .entry = &HP_GDI_REMOTE_ANALYZER,
       .data = xqx_stream(marks + xqx_page(BLANK), 2),
       .pages = 2,
       .duplex = 1},
      {.name = "one-sided keeps a blank page",
       .entry = &HP_GDI_REMOTE_ANALYZER,
       .data = xqx_stream(marks + marks + xqx_page(BLANK) + xqx_page(MARKS, 2), 1),
       .pages = 4,
       .duplex = 0},
      {.name = "copies; a paper without a DMPAPER name is its bitmap in the stated dots",
       .entry = &HP_GDI_REMOTE_ANALYZER,
       .data = xqx_stream(xqx_page(MARKS, 3, {{0x20000001, be32(0)}, {0x20000005, be32(3)},
                                             {0x20000008, be32(600)}, {0x20000009, be32(300)},
                                             {0x2000000F, be32(4961)}, {0x20000010, be32(3508)}}),
                          1),
       .pages = 1,
       .copies = 3,
       .width_mm = 210,
       .height_mm = 297},
  };
  for (const Case& c : cases) check(c);
}

TEST_F(RecordScannersTest, XqxStreamThatDoesNotFitIsSearchedByteByByte) {
  std::string data = xqx_stream(xqx_page(MARKS) + xqx_page(MARKS), 1);
  data.replace(data.find(",XQX") + 8, 4, be32(0x7FFF));  // START_DOC claims 32767 items
  const Findings f = run_analyzer(HP_GDI_REMOTE_ANALYZER, data);
  EXPECT_TRUE(logged("reading the stream byte by byte"));
  EXPECT_EQ(f.ja->pages, 2);  // the end-of-page form 02 | 00000006 | ... | 00000004 | ... | 03
}

TEST_F(RecordScannersTest, DdstPages) {
  // Stripe data that holds the text of a page end: stepped over by length.
  const std::string coded = JBIG_HEADER + bytes({0x12, 0x34}) + "@PJL SET PAGESTATUS=END\r\n" +
                            bytes({0xFF, 0x02});
  const std::string blank = JBIG_HEADER + BLANK;
  const Case cases[] = {
      {.name = "pages from the page ends; blocks stepped over",
       .entry = &KMGDI_ANALYZER,
       .data = ddst_job(ddst_page(coded) + ddst_page(coded)),
       .pages = 2,
       .copies = 1,
       .duplex = 0,
       .width_mm = 210,
       .height_mm = 297,
       .paper = "A4"},
      {.name = "odd manual duplex loses its blank back side",
       .entry = &KMGDI_ANALYZER,
       .data = ddst_job(ddst_page(coded) + ddst_page(coded) + ddst_page(blank) +
                        ddst_page(coded, 3)),
       .pages = 3,
       .duplex = 1},
      {.name = "one-sided keeps a blank page",
       .entry = &KMGDI_ANALYZER,
       .data = ddst_job(ddst_page(coded) + ddst_page(blank)),
       .pages = 2,
       .duplex = 0},
      {.name = "paper size in the dots of RESOLUTION",
       .entry = &KMGDI_ANALYZER,
       .data = ddst_job(ddst_page(coded, 0, 300)),
       .pages = 1,
       .width_mm = 210,
       .height_mm = 297},
  };
  for (const Case& c : cases) check(c);
  // A block longer than the data: the GDI rules count its IMAGELEN line.
  std::string cut = ddst_job(ddst_page(coded));
  cut.replace(cut.find("IMAGELEN=") + 9, 2, "99");
  const Findings f = run_analyzer(KMGDI_ANALYZER, cut);
  EXPECT_TRUE(logged("ddst: no PJL line or block fits"));
  EXPECT_EQ(f.ja->pages, 1);
}

TEST_F(RecordScannersTest, MinoltaCommands) {
  const std::string start = km_command(0x40, bytes({0x82, 0x10}));
  const std::string end = km_command(0x55, bytes({0})) + km_command(0x41, bytes({0}));
  // A bitmap holding the bytes of a page command: stepped over by its count.
  const std::string bitmap = km_raster(km_page(4) + zeros(40));
  const Case cases[] = {
      {.name = "pages from the page commands, paper of the first",
       .entry = &KMGDI_ANALYZER,
       .data = start + km_page(0x1B) + bitmap + km_page(4) + bitmap + end,
       .pages = 2,
       .copies = 1,
       .paper = "Letter"},
  };
  for (const Case& c : cases) check(c);
  // A damaged checksum: the GDI rules count runs of zero bytes instead.
  std::string damaged = start + km_page(4) + bitmap + end;
  damaged[start.size() + 6] = 0x01;
  const Findings f = run_analyzer(KMGDI_ANALYZER, damaged);
  EXPECT_TRUE(logged("kmgdi: no whole command"));
  EXPECT_EQ(f.ja->paper_size_name[0], '\0');
}

TEST_F(RecordScannersTest, LexmarkSmartAndCanonGaro) {
  const Case cases[] = {
      {.name = "SMART pages, copies and paper",
       .entry = &LEXMARK_SMART_ANALYZER,
       .data = "$PJL COPIES = 3\n$PJL PAGE LETTER\n" + junk(40) + "$PJL BITMAP START\n" +
               junk(40) + "$PJL BITMAP START\n" + junk(40),
       .pages = 2,
       .copies = 3,
       .paper = "LETTER"},
      {.name = "GARO: the last page-count record",
       .entry = &CANONGARO_ANALYZER,
       .data = junk(10) + garo_pages(3) + junk(10) + garo_pages(7) + junk(10),
       .pages = 7},
  };
  for (const Case& c : cases) check(c);
}

}  // namespace
