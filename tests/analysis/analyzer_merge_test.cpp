// The merge of an analysis record into the job record: which side wins for
// each attribute, as a table of job/analysis pairs and the merged values.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/analyzer.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/util.h"

namespace {

using analysis_test::AnalysisTest;
using Edit = std::function<void(JobAttribs*)>;

void text(char* field, const char* value) { util_safe_strncpy(field, value, JA_TEXT_SIZE); }

class MergeTest : public AnalysisTest {
 protected:
  struct Case {
    const char* name;
    Edit job;
    Edit analysis;
    int color;
    int keep;
    int n_up;
    std::function<void(const JobAttribs*)> check;
  };
  void run(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      JobAttribsPtr j(analyzer_create_job_attribs());
      JobAttribsPtr a(analyzer_create_job_attribs());
      if (c.job) c.job(j.get());
      if (c.analysis) c.analysis(a.get());
      analyzer_splice_job_attribs(j.get(), a.get(), c.color, c.keep, c.n_up);
      c.check(j.get());
    }
  }
};

TEST_F(MergeTest, PagesCopiesAndColour) {
  run({
      {"analysis pages win", [](JobAttribs* j) { j->pages = 3; },
       [](JobAttribs* a) { a->pages = 5; a->color_pages = 2; a->copy_count = 4; }, 1, 1, -1,
       [](const JobAttribs* j) {
         EXPECT_EQ(j->pages, 5);
         EXPECT_EQ(j->color_pages, 2);
         EXPECT_EQ(j->copy_count, 4);
       }},
      {"no analysis pages keeps the spooler's", [](JobAttribs* j) { j->pages = 3; },
       [](JobAttribs* a) { a->pages = 0; }, 0, 1, -1,
       [](const JobAttribs* j) { EXPECT_EQ(j->pages, 3); }},
      {"no pages anywhere gives one", nullptr, [](JobAttribs* a) { a->pages = 0; }, 0, 1, -1,
       [](const JobAttribs* j) { EXPECT_EQ(j->pages, 1); }},
      {"analysis copies of 1 leave the spooler's", [](JobAttribs* j) { j->copy_count = 3; },
       [](JobAttribs* a) { a->copy_count = 1; a->pages = 2; }, 0, 1, -1,
       [](const JobAttribs* j) { EXPECT_EQ(j->copy_count, 3); }},
      {"colour pages never exceed pages", nullptr,
       [](JobAttribs* a) { a->pages = 9; a->color_pages = 9; }, 1, 1, 4,
       [](const JobAttribs* j) {
         EXPECT_EQ(j->pages, 3);
         EXPECT_EQ(j->color_pages, 3);
       }},
      {"n-up 4 over 9 pages", nullptr, [](JobAttribs* a) { a->pages = 9; }, 0, 1, 4,
       [](const JobAttribs* j) { EXPECT_EQ(j->pages, 3); }},
      {"n-up 1 leaves pages", nullptr, [](JobAttribs* a) { a->pages = 9; }, 0, 1, 1,
       [](const JobAttribs* j) { EXPECT_EQ(j->pages, 9); }},
      {"n-up -1 leaves pages", nullptr, [](JobAttribs* a) { a->pages = 9; }, 0, 1, -1,
       [](const JobAttribs* j) { EXPECT_EQ(j->pages, 9); }},
      {"n-up on the largest page count", nullptr, [](JobAttribs* a) { a->pages = INT32_MAX; }, 0,
       1, 16, [](const JobAttribs* j) { EXPECT_EQ(j->pages, 134217728); }},
  });
}

// Colour pages reach the server as the analysis judged them, or as -1 (not
// counted): never as 0 for colour nobody judged, and never without colour
// detection.
TEST_F(MergeTest, ColourIsJudgedOrNotCounted) {
  struct Case {
    const char* name;
    int color;            // the printer's colour detection
    int spooler_pages;    // the job record's pages before the merge
    int pages;            // the analysis record's
    int colour_pages;     // the analysis record's
    int want;             // colour pages after the merge
    const char* reason;   // the INFO line that says why it is not counted
  };
  const Case cases[] = {
      {"judged gray", 1, 3, 4, 0, 0, nullptr},
      {"judged colour", 1, 3, 4, 2, 2, nullptr},
      {"judged colour on every page", 1, 3, 4, 4, 4, nullptr},
      {"not judged by the analyzer", 1, 3, 4, -1, -1,
       "Colour pages of the PDF job not judged by the analyzer: sent as not counted"},
      {"could not be judged", 1, 3, 4, COLOR_PAGES_UNJUDGED, -1,
       "Colour pages of the PDF job could not be judged: sent as not counted"},
      {"no pages found, judged gray", 1, 3, 0, 0, -1,
       "Colour pages of the PDF job not judged: the analysis found no pages"},
      {"no pages found, not judged", 1, 3, 0, -1, -1,
       "Colour pages of the PDF job not judged: the analysis found no pages"},
      {"no pages anywhere", 1, 0, 0, -1, -1,
       "Colour pages of the PDF job not judged: the analysis found no pages"},
      {"detection off, judged colour", 0, 3, 4, 2, -1, nullptr},
      {"detection off, judged gray", 0, 3, 4, 0, -1, nullptr},
      {"detection off, not judged", 0, 3, 4, -1, -1, nullptr},
      {"detection off, could not be judged", 0, 3, 4, COLOR_PAGES_UNJUDGED, -1, nullptr},
      {"detection off, no pages found", 0, 3, 0, 0, -1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_log();
    JobAttribsPtr j(analyzer_create_job_attribs());
    JobAttribsPtr a(analyzer_create_job_attribs());
    j->pages = c.spooler_pages;
    j->color_pages = 1;  // whatever the spooler's record held never reaches the server
    a->language = LANG_PDF;
    a->pages = c.pages;
    a->color_pages = c.colour_pages;
    analyzer_splice_job_attribs(j.get(), a.get(), c.color, 1, -1);
    EXPECT_EQ(j->color_pages, c.want);
    EXPECT_EQ(j->pages, c.pages >= 1 ? c.pages : std::max(c.spooler_pages, 1));
    if (c.reason != nullptr) {
      const std::string text = log();
      const std::size_t at = text.find(c.reason);
      ASSERT_NE(at, std::string::npos) << text;
      const std::size_t line = text.rfind('\n', at);
      EXPECT_NE(text.substr(line == std::string::npos ? 0 : line, at - line).find("INFO"),
                std::string::npos)
          << text;
    } else {
      EXPECT_FALSE(logged("sent as not counted")) << log();
    }
  }
}

TEST_F(MergeTest, CupsRasterCopies) {
  auto raster = [](JobAttribs* a) {
    a->language = LANG_CUPS_RASTER;
    a->copy_count = 5;
  };
  run({
      {"6 pages, 3 copies", [](JobAttribs* j) { j->pages = 6; j->copy_count = 3; }, raster, 0, 1,
       -1,
       [](const JobAttribs* j) {
         EXPECT_EQ(j->pages, 2);
         EXPECT_EQ(j->copy_count, 3);
       }},
      {"7 pages, 3 copies", [](JobAttribs* j) { j->pages = 7; j->copy_count = 3; }, raster, 0, 1,
       -1,
       [](const JobAttribs* j) {
         EXPECT_EQ(j->pages, 7);
         EXPECT_EQ(j->copy_count, 1);
       }},
      // The raster holds every copy as pages of its own: 12 raster pages
      // are billed once, not 12 x 3.
      {"raster pages replace the divided ones and carry the copies",
       [](JobAttribs* j) { j->pages = 6; j->copy_count = 3; },
       [](JobAttribs* a) { a->language = LANG_CUPS_RASTER; a->pages = 12; }, 0, 1, -1,
       [](const JobAttribs* j) {
         EXPECT_EQ(j->pages, 12);
         EXPECT_EQ(j->copy_count, 1);
       }},
      // Copies in the raster's own header: the printer makes them, each
      // page is in the raster once.
      {"header copies of counted raster pages stand",
       [](JobAttribs* j) { j->pages = 3; j->copy_count = 2; },
       [](JobAttribs* a) { a->language = LANG_CUPS_RASTER; a->pages = 3; a->copy_count = 2; },
       0, 1, -1,
       [](const JobAttribs* j) {
         EXPECT_EQ(j->pages, 3);
         EXPECT_EQ(j->copy_count, 2);
       }},
      {"raster pages that the copies do not divide",
       [](JobAttribs* j) { j->pages = 7; j->copy_count = 3; },
       [](JobAttribs* a) { a->language = LANG_CUPS_RASTER; a->pages = 21; }, 0, 1, -1,
       [](const JobAttribs* j) {
         EXPECT_EQ(j->pages, 21);
         EXPECT_EQ(j->copy_count, 1);
       }},
  });
}

TEST_F(MergeTest, FlagsNamesAndPaper) {
  run({
      {"keep: spooler's duplex stays", [](JobAttribs* j) { j->is_duplex = 1; },
       [](JobAttribs* a) { a->is_duplex = 0; a->is_tumble = 1; }, 0, 1, -1,
       [](const JobAttribs* j) {
         EXPECT_EQ(j->is_duplex, 1);
         EXPECT_EQ(j->is_tumble, 1);
       }},
      {"no keep: analysis flags replace", [](JobAttribs* j) { j->is_duplex = 1; j->is_grayscale = 1; },
       [](JobAttribs* a) { a->is_duplex = 0; }, 0, 0, -1,
       [](const JobAttribs* j) {
         EXPECT_EQ(j->is_duplex, 0);
         EXPECT_EQ(j->is_grayscale, 0);
       }},
      {"language and size always from the analysis",
       [](JobAttribs* j) { j->language = LANG_PCL5; j->size_kb = 9; },
       [](JobAttribs* a) { a->language = LANG_PDF; a->size_kb = 0; }, 0, 1, -1,
       [](const JobAttribs* j) {
         EXPECT_EQ(j->language, LANG_PDF);
         EXPECT_EQ(j->size_kb, 0);
       }},
      {"names fill only empty fields",
       [](JobAttribs* j) { text(j->printer_name, "lab"); },
       [](JobAttribs* a) {
         text(a->printer_name, "other");
         text(a->printer_type, "HP LaserJet 4");
         text(a->spool_file, "/var/spool/cups/d1");
         text(a->client_machine, "ws-7");
       },
       0, 1, -1,
       [](const JobAttribs* j) {
         EXPECT_STREQ(j->printer_name, "lab");
         EXPECT_STREQ(j->printer_type, "HP LaserJet 4");
         EXPECT_STREQ(j->spool_file, "/var/spool/cups/d1");
         EXPECT_STREQ(j->client_machine, "ws-7");
       }},
      {"paper name with its size", [](JobAttribs* j) {
         text(j->paper_size_name, "LETTER");
         j->page_width_mm = 216;
         j->page_height_mm = 279;
       },
       [](JobAttribs* a) { text(a->paper_size_name, "A4"); }, 0, 1, -1,
       [](const JobAttribs* j) {
         EXPECT_STREQ(j->paper_size_name, "A4");
         EXPECT_EQ(j->page_width_mm, -1);
       }},
      {"page size without a name", [](JobAttribs* j) { text(j->paper_size_name, "LETTER"); },
       [](JobAttribs* a) { a->page_width_mm = 210; a->page_height_mm = 297; }, 0, 1, -1,
       [](const JobAttribs* j) {
         EXPECT_STREQ(j->paper_size_name, "");
         EXPECT_EQ(j->page_height_mm, 297);
       }},
      {"no paper in the analysis", [](JobAttribs* j) { text(j->paper_size_name, "LETTER"); },
       [](JobAttribs* a) { a->page_width_mm = 210; a->page_height_mm = 0; }, 0, 1, -1,
       [](const JobAttribs* j) { EXPECT_STREQ(j->paper_size_name, "LETTER"); }},
  });
}

TEST_F(MergeTest, DocumentAndUserNames) {
  auto named = [](const char* document) {
    return [document](JobAttribs* j) {
      text(j->document_name, document);
      text(j->username, "spooler-user");
    };
  };
  auto analysed = [](JobAttribs* a) {
    text(a->document_name, "Quarterly report.docx");
    text(a->username, "kim");
  };
  const std::vector<Case> cases = {
      {"downlevel name in any case", named("LOCAL downlevel DOCUMENT"), analysed, 0, 1, -1,
       [](const JobAttribs* j) { EXPECT_STREQ(j->document_name, "Quarterly report.docx"); }},
      {"remote downlevel name", named("Remote Downlevel Document"), analysed, 0, 1, -1,
       [](const JobAttribs* j) { EXPECT_STREQ(j->document_name, "Quarterly report.docx"); }},
      {"empty document name stays empty", named(""), analysed, 0, 1, -1,
       [](const JobAttribs* j) { EXPECT_STREQ(j->document_name, ""); }},
      {"a real name stays", named("letter.pdf"), analysed, 0, 1, -1,
       [](const JobAttribs* j) {
         EXPECT_STREQ(j->document_name, "letter.pdf");
         EXPECT_STREQ(j->username, "spooler-user");
       }},
  };
  run(cases);
  util_safe_strncpy(global_ctx.username_override_regex[2], "USER=(\\w+)", CONFIG_TEXT_SIZE);
  run({{"configured override replaces the user", named("x"), analysed, 0, 1, -1,
        [](const JobAttribs* j) { EXPECT_STREQ(j->username, "kim"); }},
       {"an empty analysed user does not", named("x"), nullptr, 0, 1, -1,
        [](const JobAttribs* j) { EXPECT_STREQ(j->username, "spooler-user"); }}});
  EXPECT_TRUE(logged("Updating username: 'spooler-user' => 'kim'")) << log();
}

TEST_F(MergeTest, SelfSpliceNormalisesOneRecord) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  ja->pages = 0;
  ja->color_pages = -1;
  ja->copy_count = 0;
  ja->is_duplex = 1;
  ja->page_width_mm = 210;
  ja->page_height_mm = 297;
  text(ja->document_name, "doc");
  text(ja->username, "kim");
  text(ja->job_id, "17");
  analyzer_self_splice_job_attribs(ja.get(), 1);
  EXPECT_EQ(ja->pages, 1);
  // No page was found, so no page's colour was judged.
  EXPECT_EQ(ja->color_pages, -1);
  EXPECT_EQ(ja->copy_count, 1);
  EXPECT_EQ(ja->is_duplex, 1);
  EXPECT_EQ(ja->page_height_mm, 297);
  // What the merge does not decide is the record's own and stays.
  EXPECT_STREQ(ja->document_name, "doc");
  EXPECT_STREQ(ja->username, "kim");
  EXPECT_STREQ(ja->job_id, "17");
}

// A record merged into itself keeps the colour its analysis judged, and
// one that was not judged stays not counted.
TEST_F(MergeTest, SelfSpliceKeepsTheColourRule) {
  for (const int colour : {0, 2, -1, COLOR_PAGES_UNJUDGED}) {
    SCOPED_TRACE(colour);
    JobAttribsPtr ja(analyzer_create_job_attribs());
    ja->pages = 3;
    ja->color_pages = colour;
    analyzer_self_splice_job_attribs(ja.get(), 1);
    EXPECT_EQ(ja->pages, 3);
    EXPECT_EQ(ja->color_pages, colour >= 0 ? colour : -1);
    analyzer_self_splice_job_attribs(ja.get(), 0);
    EXPECT_EQ(ja->color_pages, -1);
  }
}

TEST_F(MergeTest, ChangedRecordIsLogged) {
  JobAttribsPtr j(analyzer_create_job_attribs());
  JobAttribsPtr a(analyzer_create_job_attribs());
  a->pages = 4;
  analyzer_splice_job_attribs(j.get(), a.get(), 0, 1, 2);
  EXPECT_TRUE(logged("Analysis results adjusted for OS values")) << log();
  EXPECT_TRUE(logged("Applying n_up to spool file page count: n_up=2, spool_pages=4"));
  EXPECT_FALSE(logged("File size (bytes)"));
}

}  // namespace
