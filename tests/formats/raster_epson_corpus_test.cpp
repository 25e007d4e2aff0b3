// CUPS raster and the Epson inkjet streams on the corpus files of their
// language codes (Ghostscript's cups and pwgraster devices, cups-filters'
// raster, Gutenprint's ESC/P2, Ghostscript's and CUPS's ESC/P without a
// remote-mode head, the escpr driver's ESC/P-R), each analyzer
// run on the mapped file as its dispatch row runs it: pages, copies, duplex,
// the colour mode and the paper against the recipes' truths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "corpus/corpus.h"
#include "formats/cupsraster.h"
#include "formats/epson.h"
#include "foundation/ja.h"
#include "foundation/mapped_mem.h"
#include "support/test_support.h"

namespace {

constexpr int LANG_ESCP2 = 18;
constexpr int LANG_CUPS_RASTER = 24;
constexpr int LANG_ESCPR = 55;

struct Size {
  int width;
  int height;
};

Size paper_mm(const std::string& paper) {
  if (paper == "A4") return {210, 297};
  if (paper == "Letter") return {216, 279};
  ADD_FAILURE() << "unknown paper " << paper;
  return {0, 0};
}

// For some models Gutenprint adds the model's extra bottom margin to the
// page length of ESC ( S (9 mm on the C88 and the XP-240): only the width is
// the paper's.
bool length_has_extra_margin(const CorpusRow& row) {
  return row.file.find("gutenprint-xp240") != std::string::npos ||
         row.file.find("gutenprint-c88") != std::string::npos;
}

void expect_paper(const CorpusRow& row, const JobAttribs& ja) {
  const Size want = paper_mm(row.paper);
  EXPECT_LE(std::abs(ja.page_width_mm - want.width), 1) << ja.page_width_mm;
  if (length_has_extra_margin(row)) {
    EXPECT_GE(ja.page_height_mm, want.height);
  } else {
    EXPECT_LE(std::abs(ja.page_height_mm - want.height), 1) << ja.page_height_mm;
  }
}

// ESC/P jobs without a remote-mode head (the dot-matrix devices, CUPS's
// rastertoepson, Ghostscript's older ESC/P2 devices) carry no ESC ( S: they
// name no paper, and none is reported.
bool names_no_paper(const CorpusRow& row) {
  for (const char* producer : {"-sDEVICE=epson", "-sDEVICE=lq850", "-sDEVICE=stcolor",
                               "epson9.ppd", "epson24.ppd"}) {
    if (row.chain.find(producer) != std::string::npos) return true;
  }
  return false;
}

struct Analysed {
  int status = -1;
  JobAttribsPtr ja;
};

// The row's analyzer with its dispatch row's extra argument: ESC/P2 without
// colour detection, ESC/P-R with it and the language in the record.
Analysed analyse(const CorpusRow& row) {
  Analysed a{-1, JobAttribsPtr(analyzer_create_job_attribs())};
  MappedMemPtr spool(create_mapped_mem(row.path.c_str()));
  if (!spool || !a.ja) return a;
  a.ja->language = row.lang;
  if (row.lang == LANG_CUPS_RASTER) {
    a.status = CUPSRASTER_ANALYZER.analyze(spool->data, spool->size, 0, a.ja.get());
  } else if (row.lang == LANG_ESCP2) {
    a.status = EPSON_ANALYZER.analyze(spool->data, spool->size, 0, a.ja.get());
  } else {
    a.status = EPSON_NEW_ANALYZER.analyze(spool->data, spool->size, 1, a.ja.get());
  }
  return a;
}

class RasterEpsonCorpusTest : public sw_test::TempDirTest {};

TEST_F(RasterEpsonCorpusTest, EveryFileGivesItsTruths) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows()) {
    if (row.lang != LANG_CUPS_RASTER && row.lang != LANG_ESCP2 && row.lang != LANG_ESCPR) continue;
    SCOPED_TRACE(row.file);
    ++files;
    const Analysed a = analyse(row);
    ASSERT_EQ(a.status, 0);
    EXPECT_EQ(a.ja->pages, row.pages);
    EXPECT_EQ(a.ja->copy_count, row.copies);
    EXPECT_EQ(a.ja->is_duplex, row.duplex ? 1 : 0);
    EXPECT_EQ(a.ja->is_grayscale, row.colour_out ? 0 : 1);
    if (row.lang == LANG_ESCPR) {
      // The print-quality record sets the ink for the whole job: every page
      // of a colour job is counted as colour.
      EXPECT_EQ(a.ja->color_pages, row.colour_out ? row.pages : 0);
    } else {
      EXPECT_EQ(a.ja->color_pages, -1);
    }
    if (names_no_paper(row)) {
      EXPECT_EQ(a.ja->page_width_mm, -1);
      EXPECT_EQ(a.ja->page_height_mm, -1);
    } else {
      expect_paper(row, *a.ja);
    }
  }
  EXPECT_GE(files, 12);
}

}  // namespace
