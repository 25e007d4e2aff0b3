// The forward scan of language detection: at each position of the window the
// signatures are tested in a fixed order and the first that decides ends the
// scan. Most positions hold a byte that no signature starts with; a 256-entry
// table lets them cost one lookup besides the control-byte count.
#include <array>
#include <cinttypes>

#include "analysis/lang_detect.h"
#include "analysis/lang_detect_internal.h"
#include "foundation/config.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "foundation/timeout.h"
#include "foundation/util.h"

namespace lang_detect {
namespace {

using namespace std::string_view_literals;

// Bytes tested by the token rows at a position.
constexpr std::uint64_t TOKEN_SPAN = 100;
// Positions between two polls of the time limit.
constexpr std::uint64_t TIMEOUT_POLL_POSITIONS = 10000;
constexpr std::uint64_t PCL_START_BOUND = 40;
// The reset that makes a "PCL" line an empty snippet is looked for in these
// bytes after the line's start.
constexpr std::uint64_t PCL_RESET_FIRST = 2;
constexpr std::uint64_t PCL_RESET_LAST = 29;
constexpr std::uint64_t OKI_MARK_BACK = 24;
constexpr std::uint64_t RISO_HC3R_LIMIT = 82;
constexpr std::uint64_t RISO_COM_LIMIT = 84;

constexpr std::string_view RISO_HC3R_UTF16 = "R\0I\0S\0O\0 \0H\0C\0\x33\0R\0"sv;
constexpr std::string_view RISO_COM_UTF16 = "R\0I\0S\0O\0 \0C\0o\0m\0"sv;

// Bytes at which some signature of the scan (besides the token rows) or a
// token row can begin.
constexpr std::array<bool, 256> make_interesting() {
  std::array<bool, 256> t{};
  // Signatures of the scan, then the first bytes of the token rows.
  for (unsigned char c : "@\x01" "D\x1b\xcd" "PL%d\x81$R>)"sv) t[c] = true;
  for (unsigned char c : "%pPhHeEqQbBlLrRuUxX"sv) t[c] = true;
  return t;
}
constexpr std::array<bool, 256> INTERESTING = make_interesting();

constexpr bool is_control_byte(std::uint8_t c) {
  return c <= 0x1f && !(c >= 0x09 && c <= 0x0f) && c != 0x1b;
}

struct Scan {
  const std::uint8_t* data;
  std::uint64_t w;
  MatchToken* tokens;
  ScanState& s;

  bool at(std::uint64_t p, std::string_view text) const { return bytes_at(data, w, p, text); }
};

// A token row could match at p: its first byte admits it, it has not hit,
// and the literal that every match begins with is there.
bool token_may_match(const Scan& sc, std::uint64_t p) {
  const std::uint8_t* here = sc.data + p;
  for (int i = 0; i < TOKEN_COUNT; ++i) {
    const TokenRow& row = TOKEN_ROWS[i];
    if (sc.tokens[i].hit_count != 0) continue;
    if (row.literal.size() > TOKEN_SPAN) continue;
    const bool same = row.literal_caseless
                          ? util_case_equal_bytes(here, row.literal.data(), row.literal.size())
                          : std::memcmp(here, row.literal.data(), row.literal.size()) == 0;
    if (same) return true;
  }
  return false;
}

// ESC ( G decides only after an Epson remote-mode preamble.
bool epson_preamble_before(const Scan& sc, std::uint64_t p) {
  return util_contains_string(sc.data, p, "EPSON") || util_contains_string(sc.data, p, "@EJL") ||
         util_contains_string(sc.data, p, "REMOTE1");
}

// Examines every row that has ever hit, in table order; the decided code or
// 0 to go on scanning.
int examine_token_hits(const Scan& sc, std::uint64_t p) {
  for (int i = 0; i < TOKEN_COUNT; ++i) {
    if (sc.tokens[i].hit_count == 0) continue;
    const int code = TOKEN_ROWS[i].code;
    LOG_DEBUG("Matched language: %s with pattern: %s (offset=%" PRIu64 ")",
              analyzer_lang_to_string(code), TOKEN_ROWS[i].pattern, p);
    switch (code) {
      case LANG_PCL6:
        // The Dell driver comment holds "PCLXL" without the data being PCL XL.
        if (sc.s.dell && i == 5) continue;
        return LANG_PCL6;
      case LANG_PCL5:
        return sc.s.is_canon ? LANG_PCL5_CANON : LANG_PCL5;
      case LANG_POSTSCRIPT:
        return sc.s.is_canon ? LANG_POSTSCRIPT_CANON : LANG_POSTSCRIPT;
      case LANG_EPSON_ENDP:
        sc.s.epson_ijdriver = true;
        continue;
      case LANG_ESCP2:
        if (epson_preamble_before(sc, p)) return LANG_ESCP2;
        continue;
      default:
        return code;
    }
  }
  return 0;
}

// The token rows at p (or, in the last bytes, the Epson fallback).
int test_tokens(const Scan& sc, std::uint64_t p) {
  if (!below(p, sc.w, TOKEN_SPAN)) return sc.s.epson_ijdriver ? LANG_EPSON_ENDP : 0;
  if (!token_may_match(sc, p)) return 0;
  if (matcher_test_tokens(sc.tokens, TOKEN_COUNT, sc.data + p, TOKEN_SPAN, p) == 0) return 0;
  return examine_token_hits(sc, p);
}

enum class PclStart { NONE, DECIDE, NEXT_POSITION };

// A "PCL" line: an empty snippet when a universal exit follows at
// once, PCL5 otherwise unless an OKI driver comment introduced the line.
PclStart pcl_start(const Scan& sc, std::uint64_t p) {
  if (!sc.at(p, "PCL\n")) return PclStart::NONE;
  const bool oki = p > OKI_MARK_BACK && sc.at(p - OKI_MARK_BACK, "@PJL COMMENT OKI Driver PCL");
  sc.s.empty_pcl5 = true;
  for (std::uint64_t q = p + PCL_RESET_FIRST; q <= p + PCL_RESET_LAST; ++q) {
    if (sc.data[q] == 0x1b && sc.at(q + 1, "%-12345X")) {
      LOG_DEBUG("Found a reset immediately after a PCL5 start at offset=%" PRIu64
                ". Treating as unknown language",
                q);
      return PclStart::NEXT_POSITION;
    }
  }
  return oki ? PclStart::NEXT_POSITION : PclStart::DECIDE;
}

bool canon_ufr_at(const Scan& sc, std::uint64_t p) {
  const std::uint8_t* d = sc.data + p;
  return d[0] == 0xcd && d[1] == 0xca && d[5] == 0x1a && d[10] == 0xff && d[11] == 0xff &&
         d[21] == 0xbe && d[22] == 0xbf;
}

// The PCL XL driver comment that names PCLXL without the data being
// PCL XL.
void test_dell_comment(const Scan& sc, std::uint64_t p) {
  if (sc.data[p] == '@' && below(p, sc.w, 31) && sc.at(p, "@PJL COMMENT MS PCLXL NT Driver")) {
    sc.s.dell = true;
    LOG_DEBUG("found potential Dell 1720 bum steer header");
  }
}

// PJL-led and short binary signatures tested after the token rows.
int test_after_tokens(const Scan& sc, std::uint64_t p) {
  const std::uint64_t w = sc.w;
  const std::uint8_t c = sc.data[p];
  if (c == '@' && below(p, w, 25) && sc.at(p, "@PJL ENTER LANGUAGE = ZJS")) {
    LOG_DEBUG("found zjs in PJL header");
    return LANG_ZJSTREAM_2;
  }
  if (below(p, w, 7)) {
    if (sc.at(p, "\x01\x05\x25\x00\x00\x00\xff"sv)) {
      LOG_DEBUG("found start of Konica Minolta GDI DI series");
      return LANG_GDI_KM_DI;
    }
    if (sc.at(p, "DCLD\x01\x00\x30"sv)) {
      LOG_DEBUG("found Zebra data");
      return LANG_ZEBRA;
    }
  }
  if (below(p, w, 5) && sc.at(p, "\x1b\x7c\x01\x00"sv)) {
    if (sc.data[p + 4] == 0x0b) {
      LOG_DEBUG("found Brother data 0xB");
      return LANG_BROTHER;
    }
    if (sc.data[p + 4] == 0x0c) {
      LOG_DEBUG("found Brother data 0xC");
      return LANG_BROTHER_MFC_J;
    }
  }
  if (below(p, w, 6) && sc.at(p, "\x1b\x69\x61\x01\x1b"sv)) return LANG_BROTHER_QL;
  if (below(p, w, 12) && sc.at(p, "\xcd\xca\x10\x02\x00\x1a\x00\x01\x0c\x86\xff\xff"sv)) {
    LOG_DEBUG("found Canon Garo data");
    return LANG_CANON_GARO;
  }
  if (c == '@' && below(p, w, 27) && sc.at(p, "@PJL ENTER LANGUAGE = KIPGL")) {
    LOG_DEBUG("found KIPGL");
    return LANG_KIPGL;
  }
  return 0;
}

// The copy-count escape and the printer makers' marks that follow it.
int test_late_group(const Scan& sc, std::uint64_t p) {
  const std::uint64_t w = sc.w;
  if (below(p, w, 3) && sc.at(p, "\x1b&l")) {
    if (sc.s.is_canon) {
      sc.s.could_be_canon_pcl5 = true;
      LOG_DEBUG("found PCL5 copy count at offset %" PRIu64 " is_canon=%d. Could be Canon PCL5", p,
                1);
    } else {
      LOG_DEBUG("found PCL5 copy count at offset %" PRIu64 " is_canon=%d. Assuming PCL5", p, 0);
      return LANG_PCL5;
    }
  }
  if (below(p, w, 12) && sc.at(p, "%-12345X,XQX")) {
    LOG_DEBUG("found HP GDI remote mode marker");
    return LANG_GDI_HP_2;
  }
  if (below(p, w, 20) && sc.at(p, "LANGUAGE=GDI")) {
    if (sc.at(p + 12, "\r\n\x1b\x27\x31\x1b")) {
      LOG_DEBUG("found Panasonic GDI");
      return LANG_GDI_PANASONIC;
    }
    if (sc.at(p + 12, "\n\x1b&&0S")) {
      LOG_DEBUG("found Panasonic2 GDI");
      return LANG_GDI_PANASONIC_2;
    }
  }
  if (below(p, w, 12) && sc.at(p, "LANGUAGE=GDI")) {
    sc.s.sharp = true;
    LOG_DEBUG("found possible Sharp GDI");
  }
  if (sc.s.sharp && below(p, w, 10) && sc.at(p, "d100e100l7")) {
    LOG_DEBUG("found Sharp GDI");
    return LANG_GDI_SHARP;
  }
  if (below(p, w, 12) && sc.at(p, "\x81\x81\x00\x00\x00\x00\x00\x08\x81\x81\x00\x00\x00"sv)) {
    LOG_DEBUG("found Sharp GDI SPLC start marker");
    return LANG_GDI_SHARP_SPLC;
  }
  if (below(p, w, 22) && sc.at(p, "@PJL SET COMPRESS=JBIG")) {
    sc.s.km_jbig = true;
    LOG_DEBUG("found possible KM GDI");
  }
  if (below(p, w, 26) && sc.at(p, "@PJL ENTER LANGUAGE = WSMC")) return LANG_GDI_KM_WSMC;
  if (below(p, w, 9) && sc.at(p, "\x24\x01\x00\x00\x07\x00\x00\x00\x08"sv)) {
    LOG_DEBUG("found GDI (HP PSC) start marker");
    return LANG_GDI_HP_3;
  }
  if (p < RISO_HC3R_LIMIT && sc.at(p, RISO_HC3R_UTF16)) {
    LOG_DEBUG("Found RISO GDI start sequence for HC3R series");
    return LANG_GDI_RISO;
  }
  if (p < RISO_COM_LIMIT && sc.at(p, RISO_COM_UTF16)) {
    LOG_DEBUG("Found RISO GDI start sequence for Com Color series");
    return LANG_GDI_RISO;
  }
  if (sc.data[0] == '?' && below(p, w, 5) && sc.at(p, ">S?<")) {
    LOG_DEBUG("found RISO GDI2");
    return LANG_GDI_RISO2;
  }
  if (below(p, w, 24) && sc.at(p, "@PJL ENTER LANGUAGE=NPDL")) {
    LOG_DEBUG("found start of NEC NPDL");
    return LANG_NEC_GDI;
  }
  if (below(p, w, 13) && sc.at(p, ") SAG-GDI RL;")) {
    LOG_DEBUG("Matched Xerox Phaser GDI (remote) using ') SAG-GDI RL;'");
    return LANG_GDI_XEROX_PHASER_2;
  }
  return 0;
}

// All tests at one position whose byte some signature can begin with.
// Returns the decided code, 0 to go on, -1 to go on at the next position.
int test_position(const Scan& sc, std::uint64_t p) {
  test_dell_comment(sc, p);
  if (int code = test_tokens(sc, p); code != 0) return code;
  if (int code = test_after_tokens(sc, p); code != 0) return code;
  if (below(p, sc.w, PCL_START_BOUND)) {
    switch (pcl_start(sc, p)) {
      case PclStart::DECIDE:
        return LANG_PCL5;
      case PclStart::NEXT_POSITION:
        return -1;
      case PclStart::NONE:
        break;
    }
    if (canon_ufr_at(sc, p)) {
      LOG_DEBUG("found Canon UFR data at offset %" PRIu64, p);
      return LANG_CANON_UFR;
    }
  }
  return test_late_group(sc, p);
}

}  // namespace

int scan_window(const std::uint8_t* data, std::uint64_t window, MatchToken* tokens,
                ScanState& state) {
  Scan sc{data, window, tokens, state};
  Timeout timeout;
  TimeoutSetLimit(&timeout, global_ctx.parse_timeout);
  TimeoutStart(&timeout);
  // Where the token rows stop, the Epson fallback has to be looked at at
  // every position, whatever its byte.
  const std::uint64_t token_end = window > TOKEN_SPAN ? window - TOKEN_SPAN : 0;
  for (std::uint64_t p = 0; p < window; ++p) {
    const std::uint8_t c = data[p];
    if (is_control_byte(c)) ++state.control_bytes;
    if (p % TIMEOUT_POLL_POSITIONS == 0 && TimeoutIsTimeUp(&timeout) != 0) {
      LOG_ERROR("Timeout exceeded while attempting to match language.");
      return 0;
    }
    if (p >= token_end && state.epson_ijdriver) return LANG_EPSON_ENDP;
    if (!INTERESTING[c]) continue;
    const int code = test_position(sc, p);
    if (code > 0) return code;
  }
  return 0;
}

}  // namespace lang_detect
