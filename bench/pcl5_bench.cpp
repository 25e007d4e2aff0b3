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

int analyse(const std::uint8_t* data, std::uint64_t size, int color) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
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
  struct Job {
    const char* label;
    const char* corpus;
    const char* cache;
  };
  const Job jobs[] = {
      {"ljet4", "gs-ljet4pjl-mixed-a4.pcl", "pcl5_ljet4_1g"},
      {"hpcups RGB", "cf-hpcups-clj2500-mixed-a4.pcl", "pcl5_clj2500_1g"},
  };
  for (const Job& job : jobs) {
    const std::string path = bench_repeated_file(job.cache, bench_corpus_file(job.corpus), BENCH_GIB);
    if (path.empty()) continue;
    for (int color : {0, 1}) {
      add(std::string("pcl5_process_job ") + job.label + ", colour detection " +
              (color != 0 ? "on" : "off") + "/1 GiB",
          path, color);
    }
    bench_register_references(std::string(job.label) + " 1 GiB", path);
  }
}

const int registered = (register_all(), 0);

}  // namespace
