// Shared helpers of the platform-layer tests: a private temporary directory
// and a capture of the log file.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/config.h"
#include "foundation/log.h"

namespace platform_test {

// A fresh directory under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/sw-platform-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void write_file(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sends the log to a file of its own, with DEBUG and DEV entries on, for the
// life of the object.
class LogCapture {
 public:
  LogCapture() : path_(dir_ / "test.log") {
    saved_debug_ = global_ctx.debug_logging;
    saved_dev_ = global_ctx.dev_logging;
    global_ctx.debug_logging = 1;
    global_ctx.dev_logging = 1;
    log_set_path(path_.c_str());
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  ~LogCapture() {
    log_set_path("");
    global_ctx.debug_logging = saved_debug_;
    global_ctx.dev_logging = saved_dev_;
  }
  const std::string& path() const { return path_; }
  std::string text() const { return read_file(path_); }
  bool contains(const std::string& needle) const { return text().find(needle) != std::string::npos; }

 private:
  TempDir dir_;
  std::string path_;
  int saved_debug_ = 0;
  int saved_dev_ = 0;
};

// Sets an environment variable for the life of the object (null unsets it).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    if (had_) {
      setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

inline mode_t file_mode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

}  // namespace platform_test
