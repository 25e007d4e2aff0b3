// The tables of language detection: the 26 anchored token patterns with their
// languages, and the PJL ENTER LANGUAGE names.
#include <array>

#include "foundation/log.h"
#include "foundation/util.h"
#include "scan/lang_detect_internal.h"

namespace lang_detect {


namespace {

struct EnterLanguage {
  const char* name;
  int code;
};

constexpr EnterLanguage enter_language_map[] = {
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
  for (const EnterLanguage& entry : enter_language_map) {
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
