// Temporary directories and log capture for the job-model and serialize tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "foundation/config.h"
#include "foundation/log.h"

namespace jobmodel_test {

// A fresh directory under /tmp, removed with everything in it; the log goes
// to a file inside it with DEBUG entries on.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sw_jobmodel_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    log_path_ = (dir_ / "test.log").string();
    global_ctx.debug_logging = 1;
    log_set_path(log_path_.c_str());
  }
  void TearDown() override {
    (void)log_close();
    log_set_path("");
    global_ctx.debug_logging = 0;
    std::filesystem::remove_all(dir_);
  }
  static std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }
  static void write_file(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::string log_text() const { return read_file(log_path_); }
  std::string path_of(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
  std::string log_path_;
};

}  // namespace jobmodel_test
