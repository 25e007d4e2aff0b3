// Canon UFR and LIPS on hand-made jobs: no free driver writes either, so
// the fixtures are built from the byte layouts of the records the analyzer
// reads (CPCA packets: CD CA, 10 00 or 10 02, opcode, 00 01, parameter
// length, FF FF and eight 00 bytes, then the parameters; numbers
// big-endian).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corpus/corpus.h"
#include "formats/canonufr.h"
#include "foundation/ja.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;

std::string be16(int v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xff)}; }
std::string be32(int v) { return be16(v >> 16) + be16(v & 0xffff); }

std::string cpca(int opcode, const std::string& params) {
  return "\xcd\xca\x10\x00"s + be16(opcode) + "\x00\x01"s + be16(static_cast<int>(params.size())) +
         "\xff\xff"s + std::string(8, '\0') + params;
}
// The CPCA records the walk counts.
std::string impression_1(int n) { return cpca(0x0012, "\x01\x13"s + be32(n)); }
std::string impression_2(int n) { return cpca(0x0012, "\x07\xd4"s + be16(n)); }
std::string inline_copy() { return cpca(0x006b, std::string(8, '\0')); }
// SET_BINDER: the job's CPCA copy count (read in the first 2048 bytes).
std::string binder_copies(int n) { return cpca(0x0015, "\x07\xd7"s + be16(n)); }
// Page ends of the models.
const std::string LIPS_EOP = "\x1b[eop data "s;
const std::string IPF5100_END = "\x1b\x45\xcd\xca\x10\x02 data "s;
const std::string LBP8730_END =
    "\x03\xe7\x85\x12\x70\x1a\x76\xde\x80\x01\xc8\x00\xca\xa1\x78\x78\xcb\x01\xcd\xca\x10\x02"
    "\x00\x1a\x00\x01"s;

std::string times(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}
// Every test but the last needs some room behind it.
std::string job(const std::string& body) { return body + std::string(100, ' '); }

struct Result {
  int pages, copies, duplex, grayscale;
  std::string paper;
  int width, height;
};

Result analyse(const std::string& bytes) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  const sw_test::ExactBuffer b(bytes);
  EXPECT_EQ(canonufr_process_job(b.data(), b.size(), ja.get()), 0);
  return {ja->pages,    ja->copy_count,       ja->is_duplex,    ja->is_grayscale,
          ja->paper_size_name, ja->page_width_mm, ja->page_height_mm};
}

class CanonUfr : public sw_test::TempDirTest {};

TEST_F(CanonUfr, PagesAndCopiesByPreference) {
  struct Case {
    const char* name;
    std::string job;
    int pages, copies;
  };
  const std::vector<Case> cases = {
      {"LIPS end-of-page commands", job(times(LIPS_EOP, 3)), 3, 1},
      {"IPF5100 page ends overrule the LIPS count",
       job(times(LIPS_EOP, 3) + times(IPF5100_END, 2)), 2, 1},
      {"impression 1 over impression 2", job(impression_2(3) + impression_1(6)), 6, 1},
      {"copies from the inline-copy records",
       job(impression_2(3) + impression_1(6) + inline_copy() + inline_copy()), 6, 2},
      {"impression 1 repeating the CPCA copies counts copies",
       job(binder_copies(4) + impression_1(4)), 0, 4},
      {"... and impression 2 then gives the pages",
       job(binder_copies(4) + impression_2(3) + impression_1(4)), 3, 1},
      {"the LBP8730 page ends win whatever else",
       job(times(LIPS_EOP, 2) + times(LBP8730_END, 5)), 5, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = analyse(c.job);
    EXPECT_EQ(r.pages, c.pages);
    EXPECT_EQ(r.copies, c.copies);
  }
}

TEST_F(CanonUfr, PaperDuplexAndColour) {
  const std::string gray_header = "\x1b*v10W\x02\x00\x00\x00\x00\x00\x08\x00\x00\x00 "s;
  const std::string color_header = "\x1b*v6W\x02\x00\x00\x08\x08\x08 "s;
  struct Case {
    const char* name;
    std::string job;
    Result want;
  };
  const std::vector<Case> cases = {
      {"LIPS alternate paper before the LIPS paper number",
       job("\x1b[14;;;;p \x7d\xca\xb1\x00\x07\x1d "s + LIPS_EOP),
       {.pages = 1, .copies = 1, .paper = "LETTER", .width = -1, .height = -1}},
      {"the LIPS paper number alone", job("\x1b[14;;;;p "s + LIPS_EOP),
       {.pages = 1, .copies = 1, .paper = "A4", .width = -1, .height = -1}},
      {"duplex layout", job("@PJL SET DUPLEX-LAYOUT=ON\n"s + LIPS_EOP),
       {.pages = 1, .copies = 1, .duplex = 1, .width = -1, .height = -1}},
      {"paper save", job("@PJL SET LIPS PAPER-SAVE=ON\n"s + LIPS_EOP),
       {.pages = 1, .copies = 1, .duplex = 1, .width = -1, .height = -1}},
      {"a gray PCL5 image header", job(gray_header + LIPS_EOP),
       {.pages = 1, .copies = 1, .grayscale = 1, .width = -1, .height = -1}},
      {"gray and colour PCL5 image headers", job(gray_header + color_header + LIPS_EOP),
       {.pages = 1, .copies = 1, .grayscale = 0, .width = -1, .height = -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = analyse(c.job);
    EXPECT_EQ(r.pages, c.want.pages);
    EXPECT_EQ(r.copies, c.want.copies);
    EXPECT_EQ(r.duplex, c.want.duplex);
    EXPECT_EQ(r.grayscale, c.want.grayscale);
    EXPECT_EQ(r.paper, c.want.paper);
    EXPECT_EQ(r.width, c.want.width);
    EXPECT_EQ(r.height, c.want.height);
  }
}

TEST_F(CanonUfr, InchPaperNameFromPjl) {
  const std::string pjl = "\x1b%-12345X@PJL JOB\n@PJL SET PAPER=INCH_8X11\n"s;
  const Result r = analyse(job(pjl + std::string(400, ' ') + LIPS_EOP));
  EXPECT_EQ(r.width, 203);
  EXPECT_EQ(r.height, 279);
}

// Every prefix of a job holding each kind of record stays in bounds
// (AddressSanitizer in CI).
TEST_F(CanonUfr, TruncatedJobsStayInBounds) {
  const std::string all = "@PJL SET PAPER=A4\n\x1b[30;1;2;3p\x1b [12;;;;p"s + binder_copies(2) +
                          impression_1(2) + impression_2(1) + inline_copy() + IPF5100_END +
                          "\x03\xe7\x85\x13\x80\x1b\x68\xde\x00\xcb\x01\x63\xe0\x00\xe8\xa5\x00"s +
                          "\x7d\xca\xb1\x00\x07\x16;ImgColor x\x1b[2v\x1b "s +
                          "\x1b*v6W\x02\x00\x00\x08\x08\x08"s +
                          LBP8730_END + LIPS_EOP;
  for (std::size_t n = 0; n <= all.size(); ++n) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    const sw_test::ExactBuffer b(all.substr(0, n));
    EXPECT_EQ(canonufr_process_job(b.data(), b.size(), ja.get()), 0);
  }
}

// LIPS jobs that Ghostscript's LIPS devices write without PJL: the pages are
// the form feeds between commands (raster data skipped by its length) and
// the paper the LIPS paper number. The vector mode of LIPS IV, whose images
// this walk does not follow, is not analysed (-1) rather than counted wrong.
TEST_F(CanonUfr, LipsJobsWithoutPjl) {
  struct LipsCase {
    const char* file;
    int result;
  };
  const LipsCase cases[] = {
      {"gs-lips4-text-a4.prn", 0},
      {"gs-lips3-three-a4.prn", 0},
      {"gs-lips4v-three-a4.prn", -1},
  };
  for (const LipsCase& c : cases) {
    SCOPED_TRACE(c.file);
    const auto row = corpus_row_named(c.file);
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->lang, 23);
    const std::string data = sw_test::read_file(row->path);
    ASSERT_FALSE(data.empty());
    JobAttribsPtr ja(analyzer_create_job_attribs());
    const sw_test::ExactBuffer b(data);
    EXPECT_EQ(canonufr_process_job(b.data(), b.size(), ja.get()), c.result);
    if (c.result != 0) continue;
    EXPECT_EQ(ja->pages, row->pages);
    EXPECT_EQ(std::string(ja->paper_size_name), row->paper);
    EXPECT_EQ(ja->color_pages, -1);
  }
  // Every prefix of a raster command stays in bounds.
  const std::string raster = "\x1b%@\x90" "31;300;0J\x9c\x9b" "14p\x9b" "3;1;300;9;8.rxyz\x0c"s;
  for (std::size_t n = 0; n <= raster.size(); ++n) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    const sw_test::ExactBuffer b(raster.substr(0, n));
    (void)canonufr_process_job(b.data(), b.size(), ja.get());
  }
}

}  // namespace
