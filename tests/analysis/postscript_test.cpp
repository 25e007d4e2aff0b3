// The PostScript analyzer on real output: every corpus row of language 1
// (Ghostscript's ps2write, poppler's pdftops, the cups-filters chains with
// copies, duplex, N-up and page ranges, a job of two documents, groff with
// an EPS figure, and the PostScript Debian ships in its documentation
// packages), against the truths the tools gave. Then the behaviours no tool
// writes a file for, each with a small hand-made job.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "analysis/analysis_test_util.h"
#include "analysis/postscript.h"
#include "corpus/corpus.h"
#include "foundation/ja.h"
#include "support/files.h"

namespace {

using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;
using JaPtr = std::unique_ptr<JobAttribs, JobAttribsDeleter>;

// A number "key=N" in a corpus row's note, or `otherwise`.
int note_value(const CorpusRow& row, const std::string& key, int otherwise) {
  const auto at = row.note.find(key + "=");
  return at == std::string::npos ? otherwise : std::atoi(row.note.c_str() + at + key.size() + 1);
}

struct Paper {
  int width;
  int height;
};
Paper paper_mm(const std::string& name) {
  return name == "A4" ? Paper{210, 297} : name == "Letter" ? Paper{216, 279} : Paper{-1, -1};
}

JaPtr analyse(std::string_view bytes, int color) {
  JaPtr ja(analyzer_create_job_attribs());
  const ExactBuffer buffer(bytes);
  EXPECT_EQ(postscript_process_job(buffer.data(), buffer.size(), color, ja.get()), 0);
  return ja;
}

class PostScriptTest : public AnalysisTest {};

TEST_F(PostScriptTest, CorpusRowsGiveTheToolsTruths) {
  const auto rows = corpus_rows_for_lang(1);
  ASSERT_GE(rows.size(), 20u);
  for (const CorpusRow& row : rows) {
    SCOPED_TRACE(row.file + " (" + row.chain + ")");
    const std::string bytes = sw_test::read_file(row.path);
    ASSERT_FALSE(bytes.empty()) << "corpus file missing";
    const int pages = note_value(row, "out_pages", row.pages);
    const JaPtr colour = analyse(bytes, 1);
    EXPECT_EQ(colour->pages, pages);
    EXPECT_EQ(colour->color_pages, note_value(row, "out_colour", row.expected_colour_pages()));
    EXPECT_EQ(colour->copy_count, row.copies);
    EXPECT_EQ(colour->is_duplex, row.duplex ? 1 : 0);
    EXPECT_EQ(colour->is_tumble, row.note.find("tumble") != std::string::npos ? 1 : 0);
    const Paper paper = paper_mm(row.paper);
    EXPECT_EQ(colour->page_width_mm, paper.width);
    EXPECT_EQ(colour->page_height_mm, paper.height);
    // Without colour detection the same pages, and no colour count.
    const JaPtr plain = analyse(bytes, 0);
    EXPECT_EQ(plain->pages, pages);
    EXPECT_EQ(plain->color_pages, -1);
  }
}

}  // namespace
