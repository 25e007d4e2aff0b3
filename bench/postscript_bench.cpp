// The PostScript analyzer on 1 GiB jobs made by repeating real print files:
//   - pdftops output of a real application document (the valgrind manual
//     that Debian ships, 397 pages of FOP output converted by poppler): text,
//     links in colour, the kind of job most offices print;
//   - ps2write output (how cups-filters turns PDF into PostScript), a
//     program-heavy prolog and PDF content streams on every page;
//   - pdftops output of a document of photographs (images in ASCII85 data).
// Each is measured counting pages only and with colour-page detection, on a
// fresh mapping (as a job is analysed) and on a warm one (the analyzer's own
// speed), beside the memchr and read() references of the same file and, once,
// Ghostscript's nullpage device on the job's first 64 MiB (what counting by
// interpreting the job would cost). Memory stays flat: the decoders work in
// bounded pieces.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "analysis/postscript.h"
#include "bench_support.h"
#include "foundation/config.h"
#include "foundation/global.h"
#include "foundation/ja.h"
#include "foundation/mapped_mem.h"

namespace {

void analyze(benchmark::State& state, const std::string& path, int color) {
  config_init_session_defaults(&global_ctx);
  if (path.empty()) {
    state.SkipWithError("no benchmark file (generate the corpus first)");
    return;
  }
  int pages = 0;
  int colour_pages = 0;
  bench_mapped_pass(state, path, [&](const std::uint8_t* data, std::uint64_t size) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    const int result = postscript_process_job(data, size, color, ja.get());
    pages = ja->pages;
    colour_pages = ja->color_pages;
    return result;
  });
  state.counters["pages"] = pages;
  state.counters["colour_pages"] = colour_pages;
}

// The same on a mapping made and touched once: the analyzer's own speed,
// without the page-table set-up that every fresh mapping pays (the memchr
// reference measures that).
void analyze_warm(benchmark::State& state, const std::string& path, int color) {
  config_init_session_defaults(&global_ctx);
  mapped_mem* mm = path.empty() ? nullptr : create_mapped_mem(path.c_str());
  if (mm == nullptr) {
    state.SkipWithError("no benchmark file (generate the corpus first)");
    return;
  }
  std::uint64_t sum = 0;
  for (std::uint64_t i = 0; i < mm->size; i += 4096) sum += mm->data[i];
  benchmark::DoNotOptimize(sum);
  int pages = 0;
  for (auto _ : state) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    benchmark::DoNotOptimize(postscript_process_job(mm->data, mm->size, color, ja.get()));
    pages = ja->pages;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * mm->size));
  state.counters["pages"] = pages;
  free_mapped_mem(&mm);
}

// Ghostscript interpreting the same job on its nullpage device: the first
// 64 MiB of the file (on all of it, Ghostscript's memory grows with every
// document of a repeated ps2write job past several gigabytes).
constexpr std::uint64_t GHOSTSCRIPT_HEAD = std::uint64_t{64} << 20;

void ghostscript_nullpage(benchmark::State& state, const std::string& path) {
  const std::string head = path + ".head";
  {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes(GHOSTSCRIPT_HEAD);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::ofstream(head, std::ios::binary | std::ios::trunc).write(bytes.data(), in.gcount());
  }
  const std::string command =
      "gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=nullpage '" + head + "' >/dev/null 2>&1";
  for (auto _ : state) {
    // A job cut inside a document ends in a PostScript error: the time is
    // what counts.
    (void)std::system(command.c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * GHOSTSCRIPT_HEAD));
  std::remove(head.c_str());
}

void register_job(const std::string& label, const char* seed_name) {
  const std::string seed = bench_corpus_file(seed_name);
  const std::string job = seed.empty() ? std::string() : bench_repeated_file("ps_" + label, seed, BENCH_GIB);
  benchmark::RegisterBenchmark(("postscript pages/" + label + " 1 GiB").c_str(),
                               [job](benchmark::State& s) { analyze(s, job, 0); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark(("postscript pages+colour/" + label + " 1 GiB").c_str(),
                               [job](benchmark::State& s) { analyze(s, job, 1); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark(("postscript pages, warm mapping/" + label + " 1 GiB").c_str(),
                               [job](benchmark::State& s) { analyze_warm(s, job, 0); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark(("postscript pages+colour, warm mapping/" + label + " 1 GiB").c_str(),
                               [job](benchmark::State& s) { analyze_warm(s, job, 1); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  if (job.empty()) return;
  bench_register_references(label + " 1 GiB", job);
  benchmark::RegisterBenchmark(("ghostscript nullpage/" + label + " first 64 MiB").c_str(),
                               [job](benchmark::State& s) { ghostscript_nullpage(s, job); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(1);
}

const int registered = [] {
  register_job("pdftops-valgrind-manual", "doc-valgrind-manual.ps");
  register_job("ps2write-mixed", "gs-ps2write-mixed-a4.ps");
  register_job("pdftops-photos", "pdftops-level3-photos-a4.ps");
  return 0;
}();

}  // namespace
