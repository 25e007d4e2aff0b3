// Shared helpers of the job tests: a private temporary directory, the
// stand-in application server run as a child process, its call log, and a
// configuration that points every directory of the job flow into the
// temporary directory.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "foundation/config.h"
#include "foundation/log.h"

namespace job_test {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/sw-job-XXXXXX";
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

inline bool exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

inline int count_of(const std::string& text, const std::string& needle) {
  int n = 0;
  for (auto pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) {
    ++n;
  }
  return n;
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

// One parameter of a logged call: its XML-RPC type and its value as text
// ("1"/"0" for booleans).
struct Param {
  std::string type;
  std::string value;
};

struct Call {
  std::string method;
  std::vector<Param> params;
};

// A small reader for the stand-in's call log (one JSON object per line).
class JsonLine {
 public:
  explicit JsonLine(const std::string& text) : s_(text) {}

  bool parse_call(Call* call) {
    if (!expect('{')) return false;
    while (true) {
      std::string key;
      if (!string(&key) || !expect(':')) return false;
      if (key == "method") {
        if (!string(&call->method)) return false;
      } else if (key == "params") {
        if (!params(&call->params)) return false;
      } else if (!scalar(nullptr)) {
        return false;
      }
      skip();
      if (peek() == ',') {
        ++i_;
        continue;
      }
      return expect('}');
    }
  }

 private:
  void skip() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t')) ++i_;
  }
  char peek() { return i_ < s_.size() ? s_[i_] : '\0'; }
  bool expect(char c) {
    skip();
    if (peek() != c) return false;
    ++i_;
    return true;
  }
  bool string(std::string* out) {
    if (!expect('"')) return false;
    out->clear();
    while (i_ < s_.size() && s_[i_] != '"') {
      char c = s_[i_++];
      if (c == '\\' && i_ < s_.size()) {
        c = s_[i_++];
        if (c == 'n') c = '\n';
        if (c == 't') c = '\t';
        if (c == 'u' && i_ + 4 <= s_.size()) {
          const unsigned long code = std::strtoul(s_.substr(i_, 4).c_str(), nullptr, 16);
          i_ += 4;
          if (code < 0x80) {
            c = static_cast<char>(code);
          } else {  // the tests only need to see that something non-ASCII was there
            out->push_back('?');
            continue;
          }
        }
      }
      out->push_back(c);
    }
    return expect('"');
  }
  // A number, true, false or string; its text into `out` when given.
  bool scalar(std::string* out) {
    skip();
    std::string text;
    if (peek() == '"') {
      if (!string(&text)) return false;
    } else {
      while (i_ < s_.size() && s_[i_] != ',' && s_[i_] != ']' && s_[i_] != '}') {
        text.push_back(s_[i_++]);
      }
      while (!text.empty() && text.back() == ' ') text.pop_back();
      if (text == "true") text = "1";
      if (text == "false") text = "0";
    }
    if (out != nullptr) *out = text;
    return true;
  }
  bool params(std::vector<Param>* out) {
    if (!expect('[')) return false;
    skip();
    if (peek() == ']') return expect(']');
    while (true) {
      Param p;
      if (!expect('[') || !string(&p.type) || !expect(',') || !scalar(&p.value) || !expect(']')) {
        return false;
      }
      out->push_back(p);
      skip();
      if (peek() == ',') {
        ++i_;
        continue;
      }
      return expect(']');
    }
  }

  const std::string& s_;
  std::size_t i_ = 0;
};

// The stand-in application server (tools/appserver_standin.py) on
// 127.0.0.1 with a free port, its answers from a JSON script file.
class Standin {
 public:
  explicit Standin(const std::string& dir)
      : script_(dir + "/standin-script.json"),
        log_(dir + "/standin-calls.jsonl"),
        events_(dir + "/standin-events.jsonl"),
        port_file_(dir + "/standin-port") {
    write_file(script_, "{}");
    const std::string tool = std::string(SW_SOURCE_DIR) + "/tools/appserver_standin.py";
    pid_ = fork();
    if (pid_ == 0) {
      // Its "listening on" line would only clutter the test output.
      if (std::freopen((dir + "/standin-stdout").c_str(), "w", stdout) == nullptr) _exit(127);
      execlp("python3", "python3", tool.c_str(), "--port", "0", "--port-file", port_file_.c_str(),
             "--script", script_.c_str(), "--log", log_.c_str(), "--events", events_.c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    }
    wait_for([&] { return exists(port_file_); }, 30.0);
    port_ = std::atoi(read_file(port_file_).c_str());
  }
  Standin(const Standin&) = delete;
  Standin& operator=(const Standin&) = delete;
  ~Standin() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }

  int port() const { return port_; }
  // Replaces the answers; read again by the stand-in on every call.
  void script(const std::string& json) const { write_file(script_, json); }
  void add_event(const std::string& type, const std::string& value) const {
    std::ofstream(events_, std::ios::app) << "[\"" << type << "\", \"" << value << "\"]\n";
  }

  std::vector<Call> calls() const {
    std::vector<Call> out;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) {
      Call call;
      if (JsonLine(line).parse_call(&call)) out.push_back(call);
    }
    return out;
  }
  std::vector<Call> calls_of(const std::string& method) const {
    std::vector<Call> out;
    for (auto& c : calls()) {
      if (c.method == method) out.push_back(c);
    }
    return out;
  }
  std::vector<Call> decision_calls() const {
    std::vector<Call> out;
    for (auto& c : calls()) {
      if (c.method.rfind("spoolwarden.processPrintJob", 0) == 0) out.push_back(c);
    }
    return out;
  }

 private:
  std::string script_;
  std::string log_;
  std::string events_;
  std::string port_file_;
  pid_t pid_ = -1;
  int port_ = 0;
};

inline void copy_text(char* field, std::size_t size, const std::string& value) {
  std::snprintf(field, size, "%s", value.c_str());
}

// Every configuration value that the job flow reads, set for a test: the
// defaults, debug logging into the directory's log file, the stand-in as the
// application server, and the job directories inside the directory.
inline void configure(const TempDir& dir, int port) {
  config_init_session_defaults(&global_ctx);
  global_ctx.debug_logging = 1;
  copy_text(global_ctx.server_name, sizeof global_ctx.server_name, "printhost");
  copy_text(global_ctx.app_server_name, sizeof global_ctx.app_server_name, "127.0.0.1");
  global_ctx.app_server_port = port;
  global_ctx.connect_timeout_ms = 2000;
  global_ctx.send_timeout_ms = 10000;
  global_ctx.process_job_connect_retries = 0;
  global_ctx.hold_job_on_error_ms = 200;
  const char* subdirs[] = {"settings", "heldjobs", "archive", "snapshots", "replay"};
  for (const char* sub : subdirs) std::filesystem::create_directories(dir / sub);
  copy_text(global_ctx.settings_spool_dir_path, CONFIG_TEXT_SIZE, dir / "settings");
  copy_text(global_ctx.heldjobs_spool_dir_path, CONFIG_TEXT_SIZE, dir / "heldjobs");
  copy_text(global_ctx.archive_dir, CONFIG_TEXT_SIZE, dir / "archive");
  copy_text(global_ctx.spool_snapshot_dir, CONFIG_TEXT_SIZE, dir / "snapshots");
  copy_text(global_ctx.jobreplay_spool_dir_path, CONFIG_TEXT_SIZE, dir / "replay");
  log_set_path((dir / "test.log").c_str());
}

inline std::string log_text(const TempDir& dir) { return read_file(dir / "test.log"); }

// A script that writes each of its arguments, one per line, to `out` and
// exits with `status`.
inline std::string make_recorder(const TempDir& dir, const std::string& name, int status) {
  const std::string path = dir / name;
  write_file(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                       (dir / (name + ".argv")) + "\"\nexit " + std::to_string(status) + "\n");
  chmod(path.c_str(), 0755);
  return path;
}

inline std::vector<std::string> recorded_argv(const TempDir& dir, const std::string& name) {
  std::vector<std::string> out;
  std::ifstream in(dir / (name + ".argv"));
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

}  // namespace job_test
