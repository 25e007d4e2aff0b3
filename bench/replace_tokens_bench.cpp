// The replace-token walk over a whole 1 GiB job (Ghostscript's PCL XL,
// repeated): a custom-file rule that matches in every copy's PJL header and
// is tried only at "@" bytes, and a caseless rule beginning with a class,
// tried at two byte values. Beside them the memchr and read() passes over
// the same file.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_support.h"
#include "foundation/config.h"
#include "foundation/regex.h"
#include "modify/replacement_list.h"
#include "modify/replacement_regex.h"

namespace {

struct BenchRule {
  const char* pattern;
  int options;
};

std::int64_t run_rule(const BenchRule& rule, const std::uint8_t* data, std::uint64_t size) {
  ReplaceTokenListPtr list(
      replace_token_list_create("bench", 0, REPLACE_TOKEN_WHOLE, -1, 0));
  if (!replacement_regex_append(list.get(), "rule", rule.pattern, 128, rule.options, 0,
                                REPLACE_TOKEN_WHOLE, "@PJL SET RESOLUTION=1200", nullptr, 0, 1,
                                nullptr)) {
    return -1;
  }
  ReplacementListPtr edits(
      replace_token_list_to_replacement_list(list.get(), data, size, 4, ""));
  return replacement_list_size(edits.get());
}

void register_all() {
  const std::string seed = bench_corpus_file("gs-pxlcolor-mixed-a4.pxl");
  if (seed.empty()) return;
  const std::string gib = bench_repeated_file("replace_tokens_1g", seed, BENCH_GIB);
  if (gib.empty()) return;
  const struct {
    const char* name;
    BenchRule rule;
  } rows[] = {
      {"replace tokens, '@' rule/1 GiB", {"@PJL SET RESOLUTION=\\d+", 0}},
      {"replace tokens, caseless class rule/1 GiB", {"[s]howpage\\s", PCRE_CASELESS}},
  };
  for (const auto& row : rows) {
    const BenchRule rule = row.rule;
    benchmark::RegisterBenchmark(row.name,
                                 [gib, rule](benchmark::State& s) {
                                   config_init_session_defaults(&global_ctx);
                                   bench_mapped_pass(s, gib, [rule](const std::uint8_t* d,
                                                                    std::uint64_t n) {
                                     return run_rule(rule, d, n);
                                   });
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->ComputeStatistics("min", bench_min_statistic);
  }
  bench_register_references("pxlcolor 1 GiB", gib);
}

// Registered before benchmark_main runs.
[[maybe_unused]] const bool registered = (register_all(), true);

}  // namespace
