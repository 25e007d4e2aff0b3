// The CUPS backend's own costs.
//
// - Intake: copying and inflating print data into the spool file (bytes per
//   second; the input file is in the page cache).
// - One job through the backend program, from its start until it hands the
//   data to the real backend (a stub that exits at once), with the stand-in
//   application server answering at once: wall time and the program's own
//   CPU time (user + system, children excluded).
// - Memory: the backend's maximum resident set for a 1 GiB job, plain and
//   gzip-compressed.
// - The backend's own cost per job beside CUPS's plain socket backend: the
//   same 1 MB and 200 MB files sent to the same loopback printer, each
//   program run as CUPS runs it (its file as the sixth argument), ours
//   wrapping socket; wall times side by side, their difference and ratio.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/config.h"
#include "job/cups_intake.h"
#include "support/appserver_standin.h"
#include "support/loopback.h"

namespace fs = std::filesystem;

namespace {

const std::string PCL = std::string(SW_BINARY_DIR) + "/../ci/corpus/gs-ljet4-text-a4.pcl";

// Print-like data: a PCL job made by Ghostscript when the corpus is there,
// else a PCL-looking text, repeated up to `size` bytes.
std::string print_data(std::size_t size) {
  std::ifstream in(PCL, std::ios::binary);
  std::string unit((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (unit.empty()) {
    for (int i = 0; i < 4096; ++i) unit += "\x1b*b" + std::to_string(i % 97) + "W line of raster data\n";
  }
  std::string out;
  out.reserve(size);
  while (out.size() < size) out.append(unit, 0, std::min(unit.size(), size - out.size()));
  return out;
}

std::string temp_dir() {
  char pattern[] = "/tmp/sw_backend_bench_XXXXXX";
  return mkdtemp(pattern);
}

void write_gzip(const std::string& path, const std::string& unit, std::uint64_t total) {
  gzFile gz = gzopen(path.c_str(), "wb1");
  for (std::uint64_t done = 0; done < total; done += unit.size()) {
    gzwrite(gz, unit.data(), static_cast<unsigned>(unit.size()));
  }
  gzclose(gz);
}

// Copies (and inflates) `input` into a spool file in `dir` once an
// iteration; `bytes` of print data each time.
void run_intake(benchmark::State& state, const std::string& dir, const std::string& input,
                std::int64_t bytes) {
  std::snprintf(global_ctx.tmp_cups_spool_dir, CONFIG_TEXT_SIZE, "%s", dir.c_str());
  for (auto _ : state) {
    FILE* in = std::fopen(input.c_str(), "rb");
    char path[1024];
    if (common_make_spool_file(path, sizeof path, in) != 1) state.SkipWithError("intake failed");
    std::fclose(in);
    unlink(path);
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  fs::remove_all(dir);
}

void BM_IntakeCopy(benchmark::State& state) {
  const std::string dir = temp_dir();
  const std::string input = dir + "/input";
  std::ofstream(input, std::ios::binary) << print_data(static_cast<std::size_t>(state.range(0)));
  run_intake(state, dir, input, state.range(0));
}
BENCHMARK(BM_IntakeCopy)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

void BM_IntakeInflate(benchmark::State& state) {
  const std::string dir = temp_dir();
  const std::string input = dir + "/input.gz";
  write_gzip(input, print_data(1 << 20), static_cast<std::uint64_t>(state.range(0)));
  run_intake(state, dir, input, state.range(0));
}
BENCHMARK(BM_IntakeInflate)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

// The backend program installed in a temporary backend directory with a stub
// real backend, and the stand-in server.
class BackendRig {
 public:
  BackendRig() : dir_(temp_dir()), standin_(fs::path(dir_) / "standin") {
    // Real backends that others may execute run as CUPS's user, who must
    // reach them and the files handed to them.
    chmod(dir_.c_str(), 0755);
    fs::copy_file(std::string(SW_BINARY_DIR) + "/tools/spoolwarden", dir_ + "/spoolwarden");
    std::ofstream(dir_ + "/stub") << "#!/bin/sh\nexit 0\n";
    chmod((dir_ + "/stub").c_str(), 0755);
    standin_.write_script(
        R"({"default": "PRINT", "methods": {"spoolwarden.getPrinterConfig": )"
        R"("color-detection=N;failure-mode=PRINT_NEW_NO_REPLAY;"}})");
    std::ofstream(dir_ + "/spoolwarden.conf")
        << "ApplicationServer=127.0.0.1\nApplicationServerPort=" << standin_.port()
        << "\nServerName=bench\nSpoolDir=" << dir_ << "/spool\nTmpCupsSpoolDir=" << dir_
        << "\nCupsBackendDir=" << dir_ << "\nCupsSpoolDir=" << dir_ << "/cups\n";
  }
  ~BackendRig() {
    standin_.stop();
    fs::remove_all(dir_);
  }
  BackendRig(const BackendRig&) = delete;
  BackendRig& operator=(const BackendRig&) = delete;

  // Runs one job; its resource use.
  rusage run(const std::string& file, bool on_stdin, int* status) {
    pid_t pid = fork();
    if (pid == 0) {
      setenv("DEVICE_URI", "spoolwarden:stub://127.0.0.1:9/", 1);
      setenv("PRINTER", "bench", 1);
      if (on_stdin) {
        int fd = open(file.c_str(), O_RDONLY);
        dup2(fd, 0);
      }
      std::string program = dir_ + "/spoolwarden";
      if (on_stdin) {
        execl(program.c_str(), "spoolwarden:stub://127.0.0.1:9/", "7", "alice", "bench", "1", "",
              nullptr);
      } else {
        execl(program.c_str(), "spoolwarden:stub://127.0.0.1:9/", "7", "alice", "bench", "1", "",
              file.c_str(), nullptr);
      }
      _exit(127);
    }
    rusage usage{};
    wait4(pid, status, 0, &usage);
    return usage;
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  sw_test::AppServerStandin standin_;
};

double seconds(const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; }

void BM_BackendOneJob(benchmark::State& state) {
  BackendRig rig;
  const std::string job = rig.dir() + "/job.pcl";
  std::ofstream(job, std::ios::binary) << print_data(150 * 1024);  // one PCL page
  double cpu = 0;
  for (auto _ : state) {
    int status = 0;
    rusage usage = rig.run(job, false, &status);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("backend failed");
    cpu += seconds(usage.ru_utime) + seconds(usage.ru_stime);
  }
  state.counters["own_cpu_ms"] = benchmark::Counter(cpu * 1000 / state.iterations());
}
BENCHMARK(BM_BackendOneJob)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);

void BM_BackendMaxRss1GiB(benchmark::State& state) {
  BackendRig rig;
  const bool gzip = state.range(0) == 1;
  const std::string job = rig.dir() + (gzip ? "/job.gz" : "/job.prn");
  const std::uint64_t size = 1ULL << 30;
  if (gzip) {
    write_gzip(job, print_data(1 << 20), size);
  } else {
    std::ofstream out(job, std::ios::binary);
    const std::string unit = print_data(1 << 20);
    for (std::uint64_t done = 0; done < size; done += unit.size()) out << unit;
  }
  long max_rss_kib = 0;
  for (auto _ : state) {
    int status = 0;
    rusage usage = rig.run(job, true, &status);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("backend failed");
    max_rss_kib = std::max(max_rss_kib, usage.ru_maxrss);
  }
  state.counters["max_rss_mib"] = benchmark::Counter(static_cast<double>(max_rss_kib) / 1024);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
// A raw printer on 127.0.0.1 that reads every connection to its end.
class SinkPrinter {
 public:
  SinkPrinter() {
    fd_ = sw_test::bind_loopback(&port_);
    listen(fd_, 16);
    thread_ = std::thread([this] {
      std::vector<char> buffer(1 << 20);
      for (;;) {
        const int peer = accept(fd_, nullptr, nullptr);
        if (peer < 0) return;
        while (recv(peer, buffer.data(), buffer.size(), 0) > 0) {
        }
        close(peer);
      }
    });
  }
  ~SinkPrinter() {
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  SinkPrinter(const SinkPrinter&) = delete;
  SinkPrinter& operator=(const SinkPrinter&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// Runs `program` as CUPS runs a backend on `file`; its wall time in ms.
double run_backend_ms(const std::string& program, const std::string& uri, const std::string& file) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("DEVICE_URI", uri.c_str(), 1);
    setenv("PRINTER", "bench", 1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    execl(program.c_str(), uri.c_str(), "7", "alice", "bench", "1", "", file.c_str(), nullptr);
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took.count() : -1;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

void BM_BackendBesideSocket(benchmark::State& state) {
  const char* socket_backend = "/usr/lib/cups/backend/socket";
  if (access(socket_backend, X_OK) != 0) {
    state.SkipWithError("CUPS's socket backend is not installed");
    return;
  }
  BackendRig rig;
  SinkPrinter printer;
  // Both programs in the rig's directory; socket keeps CUPS's mode (run as
  // CUPS's user by ours when we are root, as CUPS would).
  fs::copy_file(socket_backend, rig.dir() + "/socket");
  chmod((rig.dir() + "/socket").c_str(), 0755);
  const std::string job = rig.dir() + "/job.prn";
  {
    std::ofstream out(job, std::ios::binary);
    const std::string unit = print_data(1 << 20);
    for (std::int64_t done = 0; done < state.range(0); done += static_cast<std::int64_t>(unit.size())) {
      out.write(unit.data(), static_cast<std::streamsize>(
                                 std::min<std::int64_t>(unit.size(), state.range(0) - done)));
    }
  }
  const std::string target = "socket://127.0.0.1:" + std::to_string(printer.port());
  std::vector<double> socket_ms;
  std::vector<double> ours_ms;
  for (auto _ : state) {
    // In turn, so that a drift of the machine's speed touches both alike.
    socket_ms.push_back(run_backend_ms(rig.dir() + "/socket", target, job));
    ours_ms.push_back(run_backend_ms(rig.dir() + "/spoolwarden", "spoolwarden:" + target, job));
    if (socket_ms.back() < 0 || ours_ms.back() < 0) state.SkipWithError("a backend failed");
  }
  const double socket = median(socket_ms);
  const double ours = median(ours_ms);
  state.counters["socket_ms"] = socket;
  state.counters["spoolwarden_ms"] = ours;
  state.counters["overhead_ms"] = ours - socket;
  state.counters["ratio"] = socket > 0 ? ours / socket : 0;
}
BENCHMARK(BM_BackendBesideSocket)->Arg(1000 * 1000)->Arg(200 * 1000 * 1000)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);

BENCHMARK(BM_BackendMaxRss1GiB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1)
    ->UseRealTime();

}  // namespace
