// What the whole-file benchmarks share: a large job built by repeating a real
// print file (cached in TMPDIR between runs), and the two reference passes
// every whole-file figure is reported beside, measured in the same run:
//   - "memchr over the mapped file": map the file afresh and memchr through
//     it, which on these machines is bound by page-table set-up (2-3 GB/s);
//   - "read() into a reused buffer": the copy-out speed of the page cache.
//
//   const std::string job = bench_repeated_file("pxlcolor", corpus_path, 1 << 30);
//   bench_register_references("pxlcolor 1 GiB", job);
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline constexpr std::uint64_t BENCH_GIB = std::uint64_t{1} << 30;

// A file of the generated corpus: in SW_CORPUS_DIR, else in the CI or debug
// build tree's corpus (benchmarks build in the release tree, which has
// none). Empty when it is in neither.
inline std::string bench_corpus_file(const std::string& name) {
  if (const char* dir = std::getenv("SW_CORPUS_DIR"); dir != nullptr && *dir != 0) {
    return std::string(dir) + "/" + name;
  }
  for (const char* tree : {"/../ci/corpus/", "/../debug/corpus/"}) {
    const std::string path = std::string(SW_BINARY_DIR) + tree + name;
    if (std::ifstream(path).good()) return path;
  }
  return {};
}

inline std::string bench_tmp_dir() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != 0 ? dir : "/tmp";
}

// A file of `seed`'s bytes repeated until it holds at least `size` bytes,
// named after `name` in TMPDIR and reused while its size is right. Empty
// when the seed cannot be read or the file cannot be written.
inline std::string bench_repeated_file(const std::string& name, const std::string& seed,
                                       std::uint64_t size) {
  std::ifstream in(seed, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  if (bytes.empty()) return {};
  const std::uint64_t copies = (size + bytes.size() - 1) / bytes.size();
  const std::uint64_t total = copies * bytes.size();
  const std::string path = bench_tmp_dir() + "/spoolwarden_bench_" + name + ".dat";
  std::error_code error;
  if (std::filesystem::file_size(path, error) == total && !error) return path;
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    for (std::uint64_t i = 0; i < copies && out; ++i) {
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    if (!out) return {};
  }
  std::filesystem::rename(partial, path, error);
  return error ? std::string() : path;
}

// Maps `path` read-only for one pass; `pass` gets the bytes and returns a
// value kept from the optimizer. Sets the bytes processed per iteration.
template <typename Pass>
void bench_mapped_pass(benchmark::State& state, const std::string& path, Pass pass,
                       int madvise_flags = MADV_SEQUENTIAL) {
  std::uint64_t size = 0;
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size <= 0) {
      if (fd >= 0) ::close(fd);
      state.SkipWithError("cannot open the benchmark file");
      return;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) {
      state.SkipWithError("cannot map the benchmark file");
      return;
    }
    if (madvise_flags != 0) (void)::madvise(map, size, madvise_flags);
    benchmark::DoNotOptimize(pass(static_cast<const std::uint8_t*>(map), size));
    ::munmap(map, size);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// The byte that occurs least in the file's first MiB: the memchr reference
// looks for it, so that the pass measures memory, not calls.
inline std::uint8_t bench_rarest_byte(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> head(std::size_t{1} << 20);
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  std::uint64_t counts[256] = {};
  for (std::streamsize i = 0; i < in.gcount(); ++i) ++counts[static_cast<std::uint8_t>(head[i])];
  int rarest = 0;
  for (int b = 1; b < 256; ++b) {
    if (counts[b] < counts[rarest]) rarest = b;
  }
  return static_cast<std::uint8_t>(rarest);
}

// The memchr pass: how often `needle` occurs in the bytes.
inline std::uint64_t bench_count_byte(const std::uint8_t* data, std::uint64_t size,
                                      std::uint8_t needle) {
  std::uint64_t count = 0;
  const std::uint8_t* p = data;
  const std::uint8_t* end = data + size;
  while (p < end) {
    const void* hit = std::memchr(p, needle, static_cast<std::size_t>(end - p));
    if (hit == nullptr) break;
    ++count;
    p = static_cast<const std::uint8_t*>(hit) + 1;
  }
  return count;
}

// Reference: memchr through the freshly mapped file, counting its rarest byte.
inline void bench_reference_memchr(benchmark::State& state, const std::string& path) {
  const std::uint8_t needle = bench_rarest_byte(path);
  bench_mapped_pass(state, path, [needle](const std::uint8_t* data, std::uint64_t size) {
    return bench_count_byte(data, size, needle);
  });
}

// Reference: read() of the whole file into one reused 1 MiB buffer.
inline void bench_reference_read(benchmark::State& state, const std::string& path) {
  std::vector<char> buffer(std::size_t{1} << 20);
  std::uint64_t total = 0;
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      state.SkipWithError("cannot open the benchmark file");
      return;
    }
    total = 0;
    for (;;) {
      const ssize_t n = ::read(fd, buffer.data(), buffer.size());
      if (n <= 0) break;
      total += static_cast<std::uint64_t>(n);
      benchmark::DoNotOptimize(buffer.data());
    }
    ::close(fd);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
}

// The fastest of the repetitions (--benchmark_repetitions=N): on a machine
// shared with other work, the run least disturbed by it.
inline double bench_min_statistic(const std::vector<double>& values) {
  return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// Registers both references for `path` under `label`, so they run beside the
// figure they explain.
inline void bench_register_references(const std::string& label, const std::string& path) {
  benchmark::RegisterBenchmark(("reference memchr mapped/" + label).c_str(),
                               [path](benchmark::State& s) { bench_reference_memchr(s, path); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->ComputeStatistics("min", bench_min_statistic);
  benchmark::RegisterBenchmark(("reference read() reused buffer/" + label).c_str(),
                               [path](benchmark::State& s) { bench_reference_read(s, path); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->ComputeStatistics("min", bench_min_statistic);
}

// Runs a shell command once per iteration (a tool to compare with on the
// same file); its output and exit status (warnings included) are ignored.
inline void bench_command(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::system((command + " >/dev/null 2>&1").c_str()));
  }
}
