// Helpers shared by the test suites: a private temp directory, a capture of
// the log file, a scope that saves and restores the session configuration, a
// scoped environment variable, exact-size byte buffers, and the one fixture
// built of them (TempDirTest); the file helpers of support/files.h come with
// it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/util.h"
#include "support/files.h"

namespace sw_test {

// The text of a malloc'ed string, which is freed; `when_null` for null.
inline std::string take_text(char* text, const char* when_null) {
  const TextPtr owned(text);
  return owned ? std::string(owned.get()) : std::string(when_null);
}

// A broken-down time from calendar values: the full year and the month
// 1 to 12; the other fields zero.
inline std::tm calendar_time(int year, int month, int day, int hour = 0, int minute = 0,
                             int second = 0) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

// Saves the session configuration (global_ctx) and puts it back when the
// scope ends, so that no test sees what an earlier one configured. With
// DEFAULTS (the usual start) the configuration is reset to its defaults
// first; AS_IS keeps what is there.
class ScopedGlobalContext {
 public:
  enum class Start { DEFAULTS, AS_IS };
  explicit ScopedGlobalContext(Start start = Start::DEFAULTS)
      : saved_(std::make_unique<SessionContext>(global_ctx)) {
    if (start == Start::DEFAULTS) config_init_session_defaults(&global_ctx);
  }
  ~ScopedGlobalContext() { global_ctx = *saved_; }
  ScopedGlobalContext(const ScopedGlobalContext&) = delete;
  ScopedGlobalContext& operator=(const ScopedGlobalContext&) = delete;

 private:
  std::unique_ptr<SessionContext> saved_;  // large: kept off the stack
};

// A heap copy of exactly the given bytes, so that AddressSanitizer reports a
// read one byte past the end (also of an empty buffer, whose pointer is still
// valid but must not be read).
class ExactBuffer {
 public:
  explicit ExactBuffer(std::string_view bytes)
      : size_(bytes.size()), data_(new std::uint8_t[bytes.empty() ? 1 : bytes.size()]) {
    if (!bytes.empty()) std::memcpy(data_.get(), bytes.data(), bytes.size());
  }
  const std::uint8_t* data() const { return data_.get(); }
  std::uint64_t size() const { return size_; }

 private:
  std::uint64_t size_;
  std::unique_ptr<std::uint8_t[]> data_;
};

// A fresh directory under TMPDIR (when that names a directory) or /tmp,
// removed with everything in it at the end. A directory that cannot be made
// fails the running test and leaves path() empty.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::error_code ec;
    const bool usable = base != nullptr && *base != '\0' && std::filesystem::is_directory(base, ec);
    std::string pattern = std::string(usable ? base : "/tmp") + "/sw_test_XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    } else {
      ADD_FAILURE() << "cannot make a temp directory from " << pattern;
    }
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` inside the directory.
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::string operator/(const std::string& name) const { return file(name); }
  // Writes `content` to `name` and gives its path.
  std::string write(const std::string& name, const std::string& content) const {
    write_file(file(name), content);
    return file(name);
  }

 private:
  std::string path_;
};

// Which of the optional log entries a capture turns on.
struct LogFlags {
  bool debug = false;
  bool dev = false;
};
inline constexpr LogFlags ALL_LOG_ENTRIES{.debug = true, .dev = true};

// Sends the log to a file of its own while alive. Given flags, sets DEBUG and
// DEV logging to them; the flags found at the start are restored at the end.
class LogCapture {
 public:
  explicit LogCapture(std::optional<LogFlags> flags = std::nullopt)
      : LogCapture(std::string(), flags) {}
  // The same, the log going to `path` (a file the test owns) instead of a
  // directory of its own; an empty `path` picks the latter.
  LogCapture(std::string path, std::optional<LogFlags> flags)
      : path_(std::move(path)),
        saved_debug_(global_ctx.debug_logging),
        saved_dev_(global_ctx.dev_logging) {
    if (path_.empty()) {
      dir_.emplace();
      path_ = dir_->file("test.log");
    }
    if (flags.has_value()) {
      global_ctx.debug_logging = flags->debug ? 1 : 0;
      global_ctx.dev_logging = flags->dev ? 1 : 0;
    }
    log_set_path(path_.c_str());
  }
  ~LogCapture() {
    log_set_path("");
    global_ctx.debug_logging = saved_debug_;
    global_ctx.dev_logging = saved_dev_;
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::string& path() const { return path_; }
  // What was logged so far (the stream is closed first; the next entry
  // opens it again).
  std::string text() const {
    (void)log_close();
    return read_file(path_);
  }
  bool contains(const std::string& needle) const {
    return text().find(needle) != std::string::npos;
  }
  // Forgets what was logged so far.
  void clear() {
    (void)log_close();
    std::ofstream(path_, std::ios::trunc);
  }

 private:
  std::optional<TempDir> dir_;
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

// The fixture of every test that touches files, the log or the
// configuration: the configuration at its defaults (restored afterwards), a
// fresh temp directory for the test's files, and the log captured in a
// directory of its own with DEBUG entries on.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(temp_.path().empty()); }

  std::string log_text() const { return log_.text(); }
  bool logged(std::string_view text) const { return log_.contains(std::string(text)); }
  void clear_log() { log_.clear(); }
  // The path of `name` inside the temp directory.
  std::string path_of(const std::string& name) const { return temp_.file(name); }
  // The sorted names of what the temp directory holds.
  std::vector<std::string> files() const { return names_in(dir_, false); }
  // The sorted names of the regular files in `dir`.
  static std::vector<std::string> files_in(const std::filesystem::path& dir) {
    return names_in(dir, true);
  }

  ScopedGlobalContext context_;
  TempDir temp_;
  const std::filesystem::path dir_{temp_.path()};
  LogCapture log_{LogFlags{.debug = true, .dev = false}};

 private:
  static std::vector<std::string> names_in(const std::filesystem::path& dir, bool regular_only) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
      if (!regular_only || entry.is_regular_file()) {
        names.push_back(entry.path().filename().string());
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

}  // namespace sw_test
