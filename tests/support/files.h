// The part of the shared test helpers that needs no test framework, so that
// benchmarks can use it too: whole-file reads and writes, a file's mode and
// existence, and polling for a condition.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>

namespace sw_test {

// The whole content of `path`; empty when it cannot be read.
inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the content of `path` with `content`, making missing parent
// directories first.
inline void write_file(const std::string& path, const std::string& content) {
  std::error_code ignored;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// Like write_file, but a reader that opens `path` at any moment sees either
// the old or the new content whole (written beside it, then renamed).
inline void write_file_atomic(const std::string& path, const std::string& content) {
  const std::string tmp = path + ".tmp";
  write_file(tmp, content);
  std::error_code ignored;
  std::filesystem::rename(tmp, path, ignored);
}

// The permission bits of `path`; 0 when it does not exist.
inline mode_t file_mode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Whether anything (a dangling link too) is at `path`.
inline bool exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// Polls `done` every 50 ms for up to `seconds`; true when it became true.
template <typename F>
bool wait_for(F done, double seconds = 20.0) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

}  // namespace sw_test
