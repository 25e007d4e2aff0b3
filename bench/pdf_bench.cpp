// The PDF analyzer over 1 GiB of real PDF output (a corpus PDF repeated):
// Ghostscript's pdfwrite output, qpdf's rewrite of it with object streams
// (every page inside a stream that is inflated), and pdfwrite's output of a
// page with a large image (the file is nearly all encoded image data, which
// the walk steps over by its length without reading it). Reported beside the
// memchr and read() references and beside qpdf --show-npages and pdfinfo on
// the same file (they read the cross-reference table at the end and the
// page tree, not the whole file). The counter peak_heap_bytes is the most
// memory taken through operator new during one analysis: it stays the same
// for 16 MiB and 1 GiB.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "analysis/pdf.h"
#include "bench_analyze.h"
#include "bench_heap.h"
#include "bench_support.h"
#include "foundation/config.h"
#include "foundation/ja.h"

namespace {

void analyse(benchmark::State& state, const std::string& path) {
  bench_analyze_pass(state, path,
                     [&](const std::uint8_t* data, std::uint64_t size, JobAttribs* ja) {
                       (void)pdf_process_job(data, size, ja);
                     });
}

void register_all() {
  struct Seed {
    const char* label;
    const char* tag;  // of the files in TMPDIR
    const char* file;
  };
  const Seed seeds[] = {
      {"pdfwrite", "pdfwrite", "gs-pdfwrite-mixed-letter.pdf"},
      {"qpdf object streams", "objstm", "qpdf-objstm-mixed-a4.pdf"},
      {"pdfwrite image", "noise", "gs-pdfwrite-noise-a4.pdf"},
  };
  for (const auto& [label, tag_text, file] : seeds) {
    const std::string seed = bench_corpus_file(file);
    const std::string tag = tag_text;
    const std::string big = seed.empty() ? "" : bench_repeated_file("pdf_" + tag + "_1GiB", seed, BENCH_GIB);
    const std::string small =
        seed.empty() ? "" : bench_repeated_file("pdf_" + tag + "_16MiB", seed, std::uint64_t{16} << 20);
    for (const auto& [size, file_path] : {std::pair{"1 GiB", big}, std::pair{"16 MiB", small}}) {
      const std::string name = std::string("pdf_process_job/") + label + "/" + size;
      const std::string path = file_path;  // a structured binding cannot be captured
      benchmark::RegisterBenchmark(name.c_str(), [path](benchmark::State& s) { analyse(s, path); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
    if (big.empty()) continue;
    bench_register_references(std::string(label) + " 1 GiB", big);
    benchmark::RegisterBenchmark((std::string("qpdf --show-npages/") + label + " 1 GiB").c_str(),
                                 [big](benchmark::State& s) { bench_command(s, "qpdf --show-npages " + big); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark((std::string("pdfinfo/") + label + " 1 GiB").c_str(),
                                 [big](benchmark::State& s) { bench_command(s, "pdfinfo " + big); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
}

const int registered = (register_all(), 0);

}  // namespace
