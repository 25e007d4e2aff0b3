// Runs a small token table with first characters, groups, once-only rows and
// an offset limit over the input at every position, with the bytes available
// cut at the input's end, and checks each position's hits against the rows'
// expressions run one by one without any filter. Then checks that the
// skip-ahead never passes a position at which a row matched, and that a scan
// that jumps from candidate to candidate ends with the same hits.
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/matcher.h"
#include "foundation/matcher_internal.h"

namespace {

using NextFunction = std::uint64_t (*)(const MatchToken*, int, const std::uint8_t*, std::uint64_t,
                                       std::uint64_t);

constexpr std::size_t WINDOW = 150;

// One row of a test table: first character, pattern, options, once-only
// flag and offset limit.
struct Row {
  int first;
  const char* pattern;
  int options;
  int once;
  std::uint64_t limit;
};

template <std::size_t N>
std::vector<MatchToken> build_table(const Row (&rows)[N]) {
  std::vector<MatchToken> table;
  for (const auto& r : rows) {
    MatchToken token{};
    token.first_char = r.first;
    token.pattern = r.pattern;
    token.options = r.options;
    token.once_only = r.once;
    token.offset_limit = r.limit;
    table.push_back(token);
  }
  return table;
}

// Rows whose first bytes all have a literal second byte, so that the pair
// classes are narrow and the skip-ahead actually skips; first bytes spread
// over more nibble classes than the vector lookup holds.
std::vector<MatchToken> make_skip_table() {
  const Row rows[] = {
      {'@', "@PJL\\s+SET\\s+(\\w+)", PCRE_ANCHORED | PCRE_CASELESS, 1, 0},
      {'%', "%%Pages?:\\s*(\\d+)", PCRE_ANCHORED, 0, 0},
      {0x1B, "\\x1B&l(\\d+)X", PCRE_ANCHORED, 0, 0},
      {0x1B, "\\x1BE", PCRE_ANCHORED, 0, 40},
      {'s', "showpage", PCRE_ANCHORED | PCRE_CASELESS, 0, 0},
      {'<', "<<", PCRE_ANCHORED, 0, 0},
      {0x8B, "\\x8B", PCRE_ANCHORED, 0, 0},
      {0x01, "\\x01\\x10", PCRE_ANCHORED, 0, 0},
      {0x9A, "\\x9A[\\xA0-\\xAF]", PCRE_ANCHORED, 0, 0},
      {0xE7, "\\xE7\\x7E", PCRE_ANCHORED, 0, 0},
      {0xFF, "\\xFF\\xFF", PCRE_ANCHORED, 0, 0},
      {'z', "zz", PCRE_ANCHORED | PCRE_CASELESS, 0, 0},
  };
  return build_table(rows);
}

std::vector<MatchToken> make_table() {
  const Row rows[] = {
      {'@', "@PJL\\s+SET\\s+(\\w+)\\s*=\\s*(\\w+)", PCRE_ANCHORED | PCRE_CASELESS, 0, 0},
      {'@', "@PJL\\s+JOB(?:\\s+NAME\\s*=\\s*\"([^\"]*)\")?", PCRE_ANCHORED | PCRE_CASELESS, 1, 0},
      {'%', "%%Pages:\\s*(\\d+)", PCRE_ANCHORED, 0, 0},
      {'%', "%!PS-Adobe-(\\d+)\\.(\\d+)", PCRE_ANCHORED, 1, 64},
      {0x1B, "\\x1B&l(\\d+)([AaXx])", PCRE_ANCHORED, 0, 0},
      {0x1B, "\\x1BE", PCRE_ANCHORED, 0, 0},
      {'s', "showpage\\b", PCRE_ANCHORED | PCRE_CASELESS, 0, 0},
      {0, "(\\d+)\\s+(\\d+)\\s+(\\d+)\\s+r\\b", PCRE_ANCHORED | PCRE_CASELESS, 0, 0},
      {'<', "<<(.*?)>>", PCRE_ANCHORED | PCRE_DOTALL, 0, 0},
  };
  return build_table(rows);
}

// The walk of one skip-ahead variant: its candidates, checked to rise and
// to stay below the size.
std::vector<bool> candidates(NextFunction next, const MatchToken* table, int count,
                             const std::uint8_t* data, std::size_t size) {
  std::vector<bool> out(size, false);
  for (std::uint64_t at = next(table, count, data, size, 0); at != size;
       at = next(table, count, data, size, at + 1)) {
    if (at > size || out[at]) __builtin_trap();
    out[at] = true;
  }
  return out;
}

void check_skip(const std::uint8_t* data, std::size_t size) {
  std::vector<MatchToken> every = make_skip_table();
  std::vector<MatchToken> skip = make_skip_table();
  const int count = static_cast<int>(every.size());
  if (matcher_init_tokens(every.data(), count) != 0) __builtin_trap();
  if (matcher_init_tokens(skip.data(), count) != 0) __builtin_trap();
  const std::vector<bool> vector_walk =
      candidates(matcher_next_candidate, skip.data(), count, data, size);
  if (vector_walk != candidates(matcher_next_candidate_portable, skip.data(), count, data, size)) {
    __builtin_trap();
  }
  for (std::size_t at = 0; at < size; ++at) {
    const std::size_t available = size - at < WINDOW ? size - at : WINDOW;
    const int hits = matcher_test_tokens(every.data(), count, data + at, available, at);
    if (hits != 0 && !vector_walk[at]) __builtin_trap();
    if (vector_walk[at]) {
      if (matcher_test_tokens(skip.data(), count, data + at, available, at) != hits)
        __builtin_trap();
    }
  }
  for (int r = 0; r < count; ++r) {
    const MatchToken& a = every[static_cast<std::size_t>(r)];
    const MatchToken& b = skip[static_cast<std::size_t>(r)];
    if (a.hit_count != b.hit_count) __builtin_trap();
    for (int g = 0; g < MATCH_TOKEN_GROUPS; ++g) {
      if (a.values[g] != b.values[g]) __builtin_trap();
      if ((a.texts[g] == nullptr) != (b.texts[g] == nullptr)) __builtin_trap();
      if (a.texts[g] != nullptr && std::strcmp(a.texts[g], b.texts[g]) != 0) __builtin_trap();
    }
  }
  matcher_free_tokens(every.data(), count);
  matcher_free_tokens(skip.data(), count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> input(data, data + size);  // exact size for ASan
  std::vector<MatchToken> table = make_table();
  const int count = static_cast<int>(table.size());
  if (matcher_init_tokens(table.data(), count) != 0) __builtin_trap();
  std::vector<RegexPtr> plain;
  for (const MatchToken& token : table) {
    plain.emplace_back(regex_compile(token.pattern, token.options));
  }
  std::vector<int> plain_hits(table.size(), 0);
  for (std::size_t at = 0; at <= size; ++at) {
    // Windows of at most 150 bytes, as analyzers pass them.
    const std::size_t available = size - at < WINDOW ? size - at : WINDOW;
    const int hits = matcher_test_tokens(table.data(), count, input.data() + at, available, at);
    int expected = 0;
    for (std::size_t r = 0; r < table.size() && available > 0; ++r) {
      const MatchToken& token = table[r];
      const int byte = input[at] >= 'A' && input[at] <= 'Z' ? input[at] + 32 : input[at];
      if (token.first_char != 0 && token.first_char != byte) continue;
      if (token.offset_limit != 0 && at >= token.offset_limit) continue;
      if (token.once_only != 0 && plain_hits[r] != 0) continue;
      if (regex_match(plain[r].get(), input.data() + at, available) == 0) continue;
      ++plain_hits[r];
      ++expected;
    }
    if (hits != expected) __builtin_trap();
  }
  for (std::size_t r = 0; r < table.size(); ++r) {
    if (table[r].hit_count != plain_hits[r]) __builtin_trap();
  }
  if (table[1].hit_count > 1 || table[3].hit_count > 1) __builtin_trap();
  matcher_free_tokens(table.data(), count);
  check_skip(input.data(), size);
  return 0;
}
