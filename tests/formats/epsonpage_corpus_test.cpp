// ESC/Page and gzip-compressed corpus files run through the built
// spool-analyze as the job flow runs them, against the recipes' truths.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "corpus/corpus.h"
#include "support/spool_analyze_run.h"
#include "foundation/ja_languages.h"

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
    // ESC/Page tells the colour mode, not colour pages.
    EXPECT_EQ(f["color_pages"], "-1");
    EXPECT_EQ(f["grayscale"], row.colour_out ? "0" : "1");
    // Without an EJL sheet count or a model's page marker the pages are
    // the page ends of the command stream (Ghostscript's devices).
    EXPECT_EQ(f["pages"], std::to_string(row.pages));
    EXPECT_EQ(paper_key(f["paper"]), paper_key(row.paper));
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
