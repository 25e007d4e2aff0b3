// Shared fixtures of the spool-modification tests: defaults, the log in a
// temporary directory that is also TMPDIR (so temporary files left behind
// show), and reading corpus files.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "corpus/corpus.h"
#include "foundation/config.h"
#include "support/test_support.h"

namespace modify_test {

class ModifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    config_init_session_defaults(&global_ctx);
    global_ctx.debug_logging = 1;
    std::filesystem::create_directories(tmp_dir_);
  }
  void TearDown() override { config_init_session_defaults(&global_ctx); }

  bool logged(const std::string& text) const { return log_.contains(text); }
  std::string write(const std::string& name, const std::string& bytes) const {
    return temp_.write(name, bytes);
  }
  // What was left in TMPDIR.
  std::vector<std::string> temp_files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(tmp_dir_)) {
      names.push_back(e.path().filename().string());
    }
    return names;
  }

  sw_test::TempDir temp_;
  sw_test::LogCapture log_{temp_.file("spoolwarden.log"), std::nullopt};
  std::string tmp_dir_ = temp_.file("tmp");
  sw_test::ScopedEnv tmpdir_{"TMPDIR", tmp_dir_.c_str()};
};

// The bytes of a corpus file; empty (and a failure) when it is missing.
inline std::string corpus_bytes(const std::string& name) {
  const std::string bytes = sw_test::read_file(corpus_dir() + "/" + name);
  EXPECT_FALSE(bytes.empty()) << "corpus file missing: " << name;
  return bytes;
}

// The standard output of a shell command.
inline std::string command_output(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char block[65536];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, p)) > 0) out.append(block, n);
    pclose(p);
  }
  return out;
}

}  // namespace modify_test
