// The Canon UFR analyzer on a 1 GiB CPCA job: the corpus's PCL XL pages in
// CPCA packets, repeated. The walk tries its tests only at the bytes they
// begin with (LIPS brackets, CPCA signatures, ESC, a few page-end bytes), so
// it should run near the memchr reference. Cached in TMPDIR.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_support.h"
#include "formats/canonufr.h"
#include "foundation/config.h"
#include "foundation/ja.h"

namespace {

int analyse(const std::uint8_t* data, std::uint64_t size) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  const int rc = canonufr_process_job(data, size, ja.get());
  return rc + ja->pages + ja->copy_count;
}

void register_all() {
  const std::string path = bench_repeated_file(
      "canonufr_cpca_1g", bench_corpus_file("cpca-gs-pxlmono-text-a4.pxl"), BENCH_GIB);
  if (path.empty()) return;
  benchmark::RegisterBenchmark("canonufr_process_job CPCA/1 GiB",
                               [path](benchmark::State& s) {
                                 config_init_session_defaults(&global_ctx);
                                 bench_mapped_pass(s, path, analyse);
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  bench_register_references("CPCA 1 GiB", path);
}

const int registered = (register_all(), 0);

}  // namespace
