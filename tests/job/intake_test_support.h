// Corpus look-ups and a temp-dir fixture for the tests of the CUPS intake and
// the backend run.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "corpus/corpus.h"
#include "foundation/config.h"
#include "support/test_support.h"

namespace intake_test {

// A corpus file by name; the test fails when the corpus lacks it.
inline std::string corpus_file(const std::string& name) {
  for (const auto& row : corpus_rows()) {
    if (row.file == name) return row.path;
  }
  ADD_FAILURE() << "corpus file missing: " << name;
  return {};
}

// A fresh temp directory; the log goes to test.log inside it with DEBUG
// entries on, and the whole configuration is restored at the end.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(temp_.path().empty()); }
  void TearDown() override { global_ctx = saved_ctx_; }

  std::string log_text() const { return log_.text(); }
  std::string path_of(const std::string& name) const { return temp_.file(name); }
  // Names of the regular files in `dir`.
  static std::vector<std::string> files_in(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    }
    return names;
  }

  SessionContext saved_ctx_{global_ctx};
  sw_test::TempDir temp_;
  std::filesystem::path dir_{temp_.path()};
  sw_test::LogCapture log_{temp_.file("test.log"), sw_test::LogFlags{.debug = true, .dev = false}};
};

}  // namespace intake_test
