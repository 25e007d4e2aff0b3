// Shared fixtures of the analysis tests: a temporary directory with the log
// redirected into it, default configuration, exact-size byte buffers and
// small file helpers.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/config.h"
#include "foundation/log.h"

namespace analysis_test {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

inline void write_file(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A heap copy of exactly the given bytes, so that AddressSanitizer reports a
// read one byte past the end.
class ExactBuffer {
 public:
  explicit ExactBuffer(std::string_view bytes)
      : size_(bytes.size()), data_(new std::uint8_t[bytes.size() == 0 ? 1 : bytes.size()]) {
    if (!bytes.empty()) std::memcpy(data_.get(), bytes.data(), bytes.size());
  }
  // An empty buffer still needs a valid pointer; detection must not read it.
  const std::uint8_t* data() const { return data_.get(); }
  std::uint64_t size() const { return size_; }

 private:
  std::uint64_t size_;
  std::unique_ptr<std::uint8_t[]> data_;
};

// Each test: defaults, debug logging on, the log in a fresh temp directory.
class AnalysisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_init_session_defaults(&global_ctx);
    global_ctx.debug_logging = 1;
    char pattern[] = "/tmp/sw_analysis_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    log_path_ = dir_ / "spoolwarden.log";
    log_set_path(log_path_.c_str());
  }
  void TearDown() override {
    (void)log_close();
    log_set_path("");
    config_init_session_defaults(&global_ctx);
    fs::remove_all(dir_);
  }
  std::string log() const { return read_file(log_path_); }
  bool logged(std::string_view text) const { return log().find(text) != std::string::npos; }
  void clear_log() {
    (void)log_close();
    fs::remove(log_path_);
    log_set_path(log_path_.c_str());
  }
  fs::path file(const std::string& name, std::string_view bytes) const {
    const fs::path path = dir_ / name;
    write_file(path, bytes);
    return path;
  }

  fs::path dir_;
  fs::path log_path_;
};

}  // namespace analysis_test
