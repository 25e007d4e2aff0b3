// The marker-counting makers' formats over 1 GiB jobs, beside the two
// references measured in the same run (memchr over the freshly mapped file,
// read() into a reused buffer):
//   - Canon BJ: the Gutenprint iP4300 gray job of the corpus, repeated (the
//     walk jumps over every command's parameters);
//   - the SAG-GDI Xerox Phaser: the rastertosag-gdi job of the corpus,
//     repeated (one counting search);
//   - the single-marker walk (Konica Minolta DI) and the walk with two start
//     bytes (Panasonic GDI) on synthetic jobs: a page record before 256 KiB of
//     pseudo-random raster bytes, page after page;
//   - the ZIMF-R event walk (four start letters) on a synthetic event stream.
// A 16 MiB job of each shows that the walk's memory does not grow with the
// job (peak_heap_bytes: the most held through operator new during a call).
//
// The corpus is looked for in SW_CORPUS_DIR, else in the ci and debug build
// trees (the release tree builds no tests, so it makes no corpus).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench_analyze.h"
#include "bench_heap.h"
#include "bench_support.h"
#include "formats/canon.h"
#include "formats/kmgdi_di.h"
#include "formats/kmgdi_zimf.h"
#include "formats/panasonicgdi.h"
#include "formats/xeroxgdi.h"
#include "foundation/config.h"
#include "foundation/ja.h"

namespace {

constexpr std::uint64_t MIB = std::uint64_t{1} << 20;
constexpr std::size_t RASTER_BYTES = 256 * 1024;

// One synthetic page: its record, then raster bytes from a fixed seed.
std::string synthetic_page(const std::string& record) {
  std::mt19937 random(17);
  std::string page = record;
  page.reserve(record.size() + RASTER_BYTES);
  for (std::size_t i = 0; i < RASTER_BYTES; ++i) page += static_cast<char>(random() & 0xff);
  return page;
}

std::string synthetic_events() {
  std::string page = "Event=StartOfPage;MediaSize=iso_a4_210x297mm;Sides=OneSided;";
  for (int i = 0; i < 2000; ++i) {
    page += "RasterObject.Planes=ffffff,1,1,1,0,0,0;Data=";
    page += std::to_string(i * 7919);
    page += ";\n";
  }
  return page + "Event=EndOfPage;\n";
}

// A seed file in TMPDIR holding `bytes`.
std::string seed_file(const std::string& name, const std::string& bytes) {
  const std::string path = bench_tmp_dir() + "/spoolwarden_bench_seed_" + name;
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

using Process = int (*)(const std::uint8_t*, std::uint64_t, JobAttribs*);

void analyse(benchmark::State& state, const std::string& path, Process process) {
  bench_analyze_pass(state, path,
                     [&](const std::uint8_t* data, std::uint64_t size, JobAttribs* ja) {
                       (void)process(data, size, ja);
                     });
}

struct Family {
  const char* name;
  Process process;
  std::string seed;  // a file whose repetition is a valid job; empty when missing
};

void register_all() {
  const std::string canon = bench_corpus_file(std::string("cf-gutenprint-ip4300-gray-text-a4.prn"));
  const std::string sag = bench_corpus_file(std::string("cf-sag-gdi-rsp1000s-mixed-a4.prn"));
  const Family families[] = {
      {"canon_bj_process_job", canon_bj_process_job, canon},
      {"xerox_gdi_remote_process_job", xerox_gdi_remote_process_job, sag},
      {"kmgdi_di_process_job", kmgdi_di_process_job,
       seed_file("kmgdi_di", synthetic_page(std::string("\x01\x05\x25\x00\x00\x00\xff", 7)))},
      {"panasonic_gdi_process_job", panasonic_gdi_process_job,
       seed_file("panasonic", synthetic_page(std::string("\x1b\x01\x00\x71\x1b", 5)))},
      {"kmgdi_zimf_process_job", kmgdi_zimf_process_job, seed_file("zimf_r", synthetic_events())},
  };
  for (const Family& f : families) {
    const std::string big = f.seed.empty() ? "" : bench_repeated_file(std::string(f.name) + "_1GiB", f.seed, BENCH_GIB);
    const std::string small =
        f.seed.empty() ? "" : bench_repeated_file(std::string(f.name) + "_16MiB", f.seed, 16 * MIB);
    for (const auto& job : {std::pair{"1 GiB", big}, std::pair{"16 MiB", small}}) {
      const std::string path = job.second;
      const Process process = f.process;
      benchmark::RegisterBenchmark((std::string(f.name) + "/" + job.first).c_str(),
                                   [path, process](benchmark::State& s) { analyse(s, path, process); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->ComputeStatistics("min", bench_min_statistic);
    }
    if (!big.empty()) bench_register_references(std::string(f.name) + " 1 GiB", big);
  }
}

const int registered = (register_all(), 0);

}  // namespace
