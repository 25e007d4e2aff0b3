// The marker-counting formats on the corpus files of their language codes
// (Canon BJ from Gutenprint, the SAG-GDI laser from rastertosag-gdi), run
// through the built spool-analyze as the job flow runs them: pages, copies,
// duplex, the colour mode and the paper against the recipes' truths.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "corpus/corpus.h"

namespace {

constexpr int LANG_CANON_BJ = 20;
constexpr int LANG_SAG_GDI = 58;

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

TEST(MarkerFormatsCorpus, EveryFileGivesItsTruths) {
  int files = 0;
  for (const CorpusRow& row : corpus_rows()) {
    if (row.lang != LANG_CANON_BJ && row.lang != LANG_SAG_GDI) continue;
    SCOPED_TRACE(row.file);
    ++files;
    auto f = spool_analyze(row.path);
    ASSERT_EQ(f["status"], "0");
    EXPECT_EQ(f["language"], std::to_string(row.lang));
    EXPECT_EQ(f["pages"], std::to_string(row.pages));
    EXPECT_EQ(f["copies"], std::to_string(row.copies));
    EXPECT_EQ(f["duplex"], row.duplex ? "1" : "0");
    // Neither format tells colour pages apart: colour is not counted, and a
    // gray job says so through its colour mode.
    EXPECT_EQ(f["color_pages"], "-1");
    EXPECT_EQ(f["grayscale"], row.colour_out ? "0" : "1");
    // The SAG-GDI page header codes the paper; Canon BJ gives only the
    // printable area (not compared).
    if (row.lang == LANG_SAG_GDI) {
      EXPECT_EQ(upper(f["paper"]), upper(row.paper));
    }
  }
  EXPECT_GE(files, 5);
}

}  // namespace
