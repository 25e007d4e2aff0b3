// The RISO, RPCS and Sharp SPLC analyzers over 1 GiB synthetic jobs (no free
// driver writes them): each page its commands as the formats lay them out,
// then 256 KiB of pseudo-random raster bytes, page after page. Beside them
// the two references measured in the same run (memchr over the freshly
// mapped file, read() into a reused buffer), and a 16 MiB job of each to
// show that memory does not grow with the job (peak_heap_bytes).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <utility>

#include "bench_analyze.h"
#include "bench_heap.h"
#include "bench_support.h"
#include "formats/riso.h"
#include "formats/rpcs.h"
#include "formats/sharpgdi_splc.h"
#include "foundation/config.h"
#include "foundation/ja.h"

namespace {

constexpr std::uint64_t MIB = std::uint64_t{1} << 20;
constexpr std::size_t RASTER_BYTES = 256 * 1024;

std::string synthetic_page(const std::string& head, const std::string& tail) {
  std::mt19937 random(23);
  std::string page = head;
  for (std::size_t i = 0; i < RASTER_BYTES; ++i) page += static_cast<char>(random() & 0xff);
  return page + tail;
}

std::string seed_file(const std::string& name, const std::string& bytes) {
  const std::string path = bench_tmp_dir() + "/spoolwarden_bench_seed_" + name;
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

using Process = int (*)(const std::uint8_t*, std::uint64_t, JobAttribs*);

int riso_with_colour(const std::uint8_t* data, std::uint64_t size, JobAttribs* ja) {
  return riso_process_job(data, size, 1, ja);
}

void analyse(benchmark::State& state, const std::string& path, Process process) {
  bench_analyze_pass(state, path,
                     [&](const std::uint8_t* data, std::uint64_t size, JobAttribs* ja) {
                       (void)process(data, size, ja);
                     });
}

void register_all() {
  const std::string pad(40, ' ');
  struct Family {
    const char* name;
    Process process;
    std::string page;
  };
  const Family families[] = {
      {"riso_process_job", riso_with_colour,
       synthetic_page("?<3>c" + pad + "?<2970;2100>m" + pad + "?<0>r", "?P?" + pad)},
      {"rpcs_process_job", rpcs_process_job,
       synthetic_page(std::string("\x22\x00\x01\x00\x01\x00\x01\x00\x01\x85\xff\x00", 12),
                      std::string("\x25\x00\x00\x00\x07\x23", 6))},
      {"sharp_gdi_splc_process_job", sharp_gdi_splc_process_job,
       synthetic_page("7h9a0d100l100e", pad)},
  };
  for (const Family& f : families) {
    const std::string seed = seed_file(f.name, f.page);
    const std::string big = bench_repeated_file(std::string(f.name) + "_1GiB", seed, BENCH_GIB);
    const std::string small = bench_repeated_file(std::string(f.name) + "_16MiB", seed, 16 * MIB);
    for (const auto& job : {std::pair{"1 GiB", big}, std::pair{"16 MiB", small}}) {
      if (job.second.empty()) continue;
      const std::string path = job.second;
      const Process process = f.process;
      benchmark::RegisterBenchmark((std::string(f.name) + "/" + job.first).c_str(),
                                   [path, process](benchmark::State& s) { analyse(s, path, process); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
    if (!big.empty()) bench_register_references(std::string(f.name) + " 1 GiB", big);
  }
}

const int registered = (register_all(), 0);

}  // namespace
