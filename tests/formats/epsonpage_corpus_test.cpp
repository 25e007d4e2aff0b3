// ESC/Page and gzip-compressed corpus files run through the built
// spool-analyze as the job flow runs them, against the recipes' truths.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "corpus/corpus.h"
#include "foundation/ja_languages.h"

namespace {

std::map<std::string, std::string> spool_analyze(const std::string& path) {
  const std::string command =
      std::string(SW_BINARY_DIR) + "/tools/spool-analyze '" + path + "' 2>/dev/null";
  std::map<std::string, std::string> fields;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return fields;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const auto equals = text.find('=');
    if (equals != std::string::npos) fields[text.substr(0, equals)] = text.substr(equals + 1);
  }
  const int status = pclose(pipe);
  fields["status"] = std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return fields;
}

std::string upper(std::string s) {
  for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return s;
}

// Ghostscript's escpage device writes raster pages with neither an EJL sheet
// count nor a model's page marker: the analyzer finds no pages (the job keeps
// the spooler's count) and so sets no paper either.
bool raster_without_page_evidence(const CorpusRow& row) {
  return row.chain.find("-sDEVICE=escpage") != std::string::npos;
}

TEST(EpsonPageCorpus, EveryFileGivesItsTruths) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows_for_lang(LANG_EPSON_PAGE)) {
    SCOPED_TRACE(row.file);
    ++files;
    auto f = spool_analyze(row.path);
    ASSERT_EQ(f["status"], "0");
    EXPECT_EQ(f["language"], "17");
    EXPECT_EQ(f["copies"], std::to_string(row.copies));
    EXPECT_EQ(f["duplex"], row.duplex ? "1" : "0");
    // ESC/Page tells the colour mode, not colour pages.
    EXPECT_EQ(f["color_pages"], "-1");
    EXPECT_EQ(f["grayscale"], row.colour_out ? "0" : "1");
    if (raster_without_page_evidence(row)) continue;
    EXPECT_EQ(f["pages"], std::to_string(row.pages));
    EXPECT_EQ(upper(f["paper"]), upper(row.paper));
  }
  EXPECT_GE(files, 4);
}

TEST(EpsonPageCorpus, CompressedJobsAreLeftAsTheSpoolerSaidThem) {
  const auto rows = corpus_rows_for_lang(LANG_GZIP);
  ASSERT_FALSE(rows.empty());
  for (const CorpusRow& row : rows) {
    SCOPED_TRACE(row.file);
    auto f = spool_analyze(row.path);
    EXPECT_EQ(f["status"], "0");
    EXPECT_EQ(f["language"], "69");
    EXPECT_EQ(f["pages"], "1");
    EXPECT_EQ(f["paper"], "");
  }
}

}  // namespace
