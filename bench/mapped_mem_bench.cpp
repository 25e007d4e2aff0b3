// How a spool file's read-only image is best mapped for the whole-file passes
// of the analyzers. One pass, the memchr pass of the reference in
// bench_support.h, runs over 1 GiB of real print data (a Ghostscript PCL XL
// job repeated) that is mapped afresh each iteration in each of the ways
// Linux offers: plain, advised sequential or will-need, populated by
// MAP_POPULATE, populated by MADV_POPULATE_READ ahead of the pass, asked for
// huge pages; and through mapped_mem itself (create_mapped_mem, the flags the
// analysis driver gets). The two references, memchr over a plainly advised
// map and read() into a reused buffer, run in the same program.
//
// The file is page-cache warm (it is read once before the figures): what is
// measured is the cost of the mapping and its page faults, not the disk. Run
// with --benchmark_repetitions=5 and read the "min" rows on a shared machine.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "foundation/mapped_mem.h"

namespace {

constexpr char SEED[] = "gs-pxlcolor-mixed-a4.pxl";

// One way of mapping the file: extra mmap flags, the advice given right
// after mmap (0: none), and whether the page tables are filled by
// MADV_POPULATE_READ before the pass.
struct Mapping {
  const char* name;
  int mmap_flags;
  int advice;
  bool populate_read;
};

constexpr Mapping MAPPINGS[] = {
    {"plain", 0, 0, false},
    {"MADV_SEQUENTIAL", 0, MADV_SEQUENTIAL, false},
    {"MADV_WILLNEED", 0, MADV_WILLNEED, false},
    {"MADV_HUGEPAGE", 0, MADV_HUGEPAGE, false},
    {"MAP_POPULATE", MAP_POPULATE, 0, false},
    {"MAP_POPULATE+MADV_SEQUENTIAL", MAP_POPULATE, MADV_SEQUENTIAL, false},
    {"MADV_POPULATE_READ", 0, 0, true},
    {"MADV_POPULATE_READ+MADV_SEQUENTIAL", 0, MADV_SEQUENTIAL, true},
};

void run_mapping(benchmark::State& state, const std::string& path, const Mapping& mapping) {
  const std::uint8_t needle = bench_rarest_byte(path);
  std::uint64_t size = 0;
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    size = fd < 0 ? 0 : static_cast<std::uint64_t>(::lseek(fd, 0, SEEK_END));
    void* map = size == 0 ? MAP_FAILED
                          : ::mmap(nullptr, size, PROT_READ, MAP_SHARED | mapping.mmap_flags,
                                   fd, 0);
    if (fd >= 0) ::close(fd);
    if (map == MAP_FAILED) {
      state.SkipWithError("cannot map the benchmark file");
      return;
    }
    if (mapping.advice != 0) (void)::madvise(map, size, mapping.advice);
    if (mapping.populate_read && ::madvise(map, size, MADV_POPULATE_READ) != 0) {
      ::munmap(map, size);
      state.SkipWithError("MADV_POPULATE_READ is not available");
      return;
    }
    benchmark::DoNotOptimize(bench_count_byte(static_cast<const std::uint8_t*>(map), size, needle));
    ::munmap(map, size);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// The same pass through the system's own image of a file.
void run_mapped_mem(benchmark::State& state, const std::string& path) {
  const std::uint8_t needle = bench_rarest_byte(path);
  std::uint64_t size = 0;
  for (auto _ : state) {
    const MappedMemPtr mm(create_mapped_mem(path.c_str()));
    if (!mm) {
      state.SkipWithError("cannot map the benchmark file");
      return;
    }
    size = mm->size;
    benchmark::DoNotOptimize(bench_count_byte(mm->data, mm->size, needle));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// Reads the file once so that every figure starts from a warm page cache.
void warm(const std::string& path) {
  std::vector<char> buffer(std::size_t{1} << 20);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  while (::read(fd, buffer.data(), buffer.size()) > 0) {
  }
  ::close(fd);
}

const bool REGISTERED = [] {
  const std::string seed = bench_corpus_file(SEED);
  const std::string path =
      seed.empty() ? "" : bench_repeated_file("pxlcolor_1GiB", seed, BENCH_GIB);
  if (path.empty()) {
    benchmark::RegisterBenchmark("mapping/no corpus", [](benchmark::State& state) {
      state.SkipWithError("no corpus: run the tests of the ci or debug preset first");
    });
    return false;
  }
  warm(path);
  bench_register_references("pxlcolor 1 GiB", path);
  for (const Mapping& mapping : MAPPINGS) {
    const std::string name = std::string("mapping/") + mapping.name + "/pxlcolor 1 GiB";
    benchmark::RegisterBenchmark(name.c_str(), [path, mapping](benchmark::State& s) {
      run_mapping(s, path, mapping);
    })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->ComputeStatistics("min", bench_min_statistic);
  }
  benchmark::RegisterBenchmark("mapped_mem/pxlcolor 1 GiB",
                               [path](benchmark::State& s) { run_mapped_mem(s, path); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->ComputeStatistics("min", bench_min_statistic);
  return true;
}();

}  // namespace
