// The record-format analyzers on 1 GiB jobs made of real driver output:
//   - ZjStream (foo2zjs): one valid stream, the start of document, the
//     driver's pages repeated, the end of document; walked by the record
//     parse (code 28, record by record on their sizes) and by the byte scan
//     (code 67, memchr to each "ZZ" header mark);
//   - QPDL (foo2qpdl), HBPL (foo2hbpl2), HiperC (foo2hiperc, colour), XQX
//     (foo2xqx) and Minolta GDI (min12xxw): the driver's whole job repeated,
//     which the marker scanners read as one long job.
// Beside each figure: the memchr and read() references over the same file,
// and the most heap a call took (memory stays flat). Files are built from
// the corpus (tests/corpus, generated into the build tree) and cached in
// TMPDIR.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_analyze.h"
#include "bench_heap.h"
#include "bench_support.h"
#include "formats/hbpl.h"
#include "formats/hiperc.h"
#include "formats/hpgdi.h"
#include "formats/kmgdi.h"
#include "formats/qpdl.h"
#include "formats/zjstream.h"
#include "foundation/config.h"
#include "foundation/ja.h"

namespace {

std::vector<char> read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t be32_at(const std::vector<char>& b, std::size_t at) {
  return (std::uint32_t{static_cast<std::uint8_t>(b[at])} << 24) |
         (std::uint32_t{static_cast<std::uint8_t>(b[at + 1])} << 16) |
         (std::uint32_t{static_cast<std::uint8_t>(b[at + 2])} << 8) |
         std::uint32_t{static_cast<std::uint8_t>(b[at + 3])};
}

// One ZjStream of at least `size` bytes: the seed's "JZJZ" and
// start-of-document record, its pages again and again, its end of document
// (the seed's last 16 bytes). Empty when the seed is not such a stream.
std::string zjstream_file(const std::string& seed, std::uint64_t size) {
  const std::vector<char> b = read_all(seed);
  if (b.size() < 40 || std::string(b.data(), 4) != "JZJZ") return {};
  const std::size_t pages_from = 4 + be32_at(b, 4);
  const std::size_t pages_to = b.size() - 16;
  if (pages_from >= pages_to) return {};
  const std::string path = bench_tmp_dir() + "/spoolwarden_bench_zjstream_1GiB.dat";
  const std::uint64_t chunk = pages_to - pages_from;
  const std::uint64_t copies = (size + chunk - 1) / chunk;
  const std::uint64_t total = pages_from + copies * chunk + 16;
  std::error_code error;
  if (std::filesystem::file_size(path, error) == total && !error) return path;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(b.data(), static_cast<std::streamsize>(pages_from));
  for (std::uint64_t i = 0; i < copies && out; ++i)
    out.write(b.data() + pages_from, static_cast<std::streamsize>(chunk));
  out.write(b.data() + pages_to, 16);
  return out ? path : std::string();
}

void analyse(benchmark::State& state, const std::string& path, const AnalyzerEntry& entry,
             int extra) {
  bench_analyze_pass(state, path,
                     [&](const std::uint8_t* data, std::uint64_t size, JobAttribs* ja) {
                       (void)entry.analyze(data, size, extra, ja);
                     });
}

void add(const std::string& label, const std::string& path, const AnalyzerEntry& entry,
         int extra) {
  benchmark::RegisterBenchmark(label.c_str(),
                               [path, &entry, extra](benchmark::State& s) {
                                 analyse(s, path, entry, extra);
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

void register_all() {
  const std::string zj_seed = bench_corpus_file("foo2zjs-wrapper-z0-text-a4.zjs");
  const std::string zj = zj_seed.empty() ? "" : zjstream_file(zj_seed, BENCH_GIB);
  add("zjstream_process_job record parse (28)/1 GiB", zj, ZJSTREAM_ANALYZER, 1);
  add("zjstream_process_job byte scan (67)/1 GiB", zj, ZJSTREAM_ANALYZER, 0);
  if (!zj.empty()) bench_register_references("zjstream 1 GiB", zj);
  struct Job {
    const char* label;
    const char* corpus;
    const char* cache;
    const AnalyzerEntry* entry;
  };
  const Job jobs[] = {
      {"qpdl_process_job foo2qpdl", "foo2qpdl-wrapper-mixed-a4.qpdl", "qpdl_1g", &QPDL_ANALYZER},
      {"hbpl_process_job foo2hbpl2", "foo2hbpl2-wrapper-mixed-a4.hbpl", "hbpl_1g", &HBPL_ANALYZER},
      {"hiperc_process_job foo2hiperc colour", "foo2hiperc-wrapper-c-mixed-a4.hiperc", "hiperc_1g",
       &HIPERC_ANALYZER},
      {"hp_gdi_remote_process_job foo2xqx", "foo2xqx-wrapper-text-a4.xqx", "xqx_1g",
       &HP_GDI_REMOTE_ANALYZER},
      {"kmgdi_process_job min12xxw", "gs-pbmraw-min12xxw-1350w-text-a4.gdi", "kmgdi_1g",
       &KMGDI_ANALYZER},
  };
  for (const Job& job : jobs) {
    const std::string seed = bench_corpus_file(job.corpus);
    const std::string path = seed.empty() ? "" : bench_repeated_file(job.cache, seed, BENCH_GIB);
    add(std::string(job.label) + "/1 GiB", path, *job.entry, 0);
    if (!path.empty()) bench_register_references(std::string(job.cache), path);
  }
}

const int registered = (register_all(), 0);

}  // namespace
