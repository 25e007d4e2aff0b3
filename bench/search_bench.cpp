// Throughput of the Boyer-Moore search against glibc memmem, of the
// occurrence count, and of a 30-row token table run over data in which no row
// matches: by a scan that jumps from candidate to candidate with the
// matcher's skip-ahead, and for comparison by one that tests every position.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "foundation/matcher.h"
#include "foundation/search.h"

namespace {

constexpr std::size_t BUFFER_SIZE = std::size_t{256} << 20;

// Printable page-description-like text: words, numbers and operators drawn
// at random, so that the needle's bytes all occur but the needle does not.
const std::vector<std::uint8_t>& text_buffer() {
  static const std::vector<std::uint8_t> buffer = [] {
    const char* words[] = {"0 ",        "1 ",      "72 ",    "612 ",      "792 ",         "moveto ",
                           "lineto ",   "stroke ", "gsave ", "grestore ", "setrgbcolor ", "/F1 ",
                           "findfont ", "(text) ", "show\n", "0.5 ",      "def ",         "{ ",
                           "} ",        "exch ",   "dup ",   "translate "};
    std::mt19937_64 rng(1);
    std::vector<std::uint8_t> out;
    out.reserve(BUFFER_SIZE);
    while (out.size() < BUFFER_SIZE) {
      const char* w = words[rng() % (sizeof(words) / sizeof(words[0]))];
      out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(BUFFER_SIZE);
    return out;
  }();
  return buffer;
}

// A needle made of the text's own words in a random order that never occurs
// in it: the words are joined by two blanks, which the text never holds.
std::vector<std::uint8_t> absent_needle(std::size_t length) {
  const char* words[] = {"moveto", "gsave",    "0.5",  "setrgbcolor", "612",    "show",
                         "/F1",    "findfont", "exch", "translate",   "stroke", "def"};
  std::mt19937_64 rng(length);
  std::vector<std::uint8_t> needle;
  while (needle.size() < length) {
    const char* w = words[rng() % (sizeof(words) / sizeof(words[0]))];
    needle.insert(needle.end(), w, w + std::strlen(w));
    needle.push_back(' ');
    needle.push_back(' ');
  }
  needle.resize(length);
  return needle;
}

void BM_SearchBm(benchmark::State& state) {
  const auto& hay = text_buffer();
  const auto needle = absent_needle(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(search_bm_(hay.data(), hay.size(), needle.data(), needle.size(), 0));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hay.size()));
}

void BM_Memmem(benchmark::State& state) {
  const auto& hay = text_buffer();
  const auto needle = absent_needle(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(memmem(hay.data(), hay.size(), needle.data(), needle.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hay.size()));
}

void BM_SearchCount(benchmark::State& state) {
  const auto& hay = text_buffer();
  const char* needle = "setrgbcolor ";
  for (auto _ : state) {
    benchmark::DoNotOptimize(search_count(hay.data(), hay.size(), needle, std::strlen(needle)));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hay.size()));
}

// Random bytes: the bulk of a large spool file is compressed raster or image
// data, in which every byte value occurs.
const std::vector<std::uint8_t>& binary_buffer() {
  static const std::vector<std::uint8_t> buffer = [] {
    std::mt19937_64 rng(2);
    std::vector<std::uint8_t> out(BUFFER_SIZE);
    for (std::size_t i = 0; i < out.size(); i += 8) {
      const std::uint64_t v = rng();
      std::memcpy(out.data() + i, &v, 8);
    }
    return out;
  }();
  return buffer;
}

// Rows in the style of the PJL, PCL and PostScript scanners.
std::vector<MatchToken> token_table() {
  const struct {
    int first;
    const char* pattern;
    int options;
  } rows[] = {
      {'@', "@PJL\\s+SET\\s+COPIES\\s*=\\s*(\\d+)", PCRE_ANCHORED | PCRE_CASELESS},
      {'@', "@PJL\\s+SET\\s+QTY\\s*=\\s*(\\d+)", PCRE_ANCHORED | PCRE_CASELESS},
      {'@', "@PJL\\s+SET\\s+DUPLEX\\s*=\\s*(ON|OFF)", PCRE_ANCHORED | PCRE_CASELESS},
      {'@', "@PJL\\s+JOB\\s+NAME\\s*=\\s*\"([^\"]*)\"", PCRE_ANCHORED | PCRE_CASELESS},
      {'@', "@PJL\\s+ENTER\\s+LANGUAGE\\s*=\\s*(\\w+)", PCRE_ANCHORED | PCRE_CASELESS},
      {'@', "@PJL\\s+SET\\s+PAPER\\s*=\\s*(\\w+)", PCRE_ANCHORED | PCRE_CASELESS},
      {0x1B, "\\x1B&l(\\d+)X", PCRE_ANCHORED},
      {0x1B, "\\x1B&l(\\d+)A", PCRE_ANCHORED},
      {0x1B, "\\x1B&l(\\d+)S", PCRE_ANCHORED},
      {0x1B, "\\x1B\\*r(\\d+)U", PCRE_ANCHORED},
      {0x1B, "\\x1BE", PCRE_ANCHORED},
      {0x1B, "\\x1B%-12345X", PCRE_ANCHORED},
      {'%', "%%Pages:\\s*(\\d+)", PCRE_ANCHORED},
      {'%', "%%Page:\\s*(\\S+)\\s+(\\d+)", PCRE_ANCHORED},
      {'%', "%%BoundingBox:\\s*(\\d+)\\s+(\\d+)\\s+(\\d+)", PCRE_ANCHORED},
      {'%', "%%Creator:\\s*(.*)", PCRE_ANCHORED},
      {'%', "%%Title:\\s*(.*)", PCRE_ANCHORED},
      {'%', "%!PS-Adobe-(\\d+)\\.(\\d+)", PCRE_ANCHORED},
      {'%', "%%BeginFeature:\\s*\\*(\\w+)\\s+(\\w+)", PCRE_ANCHORED},
      {'/', "/NumCopies\\s+(\\d+)", PCRE_ANCHORED},
      {'/', "/Duplex\\s+(true|false)", PCRE_ANCHORED},
      {'/', "/PageSize\\s*\\[\\s*(\\d+)\\s+(\\d+)\\s*\\]", PCRE_ANCHORED},
      {'/', "/HWResolution\\s*\\[\\s*(\\d+)\\s+(\\d+)\\s*\\]", PCRE_ANCHORED},
      {'/', "/MediaType\\s*\\((\\w+)\\)", PCRE_ANCHORED},
      {'s', "showpage\\b", PCRE_ANCHORED},
      {'s', "setpagedevice\\b", PCRE_ANCHORED},
      {'c', "copypage\\b", PCRE_ANCHORED},
      {'c', "colorimage\\b", PCRE_ANCHORED},
      {'<', "<<\\s*/PageSize", PCRE_ANCHORED},
      {'#', "#copies\\s+(\\d+)", PCRE_ANCHORED},
  };
  std::vector<MatchToken> table;
  for (const auto& r : rows) {
    MatchToken token{};
    token.first_char = r.first;
    token.pattern = r.pattern;
    token.options = r.options;
    table.push_back(token);
  }
  return table;
}

enum class Scan { skip_ahead, every_position };

// An analyzer's scan loop with a window of at most 200 bytes: with the
// skip-ahead, the table is tested only at the candidates.
int scan_table(MatchToken* rows, int count, const std::uint8_t* bytes, std::size_t n, Scan scan) {
  constexpr std::size_t WINDOW = 200;
  int hits = 0;
  if (scan == Scan::every_position) {
    for (std::size_t at = 0; at < n; ++at) {
      const std::size_t available = n - at < WINDOW ? n - at : WINDOW;
      hits += matcher_test_tokens(rows, count, bytes + at, available, at);
    }
    return hits;
  }
  for (std::uint64_t at = matcher_next_candidate(rows, count, bytes, n, 0); at < n;
       at = matcher_next_candidate(rows, count, bytes, n, at + 1)) {
    const std::size_t available = n - at < WINDOW ? n - at : WINDOW;
    hits += matcher_test_tokens(rows, count, bytes + at, available, at);
  }
  return hits;
}

void run_table(benchmark::State& state, const std::vector<std::uint8_t>& data, Scan scan) {
  std::vector<MatchToken> table = token_table();
  const int count = static_cast<int>(table.size());
  if (matcher_init_tokens(table.data(), count) != 0) {
    state.SkipWithError("table did not compile");
    return;
  }
  for (auto _ : state) {
    int total = scan_table(table.data(), count, data.data(), data.size(), scan);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
  matcher_free_tokens(table.data(), count);
}

// Text in which none of the rows' first characters occurs.
const std::vector<std::uint8_t>& plain_text_buffer() {
  static const std::vector<std::uint8_t> text = [] {
    std::vector<std::uint8_t> out(BUFFER_SIZE);
    const char alphabet[] = "0123456789 abdefghijklmnopqrtuvwxyz\n.";
    std::mt19937_64 rng(3);
    for (auto& b : out) b = static_cast<std::uint8_t>(alphabet[rng() % (sizeof(alphabet) - 1)]);
    return out;
  }();
  return text;
}

void BM_TokenTableBinary(benchmark::State& state) {
  run_table(state, binary_buffer(), Scan::skip_ahead);
}

void BM_TokenTableText(benchmark::State& state) {
  run_table(state, plain_text_buffer(), Scan::skip_ahead);
}

// Page-description text in which rows' first bytes ("/", "s", "g" ...) are
// common but no row matches.
void BM_TokenTablePostScript(benchmark::State& state) {
  run_table(state, text_buffer(), Scan::skip_ahead);
}

void BM_TokenTableBinaryEveryPosition(benchmark::State& state) {
  run_table(state, binary_buffer(), Scan::every_position);
}

void BM_TokenTableTextEveryPosition(benchmark::State& state) {
  run_table(state, plain_text_buffer(), Scan::every_position);
}

void BM_TokenTablePostScriptEveryPosition(benchmark::State& state) {
  run_table(state, text_buffer(), Scan::every_position);
}

}  // namespace

BENCHMARK(BM_SearchBm)->Arg(16)->Arg(32)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memmem)->Arg(16)->Arg(32)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchCount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TokenTableBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TokenTableText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TokenTablePostScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TokenTableBinaryEveryPosition)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TokenTableTextEveryPosition)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TokenTablePostScriptEveryPosition)->Unit(benchmark::kMillisecond);
