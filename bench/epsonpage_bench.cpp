// The ESC/Page analyzer on 1 GiB jobs made of Ghostscript's lp8900 (gray)
// and alc1900 (colour) output repeated: the walk stops only at the bytes a
// test can begin with and skips the rest itself, so it should run near the
// memchr reference. Files are built from the corpus and cached in TMPDIR.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_support.h"
#include "formats/epsonpage.h"
#include "foundation/config.h"
#include "foundation/ja.h"

namespace {

int analyse(const std::uint8_t* data, std::uint64_t size) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  const int rc = epsonpage_process_job(data, size, ja.get());
  return rc + ja->pages + ja->is_grayscale;
}

void register_all() {
  struct Job {
    const char* label;
    const char* corpus;
    const char* cache;
  };
  const Job jobs[] = {
      {"lp8900", "gs-lp8900-mixed-a4.prn", "epsonpage_lp8900_1g"},
      {"alc1900", "gs-alc1900-mixed-a4.prn", "epsonpage_alc1900_1g"},
  };
  for (const Job& job : jobs) {
    const std::string path =
        bench_repeated_file(job.cache, bench_corpus_file(job.corpus), BENCH_GIB);
    if (path.empty()) continue;
    const std::string label = std::string("epsonpage_process_job ") + job.label + "/1 GiB";
    benchmark::RegisterBenchmark(label.c_str(),
                                 [path](benchmark::State& s) {
                                   config_init_session_defaults(&global_ctx);
                                   bench_mapped_pass(s, path, analyse);
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    bench_register_references(std::string(job.label) + " 1 GiB", path);
  }
}

const int registered = (register_all(), 0);

}  // namespace
