// The job-level readers on real print files of 10 KiB and 1 GiB:
//   - the PJL header step reads a bounded head: the same cost at both sizes;
//   - the PJL trailer on a job whose end names FXJOBINFO but holds no BEGIN
//     line (the worst case: the search goes back through the whole job),
//     beside the memchr reference;
//   - inline copies of a 1 GiB job made of 4 identical copies (a real PCL5
//     job repeated): both tests and find_inline_copies, beside a plain
//     memcmp of the copies and the two whole-file references.
// Whole-file passes map the file afresh for each run, as the memchr
// reference does (the first pass over a mapping is bound by page-table
// set-up); the trailer's backward search is not advised sequential.
// Files are built from the corpus (tests/corpus, generated into the build
// tree) and cached in TMPDIR.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/mapped_mem.h"
#include "scan/inline_copies.h"
#include "scan/pjl.h"

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

std::vector<char> read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A seed file in TMPDIR: `bytes`, written once.
std::string write_seed(const std::string& name, const std::vector<char>& bytes) {
  const std::string path = bench_tmp_dir() + "/spoolwarden_bench_seed_" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

struct Mapped {
  mapped_mem* mm = nullptr;
  explicit Mapped(const std::string& path) : mm(create_mapped_mem(path.c_str())) {}
  ~Mapped() { free_mapped_mem(&mm); }
};

// The head-only pass: one mapping, the step run on it again and again.
template <typename Pass>
void on_mapped(benchmark::State& state, const std::string& path, Pass pass) {
  config_init_session_defaults(&global_ctx);
  Mapped file(path);
  if (file.mm == nullptr) {
    state.SkipWithError("cannot map the benchmark file (generate the corpus first)");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(pass(file.mm->data, file.mm->size));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.mm->size));
}

int header_step(const std::uint8_t* data, std::uint64_t size) {
  std::unique_ptr<JobAttribs, JobAttribsDeleter> ja(analyzer_create_job_attribs());
  return pjl_set_job_attributes(data, size, ja.get(), PJL_UNIT_720TH_INCH) + ja->is_duplex;
}

int trailer(const std::uint8_t* data, std::uint64_t size) {
  PjlTrailerInfo t;
  return pjl_parse_trailer(data, size, &t);
}

// memcmp of copies 1 to 3 against copy 0: the floor of any full comparison.
int memcmp_copies(const std::uint8_t* data, std::uint64_t size) {
  const std::uint64_t copy = size / 4;
  int differ = 0;
  for (int i = 1; i < 4; ++i) differ += std::memcmp(data, data + i * copy, copy) != 0;
  return differ;
}

void register_all() {
  // A hpcups PCL3 job with PJL duplex and tumble lines.
  const std::string pcl = corpus_file("cf-hpcups-clj3700-tumble-mixed-a4.pcl");
  const std::vector<char> job = read_all(pcl);
  if (job.size() < 10240) return;
  const std::string head = write_seed("pjl_head_10k", std::vector<char>(job.begin(), job.begin() + 10240));
  const std::string gib = bench_repeated_file("pjl_header_1g", pcl, BENCH_GIB);
  for (const auto& sized : {std::pair{"10 KiB", head}, std::pair{"1 GiB", gib}}) {
    const std::string path = sized.second;
    benchmark::RegisterBenchmark((std::string("pjl header step/") + sized.first).c_str(),
                                 [path](benchmark::State& s) { on_mapped(s, path, header_step); })
        ->Unit(benchmark::kMicrosecond);
  }

  // The trailer's worst case: FXJOBINFO at the end, no BEGIN anywhere.
  std::vector<char> fx = job;
  const std::string end_line = "@PJL COMMENT FXJOBINFO END\r\n\x1b%-12345X";
  fx.insert(fx.end(), end_line.begin(), end_line.end());
  const std::string fx_gib =
      bench_repeated_file("pjl_fxjobinfo_1g", write_seed("fxjobinfo", fx), BENCH_GIB);
  benchmark::RegisterBenchmark("pjl trailer, FXJOBINFO without BEGIN/1 GiB",
                               [fx_gib](benchmark::State& s) {
                                 config_init_session_defaults(&global_ctx);
                                 bench_mapped_pass(s, fx_gib, trailer, 0);
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  bench_register_references("FXJOBINFO 1 GiB", fx_gib);

  // Four identical copies of a Ghostscript PCL5 job repeated to 256 MiB.
  const std::string ljet = corpus_file("gs-ljet4pjl-mixed-a4.pcl");
  const std::uint64_t seed = read_all(ljet).size();
  if (seed == 0) return;
  const std::uint64_t per_copy = (BENCH_GIB / 4 + seed - 1) / seed;
  const std::string copies = bench_repeated_file("inline_copies_1g", ljet, 4 * per_copy * seed);
  const auto add = [&copies](const char* name, auto pass) {
    benchmark::RegisterBenchmark((std::string(name) + "/4 copies, 1 GiB").c_str(),
                                 [copies, pass](benchmark::State& s) {
                                   config_init_session_defaults(&global_ctx);
                                   bench_mapped_pass(s, copies, pass);
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  };
  add("has_num_inline_copies by exit", [](const std::uint8_t* d, std::uint64_t n) {
    return has_num_inline_copies(d, n, 4, 16, INLINE_COPIES_BY_EXIT);
  });
  add("has_num_inline_copies by content", [](const std::uint8_t* d, std::uint64_t n) {
    return has_num_inline_copies(d, n, 4, 16, INLINE_COPIES_BY_CONTENT);
  });
  add("find_inline_copies", [](const std::uint8_t* d, std::uint64_t n) {
    std::unique_ptr<JobAttribs, JobAttribsDeleter> ja(analyzer_create_job_attribs());
    ja->pages = 16;
    std::uint64_t size = 0;
    return find_inline_copies(d, n, ja.get(), &size);
  });
  add("reference memcmp of the copies", memcmp_copies);
  bench_register_references("4 copies 1 GiB", copies);
}

// Registered before benchmark_main runs.
[[maybe_unused]] const bool registered = (register_all(), true);

}  // namespace
