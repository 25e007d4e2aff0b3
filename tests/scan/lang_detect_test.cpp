// Language detection: the corpus of real driver output, then hand-made bytes
// for what no available tool writes (status documents, tiny and truncated
// files, printer makers' signatures) and for the order of the rules.
#include "scan/lang_detect.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "corpus/corpus.h"
#include "foundation/ja_languages.h"
#include "foundation/mapped_mem.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;
using sw_test::ExactBuffer;

class LangDetectTest : public sw_test::TempDirTest {
 protected:
  int detect(std::string_view bytes) const {
    ExactBuffer buffer(bytes);
    return analyzer_lang_detect(buffer.data(), buffer.size());
  }
};

// `text` followed by `fill` up to `size` bytes.
std::string padded(std::string text, std::size_t size, char fill = 'z') {
  if (text.size() < size) text.append(size - text.size(), fill);
  return text;
}

// `fill` bytes with `text` at `offset`, `size` bytes in all.
std::string placed(std::size_t offset, std::string_view text, std::size_t size, char fill = 'z') {
  std::string bytes(offset, fill);
  bytes.append(text);
  return padded(bytes, size, fill);
}

// Control bytes that make a window too binary for plain text.
std::string binary(std::size_t size) { return std::string(size, '\x02'); }

// ---------------------------------------------------------------------------
// Real print data.

TEST_F(LangDetectTest, CorpusFilesGetTheirLanguage) {
  const auto rows = corpus_rows();
  ASSERT_FALSE(rows.empty()) << "manifest unreadable: " << corpus_manifest_path();
  for (const CorpusRow& row : rows) {
    SCOPED_TRACE(row.file + " (" + row.chain + ")");
    const MappedMemPtr mm(create_mapped_mem(row.path.c_str()));
    ASSERT_NE(mm, nullptr) << "corpus file missing: " << row.path;
    EXPECT_EQ(analyzer_lang_detect(mm->data, mm->size), row.lang);
  }
}

// Detection looks at a bounded head: what lies past the scan window does not
// change the result, so a large job costs no more than a small one.
TEST_F(LangDetectTest, BytesPastTheScanWindowAreNotRead) {
  const std::string head = binary(LANG_DETECT_SCAN_WINDOW);
  EXPECT_EQ(detect(head), LANG_UNKNOWN);
  EXPECT_EQ(detect(head + "%!PS-Adobe-3.0\n" + binary(200)), LANG_UNKNOWN);
  EXPECT_EQ(detect(placed(LANG_DETECT_SCAN_WINDOW - 1000, "%!PS-Adobe-3.0\n", 300000, '\x02')),
            LANG_POSTSCRIPT);
}

// ---------------------------------------------------------------------------
// Short files. Each is read from an exact-size heap buffer, so a read past
// its end is caught.

struct Case {
  const char* name;
  std::string bytes;
  int code;
  const char* log = nullptr;  // a DEBUG text the decision writes
};

}  // namespace

// Runs a table of cases, each with a fresh log.
class LangDetectCases : public LangDetectTest {
 protected:
  void run(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      clear_log();
      EXPECT_EQ(detect(c.bytes), c.code);
      if (c.log != nullptr) { EXPECT_TRUE(logged(c.log)) << log_text(); }
    }
  }
};

namespace {

std::string pjl_lines(std::size_t size) {
  std::string bytes = "\x1b%-12345X@PJL INFO STATUS\r\n";
  while (bytes.size() < size) bytes += "@PJL INFO ID\r\n";
  return bytes.substr(0, size - 1) + "\n";
}

}  // namespace

TEST_F(LangDetectCases, ShortFilesAndStatusDocuments) {
  run({
      {"empty", "", LANG_STATUS_DOCUMENT},
      {"one line feed", "\n", LANG_STATUS_DOCUMENT},
      {"line feeds only", "\n\n\n\n", LANG_STATUS_DOCUMENT},
      {"line start in the last bytes", "x\n@PJ", LANG_STATUS_DOCUMENT},
      {"23 bytes", padded("", 23), LANG_STATUS_DOCUMENT,
       "File size is small so assume it's a status document. Size in bytes: 23"},
      {"24 bytes", padded("", 24), LANG_PLAIN_TEXT,
       "File is too small, assume text. Size in bytes: 24"},
      {"60 bytes of text", padded("Hello printer\n", 60), LANG_PLAIN_TEXT},
      {"99 bytes with a PostScript head", padded("%!PS-Adobe-3.0\n", 99), LANG_PLAIN_TEXT},
      {"Canon status type 1", padded("\0\0\0\0\x0e\0\0\0"s, 40, '\0'), LANG_STATUS_DOCUMENT,
       "Found canon status document (type 1)"},
      {"Canon status type 1 at 119 bytes", padded("\0\0\0\0\x0e\0\0\0"s, 119, '\0'),
       LANG_STATUS_DOCUMENT, "Found canon status document (type 1)"},
      {"Canon status type 1 too long", padded("\0\0\0\0\x0e\0\0\0"s, 120, '\0'), LANG_UNKNOWN},
      {"Canon status type 2", padded("\x1b[K\x02\0\0"s, 30, '\0'), LANG_STATUS_DOCUMENT,
       "Found canon status document (type 2)"},
      {"all PJL, 150 bytes", pjl_lines(150), LANG_STATUS_DOCUMENT,
       "Found all PJL commands (status document)"},
      {"all PJL, 199 bytes", pjl_lines(199), LANG_STATUS_DOCUMENT},
      {"all PJL, 250 bytes", pjl_lines(250), LANG_PLAIN_TEXT},
      {"PJL with one other line", pjl_lines(120) + "hello there\n", LANG_PLAIN_TEXT},
      {"first line is not examined", "not pjl at all\n" + pjl_lines(100).substr(9),
       LANG_STATUS_DOCUMENT},
      {"Graphtec", padded("s,&100,100,100,/0,0,900,", 26), LANG_GRAPHTEC, "Found Graphtec header"},
      {"Graphtec head alone is short text", "s,&100,100,100,/0,0,900,X", LANG_PLAIN_TEXT},
      {"XPP mark in the head", placed(980, "DATA=\"XPP\"", 1001), LANG_XPP,
       "Found fujitsu_xpp_header"},
      {"XPP mark across the head's end", placed(995, "DATA=\"XPP\"", 2000), LANG_PLAIN_TEXT},
      {"XPP file of 1000 bytes", placed(10, "DATA=\"XPP\"", 1000), LANG_PLAIN_TEXT},
  });
}

// Every length from 0 to 130 over line feeds and PJL fragments: no read
// outside the buffer whatever the status rules look at.
TEST_F(LangDetectCases, EveryShortLengthStaysInsideTheBuffer) {
  const std::string source = "\n@PJL\n@PJL\n\x1b[K\x02\0\0\0\0\0\0\x0e\0\0\0\n@PJL"s;
  for (int dummy : {24, 0}) {
    global_ctx.dummy_document_size_bytes = dummy;
    for (std::size_t n = 0; n <= 130; ++n) {
      std::string bytes;
      while (bytes.size() < n) bytes += source;
      bytes.resize(n);
      const int code = detect(bytes);
      if (n < 5) { EXPECT_EQ(code, dummy == 0 ? LANG_PLAIN_TEXT : LANG_STATUS_DOCUMENT) << n; }
    }
  }
}

TEST_F(LangDetectCases, LeadingSignatures) {
  run({
      {"gzip", padded("\x1f\x8b\x08\x00"s, 200, '\0'), LANG_GZIP},
      {"Zeno IMF", padded("ZIMF", 200, '\0'), LANG_ZENO_IMF},
      {"KM GDI", padded("\x1b\x40\x00\x02"s, 200, '\0'), LANG_GDI_KM,
       "found start of Konica Minolta GDI"},
      {"Kyocera GDI", padded("\x1b\x40\x00\x02"s + placed(60, "\xf8\xff\xa0\x12\x00"s, 96, '\0'),
                             200, '\0'),
       LANG_GDI_KYOCERA, "found Kyocera GDI"},
      {"Kyocera mark at 99", padded("\x1b\x40\x00\x02"s + placed(95, "\xf8\xff\xa0\x12\x00"s, 96, '\0'),
                                    200, '\0'),
       LANG_GDI_KYOCERA},
      {"Kyocera mark at 100", padded("\x1b\x40\x00\x02"s + placed(96, "\xf8\xff\xa0\x12\x00"s, 96, '\0'),
                                     200, '\0'),
       LANG_GDI_KM},
      {"Kyocera mark in a file of 150 bytes",
       padded("\x1b\x40\x00\x02"s + placed(60, "\xf8\xff\xa0\x12\x00"s, 96, '\0'), 150, '\0'),
       LANG_GDI_KM},
      {"Xerox Phaser local", padded("GaMf" + placed(500, "Xerox Phaser 6110", 600, '\0'), 2000, '\0'),
       LANG_GDI_XEROX_PHASER, "found start of Xerox Phaser GDI (local)"},
      {"Xerox Phaser name past 1024 bytes",
       padded("GaMf" + placed(1015, "Xerox Phaser 6110", 1100, '\0'), 2000, '\0'), LANG_GDI_KM_BH,
       "found start of Konica Minolta GDI (Bizhub)"},
      {"Pebble", padded("\x1bPr;", 200, '\0'), LANG_PEBBLE, "found Pebble data"},
      {"KM ZIMF remote, 101 bytes", padded("Event=StartOfJob;", 101), LANG_GDI_KM_ZIMF_R,
       "found Konica Minolta GDI ZIMF Remote"},
      {"KM ZIMF remote, 100 bytes", padded("Event=StartOfJob;", 100), LANG_PLAIN_TEXT},
      {"QPDL DMCS", padded("DMCS", 200, '\0'), LANG_QPDL},
      {"HBPL M", padded("EDAJM", 200, '\0'), LANG_HBPL_2},
      {"HBPL C", padded("EDAJC", 200, '\0'), LANG_HBPL_3},
      {"raster v1 little-endian", padded("tSaR", 200, '\0'), LANG_CUPS_RASTER},
      {"raster v2", padded("RaS2", 200, '\0'), LANG_CUPS_RASTER},
      {"raster v3 little-endian", padded("3SaR", 200, '\0'), LANG_CUPS_RASTER},
      {"Canon CAPT", padded("\x01\x00\x77\x00\xce\xda\xde\xfa"s, 200, '\0'), LANG_CANON_CAPT,
       "found start of Canon CAPT"},
      {"HP GDI local 47", padded("\x00\x47\x06\x00\x01"s, 200, '\0'), LANG_GDI_HP,
       "Matched HP GDI using local mode start sequence"},
      {"HP GDI local 2F", padded("\x00\x2f\x06\x00\x01"s, 200, '\0'), LANG_GDI_HP},
      {"RISO GDI", padded("\x00\xe7\x07\x00\x01"s, 200, '\0'), LANG_GDI_RISO, "Matched RISO GDI"},
      {"Zebra v2", padded("I8,A,001\r\n\r\n", 200), LANG_ZEBRA2, "found Zebra (v2) data"},
      {"Dymo 330", padded("\x1bQ\0\0\x1b\x42\0\x1b\x65\x1b\x68\x1bL"s, 200, '\0'), LANG_DYMO,
       "found Dymo (330) data"},
      {"Dymo 450", padded(std::string(16, '\x1b') + "\x1b\x41\x1b\x41\x05\x1b\x43\x00\x1b\x44"s,
                          200, '\0'),
       LANG_DYMO, "found Dymo (450) data"},
      {"Ricoh GDI", padded("GDIC\x90\x0d\x00\x00\x88\x0d"s, 200, '\0'), LANG_GDI_RICOH,
       "found Ricoh GDI. 5th byte=0x90"},
      {"Ricoh GDI 8A/80", padded("GDIC\x8a\x0d\x00\x00\x80\x0d"s, 200, '\0'), LANG_GDI_RICOH},
      {"Ricoh GDI byte 8 near 255", padded("GDIC\x02\x0d\x00\x00\xfa\x0d"s, 200, '\0'), LANG_UNKNOWN},
      {"Ricoh SP C231", padded("GDIJ\0\0\0\x78\0\x01"s, 200, '\0'), LANG_GDI_RICOH_SP_C231,
       "found Ricoh GDI (SP C231)"},
      {"Oce", padded("*OceJobBegin", 200), LANG_OCE, "found *OceJobBegin"},
      {"Oce in upper case", padded("*OCEJobBegin", 200), LANG_OCE, "found *OceJobBegin"},
  });
}

// The heads of jobs that carry no language name: what the drivers without
// a job header write first (their real output is in the corpus; these cases
// hold the edges of each rule).
TEST_F(LangDetectCases, HeadsWithoutAJobHeader) {
  const std::string esc_run = std::string(100, '\x1b');
  run({
      {"Dymo reset run", padded(esc_run + "\x1b@\x1bL\x04\x1a"s, 400, '\0'), LANG_DYMO,
       "found Dymo reset"},
      {"Dymo reset run too short", padded(esc_run.substr(10) + "\x1b@\x1bL"s, 400, '\0'),
       LANG_UNKNOWN},
      {"EPL2 buffer clear", padded("\nN\nq816\nGW0,20,102,1\n"s, 400, '\xff'), LANG_ZEBRA2,
       "found Zebra label commands"},
      {"EPL2 clear without a width", padded("\nN\nqz"s, 400, '\x02'), LANG_UNKNOWN},
      {"ZPL graphic download", padded("~DGR:CUPS.GRF,498540,210,\n", 400, ':'), LANG_ZEBRA2},
      {"ZPL label format", padded("^XA\n^FO50,50^FDHello^FS\n^XZ\n", 400, ' '), LANG_ZEBRA2},
      {"CPCL label", padded("! 0 203 203 1015 1\r\nPAGE-WIDTH 809\r\n"s, 400, '\0'), LANG_ZEBRA2},
      {"CPCL mark without a number", padded("! zebra\r\n", 400, ' '), LANG_PLAIN_TEXT},
      {"LIPS, 8-bit DCS", padded("\x1b%@\x90" "31;300;0Jlips3\x9c"s, 400, '\0'), LANG_CANON_UFR,
       "found LIPS mode entry without PJL"},
      {"LIPS, 7-bit DCS", padded("\x1b%@\x1bP41;600;1Jlips4v\x1b\\"s, 400, '\0'),
       LANG_CANON_UFR},
      {"LIPS reset without the mode entry", padded("\x1b%@\x1b<"s, 400, '\0'), LANG_UNKNOWN},
  });
}

TEST_F(LangDetectCases, ScanSignatures) {
  const std::string pjl = "\x1b%-12345X@PJL JOB\n";
  run({
      {"ZjStream by PJL", padded(pjl + "@PJL ENTER LANGUAGE = ZJS\n", 400, '\x02'),
       LANG_ZJSTREAM_2, "found zjs in PJL header"},
      {"KM DI", placed(50, "\x01\x05\x25\x00\x00\x00\xff"s, 400, '\x02'), LANG_GDI_KM_DI},
      {"Zebra DCLD", placed(50, "DCLD\x01\x00\x30"s, 400, '\x02'), LANG_ZEBRA, "found Zebra data"},
      {"Brother 0B", placed(50, "\x1b\x7c\x01\x00\x0b"s, 400, '\x02'), LANG_BROTHER,
       "found Brother data 0xB"},
      {"Brother 0C", placed(50, "\x1b\x7c\x01\x00\x0c"s, 400, '\x02'), LANG_BROTHER_MFC_J,
       "found Brother data 0xC"},
      {"Brother QL", placed(50, "\x1b\x69\x61\x01\x1b"s, 400, '\x02'), LANG_BROTHER_QL},
      {"Canon GARO", placed(50, "\xcd\xca\x10\x02\x00\x1a\x00\x01\x0c\x86\xff\xff"s, 400, '\x02'),
       LANG_CANON_GARO, "found Canon Garo data"},
      {"KIPGL", padded(pjl + "@PJL ENTER LANGUAGE = KIPGL\n", 400, '\x02'), LANG_KIPGL,
       "found KIPGL"},
      {"Canon UFR in the data",
       placed(50, "\xcd\xca\x00\x00\x00\x1a\x00\x00\x00\x00\xff\xff\0\0\0\0\0\0\0\0\0\xbe\xbf"s,
              400, '\x02'),
       LANG_CANON_UFR, "found Canon UFR data at offset 50"},
      {"PCL5 copy count", placed(50, "\x1b&l2X", 400, '\x02'), LANG_PCL5,
       "found PCL5 copy count at offset 50 is_canon=0. Assuming PCL5"},
      {"Panasonic GDI", placed(50, "LANGUAGE=GDI\r\n\x1b\x27\x31\x1b", 400, '\x02'),
       LANG_GDI_PANASONIC, "found Panasonic GDI"},
      {"Panasonic2 GDI", placed(50, "LANGUAGE=GDI\n\x1b&&0S", 400, '\x02'), LANG_GDI_PANASONIC_2,
       "found Panasonic2 GDI"},
      {"Sharp GDI", placed(50, "LANGUAGE=GDI\n" + binary(20) + "d100e100l7", 400, '\x02'),
       LANG_GDI_SHARP, "found Sharp GDI"},
      {"Sharp mark without LANGUAGE=GDI", placed(50, "d100e100l7", 400, '\x02'), LANG_UNKNOWN},
      {"Sharp mark before LANGUAGE=GDI", placed(50, "d100e100l7 LANGUAGE=GDI\n", 400, '\x02'),
       LANG_UNKNOWN, "found possible Sharp GDI"},
      {"Sharp SPLC", placed(50, "\x81\x81\x00\x00\x00\x00\x00\x08\x81\x81\x00\x00\x00"s, 400, '\x02'),
       LANG_GDI_SHARP_SPLC, "found Sharp GDI SPLC start marker"},
      {"KM PJL JBIG", padded(pjl + "@PJL SET COMPRESS=JBIG\n", 400, '\x02'), LANG_GDI_KM_PJL,
       "Assuming KM GDI"},
      {"KM WSMC", padded(pjl + "@PJL ENTER LANGUAGE = WSMC\n", 400, '\x02'), LANG_GDI_KM_WSMC},
      {"HP PSC", placed(50, "\x24\x01\x00\x00\x07\x00\x00\x00\x08"s, 400, '\x02'), LANG_GDI_HP_3,
       "found GDI (HP PSC) start marker"},
      {"RISO HC3R", placed(81, "R\0I\0S\0O\0 \0H\0C\0\x33\0R\0"s, 400, '\x02'), LANG_GDI_RISO,
       "Found RISO GDI start sequence for HC3R series"},
      {"RISO HC3R too late", placed(82, "R\0I\0S\0O\0 \0H\0C\0\x33\0R\0"s, 400, '\x02'),
       LANG_UNKNOWN},
      {"RISO Com", placed(83, "R\0I\0S\0O\0 \0C\0o\0m\0"s, 400, '\x02'), LANG_GDI_RISO,
       "Found RISO GDI start sequence for Com Color series"},
      {"RISO2", "?" + placed(50, ">S?<", 400, '\x02'), LANG_GDI_RISO2, "found RISO GDI2"},
      {"RISO2 mark without leading ?", placed(50, ">S?<", 400, '\x02'), LANG_UNKNOWN},
      {"NEC NPDL", padded(pjl + "@PJL ENTER LANGUAGE=NPDL\n", 400, '\x02'), LANG_NEC_GDI,
       "found start of NEC NPDL"},
      {"Xerox Phaser remote", placed(50, ") SAG-GDI RL;", 400, '\x02'), LANG_GDI_XEROX_PHASER_2},
      {"ZjStream behind a PJL header", padded(pjl + "\x1b%-12345XJZJZ"s, 400, '\x02'),
       LANG_ZJSTREAM, "found ZjStream behind a universal exit at offset 18"},
      {"Canon BJ initial condition", placed(50, "\x1b[K\x02\x00\x00\x0f"s, 400, '\x02'),
       LANG_CANON_BJ, "found Canon BJ initial condition at offset 50"},
      {"Canon BJ mark without its parameters", placed(50, "\x1b[K\x02\x00\x01"s, 400, '\x02'),
       LANG_UNKNOWN},
      {"ESC/Page reset", placed(11, "\x1drhE\x1d" "1mmE"s, 400, '\x02'), LANG_EPSON_PAGE,
       "found the ESC/Page reset at offset 11"},
  });
}

// A PCL5 copy count decides only in PCL syntax: a value (sign, digits,
// fraction) and a parameter letter behind ESC & l.
TEST_F(LangDetectCases, PclCopyCountNeedsPclSyntax) {
  run({
      {"copies", placed(50, "\x1b&l2X", 400, '\x02'), LANG_PCL5},
      {"signed fraction, then a group letter", placed(50, "\x1b&l+1.5c2X", 400, '\x02'), LANG_PCL5},
      {"binary value (ALPS)", placed(50, "\x1b&l\x01\x00H"s, 400, '\x02'), LANG_UNKNOWN},
      {"no value", placed(50, "\x1b&lH", 400, '\x02'), LANG_UNKNOWN},
      {"value without a letter", placed(50, "\x1b&l12\x02"s, 400, '\x02'), LANG_UNKNOWN},
      {"value cut by the end of the window", placed(395, "\x1b&l12", 400, '\x02'), LANG_UNKNOWN},
      {"Canon head with a binary value", padded("\xcd\xca\x10\x00\x00\x00\x00\x00\x00\x00\x00\x01"s +
                                                    "\x1b&l\x01\x00H"s, 400, '\x02'),
       LANG_UNKNOWN},
  });
}

TEST_F(LangDetectCases, TokenRows) {
  run({
      {"PCLSLEEK without case", placed(50, "@PJL ENTER pclsleek\n", 400, '\x02'), LANG_PCL5},
      {"ESC/P-R", placed(50, "\x1b(R\x08\x00\x00REMOTE1TI"s, 400, '\x02'), LANG_ESCPR},
      {"HPGL2 word", placed(50, "HPGL2 ", 400, '\x02'), LANG_HPGL},
      {"HP-GL pen move", placed(50, "PU1234,5678;", 400, '\x02'), LANG_HPGL},
      {"PCL XL with a blank", placed(50, ") HP-PCL XL;2;0", 400, '\x02'), LANG_PCL6},
      {"BJLSTART", placed(50, "BJLSTART\n", 400, '\x02'), LANG_CANON_BJ},
      {"PLW", placed(50, "@PJL ENTER LANGUAGE = PLW\n", 400, '\x02'), LANG_PLW},
      {"TIFF6", placed(50, "@PJL ENTER LANGUAGE=TIFF6\n", 400, '\x02'), LANG_TIFF6},
      {"ufr", placed(50, "ufr=1", 400, '\x02'), LANG_CANON_UFR},
      {"FXPLW", placed(50, "%FXPLW ", 400, '\x02'), LANG_FXPLW},
      {"XL2HB", placed(50, "XL2HB ", 400, '\x02'), LANG_PCL6},
      {"RPCS", placed(50, "RPCS ", 400, '\x02'), LANG_RPCS},
      {"XPL2", placed(50, "@PJL ENTER LANGUAGE=XPL2\n", 400, '\x02'), LANG_XPL2},
      {"FX360", placed(50, "@PL > ART", 400, '\x02'), LANG_FX360},
      {"Epson ijdriver decides at the window's end", placed(50, "EPSON ijdriverm", 400, '\x02'),
       LANG_EPSON_ENDP},
      {"Epson ijdriver then a later language", placed(50, "EPSON ijdriverw" + binary(50) + "%!PS",
                                                      400, '\x02'),
       LANG_POSTSCRIPT},
      {"ESC ( G without an Epson preamble", placed(50, "\x1b(G\x01\x00\x01"s, 400, '\x02'),
       LANG_UNKNOWN},
      {"ESC ( G after EPSON", placed(50, "EPSON\x1b(G\x01\x00\x01"s, 400, '\x02'), LANG_ESCP2},
      {"ESC ( G decided at a later hit", placed(50, "\x1b(G\x01\x00\x01 @EJL HIPERC "s, 400, '\x02'),
       LANG_ESCP2},
      {"token in the last 100 bytes", placed(310, "%!PS", 400, '\x02'), LANG_UNKNOWN},
      {"token just inside", placed(299, "%!PS", 400, '\x02'), LANG_POSTSCRIPT},
  });
}

TEST_F(LangDetectCases, RuleOrderAndOverrides) {
  const std::string dell = "\x1b%-12345X@PJL COMMENT MS PCLXL NT Driver\n";
  const std::string canon_head = "\xcd\xca\x10\x00\x00\x00\x00\x00\x00\x00\x00\x00"s;
  const std::string canon_not_ufr = "\xcd\xca\x10\x00\x00\x00\x00\x00\x00\x00\x00\x01"s;
  std::string ten_escapes;
  for (int i = 0; i < 10; ++i) ten_escapes += "\x1b*p" + std::to_string(100 + i) + "X zzzz ";
  std::string spread_escapes;
  for (int i = 0; i < 10; ++i) spread_escapes += padded("\x1b*p100X", 200);
  run({
      {"ENTER LANGUAGE overrides PostScript",
       "%!PS-Adobe-3.0\n" + padded("@PJL ENTER LANGUAGE=PCL\n", 400, '\x02'), LANG_PCL5,
       "Using ENTER LANGUAGE: ret='PostScript'[1] => enter_language='PCL5'[5]"},
      {"ENTER LANGUAGE with blanks and case",
       "%!PS-Adobe-3.0\n" + padded("@PJL ENTER LANGUAGE = pclxl\n", 400, '\x02'), LANG_PCL6},
      {"an unlisted name cancels an earlier one",
       placed(50, "@PJL ENTER LANGUAGE=POSTSCRIPT\n@PJL ENTER LANGUAGE=FOO\nPCLSLEEK ", 400,
              '\x02'),
       LANG_PCL5, "enter_language_str='FOO',enter_language_code='Unknown'[0]"},
      {"the last listed name wins",
       placed(50, "@PJL ENTER LANGUAGE=FOO\n@PJL ENTER LANGUAGE=POSTSCRIPT\nPCLSLEEK ", 400,
              '\x02'),
       LANG_POSTSCRIPT},
      {"ENTER LANGUAGE past the head is ignored",
       placed(LANG_DETECT_HEAD_WINDOW, "@PJL ENTER LANGUAGE=POSTSCRIPT\n", 10500, '\x02'), LANG_UNKNOWN},
      {"ENTER LANGUAGE decides an unknown file",
       placed(9000, "@PJL ENTER LANGUAGE=POSTSCRIPT\n", 10500, '\x02'), LANG_POSTSCRIPT},
      {"Dell comment and control bytes give PCL XL", padded(dell, 600, '\x02'), LANG_PCL6,
       "OK we didn't get a match on any other language so assume PCLXL"},
      {"Dell comment and a real PCL XL mark", padded(dell + ") HP-PCL XL;2;0", 600, '\x02'),
       LANG_PCL6, "Matched language: PCL6 with pattern: HP-PCL\\s+XL; (offset=43)"},
      {"PCLXL comment without Dell", padded("\x1b%-12345X@PJL COMMENT PCLXL\n", 600, '\x02'),
       LANG_PCL6},
      {"Canon head, nothing else", padded(canon_head, 400, '\x02'), LANG_CANON_UFR,
       "Document starts with Canon data so assuming UFR"},
      {"Canon head with PostScript", padded(canon_head + "%!PS-Adobe-3.0\n", 400, '\x02'),
       LANG_POSTSCRIPT_CANON},
      {"Canon head with PCLSLEEK", padded(canon_head + "PCLSLEEK ", 400, '\x02'), LANG_PCL5_CANON},
      {"Canon head with a PCL5 copy count",
       padded(canon_not_ufr + "\x1b&l2X", 400, '\x02'), LANG_PCL5_CANON,
       "Found could_be_canon_pcl5 but no other language so assume PCL5"},
      {"Canon head, copy count, UFR override", padded(canon_head + "\x1b&l2X", 400, '\x02'),
       LANG_CANON_UFR},
      {"Canon head with many PCL5 escapes", padded(canon_not_ufr + ten_escapes, 400, '\x02'),
       LANG_PCL5_CANON},
      {"ten PCL5 escapes", placed(20, ten_escapes, 400, '\x02'), LANG_PCL5,
       "Found PCL5 commands. Treating as PCL5"},
      {"nine PCL5 escapes", placed(20, ten_escapes.substr(0, ten_escapes.rfind('\x1b')), 400,
                                   '\x02'),
       LANG_UNKNOWN},
      {"PCL5 escapes spread too far", padded(spread_escapes, 2100, '\x02'), LANG_UNKNOWN},
      {"PCL line decides PCL5", placed(50, "PCL\n", 400, '\x02'), LANG_PCL5},
      {"PCL line and a reset: empty snippet",
       placed(50, "PCL\n\x1b%-12345X", 400, '\x02'), LANG_PCL5,
       "Found empty PCL5 snippet but no other language so assume PCL5"},
      {"PCL line and a reset in text", placed(50, "PCL\n\x1b%-12345X", 400), LANG_PLAIN_TEXT,
       "Found a reset immediately after a PCL5 start at offset=54"},
      {"OKI PCL line does not decide",
       placed(50, "@PJL COMMENT OKI Driver PCL\n" + binary(20) + "%!PS", 400, '\x02'),
       LANG_POSTSCRIPT},
      {"plain PCL line decides before later marks",
       placed(50, "@PJL COMMENT ABC Driver PCL\n" + binary(20) + "%!PS", 400, '\x02'), LANG_PCL5},
  });
}

// Escape sequences in a window without blanks are printer graphics in
// printable bytes, not text; an ESC/P reset at the start of binary data is
// ESC/P. Text with escape sequences between its words stays text.
TEST_F(LangDetectCases, EscapesTellGraphicsFromText) {
  const std::string words = "Sphinx of black quartz, judge my vow.\n";
  std::string text_with_escapes = "\x1b@";
  while (text_with_escapes.size() < 3000) text_with_escapes += "\x1b" "E" + words;
  std::string sixel = "\x1bPq";
  while (sixel.size() < 3000) sixel += "!115?!20o__~~@@BB-\n";
  run({
      {"text with escape sequences", text_with_escapes, LANG_PLAIN_TEXT},
      {"sixel graphics", sixel + "\x1b\\\f", LANG_UNKNOWN,
       "Found escape sequences in data without blanks: not plain text"},
      {"sixel graphics in a small window", sixel.substr(0, 1000), LANG_PLAIN_TEXT},
      {"printable bytes without blanks or escapes", padded("", 3000, 'x'), LANG_PLAIN_TEXT},
      {"ESC/P reset on binary data", padded("\x1b@\x1bP\x1b*\x03\xe8\x02"s, 3000, '\x02'),
       LANG_ESCP2, "Found the ESC/P reset at the start of binary data. Treating as ESC/P"},
      {"ESC/P reset on text", "\x1b@\x1b" "E" + padded(words, 3000, ' '), LANG_PLAIN_TEXT},
      {"ESC/P reset not at the start", " \x1b@\x1bP" + binary(3000), LANG_UNKNOWN},
  });
}

TEST_F(LangDetectCases, PlainTextThreshold) {
  auto text_with_controls = [](int controls) {
    std::string bytes = padded("", 2000, 'a');
    for (int i = 0; i < controls; ++i) bytes[100 + i * 50] = '\x07';
    return bytes;
  };
  run({
      {"no control byte", padded("lorem ipsum\r\n\t\f", 500), LANG_PLAIN_TEXT},
      {"2000 bytes, 5 control bytes", text_with_controls(5), LANG_PLAIN_TEXT,
       "Checking for plain text with ctrl char count of 5 and percentage of 0.250000"},
      {"2000 bytes, 20 control bytes", text_with_controls(20), LANG_UNKNOWN,
       "Found no matching language"},
      {"1000 bytes, 1 control byte", placed(500, "\x07", 1000), LANG_UNKNOWN},
  });
}

// Bytes above 7F: letters of text in UTF-8, in a single-byte code page or
// in a double-byte one (none of them uses FF but for a rare letter), or
// white pixels of a photo printer's raw RGB when FF makes up much of it.
TEST_F(LangDetectCases, WhitePixelsAreNotText) {
  std::string utf8;
  while (utf8.size() < 3000) utf8 += "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 ";
  std::string latin1;
  while (latin1.size() < 3000) latin1 += "Gr\xfc\xdf" "e aus K\xf6ln. ";
  std::string gbk;  // "zhongwen ceshi" and a full stop, a line at a time
  while (gbk.size() < 3000) gbk += "\xd6\xd0\xce\xc4\xb2\xe2\xca\xd4\xa1\xa3\xd6\xd0\xce\xc4\n";
  std::string cp1251;  // Russian, with its letter FF
  while (cp1251.size() < 3000) cp1251 += "\xff \xe7\xed\xe0\xfe \xf7\xf2\xee \xff \xe7\xed\xe0\xfe.\n";
  run({
      {"UTF-8 text", utf8, LANG_PLAIN_TEXT},
      {"UTF-8 text cut inside a letter", utf8.substr(0, 2999), LANG_PLAIN_TEXT},
      {"single-byte code page text", latin1, LANG_PLAIN_TEXT},
      {"double-byte code page text", gbk, LANG_PLAIN_TEXT},
      {"code page text using FF", cp1251, LANG_PLAIN_TEXT},
      {"white RGB pixels", padded("", 3000, '\xff'), LANG_UNKNOWN,
       "Found mostly bytes FF (white pixels): not plain text"},
      {"white pixels behind a short header", padded("PGHD\n", 3000, '\xff'), LANG_UNKNOWN},
  });
}

// A time limit that has run out ends the scan; the later rules still run on
// what was counted.
TEST_F(LangDetectCases, ExpiredTimeLimitEndsTheScan) {
  global_ctx.parse_timeout = -1;
  clear_log();
  EXPECT_NE(detect(placed(500, "PCLSLEEK ", 2000, '\x02')), LANG_PCL5);
  EXPECT_TRUE(logged("ERROR") && logged("Timeout exceeded while attempting to match language."));
  EXPECT_EQ(detect("%!PS\n" + padded("@PJL ENTER LANGUAGE=PCL\n", 400, '\x02')), LANG_PCL5);
}

// Signatures cut off by the end of the file never read past it.
TEST_F(LangDetectCases, TruncatedSignaturesAtTheEnd) {
  const std::vector<std::string> tails = {
      "\x1b\x7c\x01\x00"s, "\x1b\x7c\x01"s, "\xcd\xca"s, "PCL\n"s, "PCL\n\x1b%-1234"s,
      "@PJL ENTER LANGUAGE = ZJ"s, "LANGUAGE=GDI\r\n"s, "\x81\x81\x00\x00"s, "\x1b&"s,
      "@PJL ENTER LANGUAGE=", "d100e100l"s, "R\0I\0S\0O\0 \0H\0C"s, ">S?"s, "\x1b(R\x08"s};
  for (const std::string& tail : tails) {
    for (std::size_t size : {100u, 101u, 140u, 1100u}) {
      SCOPED_TRACE(tail + " at " + std::to_string(size));
      const std::string bytes = "?" + padded("", size - 1 - tail.size(), '\x02') + tail;
      (void)detect(bytes);
      (void)detect("\xcd\xca" + bytes.substr(2));
    }
  }
}
