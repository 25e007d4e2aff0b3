// ESC/Page and gzip-compressed corpus files run through the built
// spool-analyze as the job flow runs them, against the recipes' truths.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "corpus/corpus.h"
#include "formats/epsonpage.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/mapped_mem.h"
#include "support/spool_analyze_run.h"

namespace {

using sw_test::paper_key;
using sw_test::spool_analyze_fields;

TEST(EpsonPageCorpus, EveryFileGivesItsTruths) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows_for_lang(LANG_EPSON_PAGE)) {
    SCOPED_TRACE(row.file);
    ++files;
    auto f = spool_analyze_fields(row.path);
    ASSERT_EQ(f["status"], "0");
    EXPECT_EQ(f["language"], "17");
    EXPECT_EQ(f["copies"], std::to_string(row.copies));
    EXPECT_EQ(f["duplex"], row.duplex ? "1" : "0");
    EXPECT_EQ(f["grayscale"], row.colour_out ? "0" : "1");
    // Without an EJL sheet count or a model's page marker the pages are
    // the page ends of the command stream (Ghostscript's devices).
    EXPECT_EQ(f["pages"], std::to_string(row.pages));
    EXPECT_EQ(paper_key(f["paper"]), paper_key(row.paper));
  }
  EXPECT_GE(files, 11);
}

// ESC/Page tells the job's colour mode, not its colour pages: a job in gray
// mode is judged gray (0), a colour job's colour pages are not judged (-1),
// as the analyzer's dispatch row runs it.
TEST(EpsonPageCorpus, GrayModeJudgesAndColourModeDoesNot) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows_for_lang(LANG_EPSON_PAGE)) {
    SCOPED_TRACE(row.file);
    ++files;
    MappedMemPtr spool(create_mapped_mem(row.path.c_str()));
    ASSERT_TRUE(spool);
    JobAttribsPtr ja(analyzer_create_job_attribs());
    ASSERT_EQ(EPSONPAGE_ANALYZER.analyze(spool->data, spool->size, 0, ja.get()), 0);
    EXPECT_EQ(ja->color_pages, row.colour_out ? -1 : 0);
    EXPECT_EQ(ja->is_grayscale, row.colour_out ? 0 : 1);
  }
  EXPECT_GE(files, 11);
}

TEST(EpsonPageCorpus, CompressedJobsAreLeftAsTheSpoolerSaidThem) {
  const auto rows = corpus_rows_for_lang(LANG_GZIP);
  ASSERT_FALSE(rows.empty());
  for (const CorpusRow& row : rows) {
    SCOPED_TRACE(row.file);
    auto f = spool_analyze_fields(row.path);
    EXPECT_EQ(f["status"], "0");
    EXPECT_EQ(f["language"], "69");
    EXPECT_EQ(f["pages"], "1");
    EXPECT_EQ(f["paper"], "");
  }
}

}  // namespace
