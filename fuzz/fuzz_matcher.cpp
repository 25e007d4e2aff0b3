// Runs a small token table with first characters, groups, once-only rows and
// an offset limit over the input at every position, with the bytes available
// cut at the input's end, and checks each position's hits against the rows'
// expressions run one by one without any filter.
#include <cstdint>
#include <vector>

#include "foundation/matcher.h"

namespace {

std::vector<MatchToken> make_table() {
  const struct {
    int first;
    const char* pattern;
    int options;
    int once;
    std::uint64_t limit;
  } rows[] = {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> input(data, data + size);  // exact size for ASan
  std::vector<MatchToken> table = make_table();
  const int count = static_cast<int>(table.size());
  if (matcher_init_tokens(table.data(), count) != 0) __builtin_trap();
  std::vector<Regex*> plain;
  for (const MatchToken& token : table) plain.push_back(regex_compile(token.pattern, token.options));
  std::vector<int> plain_hits(table.size(), 0);
  for (std::size_t at = 0; at <= size; ++at) {
    // Windows of at most 150 bytes, as analyzers pass them.
    const std::size_t available = size - at < 150 ? size - at : 150;
    const int hits = matcher_test_tokens(table.data(), count, input.data() + at, available, at);
    int expected = 0;
    for (std::size_t r = 0; r < table.size() && available > 0; ++r) {
      const MatchToken& token = table[r];
      const int byte = input[at] >= 'A' && input[at] <= 'Z' ? input[at] + 32 : input[at];
      if (token.first_char != 0 && token.first_char != byte) continue;
      if (token.offset_limit != 0 && at >= token.offset_limit) continue;
      if (token.once_only != 0 && plain_hits[r] != 0) continue;
      if (regex_match(plain[r], input.data() + at, available) == 0) continue;
      ++plain_hits[r];
      ++expected;
    }
    if (hits != expected) __builtin_trap();
  }
  for (std::size_t r = 0; r < table.size(); ++r) {
    if (table[r].hit_count != plain_hits[r]) __builtin_trap();
    regex_free(plain[r]);
  }
  if (table[1].hit_count > 1 || table[3].hit_count > 1) __builtin_trap();
  matcher_free_tokens(table.data(), count);
  return 0;
}
