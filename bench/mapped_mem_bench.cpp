// How a spool file's read-only image is best mapped for the whole-file passes
// of the analyzers. One pass, the memchr pass of the reference in
// bench_support.h, runs over 1 GiB of real print data (a Ghostscript PCL XL
// job repeated) that is mapped afresh each iteration in each of the ways
// Linux offers: plain, advised sequential or will-need, asked for huge pages,
// populated by MAP_POPULATE, by MADV_POPULATE_READ ahead of the pass, or by
// os_mmap_prefault step by step; and through mapped_mem itself, with and
// without os_mmap_prefault. The two references, memchr over a plainly
// advised map and read() into a reused buffer, run in the same program.
//
// The file is page-cache warm (it is read once before the figures): what is
// measured is the cost of the mapping and its page faults, not the disk. On
// a shared machine run with --benchmark_repetitions=10
// --benchmark_enable_random_interleaving=true and compare medians.
//
// What it showed (Linux 6.18, 8 vCPUs, quiet): every advice-only mapping
// runs at the memchr reference (about 1.4 GB/s); filling the page tables
// first (either populate, or prefault in 16 MiB steps) is about 11% faster;
// huge pages are not given to file maps here; read() is about four times
// faster still. mapped_mem therefore keeps MAP_SHARED with sequential advice
// (a partial reader, language detection or a PDF trailer, must not pay for
// the whole file), and a scanner that reads every byte may prefault.
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
#include "foundation/os_mmap.h"

namespace {

constexpr char SEED[] = "gs-pxlcolor-mixed-a4.pxl";

// How the page tables are filled: by the pass's own page faults, by
// MADV_POPULATE_READ over the whole map before the pass, or by
// os_mmap_prefault of each step just before the pass reads it (what a scan
// that may stop early can do).
enum class Populate { BY_FAULTS, WHOLE, STEPS };
constexpr std::uint64_t PREFAULT_STEP = std::uint64_t{16} << 20;

// One way of mapping the file: extra mmap flags, the advice given right
// after mmap (0: none), and how the page tables are filled.
struct Mapping {
  const char* name;
  int mmap_flags;
  int advice;
  Populate populate;
};

constexpr Mapping MAPPINGS[] = {
    {"plain", 0, 0, Populate::BY_FAULTS},
    {"MADV_SEQUENTIAL", 0, MADV_SEQUENTIAL, Populate::BY_FAULTS},
    {"MADV_WILLNEED", 0, MADV_WILLNEED, Populate::BY_FAULTS},
    {"MADV_HUGEPAGE", 0, MADV_HUGEPAGE, Populate::BY_FAULTS},
    {"MAP_POPULATE", MAP_POPULATE, 0, Populate::BY_FAULTS},
    {"MAP_POPULATE+MADV_SEQUENTIAL", MAP_POPULATE, MADV_SEQUENTIAL, Populate::BY_FAULTS},
    {"MADV_POPULATE_READ", 0, 0, Populate::WHOLE},
    {"MADV_POPULATE_READ+MADV_SEQUENTIAL", 0, MADV_SEQUENTIAL, Populate::WHOLE},
    {"MADV_SEQUENTIAL+prefault 16 MiB steps", 0, MADV_SEQUENTIAL, Populate::STEPS},
};

// The pass, with each step prefaulted just before it is read.
std::uint64_t count_byte_in_steps(const std::uint8_t* data, std::uint64_t size,
                                  std::uint8_t needle) {
  std::uint64_t count = 0;
  for (std::uint64_t at = 0; at < size; at += PREFAULT_STEP) {
    const std::uint64_t n = size - at < PREFAULT_STEP ? size - at : PREFAULT_STEP;
    (void)os_mmap_prefault(data + at, n);
    count += bench_count_byte(data + at, n, needle);
  }
  return count;
}

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
    const auto* data = static_cast<const std::uint8_t*>(map);
    if (mapping.populate == Populate::WHOLE && os_mmap_prefault(data, size) == 0) {
      ::munmap(map, size);
      state.SkipWithError("MADV_POPULATE_READ is not available");
      return;
    }
    benchmark::DoNotOptimize(mapping.populate == Populate::STEPS
                                 ? count_byte_in_steps(data, size, needle)
                                 : bench_count_byte(data, size, needle));
    ::munmap(map, size);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// The same pass through the system's own image of a file, prefaulted whole
// (as a scanner that reads every byte may ask) or not.
void run_mapped_mem(benchmark::State& state, const std::string& path, bool prefault) {
  const std::uint8_t needle = bench_rarest_byte(path);
  std::uint64_t size = 0;
  for (auto _ : state) {
    const MappedMemPtr mm(create_mapped_mem(path.c_str()));
    if (!mm) {
      state.SkipWithError("cannot map the benchmark file");
      return;
    }
    size = mm->size;
    if (prefault) (void)os_mmap_prefault(mm->data, mm->size);
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
  for (const bool prefault : {false, true}) {
    const std::string name =
        std::string("mapped_mem") + (prefault ? "+os_mmap_prefault" : "") + "/pxlcolor 1 GiB";
    benchmark::RegisterBenchmark(name.c_str(), [path, prefault](benchmark::State& s) {
      run_mapped_mem(s, path, prefault);
    })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->ComputeStatistics("min", bench_min_statistic);
  }
  return true;
}();

}  // namespace
