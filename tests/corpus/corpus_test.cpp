// The corpus helper reads every manifest row and every row names a generated
// file, so analyzer suites that iterate corpus_rows() never pass vacuously.
#include "corpus/corpus.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace {

TEST(CorpusManifest, EveryRowIsReadWithItsFile) {
  std::ifstream in(corpus_manifest_path());
  std::string line;
  int data_lines = -1;  // the column header is not a row
  while (std::getline(in, line))
    if (!line.empty() && line[0] != '#') ++data_lines;

  const auto rows = corpus_rows();
  ASSERT_GT(data_lines, 0);
  ASSERT_EQ(static_cast<int>(rows.size()), data_lines);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.file);
    EXPECT_TRUE(r.lang >= 0 && r.lang <= 69);
    EXPECT_GE(r.pages, 0);
    EXPECT_GE(r.colour_pages, 0);
    EXPECT_LE(r.colour_pages, r.pages);
    // A paper without a name is its size in points ("400x600pt"); pages
    // that set their own papers list one a page.
    const auto known = [](const std::string& paper) {
      int w = 0;
      int h = 0;
      char unit[3] = {};
      const bool unnamed = std::sscanf(paper.c_str(), "%dx%d%2s", &w, &h, unit) == 3 &&
                           w > 0 && h > 0 && std::string(unit) == "pt";
      return paper == "A4" || paper == "Letter" || paper == "A2" || unnamed;
    };
    if (r.paper.find(',') != std::string::npos) {
      int papers = 0;
      for (std::size_t from = 0;; ++papers) {
        const std::size_t comma = r.paper.find(',', from);
        EXPECT_TRUE(known(r.paper.substr(from, comma - from))) << r.paper;
        if (comma == std::string::npos) {
          ++papers;
          break;
        }
        from = comma + 1;
      }
      EXPECT_EQ(papers, r.pages) << r.paper;
    } else {
      EXPECT_TRUE(known(r.paper) || (r.paper == "-" && r.pages == 0));
    }
    std::error_code ec;
    EXPECT_GT(std::filesystem::file_size(r.path, ec), 0u) << r.path;
    EXPECT_FALSE(ec) << r.path << ": " << ec.message();
  }
}

TEST(CorpusManifest, CoversTheLanguagesTheAnalyzersRead) {
  // PostScript, PDF, PCL XL, PCL5, ESC/PAGE, ESC/P2, QPDL, CUPS raster, SMART,
  // ZjStream, HBPL, HiperC, GDI (HP), PCL3GUI, XPS, plain text, status document,
  // unrecognised.
  const std::set<int> wanted = {1, 3, 4, 5, 12, 17, 18, 19, 24, 25, 28, 30, 31, 42, 43, 49, 61, 0};
  std::set<int> present;
  for (const auto& r : corpus_rows()) present.insert(r.lang);
  for (int lang : wanted) EXPECT_TRUE(present.count(lang)) << "no corpus file with code " << lang;
  EXPECT_FALSE(corpus_rows_for_lang(5).empty());
}

}  // namespace
