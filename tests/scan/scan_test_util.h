// Helpers of the scan suite: exact-size byte buffers (so AddressSanitizer
// sees a one-byte over-read), corpus files by name, and job records.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/corpus.h"
#include "foundation/ja.h"
#include "support/files.h"

namespace scan_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes repeat(const Bytes& b, int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) out.insert(out.end(), b.begin(), b.end());
  return out;
}

// The corpus row of `file`; fails the test when the manifest has none.
inline CorpusRow corpus_row(const std::string& file) {
  for (auto& row : corpus_rows()) {
    if (row.file == file) return row;
  }
  ADD_FAILURE() << "no corpus row " << file;
  return {};
}

// The bytes of a corpus file (empty, and a failure, when missing).
inline Bytes corpus_bytes(const std::string& file) {
  const std::string text = sw_test::read_file(corpus_row(file).path);
  EXPECT_FALSE(text.empty()) << file;
  return bytes(text);
}

// The corpus rows of the job-level readers' section whose chain mentions
// `word` (e.g. "concatenated", "CPCA").
inline std::vector<CorpusRow> corpus_rows_with(std::string_view word) {
  std::vector<CorpusRow> out;
  for (auto& row : corpus_rows()) {
    if (row.chain.find(word) != std::string::npos) out.push_back(row);
  }
  return out;
}

using JobAttribsPtr = std::unique_ptr<JobAttribs, JobAttribsDeleter>;
inline JobAttribsPtr new_job() { return JobAttribsPtr(analyzer_create_job_attribs()); }

}  // namespace scan_test
