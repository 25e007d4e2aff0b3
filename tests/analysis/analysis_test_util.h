// The fixture of the analysis tests: the shared TempDirTest (defaults,
// DEBUG log captured, a temp directory) with a helper that writes a spool
// file into the temp directory.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "support/test_support.h"

namespace analysis_test {

namespace fs = std::filesystem;
using sw_test::ExactBuffer;

class AnalysisTest : public sw_test::TempDirTest {
 protected:
  std::string log() const { return log_text(); }
  // Writes `bytes` to `name` in the temp directory; its path.
  fs::path file(const std::string& name, std::string_view bytes) const {
    return temp_.write(name, std::string(bytes));
  }
};

}  // namespace analysis_test
