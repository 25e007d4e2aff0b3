// Shared fixtures of the analysis tests: a temporary directory with the log
// captured in it, default configuration and exact-size byte buffers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/config.h"
#include "support/test_support.h"

namespace analysis_test {

namespace fs = std::filesystem;

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
    ASSERT_FALSE(temp_.path().empty());
    config_init_session_defaults(&global_ctx);
    global_ctx.debug_logging = 1;
  }
  void TearDown() override { config_init_session_defaults(&global_ctx); }

  std::string log() const { return log_.text(); }
  bool logged(std::string_view text) const { return log_.contains(std::string(text)); }
  void clear_log() { log_.clear(); }
  // Writes `bytes` to `name` in the temp directory; its path.
  fs::path file(const std::string& name, std::string_view bytes) const {
    return temp_.write(name, std::string(bytes));
  }

  sw_test::TempDir temp_;
  fs::path dir_{temp_.path()};
  sw_test::LogCapture log_{temp_.file("spoolwarden.log"), std::nullopt};
};

}  // namespace analysis_test
