// The XPS analyzer on packages of 1000 and 4000 pages that share four images
// (real PNG and JPEG page images of the corpus's image-page packages), with
// and without colour detection. Each page's part is found in O(1) after one
// directory walk and each image is decoded once per job, so the time per
// page is the same at both sizes. Beside it: mupdf's `mutool pages` on the
// same package, and the memchr and read() references.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "analysis/xps.h"
#include "analysis/xps_test_util.h"
#include "bench_support.h"
#include "foundation/config.h"
#include "foundation/ja.h"

namespace {

struct Image {
  const char* package;
  const char* part;
};

// Page images of the corpus: colour and grey, PNG and JPEG.
constexpr Image IMAGES[] = {
    {"xps-png16m-mixed-a4.xps", "/Documents/1/Resources/Images/2.png"},
    {"xps-png16m-mixed-a4.xps", "/Documents/1/Resources/Images/1.png"},
    {"xps-jpeg-mixed-a4.xps", "/Documents/1/Resources/Images/3.jpg"},
    {"xps-png48-mixed-letter.xps", "/Documents/1/Resources/Images/3.png"},
};

// A package of `pages` pages, page i showing image i mod 4 under a few black
// paths, written to TMPDIR; empty when the corpus is missing.
std::string build_package(int pages) {
  std::vector<xps_test::Entry> extra;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < std::size(IMAGES); ++i) {
    const std::string path = bench_corpus_file(IMAGES[i].package);
    if (path.empty()) return {};
    const std::string image = xps_test::part_of(xps_test::read_file(path), IMAGES[i].part);
    const std::string ext = std::string(IMAGES[i].part).substr(std::string(IMAGES[i].part).rfind('.'));
    names.push_back("/Resources/" + std::to_string(i) + ext);
    extra.push_back({names.back().substr(1), image});
  }
  xps_test::Package package;
  package.extra = extra;
  for (int i = 0; i < pages; ++i) {
    std::string body;
    for (int k = 0; k < 20; ++k) {
      body += "<Path Fill=\"#FF000000\" Data=\"M " + std::to_string(k) + ",0 L 9,9 L 0,9 Z\"/>";
    }
    body += "<Path Data=\"M 0,0 L 90,0 L 90,90 Z\"><Path.Fill><ImageBrush ImageSource=\"" +
            names[static_cast<std::size_t>(i) % names.size()] +
            "\" Viewbox=\"0,0,90,90\" ViewboxUnits=\"Absolute\" Viewport=\"0,0,90,90\" "
            "ViewportUnits=\"Absolute\"/></Path.Fill></Path>";
    package.pages.push_back(body);
  }
  const std::string bytes = xps_test::make_package(package);
  const std::string path = bench_tmp_dir() + "/spoolwarden_bench_xps_" + std::to_string(pages) + ".xps";
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

void analyse(benchmark::State& state, const std::string& path, int color) {
  config_init_session_defaults(&global_ctx);
  if (path.empty()) {
    state.SkipWithError("no corpus: run the tests of the ci or debug preset first");
    return;
  }
  int pages = 0;
  int color_pages = 0;
  bench_mapped_pass(state, path, [&](const std::uint8_t* data, std::uint64_t size) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    (void)xps_process_job(data, size, color, ja.get());
    pages = ja->pages;
    color_pages = ja->color_pages;
    return pages;
  });
  state.counters["pages"] = pages;
  state.counters["color_pages"] = color_pages;
  state.counters["pages_per_second"] =
      benchmark::Counter(static_cast<double>(pages) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

void register_all() {
  for (const int pages : {1000, 4000}) {
    const std::string path = build_package(pages);
    for (const int color : {0, 1}) {
      const std::string name = "xps_process_job/" + std::to_string(pages) + " pages" +
                               (color != 0 ? "/colour detection on" : "/colour detection off");
      benchmark::RegisterBenchmark(name.c_str(), [path, color](benchmark::State& s) { analyse(s, path, color); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
    if (path.empty()) continue;
    benchmark::RegisterBenchmark(("mutool pages/" + std::to_string(pages) + " pages").c_str(),
                                 [path](benchmark::State& s) { bench_command(s, "mutool pages " + path); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    bench_register_references(std::to_string(pages) + " pages", path);
  }
}

const int registered = (register_all(), 0);

}  // namespace
