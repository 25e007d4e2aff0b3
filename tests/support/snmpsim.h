// Runs snmpsimd (Debian's snmpsim) for a test or a benchmark: simulated
// printers on 127.0.0.1 at a free UDP port, one per "<community>.snmprec"
// file of the data directory, stopped by pid. Needs no test framework.
// snmpsimd reads its data directory at start, and the records of a file
// again when the file's whole-second mtime changes (write a new file, rename
// it over, and give it a new mtime).
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "support/child_process.h"
#include "support/files.h"

namespace sw_test {

inline constexpr const char* SNMPSIMD = "/usr/bin/snmpsimd";

// A UDP port on 127.0.0.1 that was free a moment ago; 0 when none.
inline int unused_udp_port() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

// The standard output of a shell command (its exit status into *status).
inline std::string command_output(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int rc = pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

class SnmpSimulator {
 public:
  // Serves the .snmprec files of `source_dir` (copied into `work_dir`, which
  // is made, and opened to all: as root snmpsimd runs as nobody) at `host` (127.0.0.1 with a free port when empty; an address
  // with port 161 needs root).
  SnmpSimulator(const std::filesystem::path& source_dir, const std::filesystem::path& work_dir,
                const std::string& host = "")
      : dir_(work_dir) {
    if (access(SNMPSIMD, X_OK) != 0) return;
    std::filesystem::create_directories(data_dir());
    std::filesystem::create_directories(dir_ / "cache");
    for (const auto& entry : std::filesystem::directory_iterator(source_dir)) {
      if (entry.path().extension() == ".snmprec") {
        std::filesystem::copy_file(entry.path(), data_dir() / entry.path().filename());
      }
    }
    // As root snmpsimd runs as nobody: it must read the data and write its
    // cache.
    chmod(dir_.c_str(), 0755);
    chmod(data_dir().c_str(), 0755);
    for (const auto& entry : std::filesystem::directory_iterator(data_dir())) {
      chmod(entry.path().c_str(), 0644);
    }
    chmod((dir_ / "cache").c_str(), 0777);
    endpoint_ = host.empty() ? "127.0.0.1:" + std::to_string(unused_udp_port()) : host;
    start();
  }
  ~SnmpSimulator() { stop(); }
  SnmpSimulator(const SnmpSimulator&) = delete;
  SnmpSimulator& operator=(const SnmpSimulator&) = delete;

  bool running() const { return pid_ > 0; }
  // "127.0.0.1:port", as net-snmp's peer names and the net-snmp tools take it.
  const std::string& address() const { return endpoint_; }
  std::filesystem::path data_dir() const { return dir_ / "data"; }

  // Waits until `community` answers a GET of `object`; false after 30 s.
  bool ready(const std::string& community, const std::string& object = "1.3.6.1.2.1.1.2.0") {
    if (!running()) return false;
    return wait_for(
        [&] {
          int status = -1;
          (void)command_output(snmpget_command(community, object) + " 2>/dev/null", &status);
          return status == 0;
        },
        30.0);
  }

  // The net-snmp tool's command line for one GET (numeric names, value only
  // unless `options` say otherwise).
  std::string snmpget_command(const std::string& community, const std::string& objects,
                              const std::string& options = "-Oqv") const {
    return "snmpget -v2c -c " + community + " -On " + options + " -t 1 -r 1 " + endpoint_ + " " +
           objects;
  }

  // Replaces the records of `community` as snmpsimd notices: a new file
  // renamed over the old one with a later whole-second mtime.
  void rewrite(const std::string& community, const std::string& records) {
    const std::filesystem::path file = data_dir() / (community + ".snmprec");
    const std::filesystem::path fresh = data_dir() / (community + ".snmprec.new");
    write_file(fresh.string(), records);
    chmod(fresh.c_str(), 0644);
    struct stat old {};
    const time_t before = stat(file.c_str(), &old) == 0 ? old.st_mtime : 0;
    const time_t when = std::max(time(nullptr), before + 1);
    std::filesystem::rename(fresh, file);
    timespec times[2] = {{when, 0}, {when, 0}};
    utimensat(AT_FDCWD, file.c_str(), times, 0);
  }

  void stop() { sw_test::stop_child(pid_); }

 private:
  void start() {
    const std::string data = "--data-dir=" + data_dir().string();
    const std::string cache = "--cache-dir=" + (dir_ / "cache").string();
    const std::string endpoint = "--agent-udpv4-endpoint=" + endpoint_;
    const std::string log = (dir_ / "snmpsimd.log").string();
    pid_ = fork();
    if (pid_ != 0) return;
    // It logs every request: to a file, for a failing test to look at.
    if (std::freopen(log.c_str(), "w", stdout) == nullptr || dup2(1, 2) < 0) _exit(127);
    if (geteuid() == 0) {
      execl(SNMPSIMD, SNMPSIMD, "--process-user=nobody", "--process-group=nogroup",
            data.c_str(), cache.c_str(), endpoint.c_str(), static_cast<char*>(nullptr));
    } else {
      execl(SNMPSIMD, SNMPSIMD, data.c_str(), cache.c_str(), endpoint.c_str(),
            static_cast<char*>(nullptr));
    }
    _exit(127);
  }

  std::filesystem::path dir_;
  std::string endpoint_;
  pid_t pid_ = -1;
};

}  // namespace sw_test
