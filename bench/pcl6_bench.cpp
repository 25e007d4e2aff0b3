// The PCL XL analyzer over 1 GiB of real Ghostscript pxlcolor output (the
// corpus job gs-pxlcolor-mixed-a4.pxl repeated), with colour detection off
// and on, beside the two references measured in the same run: memchr over
// the freshly mapped file and read() into a reused buffer. A 16 MiB job of
// the same output shows that the analyzer's own memory does not grow with
// the job: the counter peak_heap_bytes is the largest amount of memory the
// program held through operator new during one analysis, above what it held
// before.
//
// The corpus is looked for in SW_CORPUS_DIR, else in the ci and debug build
// trees (the release tree builds no tests, so it makes no corpus).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "analysis/pcl6.h"
#include "bench_analyze.h"
#include "bench_heap.h"
#include "bench_support.h"
#include "foundation/config.h"
#include "foundation/ja.h"

namespace {

const char* const SEED_FILE = "gs-pxlcolor-mixed-a4.pxl";

std::string seed_path() {
  std::string dirs[] = {std::getenv("SW_CORPUS_DIR") != nullptr ? std::getenv("SW_CORPUS_DIR") : "",
                        std::string(SW_BINARY_DIR) + "/../ci/corpus",
                        std::string(SW_BINARY_DIR) + "/../debug/corpus"};
  for (const std::string& dir : dirs) {
    std::error_code error;
    if (!dir.empty() && std::filesystem::exists(dir + "/" + SEED_FILE, error)) {
      return dir + "/" + SEED_FILE;
    }
  }
  return {};
}

void analyse(benchmark::State& state, const std::string& path, int color) {
  bench_analyze_pass(state, path,
                     [&](const std::uint8_t* data, std::uint64_t size, JobAttribs* ja) {
                       (void)pcl6_process_job(data, size, color, ja);
                     });
}

void register_all() {
  const std::string seed = seed_path();
  const std::string big = seed.empty() ? "" : bench_repeated_file("pcl6_pxlcolor_1GiB", seed, BENCH_GIB);
  const std::string small =
      seed.empty() ? "" : bench_repeated_file("pcl6_pxlcolor_16MiB", seed, std::uint64_t{16} << 20);
  for (const auto& job : {std::pair{"1 GiB", big}, std::pair{"16 MiB", small}}) {
    const std::string path = job.second;
    for (const int color : {0, 1}) {
      const std::string name = std::string("pcl6_process_job/") + job.first +
                               (color != 0 ? "/colour detection on" : "/colour detection off");
      benchmark::RegisterBenchmark(name.c_str(), [path, color](benchmark::State& s) {
        analyse(s, path, color);
      })->Unit(benchmark::kMillisecond)->UseRealTime();
    }
  }
  if (!big.empty()) bench_register_references("pxlcolor 1 GiB", big);
}

const int registered = (register_all(), 0);

}  // namespace
