// The spool-analyze diagnostic program: the merged record it prints, one
// "name=value" line a field in a fixed order, and its exit status (0
// analysed, 1 analysis failed, 2 bad usage), on corpus files.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "corpus/corpus.h"
#include "support/oracle.h"
#include "support/spool_analyze_run.h"
#include "foundation/ja_languages.h"

namespace {

using ToolRun = sw_test::SpoolAnalyzeRun;

using sw_test::spool_analyze_run;

std::string quoted(const std::string& path) { return "'" + path + "'"; }

std::string first_file(int lang) {
  const auto rows = corpus_rows_for_lang(lang);
  return rows.empty() ? std::string() : rows.front().path;
}

TEST(SpoolAnalyze, PrintsTheMergedRecordAndItsStatus) {
  const std::vector<std::string> all_fields = {
      "language", "language_name", "pages",         "color_pages",    "copies",
      "duplex",   "tumble",        "grayscale",     "paper",          "page_width_mm",
      "page_height_mm", "document", "user"};
  struct Case {
    const char* name;
    std::string arguments;
    int status;
    std::map<std::string, std::string> expected;  // fields that must have these values
  };
  const std::string status_document = first_file(LANG_STATUS_DOCUMENT);
  const std::string unknown = first_file(LANG_UNKNOWN);
  ASSERT_FALSE(status_document.empty());
  ASSERT_FALSE(unknown.empty());
  const std::vector<Case> cases = {
      {"status document", quoted(status_document), 0,
       {{"language", "43"}, {"language_name", "Status/Dummy Document"}, {"pages", "1"}}},
      {"status document with colour detection", quoted(status_document) + " --color", 0,
       {{"language", "43"}, {"color_pages", "0"}}},
      {"colour flag first", "--color " + quoted(status_document), 0, {{"color_pages", "0"}}},
      {"unknown language", quoted(unknown), 1,
       {{"language", "0"}, {"language_name", "Unknown"}, {"pages", "1"}}},
      {"missing file", quoted(std::string(SW_BINARY_DIR) + "/no-such-spool-file"), 1,
       {{"language", "0"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRun run = spool_analyze_run(c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.names, all_fields);
    for (const auto& [name, value] : c.expected) EXPECT_EQ(run.fields.at(name), value) << name;
  }
}

// Every corpus file is reported in the language its recipe made.
TEST(SpoolAnalyze, ReportsTheLanguageOfEveryCorpusFile) {
  const auto rows = corpus_rows();
  ASSERT_FALSE(rows.empty()) << "manifest unreadable: " << corpus_manifest_path();
  for (const CorpusRow& row : rows) {
    SCOPED_TRACE(row.file + " (" + row.chain + ")");
    const ToolRun run = spool_analyze_run(quoted(row.path));
    ASSERT_EQ(run.fields.count("language"), 1u);
    EXPECT_EQ(run.fields.at("language"), std::to_string(row.lang));
  }
}

TEST(SpoolAnalyze, BadUsage) {
  const std::string file = quoted(first_file(LANG_STATUS_DOCUMENT));
  // An option is never taken for a file name, before or after the file.
  for (const std::string& arguments :
       {std::string(), std::string("--color"), std::string("a b"), std::string("''"),
        std::string("--help"), std::string("-h"), std::string("--colour ") + file,
        file + " --help", "--color --verbose " + file}) {
    SCOPED_TRACE(arguments);
    const ToolRun run = spool_analyze_run(arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.names.empty());
    const std::string printed = sw_test::command_output(
        std::string(SW_BINARY_DIR) + "/tools/spool-analyze " + arguments + " 2>&1");
    EXPECT_EQ(printed, "usage: spool-analyze FILE [--color]\n");
  }
}

}  // namespace
