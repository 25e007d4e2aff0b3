// One pass of an analyzer over a mapped corpus-made job per iteration, with
// the pages it found and the peak of its heap as counters: the shape of
// every analyzer benchmark.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "bench_heap.h"
#include "bench_support.h"
#include "foundation/config.h"
#include "foundation/ja.h"

// `analyze(data, size, ja)` runs the analyzer on the mapped file into a
// fresh record. An empty `path` (no corpus generated) skips the benchmark.
template <typename Analyze>
void bench_analyze_pass(benchmark::State& state, const std::string& path, Analyze&& analyze) {
  config_init_session_defaults(&global_ctx);
  if (path.empty()) {
    state.SkipWithError("no corpus: run the tests of the ci or debug preset first");
    return;
  }
  int pages = 0;
  std::int64_t peak = 0;
  bench_mapped_pass(state, path, [&](const std::uint8_t* data, std::uint64_t size) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    peak = std::max(peak, bench_heap_peak_of([&] { analyze(data, size, ja.get()); }));
    pages = ja->pages;
    return pages;
  });
  state.counters["pages"] = pages;
  state.counters["peak_heap_bytes"] = static_cast<double>(peak);
}
