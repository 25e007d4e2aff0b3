// Shared fixture of the spool-modification tests: defaults, the log in a
// temporary directory that is also TMPDIR (so temporary files left behind
// show).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "corpus/corpus.h"
#include "foundation/config.h"
#include "support/oracle.h"
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

}  // namespace modify_test
