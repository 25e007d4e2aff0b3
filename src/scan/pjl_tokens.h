// The token tables of the PJL header and trailer readers (internal to
// scan/pjl*.cpp). Each is a matcher table whose rows all begin with "@",
// are compiled anchored and count only their first match, so a pattern
// matches only where the scan position is.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>

#include "foundation/log.h"
#include "foundation/matcher.h"

// Rows of the header table, in the order they are built and tried.
enum class PjlToken : int {
  QTY,
  COPIES,
  PAPER,
  DUPLEX_ON,
  DUPLEX_OFF,
  DUPLEX_WORDS,
  PRINT_ON_BACK_SIDE,
  BINDING_SHORT_EDGE,
  PRINTAREA_INKED,
  RENDERMODE_GRAY,
  PLANESINUSE_1,
  RENDERMODE_COLOR,
  PAPER_LENGTH,
  PAPER_WIDTH,
  OKI_X_MM,
  OKI_Y_MM,
  COLORMODE_MONO,
  COLORMODE_COLOR,
  OKI_MONO_SPEED,
  XCPT_COPIES,
  DSSC_RENDERMODE_GRAY,
  RENDERMODEL_CMYK,
  XCPT_MONOCHROME,
  KCOLORMODE_MONO,
  DSSC_RENDERMODE_COLOR,
  GRAYSCALE_ON,
  GRAYSCALE_OFF,
  JOB_NAME,
  CANON_DOCNAME,
  DRIVER_NAME,
  PRINTER_MODEL,
  OKI_MULTIPAGE,
  GL_VERSION,
  COUNT
};

// Rows of the trailer table.
enum class PjlTrailerToken : int {
  PAGECOUNTER,
  PREPRINT_QTY,
  PREPRINT_DUPLEX,
  PREPRINT_PAGES,
  PREPRINT_MULTIPAGE,
  PREPRINT_RENDERMODE,
  COUNT
};

// One row's pattern and whether it ignores case.
struct PjlTokenPattern {
  const char* pattern;
  bool caseless;
};

// A compiled table, freed with the object. Compiling the patterns costs far
// more than reading a header, so the readers keep one table per process
// (pjl_header_tokens, pjl_trailer_tokens) and clear what one reading left in
// it (reset) before the next.
template <typename Row, int N>
class PjlTokenTable {
 public:
  explicit PjlTokenTable(const std::array<PjlTokenPattern, N>& patterns) : patterns_(patterns) {}
  PjlTokenTable(const PjlTokenTable&) = delete;
  PjlTokenTable& operator=(const PjlTokenTable&) = delete;
  ~PjlTokenTable() { matcher_free_tokens(rows_.data(), N); }

  // Clears the hits, values and texts of the last reading.
  void reset() {
    for (MatchToken& row : rows_) {
      row.hit_count = 0;
      for (std::int32_t& v : row.values) v = 0;
      for (char*& text : row.texts) {
        std::free(text);
        text = nullptr;
      }
    }
  }
  // Builds and compiles the rows; false when one does not compile.
  [[nodiscard]] bool load(const char* entering) {
    LOG_DEV("%s", entering);
    for (int i = 0; i < N; ++i) {
      rows_[i] = MatchToken{};
      rows_[i].first_char = '@';
      rows_[i].pattern = patterns_[i].pattern;
      rows_[i].options = PCRE_ANCHORED | (patterns_[i].caseless ? PCRE_CASELESS : 0);
      rows_[i].once_only = 1;
    }
    LOG_DEV("loaded %d tokens", N);
    return matcher_init_tokens(rows_.data(), N) == 0;
  }
  // Tests every row that has not matched yet at `bytes`.
  void test(const std::uint8_t* bytes, std::uint64_t available, std::uint64_t position) {
    (void)matcher_test_tokens(rows_.data(), N, bytes, available, position);
  }
  [[nodiscard]] bool hit(Row row) const { return at(row).hit_count > 0; }
  // Decimal value of a group that began with a digit (saturated), else 0.
  [[nodiscard]] std::int32_t value(Row row, int group) const { return at(row).values[group]; }
  // The group's captured text, nullptr when it captured nothing.
  [[nodiscard]] const char* text(Row row, int group) const { return at(row).texts[group]; }

 private:
  const MatchToken& at(Row row) const { return rows_[static_cast<int>(row)]; }
  const std::array<PjlTokenPattern, N>& patterns_;
  std::array<MatchToken, N> rows_{};
};

constexpr int PJL_HEADER_TOKENS = static_cast<int>(PjlToken::COUNT);
constexpr int PJL_TRAILER_TOKENS = static_cast<int>(PjlTrailerToken::COUNT);

extern const std::array<PjlTokenPattern, PJL_HEADER_TOKENS> PJL_HEADER_PATTERNS;
extern const std::array<PjlTokenPattern, PJL_TRAILER_TOKENS> PJL_TRAILER_PATTERNS;

class PjlHeaderTokens : public PjlTokenTable<PjlToken, PJL_HEADER_TOKENS> {
 public:
  PjlHeaderTokens() : PjlTokenTable(PJL_HEADER_PATTERNS) {}
  [[nodiscard]] bool load() { return PjlTokenTable::load("entering load_tokens"); }
};

class PjlTrailerTokens : public PjlTokenTable<PjlTrailerToken, PJL_TRAILER_TOKENS> {
 public:
  PjlTrailerTokens() : PjlTokenTable(PJL_TRAILER_PATTERNS) {}
  [[nodiscard]] bool load() { return PjlTokenTable::load("entering load_trailer_tokens"); }
};

// The process's tables, compiled on first use and reset for each reading;
// nullptr when a pattern does not compile.
[[nodiscard]] PjlHeaderTokens* pjl_header_tokens();
[[nodiscard]] PjlTrailerTokens* pjl_trailer_tokens();
