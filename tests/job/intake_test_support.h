// Corpus look-ups and the temp-dir fixture for the tests of the CUPS intake
// and the backend run.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "corpus/corpus.h"
#include "support/test_support.h"

namespace intake_test {

// A corpus file by name; the test fails when the corpus lacks it.
inline std::string corpus_file(const std::string& name) {
  for (const auto& row : corpus_rows()) {
    if (row.file == name) return row.path;
  }
  ADD_FAILURE() << "corpus file missing: " << name;
  return {};
}

using TempDirTest = sw_test::TempDirTest;

}  // namespace intake_test
