// Reading a spool file through its read-only image: map a 1 GiB file, then
// touch one byte per 4 KiB page, or read every byte (one at a time, or eight
// at a time). The file holds real data (a sparse file would be served from
// the zero page and measure nothing); it is written once to TMPDIR (or /tmp)
// and reused by later runs. Compare with `cat file > /dev/null` on the same,
// cache-warm file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/mapped_mem.h"

namespace {

constexpr std::uint64_t FILE_SIZE = std::uint64_t{1} << 30;
constexpr std::uint64_t PAGE_SIZE = 4096;
constexpr std::size_t CHUNK = std::size_t{1} << 20;

std::string bench_file_path() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != 0 ? dir : "/tmp") + "/spoolwarden_mapped_mem_bench.dat";
}

// Writes FILE_SIZE bytes of a non-constant pattern unless the file is there.
bool ensure_bench_file(const std::string& path) {
  std::error_code error;
  if (std::filesystem::file_size(path, error) == FILE_SIZE && !error) return true;
  const std::string partial = path + ".partial";
  FILE* out = std::fopen(partial.c_str(), "wb");
  if (out == nullptr) return false;
  std::vector<std::uint8_t> chunk(CHUNK);
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  bool ok = true;
  for (std::uint64_t written = 0; ok && written < FILE_SIZE; written += CHUNK) {
    for (std::uint8_t& byte : chunk) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      byte = static_cast<std::uint8_t>(state >> 56);
    }
    ok = std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
  }
  ok = std::fclose(out) == 0 && ok;
  if (ok) std::filesystem::rename(partial, path, error);
  return ok && !error;
}

template <typename Touch>
void run(benchmark::State& state, Touch touch) {
  const std::string path = bench_file_path();
  if (!ensure_bench_file(path)) {
    state.SkipWithError("cannot write the benchmark file");
    return;
  }
  for (auto _ : state) {
    mapped_mem* mm = create_mapped_mem(path.c_str());
    if (mm == nullptr) {
      state.SkipWithError("cannot map the benchmark file");
      return;
    }
    benchmark::DoNotOptimize(touch(mm->data, mm->size));
    free_mapped_mem(&mm);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FILE_SIZE));
}

std::uint64_t sum_one_byte_per_page(const std::uint8_t* data, std::uint64_t size) {
  std::uint64_t sum = 0;
  for (std::uint64_t at = 0; at < size; at += PAGE_SIZE) sum += data[at];
  return sum;
}

std::uint64_t sum_every_byte(const std::uint8_t* data, std::uint64_t size) {
  std::uint64_t sum = 0;
  for (std::uint64_t at = 0; at < size; ++at) sum += data[at];
  return sum;
}

// Every byte again, eight at a time: what a vectorised scan (memchr and the
// like) can draw from the image, without the cost of one add per byte.
std::uint64_t sum_every_word(const std::uint8_t* data, std::uint64_t size) {
  std::uint64_t sum = 0;
  std::uint64_t at = 0;
  for (; at + 8 <= size; at += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, data + at, 8);
    sum += word;
  }
  for (; at < size; ++at) sum += data[at];
  return sum;
}

void BM_MappedMemTouchEveryPage(benchmark::State& state) { run(state, sum_one_byte_per_page); }
void BM_MappedMemReadEveryByte(benchmark::State& state) { run(state, sum_every_byte); }
void BM_MappedMemReadEveryWord(benchmark::State& state) { run(state, sum_every_word); }

BENCHMARK(BM_MappedMemTouchEveryPage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MappedMemReadEveryByte)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MappedMemReadEveryWord)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
