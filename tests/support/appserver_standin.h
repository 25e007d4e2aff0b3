// Runs tools/standins/appserver_standin.py for a test or a benchmark: a scripted
// XML-RPC server on 127.0.0.1, its JSON script, call log and events file in a
// directory of its own, stopped by pid. Needs no test framework.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/files.h"
#include "support/loopback.h"

namespace sw_test {

// One call as the stand-in logged it: the method and its parameters as the
// JSON text [["type", value], ...].
struct LoggedCall {
  std::string method;
  std::string params;
};

// One parameter of a logged call: its XML-RPC type and its value as text
// ("1"/"0" for booleans).
struct Param {
  std::string type;
  std::string value;
};

// A logged call with its parameters read into Param records.
struct Call {
  std::string method;
  std::vector<Param> params;
};

// A small reader for the stand-in's call log, one JSON object a line:
// {"time": t, "method": "name", "params": [["type", value], ...]}.
class CallLogReader {
 public:
  explicit CallLogReader(const std::string& text) : s_(text) {}

  // A whole line: the method and the raw text of the parameter list.
  bool call(LoggedCall* call) {
    if (!expect('{')) return false;
    while (true) {
      std::string key;
      if (!string(&key) || !expect(':')) return false;
      if (key == "method") {
        if (!string(&call->method)) return false;
      } else if (key == "params") {
        skip();
        const std::size_t start = i_;
        std::vector<Param> ignored;
        if (!params(&ignored)) return false;
        call->params = s_.substr(start, i_ - start);
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

  // A parameter list [["type", value], ...].
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

 private:
  void skip() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t')) ++i_;
  }
  char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
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

  const std::string& s_;
  std::size_t i_ = 0;
};

class AppServerStandin {
 public:
  // Starts the stand-in in `dir` (created) on `port` (0: any free port),
  // answering from an empty script; waits until it listens.
  explicit AppServerStandin(const std::filesystem::path& dir, int port = 0) : dir_(dir) {
    std::filesystem::create_directories(dir_);
    write_script("{}");
    start(port);
  }
  ~AppServerStandin() { stop(); }
  AppServerStandin(const AppServerStandin&) = delete;
  AppServerStandin& operator=(const AppServerStandin&) = delete;

  int port() const { return port_; }
  bool running() const { return pid_ > 0 && port_ > 0; }
  std::filesystem::path log_path() const { return dir_ / "calls.jsonl"; }
  std::filesystem::path events_path() const { return dir_ / "events.jsonl"; }

  // Replaces the answers (read again by the stand-in on every call).
  void write_script(const std::string& json) { write_file_atomic(script_path(), json); }
  // Answers `method` with the JSON answer (a string, number, bool or object).
  void answer(const std::string& method, const std::string& json_answer) {
    write_script("{\"methods\": {\"" + method + "\": {\"answer\": " + json_answer + "}}}");
  }
  // Queues one event for the next drainEvents call.
  void append_event(const std::string& type, const std::string& value) {
    std::ofstream out(events_path(), std::ios::app);
    out << "[\"" << type << "\", \"" << value << "\"]\n";
  }

  // Every call so far, in order.
  std::vector<LoggedCall> calls() const {
    std::vector<LoggedCall> result;
    std::ifstream in(log_path());
    for (std::string line; std::getline(in, line);) {
      LoggedCall call;
      if (CallLogReader(line).call(&call)) result.push_back(call);
    }
    return result;
  }
  // The calls of methods that start with `prefix` (a whole method name
  // too), their parameters read.
  std::vector<Call> calls_starting_with(const std::string& prefix) const {
    std::vector<Call> result;
    for (const LoggedCall& logged : calls()) {
      if (logged.method.rfind(prefix, 0) != 0) continue;
      Call call{logged.method, {}};
      (void)CallLogReader(logged.params).params(&call.params);
      result.push_back(call);
    }
    return result;
  }
  // The calls of exactly `method`, their parameters read.
  std::vector<Call> calls_of(const std::string& method) const {
    std::vector<Call> result = calls_starting_with(method);
    std::erase_if(result, [&](const Call& call) { return call.method != method; });
    return result;
  }
  void clear_calls() { std::filesystem::remove(log_path()); }

  void stop() { sw_test::stop_child(pid_); }

 private:
  std::filesystem::path script_path() const { return dir_ / "script.json"; }

  void start(int port) {
    const std::string port_file = (dir_ / "port").string();
    std::filesystem::remove(port_file);
    const std::string tool = std::string(SW_SOURCE_DIR) + "/tools/standins/appserver_standin.py";
    const std::string port_text = std::to_string(port);
    const std::string script = script_path().string();
    const std::string log = log_path().string();
    const std::string events = events_path().string();
    const std::string out = (dir_ / "stdout").string();
    pid_ = fork();
    if (pid_ == 0) {
      // Its "listening on" line would only clutter the test output.
      if (std::freopen(out.c_str(), "w", stdout) == nullptr) _exit(127);
      execlp("python3", "python3", tool.c_str(), "--port", port_text.c_str(), "--port-file",
             port_file.c_str(), "--script", script.c_str(), "--log", log.c_str(), "--events",
             events.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid_ < 0) return;
    // The port file is written whole (renamed into place) once it listens.
    if (wait_for([&] { return exists(port_file); }, 30.0)) {
      port_ = std::atoi(read_file(port_file).c_str());
    }
  }

  std::filesystem::path dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace sw_test
