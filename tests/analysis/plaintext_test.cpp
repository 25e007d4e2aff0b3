// Plain-text pages on small texts: the page counts are those of CUPS's
// texttopdf at 66 lines a page (Letter, lpi 6, no top or bottom margin) for
// the same bytes.
#include "analysis/plaintext.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "analysis/analysis_test_util.h"
#include "foundation/ja.h"

namespace {

using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;
using JaPtr = JobAttribsPtr;

std::string lines(int n, const char* end = "\n") {
  std::string text;
  for (int i = 0; i < n; ++i) text += std::string("line ") + std::to_string(i) + end;
  return text;
}

class PlainTextTest : public AnalysisTest {
 protected:
  int pages(const std::string& text, int lines_per_page = 66) {
    const ExactBuffer buffer(text);
    JaPtr ja(analyzer_create_job_attribs());
    const int result = plaintext_process_job(buffer.data(), buffer.size(), ja.get(), lines_per_page);
    EXPECT_EQ(ja->color_pages, 0);
    EXPECT_EQ(ja->is_grayscale, 1);
    return result < 0 ? result : ja->pages;
  }
};

TEST_F(PlainTextTest, PagesAsATextPrinterLaysThemOut) {
  struct Case {
    const char* name;
    std::string text;
    int pages;
  };
  const Case cases[] = {
      {"66 lines", lines(66), 1},
      {"67 lines", lines(67), 2},
      {"CR LF lines", lines(67, "\r\n"), 2},
      {"a last line without its line feed", lines(66) + "abc", 2},
      {"only a line without line feed", "abc", 1},
      {"lone carriage returns move nothing", "a\rb\rc\n", 1},
      {"form feed ends a page", "a\fb\n", 2},
      {"form feed after the last line", "a\n\f", 1},
      {"form feed after a full page", lines(66) + "\f", 2},
      {"form feeds on empty pages", "\f\fabc\n", 3},
      {"a trailing carriage return", "a\n\r", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(pages(c.text), c.pages) << c.name;
}

TEST_F(PlainTextTest, LinesPerPageOfZeroOrLessAreTheDefault) {
  EXPECT_EQ(pages(lines(67), 0), 2);
  EXPECT_EQ(pages(lines(67), -5), 2);
  EXPECT_EQ(pages(lines(20), 10), 2);
}

TEST_F(PlainTextTest, NoTextIsNoPage) {
  EXPECT_EQ(pages(""), -1);
  EXPECT_EQ(pages("\r\r"), -1);
}

}  // namespace
