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
  const auto row = corpus_row_named(name);
  if (!row) ADD_FAILURE() << "corpus file missing: " << name;
  return row ? row->path : std::string();
}

using TempDirTest = sw_test::TempDirTest;

}  // namespace intake_test
