// The record-format analyzers on real driver output (foo2zjs's drivers,
// SpliX, Ghostscript's GDI devices and the Minolta drivers): each corpus row
// of their language codes must give the truths of its source document and
// recipe (pages, copies, duplex, paper), and the colour pages of its source
// where the format's records mark each page's colour.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

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
    {"foo2hbpl2-wrapper-n2-d2-text-a4.hbpl", false, false, true, false,
     "foo2hbpl2's PJL says DUPLEX=OFF and its page records carry no duplex code"},
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

// A paper name must be the truth's, and a size (beside a name or alone) the
// truth's to the millimetre (sizes given in dots, rounded).
void expect_paper(const CorpusRow& row, const JobAttribs& ja) {
  if (ja.paper_size_name[0] != '\0') {
    EXPECT_EQ(util_case_equal_str(ja.paper_size_name, row.paper.c_str()), 1)
        << ja.paper_size_name << " for " << row.paper;
  }
  if (ja.page_width_mm <= 0) return;
  const Mm want = paper_mm(row.paper);
  EXPECT_NEAR(ja.page_width_mm, want.w, 1) << row.paper;
  EXPECT_NEAR(ja.page_height_mm, want.h, 1) << row.paper;
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

// Where the records mark each page's colour, the colour pages are the
// source's (0 and grayscale on for a gray job); where they do not, the
// colour is left unjudged (-1), never reported as gray.
TEST_F(RecordFormatsCorpus, ColourPagesWhereTheRecordsMarkThem) {
  struct Case {
    std::string_view file;
    bool judged;
    std::string_view why;
  };
  const Case cases[] = {
      {"foo2hp2600-wrapper-c-three-a4.zjs", true, "ZjStream: planes and dot items per page"},
      {"cf-foo2hp-cp1215-three-letter.zjs", true, "ZjStream: planes and dot items per page"},
      {"cf-foo2hp-cp1215-duplex-three-a4.zjs", true, "ZjStream, and its blank back side is gray"},
      {"foo2zjs-wrapper-z0-text-a4.zjs", true, "ZjStream: one plane a page"},
      {"cf-foo2qpdl-clp315-three-a4.qpdl", true, "QPDL: colour bands only on colour pages"},
      {"cf-foo2qpdl-clp600-three-a4.qpdl", true, "QPDL: colour bands only on colour pages"},
      {"cf-splix-clp315-three-a4.qpdl", true, "QPDL: colour bands only on colour pages"},
      {"cf-splix-clp600-three-letter.qpdl", true,
       "QPDL: blank JBIG in the gray pages' colour planes"},
      {"cf-splix-clp300-mixed-a4.qpdl", true, "QPDL"},
      {"foo2qpdl-wrapper-mixed-a4.qpdl", true, "QPDL"},
      {"cf-splix-ml2010-duplex-three-a4.qpdl", true, "QPDL: black planes only"},
      {"cf-foo2hbpl2-dell1355-three-a4.hbpl", true, "HBPL: the page-start record's colour byte"},
      {"foo2hbpl2-wrapper-mixed-a4.hbpl", true, "HBPL: the page-start record's colour byte"},
      {"cf-foo2hiperc-c310-three-a4.hiperc", true, "HiperC: the planes each page opens"},
      {"foo2hiperc-wrapper-c-mixed-a4.hiperc", true, "HiperC: the planes each page opens"},
      {"cf-foo2hiperc-c3400-mixed-letter.hiperc", true, "HiperC: the planes each page opens"},
      {"foo2xqx-wrapper-d2-three-a4.xqx", false, "XQX carries no colour mark"},
      {"foo2ddst-wrapper-three-a4.ddst", false, "DDST carries no colour mark"},
      {"cf-m2300w-text-a4.gdi", false, "m2300w sends four planes of a gray page's black text"},
      {"gs-pbmraw-min12xxw-1350w-text-a4.gdi", false, "the Minolta commands carry no colour mark"},
  };
  const std::vector<CorpusRow> rows = corpus_rows();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const CorpusRow* row = nullptr;
    for (const CorpusRow& r : rows) {
      if (r.file == c.file) row = &r;
    }
    ASSERT_NE(row, nullptr) << "no corpus row";
    const LangRow* lang = nullptr;
    for (const LangRow& l : LANG_ROWS) {
      if (l.code == row->lang) lang = &l;
    }
    ASSERT_NE(lang, nullptr);
    const Findings f = run_analyzer(*lang->entry, read_file(row->path), lang->extra);
    if (!c.judged) {
      EXPECT_EQ(f.ja->color_pages, -1) << c.why;
      continue;
    }
    EXPECT_EQ(f.ja->color_pages, row->expected_colour_pages()) << c.why;
    EXPECT_EQ(f.ja->is_grayscale, row->expected_colour_pages() == 0 ? 1 : 0) << c.why;
  }
}

}  // namespace
