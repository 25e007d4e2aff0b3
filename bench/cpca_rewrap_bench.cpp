// A Canon job of 1 GiB in CPCA packets (a real PCL5 job repeated, wrapped
// in 65516-byte packets the way the corpus generator wraps it) forced to
// duplex and 3 copies, with a 200-byte insertion every 4 MiB of print data
// (as a watermark on each page would be): the planner's settings edits and
// unwrapping (the print data copied to a temporary file), the packet fix-up
// and its streaming check, the final check, and the rewrite written out.
// Reported beside the memchr and read() passes over the same file, with the
// most heap the whole rewrite takes ("heap peak"): the checks walk the
// rewrite through a view of the list and never build it in memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench_heap.h"
#include "bench_support.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/mapped_mem.h"
#include "foundation/watermark.h"
#include "modify/cpca_packet_structure.h"
#include "modify/cpca_rewrite_check.h"
#include "modify/planner_canon_cpca.h"
#include "modify/replacement_list.h"
#include "scan/cpca.h"
#include "support/cpca_packet.h"

namespace {

constexpr std::uint64_t EDIT_EVERY = std::uint64_t{4} << 20;
constexpr std::size_t EDIT_SIZE = 200;

std::string packet(std::uint16_t opcode, const char* params, std::size_t n) {
  return sw_test::cpca_packet(opcode, std::string_view(params, n));
}

// The inner job wrapped in packets, written once into TMPDIR.
std::string wrapped_file(const std::string& inner) {
  const std::string path = bench_tmp_dir() + "/spoolwarden_bench_cpca_1g";
  MappedMemPtr mm(create_mapped_mem(inner.c_str()));
  if (mm == nullptr) return "";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << packet(CPCA_OP_BEGIN, "\0\0", 2) << packet(CPCA_OP_BINDER, "\x07\xD7\x00\x01", 4)
      << packet(CPCA_OP_DOCUMENT, "\x07\xDF\x01", 3);
  for (std::uint64_t at = 0; at < mm->size; at += MAX_CPCA_PACKET) {
    const std::uint64_t n = std::min<std::uint64_t>(MAX_CPCA_PACKET, mm->size - at);
    out << packet(CPCA_OP_PRINT_DATA, reinterpret_cast<const char*>(mm->data + at), n);
  }
  out << packet(CPCA_OP_END, "\0\0", 2);
  return out.good() ? path : "";
}

bool rewrite(const std::string& path, const std::string& out) {
  MappedMemPtr mm(create_mapped_mem(path.c_str()));
  ReplacementListPtr list(replacement_list_create(mm->size, -1, nullptr));
  JobAttribsPtr job(analyzer_create_job_attribs());
  job->language = LANG_PCL5;
  watermark_params request{};
  request.force_duplex = 1;
  request.copies = 3;
  int allow = 1;
  int is_cpca = 0;
  if (!plan_replacements_canon_cpca(&request, job.get(), mm.get(), list.get(), &allow, &is_cpca)) {
    return false;
  }
  const std::string mark(EDIT_SIZE, 'w');
  for (std::uint64_t at = 1000; at < mm->size; at += EDIT_EVERY) {
    if (!replacement_list_append2(list.get(), static_cast<std::int64_t>(at), 0, mark.data(),
                                  mark.size())) {
      return false;
    }
  }
  const bool ok = replacement_list_adjust_packet_structure(mm->data, mm->size, list.get()) == 1 &&
                  cpca_is_valid(mm->data, mm->size, list.get()) == 1 &&
                  replacement_list_apply_to_file(mm->data, list.get(), out.c_str()) == 1;
  std::remove(out.c_str());
  return ok;
}

void bench_rewrite(benchmark::State& state, const std::string& path) {
  config_init_session_defaults(&global_ctx);
  const std::string out = bench_tmp_dir() + "/spoolwarden_bench_cpca_out";
  std::int64_t peak = 0;
  for (auto _ : state) {
    bool ok = false;
    peak = std::max(peak, bench_heap_peak_of([&] { ok = rewrite(path, out); }));
    if (!ok) {
      state.SkipWithError("the rewrite failed");
      return;
    }
  }
  MappedMemPtr mm(create_mapped_mem(path.c_str()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * mm->size));
  state.counters["heap peak"] = static_cast<double>(peak);
}

void register_all() {
  const std::string ljet = bench_corpus_file("gs-ljet4pjl-mixed-a4.pcl");
  if (ljet.empty()) return;
  const std::string inner = bench_repeated_file("cpca_inner_1g", ljet, BENCH_GIB);
  const std::string path = inner.empty() ? "" : wrapped_file(inner);
  if (path.empty()) return;
  benchmark::RegisterBenchmark("cpca unwrap, fix-up, checks and rewrite/1 GiB",
                               [path](benchmark::State& s) { bench_rewrite(s, path); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(2);
  bench_register_references("CPCA 1 GiB", path);
}

[[maybe_unused]] const bool registered = (register_all(), true);

}  // namespace
