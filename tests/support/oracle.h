// What tests take their truths from: the files of the print-data corpus and
// the output of the tools run on them (Ghostscript, qpdf, perl, gzip).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "corpus/corpus.h"
#include "support/files.h"

namespace sw_test {

// The bytes of a corpus file; empty (and a failure) when it is missing.
inline std::string corpus_bytes(const std::string& name) {
  const std::string bytes = read_file(corpus_dir() + "/" + name);
  EXPECT_FALSE(bytes.empty()) << "corpus file missing: " << name;
  return bytes;
}

// A text in single quotes for the shell.
inline std::string shell_quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The standard output of a shell command.
inline std::string command_output(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char block[65536];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, p)) > 0) out.append(block, n);
    pclose(p);
  }
  return out;
}

}  // namespace sw_test
