// Language detection on mapped files of 10 KiB and 1 GiB. Detection reads a
// bounded head (the 204800-byte scan window), so its cost must not grow with
// the file. Two kinds of content: a PJL-led PCL XL job, decided in its first
// bytes, and pseudo-random bytes, which no rule recognises, so the whole
// window is scanned (the worst case). Also plain text, whose letters start
// many token rows. The 1 GiB file is sparse beyond its first MiB: detection
// never reads there, which is what is measured.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/config.h"
#include "foundation/mapped_mem.h"
#include "scan/lang_detect.h"

namespace {

constexpr std::uint64_t GI_B = std::uint64_t{1} << 30;
constexpr std::uint64_t HEAD = std::uint64_t{1} << 20;

enum Content { PCL_XL, RANDOM, TEXT };

std::vector<std::uint8_t> head_bytes(Content content, std::uint64_t size) {
  std::vector<std::uint8_t> bytes;
  if (content == PCL_XL) {
    const std::string pjl =
        "\x1b%-12345X@PJL JOB NAME=\"report\"\r\n@PJL SET RESOLUTION=600\r\n"
        "@PJL ENTER LANGUAGE=PCLXL\r\n) HP-PCL XL;2;0;Comment\n";
    bytes.assign(pjl.begin(), pjl.end());
  }
  static const char WORDS[] = "the quick brown fox jumps over a lazy dog; printer paper tray ";
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  for (std::size_t i = 0; bytes.size() < size; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    bytes.push_back(content == TEXT ? static_cast<std::uint8_t>(WORDS[i % (sizeof WORDS - 1)])
                                     : static_cast<std::uint8_t>(state >> 56));
  }
  return bytes;
}

std::string make_file(Content content, std::uint64_t size) {
  const char* dir = std::getenv("TMPDIR");
  const std::string path = std::string(dir != nullptr && *dir != 0 ? dir : "/tmp") +
                           "/spoolwarden_lang_detect_bench_" + std::to_string(content) + "_" +
                           std::to_string(size) + ".dat";
  const auto head = head_bytes(content, size < HEAD ? size : HEAD);
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return {};
  bool ok = std::fwrite(head.data(), 1, head.size(), out) == head.size();
  ok = std::fclose(out) == 0 && ok;
  if (ok && size > head.size()) ok = truncate(path.c_str(), static_cast<off_t>(size)) == 0;
  return ok ? path : std::string();
}

void detect(benchmark::State& state, Content content, std::uint64_t size) {
  config_init_session_defaults(&global_ctx);
  const std::string path = make_file(content, size);
  const MappedMemPtr mm(path.empty() ? nullptr : create_mapped_mem(path.c_str()));
  if (!mm) {
    state.SkipWithError("cannot write or map the benchmark file");
    return;
  }
  int code = analyzer_lang_detect(mm->data, mm->size);  // compiles the tables
  for (auto _ : state) {
    code = analyzer_lang_detect(mm->data, mm->size);
    benchmark::DoNotOptimize(code);
  }
  state.counters["code"] = code;
  std::remove(path.c_str());
}

void BM_PclXl_10KiB(benchmark::State& s) { detect(s, PCL_XL, 10 * 1024); }
void BM_PclXl_1GiB(benchmark::State& s) { detect(s, PCL_XL, GI_B); }
void BM_Random_10KiB(benchmark::State& s) { detect(s, RANDOM, 10 * 1024); }
void BM_Random_1GiB(benchmark::State& s) { detect(s, RANDOM, GI_B); }
void BM_Text_10KiB(benchmark::State& s) { detect(s, TEXT, 10 * 1024); }
void BM_Text_1GiB(benchmark::State& s) { detect(s, TEXT, GI_B); }

BENCHMARK(BM_PclXl_10KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PclXl_1GiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Random_10KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Random_1GiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Text_10KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Text_1GiB)->Unit(benchmark::kMicrosecond);

}  // namespace
