// Runs tools/appserver_standin.py for a test: a scripted XML-RPC server on
// 127.0.0.1 with a free port, its JSON script, its call log and events file
// in a temp dir, stopped by pid.
#pragma once

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

// One call as the stand-in logged it: the method and its parameters as the
// JSON text [["type", value], ...].
struct LoggedCall {
  std::string method;
  std::string params;
};

// A free TCP port on 127.0.0.1 (closed again, so nothing listens on it).
inline int unused_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t length = sizeof addr;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
    port = ntohs(addr.sin_port);
  }
  close(fd);
  return port;
}

inline std::string read_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void write_text(const std::filesystem::path& path, const std::string& text) {
  const std::filesystem::path tmp = path.string() + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::filesystem::rename(tmp, path);
}

class AppServerStandin {
 public:
  // Starts the stand-in in `dir` (created) on `port` (0: any free port).
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
  void write_script(const std::string& json) { write_text(dir_ / "script.json", json); }
  // Answers `method` with the JSON answer (a string, number, bool or object).
  void answer(const std::string& method, const std::string& json_answer) {
    write_script("{\"methods\": {\"" + method + "\": {\"answer\": " + json_answer + "}}}");
  }
  void append_event(const std::string& type, const std::string& value) {
    std::ofstream out(events_path(), std::ios::app);
    out << "[\"" << type << "\", \"" << value << "\"]\n";
  }

  std::vector<LoggedCall> calls() const {
    std::vector<LoggedCall> result;
    std::ifstream in(log_path());
    std::string line;
    const std::string method_key = "\"method\": \"";
    const std::string params_key = "\", \"params\": ";
    while (std::getline(in, line)) {
      const auto m = line.find(method_key);
      const auto p = line.find(params_key);
      if (m == std::string::npos || p == std::string::npos || line.back() != '}') continue;
      const auto method_start = m + method_key.size();
      const auto params_start = p + params_key.size();
      result.push_back({line.substr(method_start, p - method_start),
                        line.substr(params_start, line.size() - 1 - params_start)});
    }
    return result;
  }
  void clear_calls() { std::filesystem::remove(log_path()); }

  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  void start(int port) {
    const std::filesystem::path port_file = dir_ / "port";
    std::filesystem::remove(port_file);
    const std::string script = std::string(SW_SOURCE_DIR) + "/tools/appserver_standin.py";
    const std::string port_text = std::to_string(port);
    const std::string port_path = port_file.string();
    const std::string script_path = (dir_ / "script.json").string();
    const std::string log = log_path().string();
    const std::string events = events_path().string();
    pid_ = fork();
    if (pid_ == 0) {
      const char* argv[] = {"python3", script.c_str(), "--port", port_text.c_str(),
                            "--port-file", port_path.c_str(), "--script", script_path.c_str(),
                            "--log", log.c_str(), "--events", events.c_str(), nullptr};
      execvp("python3", const_cast<char* const*>(argv));
      _exit(127);
    }
    for (int i = 0; i < 200 && port_ == 0; ++i) {
      if (std::filesystem::exists(port_file)) port_ = std::stoi(read_text(port_file));
      if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  std::filesystem::path dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A fresh temp dir under the test's binary dir.
inline std::filesystem::path make_temp_dir(const std::string& name) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("sw-" + name + "-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace test_support
