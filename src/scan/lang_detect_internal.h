// Pieces of language detection shared by its source files (not for other
// modules): the token and ENTER LANGUAGE tables and the scan state of one
// call.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/ja_languages.h"
#include "foundation/matcher.h"
#include "scan/byte_cursor.h"
#include "scan/lang_detect.h"

namespace lang_detect {

// One row of the token table: the matcher's row data, the language it gives
// and a literal that every match must begin with (a cheap prefilter).
struct TokenRow {
  int first_char;
  const char* pattern;
  bool caseless;
  int code;
  std::string_view literal;
  bool literal_caseless;
  std::string_view other_literal = {};  // a second literal a match may begin with
};

inline constexpr int TOKEN_COUNT = LANG_DETECT_TOKEN_COUNT;

// The literal is what any match must begin with at the position; rows 0, 1
// and 3 match without case, so their literals are compared without case too.
inline constexpr TokenRow TOKEN_ROWS[TOKEN_COUNT] = {
    {'%', R"(^\%\!\s*PS\b)", true, LANG_POSTSCRIPT, "%!", true},
    {'p', R"(PCLSLEEK\b)", true, LANG_PCL5, "PCLSLEEK", true},
    {0x1b, R"(\x1b\(R.+?REMOTE1TI)", false, LANG_ESCPR, "\x1b(R", false},
    {'p', R"(PCL3GUI\b)", true, LANG_PCL3GUI, "PCL3GUI", true},
    {'h', R"(HPGL2\b)", false, LANG_HPGL, "HPGL2", false},
    {'p', R"(PCLXL\b)", false, LANG_PCL6, "PCLXL", false},
    {'p', R"(PCL XL\b)", false, LANG_PCL6, "PCL XL", false},
    {'h', R"(HP-PCL\s+XL;)", false, LANG_PCL6, "HP-PCL", false},
    {'p', R"(P[SU]\s*\d{3,10},\d{3,10})", false, LANG_HPGL, "PS", false, "PU"},
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

// The row "PCLXL\b": the one PCL XL row that a Dell driver comment ("@PJL
// COMMENT MS PCLXL NT Driver") matches without the data being PCL XL.
inline constexpr int TOKEN_ROW_PCLXL = 5;
static_assert(TOKEN_ROWS[TOKEN_ROW_PCLXL].literal == "PCLXL" &&
              TOKEN_ROWS[TOKEN_ROW_PCLXL].code == LANG_PCL6);

// PJL ENTER LANGUAGE names (compared without case) and their codes; 0 for a
// name that is not listed.
[[nodiscard]] int enter_language_code(std::string_view name);

// The compiled token table of the calling thread, or nullptr when a pattern
// does not compile (logged once per attempt).
[[nodiscard]] const MatchToken* compiled_tokens();

// The flags and counters of one detection.
struct ScanState {
  std::uint64_t control_bytes = 0;
  std::uint64_t escapes = 0;  // ESC bytes, counted with the control bytes
  std::uint64_t blanks = 0;   // spaces and tabs, counted with the control bytes
  bool dell = false;
  bool empty_pcl5 = false;
  bool could_be_canon_pcl5 = false;
  bool is_canon = false;
  bool km_jbig = false;
  bool epson_ijdriver = false;
  bool sharp = false;
};

// The forward scan of the `window` (the buffer's first bytes) with the call's
// own copy of the token table. Returns the decided code or 0.
[[nodiscard]] int scan_window(ByteSpan window, MatchToken* tokens, ScanState& state);

}  // namespace lang_detect
