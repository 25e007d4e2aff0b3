// The PCL5 analyzer on every corpus file of its language codes (PCL5,
// HP-GL/2, PCL3GUI and Canon-wrapped PCL5): pages, colour pages, copies,
// duplex and paper against the tools' truths, through the analysis driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "analysis/analysis_test_util.h"
#include "analysis/analyzer.h"
#include "corpus/corpus.h"
#include "foundation/ja.h"
#include "foundation/util.h"

namespace {

using analysis_test::AnalysisTest;
using JaPtr = JobAttribsPtr;

// How a file's output departs from its source, by the driver's doing.
struct Expectation {
  std::string_view file;
  // The raster data's colour cannot be judged: colour pages unjudged.
  bool colour_unknown = false;
  enum Paper { SOURCE, NONE_IN_DATA, PLOT_AREA, LABEL_MEDIA } paper = SOURCE;
};

constexpr Expectation EXPECTATIONS[] = {
    {.file = "gs-cdj550-mixed-a4.pcl", .colour_unknown = true},
    {.file = "gs-paintjet-mixed-letter.pcl", .colour_unknown = true,
     .paper = Expectation::NONE_IN_DATA},
    {.file = "gs-dnj650c-mixed-a4.hpgl", .colour_unknown = true},
    {.file = "cf-rastertopclx-designjet750c-rgb-mixed-letter.pcl", .colour_unknown = true},
    {.file = "cf-hpcups-deskjet5100-mixed-a4.pcl", .colour_unknown = true},
    {.file = "cf-hpcups-ojpro8100-mixed-letter.pcl", .colour_unknown = true},
    {.file = "cf-hpcups-deskjet5100-text-custom.pcl", .colour_unknown = true},
    {.file = "gs-cdj670-three-a4.pcl", .colour_unknown = true},
    {.file = "gs-cdj850-three-a4.pcl", .colour_unknown = true},
    {.file = "gs-cdj890-three-a4.pcl", .colour_unknown = true},
    {.file = "gs-cdj1600-three-a4.pcl", .colour_unknown = true},
    {.file = "gs-pjetxl-three-a4.pcl", .colour_unknown = true, .paper = Expectation::NONE_IN_DATA},
    {.file = "gs-cdnj500-three-a4.pcl", .colour_unknown = true, .paper = Expectation::NONE_IN_DATA},
    {.file = "cf-hpcups-deskjet5650-duplex-three-a4.pcl", .colour_unknown = true},
    {.file = "cf-hpcups-envy5540-duplex-three-a4.pcl", .colour_unknown = true},
    {.file = "cf-hpcups-ojpro8600-duplex-three-a4.pcl", .colour_unknown = true},
    // Colour planes behind a palette of black and white.
    {.file = "gs-uniprint-cdj690-three-a4.pcl", .colour_unknown = true},
    {.file = "gs-uniprint-sharp-three-a4.pcl", .colour_unknown = true},
    // HP-GL/2 PS gives the plot area: the paper less the plotter's margins.
    {.file = "cf-rastertopclx-designjet600-text-a4.pcl", .paper = Expectation::PLOT_AREA},
    {.file = "cf-rastertolabel-intellitech-text-a4.prn", .paper = Expectation::LABEL_MEDIA},
};

Expectation expectation_of(const std::string& file) {
  for (const Expectation& e : EXPECTATIONS) {
    if (e.file == file) return e;
  }
  return Expectation{};
}

struct Size {
  int width;
  int height;
};

// Millimetres of the manifest's papers ("A4", "Letter", "400x600pt").
Size paper_mm(const std::string& paper) {
  if (paper == "A4") return {210, 297};
  if (paper == "Letter") return {216, 279};
  int w = 0;
  int h = 0;
  if (std::sscanf(paper.c_str(), "%dx%dpt", &w, &h) == 2) {
    return {static_cast<int>(w * 25.4 / 72 + 0.5), static_cast<int>(h * 25.4 / 72 + 0.5)};
  }
  ADD_FAILURE() << "unknown paper " << paper;
  return {0, 0};
}

// The record's paper: its name when it has one, else its size (either
// orientation).
void expect_paper(const CorpusRow& row, const JobAttribs& ja, Expectation::Paper kind) {
  if (kind == Expectation::LABEL_MEDIA) return;
  if (kind == Expectation::NONE_IN_DATA) {
    EXPECT_STREQ(ja.paper_size_name, "");
    EXPECT_LT(ja.page_width_mm, 1);
    return;
  }
  if (ja.paper_size_name[0] != '\0') {
    EXPECT_EQ(util_case_equal_str(ja.paper_size_name, row.paper.c_str()), 1)
        << ja.paper_size_name << " for " << row.paper;
    return;
  }
  const Size want = paper_mm(row.paper);
  const int w = std::min(ja.page_width_mm, ja.page_height_mm);
  const int h = std::max(ja.page_width_mm, ja.page_height_mm);
  const int margin = kind == Expectation::PLOT_AREA ? 25 : 1;
  EXPECT_LE(std::abs(w - std::min(want.width, want.height)), margin) << w << "x" << h;
  EXPECT_LE(std::abs(h - std::max(want.width, want.height)), margin) << w << "x" << h;
}

class Pcl5CorpusTest : public AnalysisTest {};

TEST_F(Pcl5CorpusTest, EveryFileOfItsLanguagesMatchesTheTruths) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows()) {
    if (row.lang != 5 && row.lang != 6 && row.lang != 16 && row.lang != 49) continue;
    SCOPED_TRACE(row.file);
    ++files;
    const Expectation e = expectation_of(row.file);
    JaPtr ja(analyzer_create_job_attribs());
    ASSERT_EQ(analyzer_process_spool_file_internal(row.path.c_str(), 1, 0, ja.get()), 0);
    EXPECT_EQ(ja->language, row.lang);
    EXPECT_EQ(ja->pages, row.pages);
    EXPECT_EQ(ja->copy_count, row.copies);
    EXPECT_EQ(ja->is_duplex, row.duplex ? 1 : 0);
    if (e.colour_unknown) {
      EXPECT_EQ(ja->color_pages, COLOR_PAGES_UNJUDGED);
      EXPECT_EQ(ja->is_grayscale, 0);
    } else {
      EXPECT_EQ(ja->color_pages, row.expected_colour_pages());
      EXPECT_EQ(ja->is_grayscale, row.expected_colour_pages() == 0 ? 1 : 0);
    }
    expect_paper(row, *ja, e.paper);

    // Without colour detection the colour pages stay uncounted.
    JaPtr plain(analyzer_create_job_attribs());
    ASSERT_EQ(analyzer_process_spool_file_internal(row.path.c_str(), 0, 0, plain.get()), 0);
    EXPECT_EQ(plain->pages, row.pages);
    EXPECT_EQ(plain->color_pages, -1);
  }
  EXPECT_GE(files, 20);
}

}  // namespace
