// The spool modification over a 1 GiB job: a PostScript job from Ghostscript
// (corpus gs-ps2write-text-letter.ps) repeated to 1 GiB behind an XPIF
// ticket whose duplex and copies the decision changes (hand-made ticket, as
// in the modify tests); the PostScript planner adds its own block as well. Each iteration is the whole driver as the job flow
// runs it: map the job, plan, check, write the rewrite into a new temporary
// file. Beside it: cp of the same file, memchr over the mapped file, read()
// into a reused buffer; "heap_peak_bytes" is the most heap the driver took.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_heap.h"
#include "bench_support.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/os_file.h"
#include "foundation/watermark.h"
#include "modify/modify_spool_file.h"

namespace {

constexpr char TICKET[] =
    "\x1b%-12345X@PJL JOB\n"
    "@PJL XCPT <!DOCTYPE xpif SYSTEM \"xpif-v02076.dtd\">\n"
    "@PJL XCPT <xpif version=\"1.0\" cpss-version=\"2.07\" xml:lang=\"en\">\n"
    "@PJL XCPT <job-template-attributes>\n"
    "@PJL XCPT <copies syntax=\"integer\">1</copies>\n"
    "@PJL XCPT <sides syntax=\"keyword\">one-sided</sides>\n"
    "@PJL XCPT </job-template-attributes>\n"
    "@PJL XCPT </xpif>\n"
    "@PJL ENTER LANGUAGE=POSTSCRIPT\n";

// The job, reused while its size is right; empty without the corpus.
std::string job_file() {
  const std::string body_path = bench_repeated_file(
      "modify_ps_1g", bench_corpus_file("gs-ps2write-text-letter.ps"), BENCH_GIB);
  if (body_path.empty()) return {};
  const std::string path = bench_tmp_dir() + "/spoolwarden_bench_modify_xpif_1g.dat";
  std::error_code error;
  const std::uint64_t size = std::filesystem::file_size(body_path, error) + sizeof TICKET - 1;
  if (!error && std::filesystem::file_size(path, error) == size && !error) return path;
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::ifstream in(body_path, std::ios::binary);
    out << TICKET << in.rdbuf();
    if (!out) return {};
  }
  std::filesystem::remove(body_path, error);
  return path;
}

void modify(benchmark::State& state, const std::string& path) {
  JobAttribsPtr job(analyzer_create_job_attribs());
  job->language = LANG_POSTSCRIPT;
  watermark_params request{};
  request.force_duplex = 1;
  request.copies = 2;
  std::uint64_t written = 0;
  std::int64_t heap = 0;
  for (auto _ : state) {
    char out[OS_PATH_BUFFER_SIZE];
    int ok = 0;
    heap = bench_heap_peak_of([&] {
      ok = modify_spool_file_to_temp_file(&request, job.get(), path.c_str(), out, sizeof out);
    });
    if (ok != 1) {
      state.SkipWithError("the rewrite failed");
      return;
    }
    std::error_code error;
    written = std::filesystem::file_size(out, error);
    std::remove(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
  state.counters["heap_peak_bytes"] = static_cast<double>(heap);
}

const bool registered = [] {
  config_init_session_defaults(&global_ctx);
  const std::string path = job_file();
  if (path.empty()) {
    std::fprintf(stderr, "modify_bench: no corpus; run the CI first\n");
    return false;
  }
  const std::string label = "XPIF PostScript 1 GiB";
  benchmark::RegisterBenchmark(("duplex and copies rewrite/" + label).c_str(),
                               [path](benchmark::State& s) { modify(s, path); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->ComputeStatistics("min", bench_min_statistic);
  const std::string copy = path + ".cp";
  benchmark::RegisterBenchmark(("reference cp/" + label).c_str(),
                               [path, copy](benchmark::State& s) {
                                 bench_command(s, "cp '" + path + "' '" + copy + "'; rm -f '" +
                                                      copy + "'");
                                 std::error_code error;
                                 s.SetBytesProcessed(static_cast<std::int64_t>(
                                     s.iterations() * std::filesystem::file_size(path, error)));
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->ComputeStatistics("min", bench_min_statistic);
  bench_register_references(label, path);
  return true;
}();

}  // namespace
