// Temporary directories, file helpers and log capture for the tests of the
// CUPS intake and the backend run.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "corpus/corpus.h"
#include "foundation/config.h"
#include "foundation/log.h"

namespace intake_test {

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// A corpus file by name; the test fails when the corpus lacks it.
inline std::string corpus_file(const std::string& name) {
  for (const auto& row : corpus_rows()) {
    if (row.file == name) return row.path;
  }
  ADD_FAILURE() << "corpus file missing: " << name;
  return {};
}

// A fresh directory under /tmp, removed with everything in it; the log goes
// to a file inside it with DEBUG entries on, and the configuration fields the
// tests change are restored.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ctx_ = global_ctx;
    char pattern[] = "/tmp/sw_backend_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    log_path_ = (dir_ / "test.log").string();
    global_ctx.debug_logging = 1;
    log_set_path(log_path_.c_str());
  }
  void TearDown() override {
    (void)log_close();
    log_set_path("");
    global_ctx = saved_ctx_;
    std::filesystem::remove_all(dir_);
  }
  std::string log_text() const { return read_file(log_path_); }
  std::string path_of(const std::string& name) const { return (dir_ / name).string(); }
  // Names of the regular files in `dir`.
  static std::vector<std::string> files_in(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    }
    return names;
  }

  SessionContext saved_ctx_{};
  std::filesystem::path dir_;
  std::string log_path_;
};

}  // namespace intake_test
