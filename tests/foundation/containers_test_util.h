// Helpers of the container and mapped-file tests: a private temp directory
// and a capture of the log file.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/log.h"

namespace containers_test {

// A fresh directory under TMPDIR (or /tmp), removed with everything in it.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/cont_XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes `content` to `name` and gives its path.
  std::string write(const std::string& name, const std::string& content) const {
    std::ofstream(file(name), std::ios::binary) << content;
    return file(name);
  }

 private:
  std::string path_;
};

inline std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sends the log to a private file while alive.
class LogCapture {
 public:
  LogCapture() : path_(dir_.file("test.log")) { log_set_path(path_.c_str()); }
  ~LogCapture() {
    (void)log_close();
    log_set_path("");
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() {
    (void)log_close();
    return read_all(path_);
  }
  bool contains(const std::string& needle) { return text().find(needle) != std::string::npos; }
  // Forgets what was logged so far.
  void clear() {
    (void)log_close();
    std::ofstream(path_, std::ios::trunc);
  }

 private:
  TempDir dir_;
  std::string path_;
};

}  // namespace containers_test
