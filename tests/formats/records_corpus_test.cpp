// The record-format analyzers on real driver output (foo2zjs's drivers,
// SpliX, Ghostscript's GDI devices and the Minolta drivers): each corpus row
// of their language codes must give the truths of its source document and
// recipe (pages, copies, duplex, paper).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "corpus/corpus.h"
#include "formats/canongaro.h"
#include "formats/fxplw.h"
#include "formats/hbpl.h"
#include "formats/hiperc.h"
#include "formats/hpgdi.h"
#include "formats/kmgdi.h"
#include "formats/lexmark.h"
#include "formats/qpdl.h"
#include "formats/record_formats_test_util.h"
#include "formats/zjstream.h"
#include "foundation/util.h"

namespace {

using namespace record_formats_test;

// The dispatch rows of these language codes (the table itself lives above
// the formats library).
struct LangRow {
  int code;
  const AnalyzerEntry* entry;
  int extra;
};
const LangRow LANG_ROWS[] = {
    {7, &HBPL_ANALYZER, 0},           {10, &FXPLW_ANALYZER, 0},
    {11, &HP_GDI_LOCAL_ANALYZER, 0},  {12, &HP_GDI_REMOTE_ANALYZER, 0},
    {14, &HP_GDI_LOCAL_ANALYZER, 0},  {19, &QPDL_ANALYZER, 0},
    {22, &CANONGARO_ANALYZER, 0},     {25, &LEXMARK_SMART_ANALYZER, 0},
    {28, &ZJSTREAM_ANALYZER, 1},      {30, &HBPL_ANALYZER, 0},
    {31, &HIPERC_ANALYZER, 0},        {32, &KMGDI_ANALYZER, 0},
    {33, &KMGDI_ANALYZER, 0},         {35, &KMGDI_BIZHUB_ANALYZER, 0},
    {50, &KMGDI_WSMC_ANALYZER, 0},    {67, &ZJSTREAM_ANALYZER, 0},
};

// Rows where the format's own records miss a truth, each noted with why:
// the analyzer's finding is not compared for the fields marked.
struct KnownMiss {
  std::string_view file;
  bool pages;
  bool copies;
  bool duplex;
  bool paper;
  std::string_view why;
};
const KnownMiss KNOWN_MISSES[] = {
    {"cf-m2300w-text-a4.gdi", true, false, false, false,
     "m2300w writes no page marker, IMAGELEN header or PJL page: the spooler's count stands"},
    {"gs-pbmraw-min12xxw-1350w-text-a4.gdi", true, false, false, false,
     "min12xxw writes no page marker, IMAGELEN header or PJL page: the spooler's count stands"},
    {"foo2hbpl2-wrapper-text-letter.hbpl", false, false, false, true,
     "no PJL paper and no dimension record: the A4 rule names A4 for a Letter job"},
    {"foo2hbpl2-wrapper-n2-d2-text-a4.hbpl", false, false, true, false,
     "foo2hbpl2's PJL says DUPLEX=OFF; its duplex code is in records the rules do not read"},
    {"cf-splix-clp300-duplex-copies2-mixed-a4.qpdl", false, false, true, false,
     "SpliX manual duplex says DUPLEX=MANUAL, which the PJL header step does not take as duplex"},
};

const KnownMiss* known_miss(const std::string& file) {
  for (const KnownMiss& m : KNOWN_MISSES) {
    if (m.file == file) return &m;
  }
  return nullptr;
}

struct Mm {
  int w;
  int h;
};
Mm paper_mm(const std::string& paper) {
  if (paper == "A4") return {210, 297};
  if (paper == "Letter") return {216, 279};
  ADD_FAILURE() << "unknown paper " << paper;
  return {0, 0};
}

// A paper name must be the truth's; a size alone must lie within 5 mm of it
// (the remote HP GDI form's dots-per-millimetre make its sizes a few
// millimetres large).
void expect_paper(const CorpusRow& row, const JobAttribs& ja) {
  if (ja.paper_size_name[0] != '\0') {
    EXPECT_EQ(util_case_equal_str(ja.paper_size_name, row.paper.c_str()), 1)
        << ja.paper_size_name << " for " << row.paper;
    return;
  }
  if (ja.page_width_mm <= 0) return;
  const Mm want = paper_mm(row.paper);
  EXPECT_NEAR(ja.page_width_mm, want.w, 5) << row.paper;
  EXPECT_NEAR(ja.page_height_mm, want.h, 5) << row.paper;
}

class RecordFormatsCorpus : public sw_test::TempDirTest {};

TEST_F(RecordFormatsCorpus, RowsGiveTheirTruths) {
  int rows_seen = 0;
  for (const LangRow& lang : LANG_ROWS) {
    for (const CorpusRow& row : corpus_rows_for_lang(lang.code)) {
      SCOPED_TRACE(row.file);
      ++rows_seen;
      const std::string data = read_file(row.path);
      ASSERT_FALSE(data.empty()) << row.path;
      const Findings f = run_analyzer(*lang.entry, data, lang.extra);
      EXPECT_EQ(f.result, 0);
      static constexpr KnownMiss NONE{};
      const KnownMiss& miss = known_miss(row.file) != nullptr ? *known_miss(row.file) : NONE;
      if (!miss.pages) {
        EXPECT_EQ(f.ja->pages, row.pages);
      }
      if (!miss.why.empty())
        std::printf("%s: pages %d, copies %d, duplex %d, paper '%s' (%.*s)\n", row.file.c_str(),
                    f.ja->pages, f.ja->copy_count, f.ja->is_duplex, f.ja->paper_size_name,
                    static_cast<int>(miss.why.size()), miss.why.data());
      if (!miss.copies) {
        EXPECT_EQ(f.ja->copy_count, row.copies);
      }
      if (!miss.duplex) {
        EXPECT_EQ(f.ja->is_duplex, row.duplex ? 1 : 0);
      }
      if (f.ja->color_pages >= 0) {
        EXPECT_EQ(f.ja->color_pages, row.expected_colour_pages());
      }
      if (!miss.paper) expect_paper(row, *f.ja);
    }
  }
  EXPECT_GT(rows_seen, 0);
}

}  // namespace
