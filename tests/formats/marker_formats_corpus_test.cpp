// The marker-counting formats on the corpus files of their language codes
// (Canon BJ from Gutenprint and Ghostscript, the SAG-GDI laser from
// rastertosag-gdi, the label jobs of CUPS's Dymo and Zebra drivers, LIDIL
// from hpcups), run
// through the built spool-analyze as the job flow runs them: pages, copies,
// duplex, the colour mode and the paper against the recipes' truths.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "corpus/corpus.h"
#include "support/spool_analyze_run.h"

namespace {

constexpr int LANG_CANON_BJ = 20;
constexpr int LANG_SAG_GDI = 58;
constexpr int LANG_LIDIL = 13;  // GDI (HP): hpcups' LIDIL
constexpr int LANG_ZEBRA2 = 39;
constexpr int LANG_DYMO = 47;
// How far short of the paper Canon BJ's printable area may fall, in mm.
constexpr int CANON_PRINTABLE_SHORT_MM = 3;

bool is_label(int lang) { return lang == LANG_ZEBRA2 || lang == LANG_DYMO; }

// Ghostscript's Canon BJ devices and Gutenprint's older BJC models send no
// ESC ( p: their jobs name no printable area, and none is reported.
bool names_no_area(const CorpusRow& row) {
  return row.chain.find("gs -sDEVICE=bj") != std::string::npos ||
         row.chain.find("gutenprint.5.3://bjc-85/") != std::string::npos;
}

using sw_test::paper_key;
using sw_test::spool_analyze_fields;

TEST(MarkerFormatsCorpus, EveryFileGivesItsTruths) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows()) {
    if (row.lang != LANG_CANON_BJ && row.lang != LANG_SAG_GDI && !is_label(row.lang) &&
        row.lang != LANG_LIDIL) {
      continue;
    }
    SCOPED_TRACE(row.file);
    ++files;
    auto f = spool_analyze_fields(row.path);
    ASSERT_EQ(f["status"], "0");
    EXPECT_EQ(f["language"], std::to_string(row.lang));
    EXPECT_EQ(f["pages"], std::to_string(row.pages));
    EXPECT_EQ(f["copies"], std::to_string(row.copies));
    EXPECT_EQ(f["duplex"], row.duplex ? "1" : "0");
    // No format here tells colour pages apart: colour is not counted, and a
    // gray job says so through its colour mode (label jobs have none); a
    // Canon BJ job in monochrome mode, or in the raster of the black-only
    // printers, is judged gray throughout.
    const bool judged_gray = row.lang == LANG_CANON_BJ && !row.colour_out;
    EXPECT_EQ(f["color_pages"], judged_gray ? "0" : "-1");
    // Label jobs and LIDIL say nothing of the job's colour mode; SAG-GDI
    // marks none either, so its jobs (from a black-and-white laser's
    // driver) are not taken as gray.
    if (row.lang == LANG_SAG_GDI) {
      EXPECT_EQ(f["grayscale"], "0");
    } else if (!is_label(row.lang) && row.lang != LANG_LIDIL) {
      EXPECT_EQ(f["grayscale"], row.colour_out ? "0" : "1");
    }
    // The SAG-GDI page header codes the paper; Canon BJ gives its printable
    // area, the length first, a few millimetres short of the paper; the
    // label jobs and LIDIL give none.
    if (row.lang == LANG_SAG_GDI) {
      EXPECT_EQ(paper_key(f["paper"]), paper_key(row.paper));
    } else if (is_label(row.lang) || row.lang == LANG_LIDIL) {
      continue;
    } else if (names_no_area(row)) {
      EXPECT_EQ(f["page_width_mm"], "-1");
      EXPECT_EQ(f["page_height_mm"], "-1");
    } else {
      const bool a4 = row.paper == "A4";
      EXPECT_NEAR(std::stoi(f["page_width_mm"]), a4 ? 210 : 216, CANON_PRINTABLE_SHORT_MM);
      EXPECT_NEAR(std::stoi(f["page_height_mm"]), a4 ? 297 : 279, CANON_PRINTABLE_SHORT_MM);
    }
  }
  EXPECT_GE(files, 7);
}

}  // namespace
