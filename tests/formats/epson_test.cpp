// The Epson ESC/P2, ESC/P-R and ESC/P3 walks on small jobs built from their
// record layouts. All fixtures here are hand-made (ESC/P3 has no free
// producer; the others isolate one record each); the real drivers' jobs are
// in raster_epson_corpus_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "formats/epson.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "support/test_support.h"

namespace {

using sw_test::ExactBuffer;

template <std::size_t N>
std::string B(const char (&text)[N]) {
  return std::string(text, N - 1);
}
std::string le32(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}
std::string be16(std::uint16_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }
std::string be32(std::uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }

struct Result {
  int status;
  JobAttribsPtr ja;
};

const std::string TRAILER = B("\x1b@\x1b(R\x08\x00\x00REMOTE1LD\x00\x00\x1b\x00\x00\x00");

Result escp2(const std::string& bytes, int color = 1, bool trailer = true) {
  Result r{0, JobAttribsPtr(analyzer_create_job_attribs())};
  // The job's closing reset and remote block: a command is read only with
  // more than 8 bytes behind its ESC.
  const ExactBuffer buffer(trailer ? bytes + TRAILER : bytes);
  r.status = epson_process_job(buffer.data(), buffer.size(), color, r.ja.get());
  return r;
}

Result escpr(const std::string& bytes, int language = LANG_ESCPR) {
  Result r{0, JobAttribsPtr(analyzer_create_job_attribs())};
  const ExactBuffer buffer(bytes);
  r.status = epson_process_job_new(buffer.data(), buffer.size(), 1, language, r.ja.get());
  return r;
}

// ---- ESC/P2 ----

const std::string PREAMBLE = B("\x1b@") + std::string(120, '\0');  // past the first 100 bytes
const std::string CONTENT = B("\x1b(G\x01\x00\x01");             // graphics mode: page content
const std::string FF = "\f";

class EscP2Test : public sw_test::TempDirTest {};

TEST_F(EscP2Test, FormFeedsAfterContentArePages) {
  // A form feed in the first 100 bytes never counts; two in a row count once.
  EXPECT_EQ(escp2(CONTENT + FF + PREAMBLE + CONTENT + FF + FF + CONTENT + FF).ja->pages, 2);
}

// ESC ( U with one parameter byte counts in 1/3600 inch; the bytes behind
// it belong to the next command (here zeros, which as a base would divide by
// zero).
TEST_F(EscP2Test, OneByteUnitFormCountsIn3600thInch) {
  const std::string unit = B("\x1b(U\x01\x00\x0a") + std::string(6, '\0');  // 10/3600 inch
  const std::string size = B("\x1b(S\x08\x00") + le32(2976) + le32(4209);    // in 1/360 inch
  const Result r = escp2(PREAMBLE + unit + size + CONTENT + FF);
  EXPECT_EQ(r.ja->page_width_mm, 210);
  EXPECT_EQ(r.ja->page_height_mm, 297);
  // The five-byte form: P over the base at byte 8 (Gutenprint: 2/1440 inch).
  const Result five = escp2(PREAMBLE + B("\x1b(U\x05\x00\x02\x02\x02\xa0\x05") +
                            B("\x1b(S\x08\x00") + le32(5950) + le32(8420) + CONTENT + FF);
  EXPECT_EQ(five.ja->page_width_mm, 210);
  EXPECT_EQ(five.ja->page_height_mm, 297);
}

// Commands cut off by the end of the data are not read (the buffers are
// exact-size: a read past the end fails under AddressSanitizer).
TEST_F(EscP2Test, TruncatedCommandsStayInTheData) {
  for (const std::string& tail : {B("\x1b(S\x08\x00\x01\x02\x03\x04"), B("\x1b(U\x05\x00\x02\x02\x02\xa0"),
                                  B("\x1b(K\x02\x00\x00"), B("\x1bi\x00\x00\x00\x10\x00\xff\xff"),
                                  B("\x1b.\x00\x0a\x0a\x18\xff\xff")}) {
    const Result r = escp2(PREAMBLE + CONTENT + FF + tail, 1, false);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.ja->page_width_mm, -1);
    EXPECT_EQ(r.ja->pages, 1);
  }
}

TEST_F(EscP2Test, RasterDataIsSkippedByItsLengths) {
  // ESC i, run-length: 4 rows of 3 bytes; the runs hold form feeds.
  const std::string rle = B("\x1bi\x00\x01\x02\x03\x00\x04\x00") + B("\x05\f\f\f\f\f\f") +
                          B("\xfb\f");  // 6 literal bytes, then 6 repeated: 12
  // ESC i, uncompressed: 2 rows of 2 bytes.
  const std::string raw = B("\x1bi\x00\x00\x02\x02\x00\x02\x00") + "\f\f\f\f";
  const Result r = escp2(PREAMBLE + rle + FF + raw + FF);
  EXPECT_EQ(r.ja->pages, 2);
}

// ESC i r c b nL nH mL mH: one uncompressed row of one byte in ink r.
std::string raster_row(char ink) { return B("\x1bi") + ink + B("\x00\x01\x01\x00\x01\x00\xff"); }

// A page is colour when its raster uses a colour ink in colour mode; a
// black-ink page of a colour-mode job is not.
TEST_F(EscP2Test, ColourInkMarksPages) {
  const std::string colour = B("\x1b(K\x02\x00\x00\x02");
  const std::string mono = B("\x1b(K\x02\x00\x00\x01");
  const std::string black_page = raster_row('\x00') + raster_row('\x40') + FF;
  const std::string cyan_page = raster_row('\x00') + raster_row('\x12') + FF;
  const Result r = escp2(PREAMBLE + colour + black_page + cyan_page + mono + cyan_page);
  EXPECT_EQ(r.ja->pages, 3);
  EXPECT_EQ(r.ja->color_pages, 1);
  EXPECT_EQ(r.ja->is_grayscale, 0);
  const Result gray = escp2(PREAMBLE + mono + black_page, 0);
  EXPECT_EQ(gray.ja->color_pages, -1);  // not asked for
  EXPECT_EQ(gray.ja->is_grayscale, 1);
  // Monochrome mode judges without raster; colour mode does not.
  EXPECT_EQ(escp2(PREAMBLE + mono + CONTENT + FF).ja->color_pages, 0);
  EXPECT_EQ(escp2(PREAMBLE + colour + CONTENT + FF).ja->color_pages, -1);
}

TEST_F(EscP2Test, DefaultSimplexIsDuplexOnlyForSeveralPagesWithoutPlexCommand) {
  const std::string head = B("\x1b(R\x08\x00\x00REMOTE1TI\x08\x00") + B("\x1b\x00\x00\x00");
  const std::string pm = B("\x1b(R\x08\x00\x00REMOTE1PM\x02\x00\x00\x00") + B("\x1b\x00\x00\x00");
  const std::string page = CONTENT + FF;
  EXPECT_EQ(escp2(head + PREAMBLE + pm + page + page).ja->is_duplex, 1);
  EXPECT_EQ(escp2(head + PREAMBLE + pm + page).ja->is_duplex, 0);
  EXPECT_EQ(escp2(head + PREAMBLE + pm + B("\x1b(j\x01\x00\x00") + page + page).ja->is_duplex, 0);
  // "DP" behind REMOTE1PM asks for duplex outright.
  const std::string dp = B("\x1b(R\x08\x00\x00REMOTE1PM\x02\x00" "DP") + B("\x1b\x00\x00\x00");
  EXPECT_EQ(escp2(dp + PREAMBLE + page).ja->is_duplex, 1);
}

TEST_F(EscP2Test, EjlLinesGiveCopies) {
  auto ejl = [](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "@EJL 1284.4\n";
    return s;
  };
  EXPECT_EQ(escp2(ejl(5) + PREAMBLE + CONTENT + FF).ja->copy_count, 4);
  EXPECT_EQ(escp2(ejl(2) + PREAMBLE + CONTENT + FF).ja->copy_count, 1);
}

// ---- ESC/P-R ----

const std::string ESCPR_MODE = B("\x1b(R\x06\x00\x00" "ESCPR");
const std::string START = B("\x1bp\x00\x00\x00\x00sttp");
const std::string END = B("\x1bp\x01\x00\x00\x00" "endp\x00");
const std::string END_JOB = B("\x1bj\x02\x00" "endj");

// setq: ESC q, LE32 9, "setq", then 9 bytes: the colour mode is byte 12 of
// the record (0 colour, 1 monochrome); bytes 13 and 17 are 0 either way.
std::string setq(char mode) { return B("\x1bq\x09\x00\x00\x00setq\x00\x01") + mode + std::string(7, '\0'); }

std::string escpr_job(const std::string& quality, int starts, int ends) {
  std::string job = B("\x1b@") + ESCPR_MODE + quality;
  job += B("\x1bj\x16\x00\x00\x00setj") + be32(2976) + be32(4209) + std::string(12, '\0') + '\0';
  for (int i = 0; i < starts; ++i) {
    job += START + B("\x1b" "d\x04\x00\x00\x00" "dsnd") + B("\x1bp\x01\x00");  // data like a record
    if (i < ends) job += END;
  }
  return job + END_JOB;
}

class EscPrTest : public sw_test::TempDirTest {};

TEST_F(EscPrTest, PrintQualityColourModeIsByte12) {
  const Result mono = escpr(escpr_job(setq('\x01'), 3, 3));
  EXPECT_EQ(mono.ja->pages, 3);
  EXPECT_EQ(mono.ja->color_pages, 0);
  EXPECT_EQ(mono.ja->is_grayscale, 1);
  const Result colour = escpr(escpr_job(setq('\x00'), 3, 3));
  EXPECT_EQ(colour.ja->pages, 3);
  // The colour mode says nothing of each page's marks: not judged.
  EXPECT_EQ(colour.ja->color_pages, -1);
  EXPECT_EQ(colour.ja->is_grayscale, 0);
  EXPECT_EQ(colour.ja->page_width_mm, 210);
  EXPECT_EQ(colour.ja->page_height_mm, 297);
}

TEST_F(EscPrTest, SecondQualityFormMarksTheDocumentColour) {
  const std::string second = B("\x1bp\x09\x00\x00\x00setq\x00\x00") + std::string(7, '\0');
  EXPECT_EQ(escpr(escpr_job(second, 2, 2)).ja->is_grayscale, 0);
}

TEST_F(EscPrTest, DuplexSettingInARemoteBlock) {
  const std::string remote = B("\x1b(R\x08\x00\x00REMOTE1DP\x02\x00\x00\x02\x1b\x00\x00\x00");
  EXPECT_EQ(escpr(remote + escpr_job(setq('\x01'), 2, 2)).ja->is_duplex, 1);
}

TEST_F(EscPrTest, DisagreeingCountsFallBack) {
  // Code 55: the ESC/P2 walk, which finds no form feed here.
  const Result escpr55 = escpr(escpr_job(setq('\x00'), 3, 2));
  EXPECT_EQ(escpr55.ja->pages, 0);
  // Code 48: the ESC/P3 page counter.
  const std::string p3_page = B("\x1bp\x00\x03" "endpE");
  const Result endp = escpr(escpr_job(setq('\x00'), 3, 2) + p3_page + p3_page + "\x1b@", LANG_EPSON_ENDP);
  EXPECT_EQ(endp.ja->pages, 2);
}

TEST_F(EscPrTest, TruncatedRecordsStayInTheData) {
  const std::string job = escpr_job(setq('\x00'), 2, 2);
  for (std::size_t cut = 1; cut < job.size(); cut += 3) {
    EXPECT_EQ(escpr(job.substr(0, cut)).status, 0);
  }
}

// ---- ESC/P3 ----

class EscP3Test : public sw_test::TempDirTest {};

std::string make_header(std::uint16_t dpi, std::uint16_t width, std::uint16_t height) {
  // "+makeD:", dpi, then width at byte 13 and height at byte 19.
  return "+makeD:" + be16(dpi) + B("M:\x00\x00") + be16(width) + B("N:\x00\x00") + be16(height) +
         "xx";
}

TEST_F(EscP3Test, PageHeaderSizeInItsDpi) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  const ExactBuffer b(make_header(720, 720, 1440) + B("\x1bp\x00\x03" "endpE") + "tail");
  EXPECT_EQ(epson2_process_job(b.data(), b.size(), ja.get()), 0);
  EXPECT_EQ(ja->pages, 1);
  EXPECT_EQ(ja->page_width_mm, 25);
  EXPECT_EQ(ja->page_height_mm, 51);
  for (std::uint16_t dpi : {0, 500}) {  // not a multiple of 360: 360 stays
    JobAttribsPtr kept(analyzer_create_job_attribs());
    const ExactBuffer k(make_header(dpi, 360, 360) + "tail");
    EXPECT_EQ(epson2_process_job(k.data(), k.size(), kept.get()), 0);
    EXPECT_EQ(kept->page_width_mm, 25);
  }
}

TEST_F(EscP3Test, TaggedNumbers) {
  struct Case {
    std::string block;
    char tag;
    int found;
    std::uint32_t value;
  };
  const Case cases[] = {
      {B("D:\x02\xd0M:\x12\x34\x56\x78N:\x07"), 'D', 1, 720},
      {B("D:\x02\xd0M:\x12\x34\x56\x78N:\x07"), 'M', 1, 0x12345678},
      {B("D:\x02\xd0M:\x12\x34\x56\x78N:\x07"), 'N', 1, 7},
      {B("D:\x02\xd0\x01"), 'D', 0, 0},  // 3 bytes
      {B("D:"), 'D', 0, 0},              // empty value
      {B("M:\x01"), 'D', 0, 0},          // no such tag
  };
  for (const Case& c : cases) {
    std::uint32_t v = 0;
    const ExactBuffer b(c.block);
    EXPECT_EQ(get_param_int(b.data(), b.size(), c.tag, &v), c.found) << c.tag;
    if (c.found) {
      EXPECT_EQ(v, c.value);
    }
  }
}

}  // namespace
