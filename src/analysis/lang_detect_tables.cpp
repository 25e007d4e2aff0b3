// The tables of language detection: the 26 anchored token patterns with their
// languages, and the PJL ENTER LANGUAGE names.
#include <array>

#include "analysis/lang_detect_internal.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/util.h"

namespace lang_detect {

// The literal is what any match must begin with at the position; rows 0, 1
// and 3 match without case, so their literals are compared without case too.
const TokenRow TOKEN_ROWS[TOKEN_COUNT] = {
    {'%', R"(^\%\!\s*PS\b)", true, LANG_POSTSCRIPT, "%!", true},
    {'p', R"(PCLSLEEK\b)", true, LANG_PCL5, "PCLSLEEK", true},
    {0x1b, R"(\x1b\(R.+?REMOTE1TI)", false, LANG_ESCPR, "\x1b(R", false},
    {'p', R"(PCL3GUI\b)", true, LANG_PCL3GUI, "PCL3GUI", true},
    {'h', R"(HPGL2\b)", false, LANG_HPGL, "HPGL2", false},
    {'p', R"(PCLXL\b)", false, LANG_PCL6, "PCLXL", false},
    {'p', R"(PCL XL\b)", false, LANG_PCL6, "PCL XL", false},
    {'h', R"(HP-PCL\s+XL;)", false, LANG_PCL6, "HP-PCL", false},
    {'p', R"(P[SU]\s*\d{3,10},\d{3,10})", false, LANG_HPGL, "P", false},
    {'e', R"(ESC\/PAGE)", false, LANG_EPSON_PAGE, "ESC/PAGE", false},
    {'q', R"(QPDL\b)", false, LANG_QPDL, "QPDL", false},
    {'b', R"(BJLSTART\b)", false, LANG_CANON_BJ, "BJLSTART", false},
    {'l', R"(LANGUAGE\s*=\s*SMART\b)", false, LANG_SMART, "LANGUAGE", false},
    {'r', R"(RPC[RS]\b)", false, LANG_RPCS, "RPC", false},
    {0x1b, R"(\x1b\(G)", false, LANG_ESCP2, "\x1b(G", false},
    {'l', R"(LANGUAGE\s*=\s*HBPL)", false, LANG_HBPL, "LANGUAGE", false},
    {'h', R"(HIPERC\b)", false, LANG_HIPERC, "HIPERC", false},
    {'%', R"(\%PDF-\d)", false, LANG_PDF, "%PDF-", false},
    {'l', R"(LANGUAGE\s*=\s*PLW\b)", false, LANG_PLW, "LANGUAGE", false},
    {'l', R"(LANGUAGE\s*=\s*TIFF6\b)", false, LANG_TIFF6, "LANGUAGE", false},
    {'u', R"(ufr=\d)", false, LANG_CANON_UFR, "ufr=", false},
    {'%', R"(%FXPLW\b)", false, LANG_FXPLW, "%FXPLW", false},
    {'x', R"(XL2HB\b)", false, LANG_PCL6, "XL2HB", false},
    {'e', R"(EPSON ijdriver[mw])", false, LANG_EPSON_ENDP, "EPSON ijdriver", false},
    {'@', R"(@PJL ENTER LANGUAGE=XPL2)", false, LANG_XPL2, "@PJL ENTER LANGUAGE=XPL2", false},
    {'@', R"(@PL\s*\>\s*ART)", false, LANG_FX360, "@PL", false},
};

namespace {

struct EnterLanguage {
  const char* name;
  int code;
};

constexpr EnterLanguage ENTER_LANGUAGE_MAP[] = {
    {"PCL", LANG_PCL5},       {"PCLXL", LANG_PCL6},      {"XL2HB", LANG_PCL6},
    {"PDF", LANG_PDF},        {"POSTSCRIPT", LANG_POSTSCRIPT}, {"HBPL", LANG_HBPL},
    {"HIPERC", LANG_HIPERC},  {"KIPGL", LANG_KIPGL},     {"NPDL", LANG_NEC_GDI},
    {"PCL3GUI", LANG_PCL3GUI}, {"QPDL", LANG_QPDL},      {"RPCR", LANG_RPCS},
    {"RPCS", LANG_RPCS},      {"SMART", LANG_SMART},     {"TIFF6", LANG_TIFF6},
    {"XPL2", LANG_XPL2},      {"ZJS", LANG_ZJSTREAM_2},  {"XPP", LANG_XPP},
};

// The thread's compiled copy of the token rows. Compiling 26 patterns costs
// far more than a detection, so it is done once per thread; each call copies
// the rows and clears their hit counts.
class CompiledTokens {
 public:
  CompiledTokens() {
    for (int i = 0; i < TOKEN_COUNT; ++i) {
      const TokenRow& row = TOKEN_ROWS[i];
      rows_[i] = MatchToken{};
      rows_[i].first_char = row.first_char;
      rows_[i].pattern = row.pattern;
      rows_[i].options = PCRE_ANCHORED | (row.caseless ? PCRE_CASELESS : 0);
      rows_[i].once_only = 1;
      rows_[i].offset_limit = 0;
    }
    ok_ = matcher_init_tokens(rows_.data(), TOKEN_COUNT) == 0;
  }
  ~CompiledTokens() { matcher_free_tokens(rows_.data(), TOKEN_COUNT); }
  CompiledTokens(const CompiledTokens&) = delete;
  CompiledTokens& operator=(const CompiledTokens&) = delete;

  const MatchToken* rows() const { return ok_ ? rows_.data() : nullptr; }

 private:
  std::array<MatchToken, TOKEN_COUNT> rows_{};
  bool ok_ = false;
};

}  // namespace

int enter_language_code(std::string_view name) {
  for (const EnterLanguage& entry : ENTER_LANGUAGE_MAP) {
    const std::string_view listed(entry.name);
    if (listed.size() == name.size() &&
        util_case_equal_bytes(listed.data(), name.data(), listed.size()) != 0) {
      return entry.code;
    }
  }
  return LANG_UNKNOWN;
}

const MatchToken* compiled_tokens() {
  thread_local CompiledTokens tokens;
  return tokens.rows();
}

}  // namespace lang_detect
