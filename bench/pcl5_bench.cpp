// The PCL5 analyzer on 1 GiB jobs made of real driver output repeated:
//   - Ghostscript ljet4 (monochrome raster in delta rows), with colour
//     detection off and on: the scan steps over every raster row by its
//     length, so it should run near the memchr reference; with detection on,
//     rows under a palette without colour are not decoded;
//   - hpcups colour LaserJet (direct RGB rows in delta rows) with colour
//     detection on: rows are decoded until each page shows colour, so gray
//     pages are decoded whole (the detector's worst case on real data).
// Each pass maps the file afresh, as the memchr reference does. Files are
// built from the corpus (tests/corpus, generated into the build tree) and
// cached in TMPDIR.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "analysis/pcl5.h"
#include "bench_support.h"
#include "foundation/config.h"
#include "foundation/ja.h"

namespace {

// The generated corpus: SW_CORPUS_DIR, else the CI or debug build tree's.
std::string corpus_file(const char* name) {
  if (const char* dir = std::getenv("SW_CORPUS_DIR"); dir != nullptr && *dir != 0) {
    return std::string(dir) + "/" + name;
  }
  for (const char* tree : {"/../ci/corpus/", "/../debug/corpus/"}) {
    const std::string path = std::string(SW_BINARY_DIR) + tree + name;
    if (std::ifstream(path).good()) return path;
  }
  return {};
}

int analyse(const std::uint8_t* data, std::uint64_t size, int color) {
  std::unique_ptr<JobAttribs, JobAttribsDeleter> ja(analyzer_create_job_attribs());
  const int rc = pcl5_process_job(data, size, color, ja.get());
  return rc + ja->pages + ja->color_pages;
}

void add(const std::string& label, const std::string& path, int color) {
  benchmark::RegisterBenchmark(label.c_str(),
                               [path, color](benchmark::State& s) {
                                 config_init_session_defaults(&global_ctx);
                                 bench_mapped_pass(s, path, [color](const std::uint8_t* d,
                                                                    std::uint64_t n) {
                                   return analyse(d, n, color);
                                 });
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

void register_all() {
  const std::string ljet4 = corpus_file("gs-ljet4pjl-mixed-a4.pcl");
  const std::string mono = bench_repeated_file("pcl5_ljet4_1g", ljet4, BENCH_GIB);
  if (mono.empty()) return;
  add("pcl5_process_job ljet4, colour detection off/1 GiB", mono, 0);
  add("pcl5_process_job ljet4, colour detection on/1 GiB", mono, 1);
  bench_register_references("ljet4 1 GiB", mono);

  const std::string clj = corpus_file("cf-hpcups-clj2500-mixed-a4.pcl");
  const std::string rgb = bench_repeated_file("pcl5_clj2500_1g", clj, BENCH_GIB);
  if (rgb.empty()) return;
  add("pcl5_process_job hpcups RGB, colour detection off/1 GiB", rgb, 0);
  add("pcl5_process_job hpcups RGB, colour detection on/1 GiB", rgb, 1);
  bench_register_references("hpcups RGB 1 GiB", rgb);
}

const int registered = (register_all(), 0);

}  // namespace
