// Transform scripts over a 1 GiB job: string and regular-expression
// searches, FIRST and LAST, for a match at the very end with window 0 (the
// whole mapped file is scanned once, nothing is copied), and the output of
// STRIP_HEADER and of REPEAT_ALL 2. The job is a PostScript job inside a PJL
// header and trailer, written by CUPS (corpus cf-pstops-pjl-mixed-a4.ps),
// its PostScript repeated to 1 GiB with one marker line before the trailer.
// Beside the figures: memchr over the mapped file, read() into a reused
// buffer, and a read()/write() copy of the file (what cp does).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "foundation/config.h"
#include "foundation/ja_languages.h"
#include "foundation/mapped_mem.h"
#include "modify/replacement_list.h"
#include "support/files.h"
#include "transform/xvp_cook.h"
#include "transform/xvp_xform.h"

namespace {

constexpr char MARKER[] = "%%SpoolwardenBenchEnd 4242\n";
constexpr char UEL[] = "\x1B%-12345X";

std::string seed_path() {
  return std::string(SW_BINARY_DIR) + "/../ci/corpus/cf-pstops-pjl-mixed-a4.ps";
}

// The 1 GiB job, reused while its size is right; empty when the seed is
// missing (run the CI once to make the corpus).
std::string job_file() {
  const std::string seed = sw_test::read_file(seed_path());
  const std::size_t ps = seed.find("%!PS");
  const std::size_t trailer = ps == std::string::npos ? ps : seed.find(UEL, ps);
  if (trailer == std::string::npos) return {};
  const std::string header = seed.substr(0, ps);
  const std::string body = seed.substr(ps, trailer - ps);
  const std::uint64_t copies = (BENCH_GIB + body.size() - 1) / body.size();
  const std::uint64_t size = header.size() + copies * body.size() + sizeof MARKER - 1 +
                             (seed.size() - trailer);
  const std::string path = bench_tmp_dir() + "/spoolwarden_bench_transform_1g.dat";
  std::error_code error;
  if (std::filesystem::file_size(path, error) == size && !error) return path;
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!out) return {};
  bool ok = std::fwrite(header.data(), 1, header.size(), out.get()) == header.size();
  for (std::uint64_t i = 0; ok && i < copies; ++i) {
    ok = std::fwrite(body.data(), 1, body.size(), out.get()) == body.size();
  }
  ok = ok && std::fputs(MARKER, out.get()) >= 0;
  ok = ok && std::fwrite(seed.data() + trailer, 1, seed.size() - trailer, out.get()) ==
                 seed.size() - trailer;
  return ok ? path : std::string();
}

// One search of the freshly mapped job per iteration.
void search(benchmark::State& state, const std::string& path, int kind, const char* text,
            int last) {
  xvp_token token = kind == XVP_STRING ? construct_xvp_token_cstr(text)
                                       : construct_xvp_token(XVP_STRING_REGEX, text);
  token.search_limit = 0;
  token.last = last;
  std::uint64_t size = 0;
  for (auto _ : state) {
    mapped_mem* mm = create_mapped_mem(path.c_str());
    if (mm == nullptr) {
      state.SkipWithError("cannot map the job");
      return;
    }
    size = mm->size;
    XvpMatch match;
    const int found = xvp_regex_match_(nullptr, token, mm->data, mm->size, &match);
    free_mapped_mem(&mm);
    if (found != 1 || static_cast<std::uint64_t>(match.groups[0].end) + 200 < size) {
      state.SkipWithError("the marker at the end was not found");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// A transform run's output: the list of the edits written out as the job
// flow does (forced application into a new file, deleted with the list).
void rewrite(benchmark::State& state, const std::string& path, const insertion_list& edits,
             std::int32_t repeats) {
  std::uint64_t written = 0;
  for (auto _ : state) {
    mapped_mem* mm = create_mapped_mem(path.c_str());
    ReplacementList* raw = nullptr;
    if (mm == nullptr || !insertion_list_apply(nullptr, edits, mm, repeats, LANG_POSTSCRIPT, &raw)) {
      free_mapped_mem(&mm);
      state.SkipWithError("cannot make the list");
      return;
    }
    ReplacementListPtr list(raw);
    if (!replacement_list_force_apply(list.get(), path.c_str())) {
      state.SkipWithError("cannot write the rewrite");
    }
    std::error_code error;
    written = std::filesystem::file_size(replacement_list_get_modified_file(list.get()), error);
    list.reset();
    free_mapped_mem(&mm);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
  state.counters["output_bytes"] = static_cast<double>(written);
}

// Reference: read() and write() of the whole job into a new file, 1 MiB at a time.
void copy_reference(benchmark::State& state, const std::string& path) {
  std::vector<char> block(std::size_t{1} << 20);
  const std::string out_path = path + ".copy";
  std::uint64_t total = 0;
  for (auto _ : state) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    total = 0;
    for (ssize_t n; in >= 0 && out >= 0 && (n = ::read(in, block.data(), block.size())) > 0;) {
      if (::write(out, block.data(), static_cast<std::size_t>(n)) != n) break;
      total += static_cast<std::uint64_t>(n);
    }
    if (in >= 0) ::close(in);
    if (out >= 0) ::close(out);
    std::remove(out_path.c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
}

insertion edit(const char* name, std::int32_t kind, std::int64_t offset, const char* text) {
  insertion e;
  e.kind = kind;
  std::snprintf(e.name, sizeof e.name, "%s", name);
  e.offset = offset;
  e.text = text;
  return e;
}

const bool registered = [] {
  config_init_session_defaults(&global_ctx);
  const std::string path = job_file();
  if (path.empty()) {
    std::fprintf(stderr, "transform_bench: no corpus at %s; run the CI first\n", seed_path().c_str());
    return false;
  }
  const std::string label = "PJL PostScript 1 GiB";
  auto add = [](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMillisecond)->UseRealTime();
  };
  add("search string FIRST window 0/" + label,
      [path](benchmark::State& s) { search(s, path, XVP_STRING, "%%SpoolwardenBenchEnd", 0); });
  add("search string LAST window 0/" + label,
      [path](benchmark::State& s) { search(s, path, XVP_STRING, "%%SpoolwardenBenchEnd", 1); });
  add("search regex FIRST window 0/" + label, [path](benchmark::State& s) {
    search(s, path, XVP_STRING_REGEX, "%%SpoolwardenBenchEnd (\\d+)", 0);
  });
  add("search regex LAST window 0/" + label, [path](benchmark::State& s) {
    search(s, path, XVP_STRING_REGEX, "%%SpoolwardenBenchEnd (\\d+)", 1);
  });
  bench_register_references(label, path);
  const insertion_list strip = {edit("STRIP HEADER", XVP_INSERTION_STRIP_HEADER, 0, ""),
                                edit("ADD_HEADER", XVP_INSERTION_EDIT, 0, "%!PS-Adobe-3.0\n")};
  add("STRIP_HEADER output/" + label, [path, strip](benchmark::State& s) { rewrite(s, path, strip, 1); });
  add("REPEAT_ALL 2 output/" + label, [path](benchmark::State& s) { rewrite(s, path, {}, 2); });
  add("reference read()+write() copy/" + label, [path](benchmark::State& s) { copy_reference(s, path); });
  return true;
}();

}  // namespace
