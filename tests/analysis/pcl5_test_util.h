// Helpers of the PCL5 analyzer's tests: run the analyzer on bytes held in an
// exact-size buffer, and the corpus files by name.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "analysis/analysis_test_util.h"
#include "analysis/pcl5.h"
#include "corpus/corpus.h"
#include "foundation/ja.h"
#include "support/files.h"

namespace pcl5_test {

using JaPtr = JobAttribsPtr;

constexpr char ESC = '\x1b';
inline const std::string UEL = "\x1b%-12345X";

// The record the analyzer fills from `bytes`; its result in *rc.
inline JaPtr analyse(std::string_view bytes, int color = 1, int* rc = nullptr) {
  const analysis_test::ExactBuffer buffer(bytes);
  JaPtr ja(analyzer_create_job_attribs());
  const int result = pcl5_process_job(buffer.data(), buffer.size(), color, ja.get());
  if (rc != nullptr) *rc = result;
  EXPECT_EQ(result, 0);
  return ja;
}

// The bytes of a corpus file (a failure when missing).
inline std::string corpus_file(const std::string& name) {
  for (const CorpusRow& row : corpus_rows()) {
    if (row.file == name) {
      std::string text = sw_test::read_file(row.path);
      EXPECT_FALSE(text.empty()) << name;
      return text;
    }
  }
  ADD_FAILURE() << "no corpus row " << name;
  return {};
}

// Text padding that marks nothing: blanks, to push commands past the first
// 100 bytes or to separate them.
inline std::string blanks(std::size_t n) { return std::string(n, ' '); }

}  // namespace pcl5_test
