// The CUPS raster and Epson analyzers on 1 GiB jobs made of real driver
// output repeated (each copy a whole job, so every page header and record
// stays valid):
//   - CUPS raster from Ghostscript's cups device (8-bit RGB, uncompressed):
//     the page search jumps through the raster by Boyer-Moore on the header;
//   - PWG raster (compressed) from the pwgraster device;
//   - Gutenprint ESC/P2: the walk steps through run-length raster by its
//     counts;
//   - ESC/P-R from the escpr driver: data records are skipped by their lengths.
// Files are built from the corpus (tests/corpus) and cached in TMPDIR.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_support.h"
#include "formats/cupsraster.h"
#include "formats/epson.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"

namespace {

enum class Kind { RASTER, ESCP2, ESCPR };

int analyse(Kind kind, const std::uint8_t* data, std::uint64_t size) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  int rc = 0;
  switch (kind) {
    case Kind::RASTER:
      rc = cupsraster_process_job(data, size, ja.get());
      break;
    case Kind::ESCP2:
      rc = epson_process_job(data, size, 1, ja.get());
      break;
    case Kind::ESCPR:
      rc = epson_process_job_new(data, size, 1, LANG_ESCPR, ja.get());
      break;
  }
  return rc + ja->pages;
}

void register_all() {
  struct Job {
    const char* label;
    const char* corpus;
    const char* cache;
    Kind kind;
  };
  const Job jobs[] = {
      {"cupsraster_process_job gs cups RGB", "gs-cups-mixed-a4.ras", "cupsraster_rgb_1g",
       Kind::RASTER},
      {"cupsraster_process_job pwgraster", "gs-pwgraster-mixed-letter.pwg", "pwgraster_1g",
       Kind::RASTER},
      {"epson_process_job Gutenprint XP-240", "cf-gutenprint-xp240-mixed-a4.prn", "escp2_xp240_1g",
       Kind::ESCP2},
      {"epson_process_job_new escpr WF-2510", "escpr-wf2510-mixed-a4.prn", "escpr_wf2510_1g",
       Kind::ESCPR},
  };
  for (const Job& job : jobs) {
    const std::string path = bench_repeated_file(job.cache, bench_corpus_file(job.corpus), BENCH_GIB);
    if (path.empty()) continue;
    const Kind kind = job.kind;
    benchmark::RegisterBenchmark((std::string(job.label) + "/1 GiB").c_str(),
                                 [path, kind](benchmark::State& s) {
                                   config_init_session_defaults(&global_ctx);
                                   bench_mapped_pass(s, path, [kind](const std::uint8_t* d,
                                                                     std::uint64_t n) {
                                     return analyse(kind, d, n);
                                   });
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    bench_register_references(std::string(job.corpus) + " 1 GiB", path);
  }
}

const int registered = (register_all(), 0);

}  // namespace
