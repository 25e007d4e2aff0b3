// CUPS raster and the Epson inkjet streams on the corpus files of their
// language codes (Ghostscript's cups and pwgraster devices, cups-filters'
// raster, Gutenprint's ESC/P2, Ghostscript's and CUPS's ESC/P without a
// remote-mode head, the escpr driver's ESC/P-R), each analyzer run on the
// mapped file as its dispatch row runs it, colour detection on: pages,
// copies, duplex, the colour mode, the colour pages and the paper against
// the recipes' truths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "corpus/corpus.h"
#include "formats/cupsraster.h"
#include "formats/epson.h"
#include "foundation/ja.h"
#include "foundation/mapped_mem.h"
#include "support/spool_analyze_run.h"
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

// The first page's paper: CUPS raster reports its first header's.
void expect_paper(const CorpusRow& row, const JobAttribs& ja) {
  const Size want = paper_mm(row.first_paper());
  EXPECT_LE(std::abs(ja.page_width_mm - want.width), 1) << ja.page_width_mm;
  EXPECT_LE(std::abs(ja.page_height_mm - want.height), 1) << ja.page_height_mm;
}

// The colour pages each analyzer reports with colour detection on.
int expected_colour_pages(const CorpusRow& row) {
  if (row.lang == LANG_CUPS_RASTER) {
    // Pages in a gray colour space are judged gray; the others not at all.
    return row.colour_out ? -1 : 0;
  }
  if (row.lang == LANG_ESCPR) {
    // The print-quality record sets the ink for the whole job: a job in
    // monochrome is judged gray, one in colour mode is not judged.
    return row.colour_out ? -1 : 0;
  }
  // A model whose raster rows reach their inks by nozzle rows, or whose
  // black is made of colour inks: not judged.
  if (corpus_note_value(row, "colour_unjudged") == 1) return -1;
  // ESC/P2: the pages whose raster uses a colour ink. Gutenprint prints
  // neutral gray fills with its colour inks too, and photoex some black
  // titles (the note's ink_colour).
  const int ink_colour = corpus_note_value(row, "ink_colour");
  if (row.colour_out && ink_colour >= 0) return ink_colour;
  return row.expected_colour_pages();
}

// ESC/P jobs without a remote-mode head (the dot-matrix devices, CUPS's
// rastertoepson, Ghostscript's older ESC/P2 devices) carry no ESC ( S: they
// name no paper, and none is reported.
bool names_no_paper(const CorpusRow& row) {
  for (const char* producer : {"-sDEVICE=epson", "-sDEVICE=lq850", "-sDEVICE=stcolor",
                               "-sDEVICE=photoex", "-sDEVICE=epsonc", "-sDEVICE=st800",
                               "-sDEVICE=uniprint", "-sDEVICE=mj700v2c", "-sDEVICE=mj500c",
                               "epson9.ppd", "epson24.ppd"}) {
    if (row.chain.find(producer) != std::string::npos) return true;
  }
  return false;
}

struct Analysed {
  int status = -1;
  JobAttribsPtr ja;
};

// The row's analyzer with its dispatch row's extra argument: ESC/P2 and
// ESC/P-R with colour detection (and the language in the record).
Analysed analyse(const CorpusRow& row) {
  Analysed a{-1, JobAttribsPtr(analyzer_create_job_attribs())};
  MappedMemPtr spool(create_mapped_mem(row.path.c_str()));
  if (!spool || !a.ja) return a;
  a.ja->language = row.lang;
  if (row.lang == LANG_CUPS_RASTER) {
    a.status = CUPSRASTER_ANALYZER.analyze(spool->data, spool->size, 0, a.ja.get());
  } else if (row.lang == LANG_ESCP2) {
    a.status = EPSON_ANALYZER.analyze(spool->data, spool->size, 1, a.ja.get());
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
    // Other makers' languages behind the ESC/P reset are not analysed:
    // their pages are no ESC/P form feeds.
    if (corpus_note_value(row, "not_analysed") == 1) {
      EXPECT_EQ(a.status, -1);
      continue;
    }
    ASSERT_EQ(a.status, 0);
    EXPECT_EQ(a.ja->pages, row.pages);
    EXPECT_EQ(a.ja->copy_count, row.copies);
    EXPECT_EQ(a.ja->is_duplex, row.duplex ? 1 : 0);
    EXPECT_EQ(a.ja->is_grayscale, row.colour_out ? 0 : 1);
    EXPECT_EQ(a.ja->color_pages, expected_colour_pages(row));
    if (names_no_paper(row)) {
      EXPECT_EQ(a.ja->page_width_mm, -1);
      EXPECT_EQ(a.ja->page_height_mm, -1);
    } else {
      expect_paper(row, *a.ja);
    }
  }
  EXPECT_GE(files, 20);
}

// The ink of ESC/P2 dot raster and of ESC/P bit images is chosen before
// them, by ESC r n or ESC ( r 02 00 d n: each page's own choice makes it
// colour or not. The three-page document has its colour on page 2.
TEST_F(RasterEpsonCorpusTest, InkChosenBeforeTheRasterMarksEachPage) {
  struct Case {
    std::string_view file;
    int color_pages;
    int grayscale;
  };
  const Case cases[] = {
      {"gs-photoex-three-a4.prn", 1, 0},  // ESC ( r before each ESC . raster
      {"gs-stcolor-three-a4.prn", 1, 0},  // ESC r before each ESC . raster
      {"gs-epsonc-three-a4.prn", 1, 0},   // ESC r before the ESC * bit images
      {"gs-st800-three-a4.prn", 0, 1},    // black ESC . raster only
      {"gs-mj700v2c-three-a4.prn", 1, 0}, // every ink's band, empty ones too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::optional<CorpusRow> row = corpus_row_named(c.file);
    ASSERT_TRUE(row.has_value()) << "no corpus row";
    const Analysed a = analyse(*row);
    ASSERT_EQ(a.status, 0);
    EXPECT_EQ(a.ja->pages, 3);
    EXPECT_EQ(a.ja->color_pages, c.color_pages);
    EXPECT_EQ(a.ja->is_grayscale, c.grayscale);
  }
}

// The raster's own copies (NumCopies in its headers, each page once) are
// the job's after the merge into the job record, as the job flow runs it.
TEST_F(RasterEpsonCorpusTest, RasterCopiesSurviveTheMerge) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows()) {
    if (row.lang != LANG_CUPS_RASTER) continue;
    SCOPED_TRACE(row.file);
    ++files;
    auto f = sw_test::spool_analyze_fields(row.path);
    ASSERT_EQ(f["status"], "0");
    EXPECT_EQ(f["pages"], std::to_string(row.pages));
    EXPECT_EQ(f["copies"], std::to_string(row.copies));
  }
  EXPECT_GE(files, 6);
}

}  // namespace
