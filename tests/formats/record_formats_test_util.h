// Helpers of the record-format tests: big-endian and little-endian byte
// builders for hand-made fixtures, and a run of an analyzer on exact-size
// bytes with a fresh analysis record.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "foundation/ja.h"
#include "scan/analyzer_entry.h"
#include "support/test_support.h"

namespace record_formats_test {

inline std::string be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}
inline std::string be16(std::uint16_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }
inline std::string le16(std::uint16_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
inline std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}
inline std::string zeros(std::size_t n) { return std::string(n, '\0'); }

// The findings of one analyzer call.
struct Findings {
  int result = 0;
  JobAttribsPtr ja;
};

inline Findings run_analyzer(const AnalyzerEntry& entry, std::string_view data, int extra = 0) {
  const sw_test::ExactBuffer buffer(data);
  Findings f{0, JobAttribsPtr(analyzer_create_job_attribs())};
  f.result = entry.analyze(buffer.data(), buffer.size(), extra, f.ja.get());
  return f;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every prefix of `data` analysed (under the sanitizers a read past the
// end of any of them fails the test).
inline void run_every_prefix(const AnalyzerEntry& entry, std::string_view data, int extra = 0) {
  for (std::size_t n = 0; n <= data.size(); ++n) (void)run_analyzer(entry, data.substr(0, n), extra);
}

}  // namespace record_formats_test
