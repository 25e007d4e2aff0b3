// The forward scan of language detection: at each position of the window the
// signatures are tested in a fixed order and the first that decides ends the
// scan. Most positions hold a byte that no signature starts with; a 256-entry
// table lets them cost one lookup besides the control-byte count.
#include <array>
#include <bit>
#include <utility>
#include <cinttypes>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/ascii.h"
#include "foundation/config.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "foundation/timeout.h"
#include "foundation/util.h"
#include "scan/lang_detect.h"
#include "scan/lang_detect_internal.h"

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
// The record stream of foo2zjs right behind the universal exit that ends its
// PJL job header (no ENTER LANGUAGE names it).
constexpr std::string_view ZJS_AFTER_UEL = "\x1b%-12345XJZJZ"sv;
// ESC [ K 02 00 00: the initial condition that opens every Canon BJ job,
// with or without a BJL or XML head in front of it.
constexpr std::string_view CANON_BJ_INIT = "\x1b[K\x02\x00\x00"sv;
// GS r h E: the hardware reset of an ESC/Page job (also of one sent without
// EJL, which names no language).
constexpr std::string_view ESCPAGE_RESET = "\x1drhE"sv;

constexpr std::uint8_t SIGNATURE = 2;    // some scan signature begins with it
constexpr std::uint8_t TOKEN_START = 4;  // some token row admits it


constexpr std::array<std::uint8_t, 256> make_classes() {
  std::array<std::uint8_t, 256> t{};
  for (unsigned char c : "@\x01" "D\x1b\xcd" "PL%d\x81$R>)\x1d"sv) t[c] |= SIGNATURE;
  // A row can only match where its literal begins: the first-character
  // filter folds case, but most patterns do not.
  for (int c = 0; c < 256; ++c) {
    for (const TokenRow& row : TOKEN_ROWS) {
      const int first = static_cast<unsigned char>(row.literal[0]);
      if (row.literal_caseless ? ascii_to_lower(c) == ascii_to_lower(first) : c == first) {
        t[c] |= TOKEN_START;
      }
      if (!row.other_literal.empty() && c == static_cast<unsigned char>(row.other_literal[0])) {
        t[c] |= TOKEN_START;
      }
    }
  }
  return t;
}

// The byte values that need a look, for the block skip below.
constexpr int count_interesting(const std::array<std::uint8_t, 256>& classes) {
  int n = 0;
  for (std::uint8_t c : classes) n += c != 0 ? 1 : 0;
  return n;
}

// Rows of the token table whose first character admits a byte, in table
// order; -1 ends a list.
constexpr int MAX_ROWS_PER_BYTE = 8;
constexpr std::array<std::array<std::int8_t, MAX_ROWS_PER_BYTE>, 256> make_rows_by_byte() {
  std::array<std::array<std::int8_t, MAX_ROWS_PER_BYTE>, 256> t{};
  for (int c = 0; c < 256; ++c) {
    int n = 0;
    for (int i = 0; i < TOKEN_COUNT; ++i) {
      if (TOKEN_ROWS[i].first_char == ascii_to_lower(c) && n < MAX_ROWS_PER_BYTE - 1) {
        t[c][n++] = static_cast<std::int8_t>(i);
      }
    }
    for (; n < MAX_ROWS_PER_BYTE; ++n) t[c][n] = -1;
  }
  return t;
}
constexpr std::array<std::uint8_t, 256> CLASSES = make_classes();
constexpr auto ROWS_BY_BYTE = make_rows_by_byte();
constexpr int INTERESTING_COUNT = count_interesting(CLASSES);

constexpr std::array<std::uint8_t, INTERESTING_COUNT> make_interesting_bytes() {
  std::array<std::uint8_t, INTERESTING_COUNT> bytes{};
  int n = 0;
  for (int c = 0; c < 256; ++c) {
    if (CLASSES[c] != 0) bytes[n++] = static_cast<std::uint8_t>(c);
  }
  return bytes;
}
constexpr auto INTERESTING_BYTES = make_interesting_bytes();

constexpr std::uint64_t BLOCK = 16;

// The first two bytes of every scan signature (besides the token rows, whose
// literals give theirs). A position is looked at only when its byte and the
// next are the start of some signature or literal: in binary data that rules
// out almost every position at the cost of one bit test.
constexpr std::string_view SIGNATURE_LEADS[] = {
    "@P"sv,     "\x01\x05"sv, "DC"sv, "\x1b\x7c"sv, "\x1bi"sv, "\x1b&"sv, "\xcd\xca"sv,
    "PC"sv,     "%-"sv,       "LA"sv, "d1"sv,       "\x81\x81"sv, "$\x01"sv, "R\0"sv,
    ">S"sv,     ") "sv,       "\x1b%"sv, "\x1b["sv, "\x1dr"sv,
};

constexpr void add_pair(std::array<std::uint64_t, 1024>& bits, int a, int b) {
  const int index = a << 8 | b;
  bits[static_cast<std::size_t>(index >> 6)] |= std::uint64_t{1} << (index & 63);
}

constexpr void add_lead(std::array<std::uint64_t, 1024>& bits, std::string_view lead,
                        bool caseless) {
  const int a = static_cast<unsigned char>(lead[0]);
  const int b = static_cast<unsigned char>(lead[1]);
  add_pair(bits, a, b);
  if (!caseless) return;
  // The other case of each letter (the byte itself for anything else).
  const int a_other = ascii_is_lower(a) ? ascii_to_upper(a) : ascii_to_lower(a);
  const int b_other = ascii_is_lower(b) ? ascii_to_upper(b) : ascii_to_lower(b);
  add_pair(bits, a_other, b);
  add_pair(bits, a, b_other);
  add_pair(bits, a_other, b_other);
}

constexpr std::array<std::uint64_t, 1024> make_pairs() {
  std::array<std::uint64_t, 1024> bits{};
  for (std::string_view lead : SIGNATURE_LEADS) add_lead(bits, lead, false);
  for (const TokenRow& row : TOKEN_ROWS) {
    add_lead(bits, row.literal, row.literal_caseless);
    if (!row.other_literal.empty()) add_lead(bits, row.other_literal, row.literal_caseless);
  }
  return bits;
}
constexpr std::array<std::uint64_t, 1024> PAIRS = make_pairs();

constexpr bool leads_hold_two_bytes() {
  for (std::string_view lead : SIGNATURE_LEADS) {
    if (lead.size() != 2) return false;
  }
  for (const TokenRow& row : TOKEN_ROWS) {
    if (row.literal.size() < 2) return false;
  }
  return true;
}
static_assert(leads_hold_two_bytes(), "every signature and literal begins with two fixed bytes");

bool pair_at(const std::uint8_t* here) {
  const unsigned index = static_cast<unsigned>(here[0]) << 8 | here[1];
  return ((PAIRS[index >> 6] >> (index & 63)) & 1) != 0;
}

// Bit i set when byte i of the 16 at `block` needs a look. Most bytes of
// binary data need none; finding them sixteen at a time keeps the scan free
// of a hard-to-predict branch per byte.
std::uint32_t interesting_mask(const std::uint8_t* block) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
  const __m128i hits = [&]<std::size_t... I>(std::index_sequence<I...>) {
    return (_mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(INTERESTING_BYTES[I]))) | ...);
  }(std::make_index_sequence<INTERESTING_COUNT>{});
  return static_cast<std::uint32_t>(_mm_movemask_epi8(hits));
#else
  std::uint32_t mask = 0;
  for (std::uint64_t i = 0; i < BLOCK; ++i) {
    mask |= static_cast<std::uint32_t>(CLASSES[block[i]] != 0) << i;
  }
  return mask;
#endif
}

// Bytes below 20 hex that are neither 09 to 0F nor ESC: what makes data
// binary rather than text.
std::uint64_t count_control_bytes(const std::uint8_t* data, std::uint64_t n) {
  std::uint64_t count = 0;
  std::uint64_t i = 0;
#if defined(__SSE2__)
  const __m128i top = _mm_set1_epi8(0x1f);
  const __m128i nine = _mm_set1_epi8(0x09);
  const __m128i six = _mm_set1_epi8(0x06);
  const __m128i esc = _mm_set1_epi8(0x1b);
  for (; i + 16 <= n; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(x, top), x);
    const __m128i from9 = _mm_sub_epi8(x, nine);
    const __m128i format = _mm_cmpeq_epi8(_mm_min_epu8(from9, six), from9);
    const __m128i escape = _mm_cmpeq_epi8(x, esc);
    const __m128i control = _mm_andnot_si128(_mm_or_si128(format, escape), low);
    const auto lanes = static_cast<unsigned>(_mm_movemask_epi8(control));
    count += static_cast<std::uint64_t>(std::popcount(lanes));
  }
#endif
  for (; i < n; ++i) {
    const std::uint8_t c = data[i];
    count += static_cast<std::uint64_t>(c <= 0x1f && (c < 0x09 || c > 0x0f) && c != 0x1b);
  }
  return count;
}

// ESC bytes and blanks (spaces, tabs): the plain-text test tells printer
// graphics in printable bytes from text by them.
void count_escapes_and_blanks(ByteSpan bytes, ScanState& state) {
  for (const std::uint8_t c : bytes) {
    state.escapes += static_cast<std::uint64_t>(c == 0x1b);
    state.blanks += static_cast<std::uint64_t>(c == ' ' || c == '\t');
  }
}

// One detection's scan: the window, the call's token rows and its flags.
struct ScanContext {
  ByteSpan window;
  MatchToken* tokens;
  ScanState& s;

  // Window limit W of the tests ("p < W - n").
  [[nodiscard]] std::uint64_t w() const { return window.size(); }
  [[nodiscard]] bool at(std::uint64_t p, std::string_view text) const {
    return scan_bytes_at(window, p, text);
  }
  [[nodiscard]] bool room(std::uint64_t p, std::uint64_t n) const {
    return scan_room_below(p, window.size(), n);
  }
};

bool literal_at(const std::uint8_t* here, std::string_view literal, bool caseless) {
  if (literal.empty()) return false;
  if (caseless) return util_case_equal_bytes(here, literal.data(), literal.size()) != 0;
  return std::memcmp(here, literal.data(), literal.size()) == 0;
}

// Tests at p the token rows that can match there: the first byte admits
// them, they have not hit, and a literal that every match begins with is
// there (all literals are shorter than the bytes the rows are tested on).
// Only such rows run their expression. Returns how many rows hit.
int test_token_rows(const ScanContext& sc, std::uint64_t p) {
  const std::uint8_t* here = sc.window.data() + p;
  int hits = 0;
  for (const std::int8_t i : ROWS_BY_BYTE[here[0]]) {
    if (i < 0) break;
    const TokenRow& row = TOKEN_ROWS[i];
    if (sc.tokens[i].hit_count != 0) continue;
    if (!literal_at(here, row.literal, row.literal_caseless) &&
        !literal_at(here, row.other_literal, row.literal_caseless)) {
      continue;
    }
    hits += matcher_test_tokens(&sc.tokens[i], 1, here, TOKEN_SPAN, p);
  }
  return hits;
}

// ESC ( G decides only after an Epson remote-mode preamble.
bool epson_preamble_before(const ScanContext& sc, std::uint64_t p) {
  const std::uint8_t* before = sc.window.data();
  return util_contains_string(before, p, "EPSON") || util_contains_string(before, p, "@EJL") ||
         util_contains_string(before, p, "REMOTE1");
}

// Examines every row that has ever hit, in table order; the decided code or
// 0 to go on scanning.
int examine_token_hits(const ScanContext& sc, std::uint64_t p) {
  for (int i = 0; i < TOKEN_COUNT; ++i) {
    if (sc.tokens[i].hit_count == 0) continue;
    const int code = TOKEN_ROWS[i].code;
    LOG_DEBUG("Matched language: %s with pattern: %s (offset=%" PRIu64 ")",
              analyzer_lang_to_string(code), TOKEN_ROWS[i].pattern, p);
    switch (code) {
      case LANG_PCL6:
        // The Dell driver comment holds "PCLXL" without the data being PCL XL.
        if (sc.s.dell && i == TOKEN_ROW_PCLXL) continue;
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
int test_tokens(const ScanContext& sc, std::uint64_t p) {
  if (!sc.room(p, TOKEN_SPAN)) return sc.s.epson_ijdriver ? LANG_EPSON_ENDP : 0;
  if (test_token_rows(sc, p) == 0) return 0;
  return examine_token_hits(sc, p);
}

enum class PclStart { NONE, DECIDE, NEXT_POSITION };

// A "PCL" line: an empty snippet when a universal exit follows at
// once, PCL5 otherwise unless an OKI driver comment introduced the line.
PclStart pcl_start(const ScanContext& sc, std::uint64_t p) {
  if (!sc.at(p, "PCL\n")) return PclStart::NONE;
  const bool oki = p > OKI_MARK_BACK && sc.at(p - OKI_MARK_BACK, "@PJL COMMENT OKI Driver PCL");
  sc.s.empty_pcl5 = true;
  for (std::uint64_t q = p + PCL_RESET_FIRST; q <= p + PCL_RESET_LAST; ++q) {
    if (sc.window[q] == 0x1b && sc.at(q + 1, "%-12345X")) {
      LOG_DEBUG("Found a reset immediately after a PCL5 start at offset=%" PRIu64
                ". Treating as unknown language",
                q);
      return PclStart::NEXT_POSITION;
    }
  }
  return oki ? PclStart::NEXT_POSITION : PclStart::DECIDE;
}

bool canon_ufr_at(const ScanContext& sc, std::uint64_t p) {
  const std::uint8_t* d = sc.window.data() + p;
  return d[0] == 0xcd && d[1] == 0xca && d[5] == 0x1a && d[10] == 0xff && d[11] == 0xff &&
         d[21] == 0xbe && d[22] == 0xbf;
}

// PJL-led signatures, in their order: the PCL XL driver comment that names
// PCLXL without the data being PCL XL (a flag only), then after the token
// rows the ZjStream, KIPGL, JBIG, WSMC and NPDL commands.
void test_dell_comment(const ScanContext& sc, std::uint64_t p) {
  if (sc.room(p, 31) && sc.at(p, "@PJL COMMENT MS PCLXL NT Driver")) {
    sc.s.dell = true;
    LOG_DEBUG("found potential Dell 1720 bum steer header");
  }
}

int test_pjl_after_tokens(const ScanContext& sc, std::uint64_t p) {
  if (!sc.at(p, "@PJL ")) return 0;
  if (sc.room(p, 25) && sc.at(p, "@PJL ENTER LANGUAGE = ZJS")) {
    LOG_DEBUG("found zjs in PJL header");
    return LANG_ZJSTREAM_2;
  }
  if (sc.room(p, 27) && sc.at(p, "@PJL ENTER LANGUAGE = KIPGL")) {
    LOG_DEBUG("found KIPGL");
    return LANG_KIPGL;
  }
  if (sc.room(p, 22) && sc.at(p, "@PJL SET COMPRESS=JBIG")) {
    sc.s.km_jbig = true;
    LOG_DEBUG("found possible KM GDI");
  }
  if (sc.room(p, 26) && sc.at(p, "@PJL ENTER LANGUAGE = WSMC")) return LANG_GDI_KM_WSMC;
  if (sc.room(p, 24) && sc.at(p, "@PJL ENTER LANGUAGE=NPDL")) {
    LOG_DEBUG("found start of NEC NPDL");
    return LANG_NEC_GDI;
  }
  return 0;
}

// PCL syntax behind a parameterized escape's group letters: an optional
// sign, digits, an optional fraction, then a parameter letter. Drivers of
// other languages write the same three bytes with binary values behind them
// (the ALPS devices' ESC & l 01 00 H), which must not make the file PCL5.
bool pcl_value_at(const ScanContext& sc, std::uint64_t q) {
  const std::uint64_t end = sc.w();
  if (q < end && (sc.window[q] == '+' || sc.window[q] == '-')) ++q;
  const std::uint64_t digits_from = q;
  while (q < end && ascii_is_digit(sc.window[q])) ++q;
  if (q == digits_from) return false;
  if (q < end && sc.window[q] == '.') {
    ++q;
    while (q < end && ascii_is_digit(sc.window[q])) ++q;
  }
  if (q >= end) return false;
  const std::uint8_t letter = sc.window[q];
  return (letter >= 0x40 && letter <= 0x5e) || (letter >= 0x60 && letter <= 0x7e);
}

// ESC-led signatures after the token rows: a ZjStream behind a PJL job
// header, Canon BJ's initial-condition command, Brother records and the PCL5
// copy count.
int test_escape(const ScanContext& sc, std::uint64_t p) {
  if (sc.room(p, ZJS_AFTER_UEL.size()) && sc.at(p, ZJS_AFTER_UEL)) {
    LOG_DEBUG("found ZjStream behind a universal exit at offset %" PRIu64, p);
    return LANG_ZJSTREAM;
  }
  if (sc.room(p, CANON_BJ_INIT.size()) && sc.at(p, CANON_BJ_INIT)) {
    LOG_DEBUG("found Canon BJ initial condition at offset %" PRIu64, p);
    return LANG_CANON_BJ;
  }
  if (sc.room(p, 5) && sc.at(p, "\x1b\x7c\x01\x00"sv)) {
    if (sc.window[p + 4] == 0x0b) {
      LOG_DEBUG("found Brother data 0xB");
      return LANG_BROTHER;
    }
    if (sc.window[p + 4] == 0x0c) {
      LOG_DEBUG("found Brother data 0xC");
      return LANG_BROTHER_MFC_J;
    }
  }
  if (sc.room(p, 6) && sc.at(p, "\x1b\x69\x61\x01\x1b"sv)) return LANG_BROTHER_QL;
  if (sc.room(p, 3) && sc.at(p, "\x1b&l") && pcl_value_at(sc, p + 3)) {
    if (!sc.s.is_canon) {
      LOG_DEBUG("found PCL5 copy count at offset %" PRIu64 " is_canon=%d. Assuming PCL5", p, 0);
      return LANG_PCL5;
    }
    sc.s.could_be_canon_pcl5 = true;
    LOG_DEBUG("found PCL5 copy count at offset %" PRIu64 " is_canon=%d. Could be Canon PCL5", p, 1);
  }
  return 0;
}

// Canon packets inside the data: GARO, then UFR.
int test_canon_packet(const ScanContext& sc, std::uint64_t p) {
  if (sc.room(p, 12) && sc.at(p, "\xcd\xca\x10\x02\x00\x1a\x00\x01\x0c\x86\xff\xff"sv)) {
    LOG_DEBUG("found Canon Garo data");
    return LANG_CANON_GARO;
  }
  if (sc.room(p, PCL_START_BOUND) && canon_ufr_at(sc, p)) {
    LOG_DEBUG("found Canon UFR data at offset %" PRIu64, p);
    return LANG_CANON_UFR;
  }
  return 0;
}

// "LANGUAGE=GDI" with the Panasonic continuations, else the Sharp flag.
int test_language_gdi(const ScanContext& sc, std::uint64_t p) {
  if (sc.room(p, 20) && sc.at(p, "LANGUAGE=GDI")) {
    if (sc.at(p + 12, "\r\n\x1b\x27\x31\x1b")) {
      LOG_DEBUG("found Panasonic GDI");
      return LANG_GDI_PANASONIC;
    }
    if (sc.at(p + 12, "\n\x1b&&0S")) {
      LOG_DEBUG("found Panasonic2 GDI");
      return LANG_GDI_PANASONIC_2;
    }
  }
  if (sc.room(p, 12) && sc.at(p, "LANGUAGE=GDI")) {
    sc.s.sharp = true;
    LOG_DEBUG("found possible Sharp GDI");
  }
  return 0;
}

// Signatures with a first byte of their own, after the token rows.
int test_other(const ScanContext& sc, std::uint64_t p) {
  switch (sc.window[p]) {
    case 0x01:
      if (sc.room(p, 7) && sc.at(p, "\x01\x05\x25\x00\x00\x00\xff"sv)) {
        LOG_DEBUG("found start of Konica Minolta GDI DI series");
        return LANG_GDI_KM_DI;
      }
      return 0;
    case 'D':
      if (sc.room(p, 7) && sc.at(p, "DCLD\x01\x00\x30"sv)) {
        LOG_DEBUG("found Zebra data");
        return LANG_ZEBRA;
      }
      return 0;
    case '%':
      if (sc.room(p, 12) && sc.at(p, "%-12345X,XQX")) {
        LOG_DEBUG("found HP GDI remote mode marker");
        return LANG_GDI_HP_2;
      }
      return 0;
    case 'd':
      if (sc.s.sharp && sc.room(p, 10) && sc.at(p, "d100e100l7")) {
        LOG_DEBUG("found Sharp GDI");
        return LANG_GDI_SHARP;
      }
      return 0;
    case 0x81:
      if (sc.room(p, 12) && sc.at(p, "\x81\x81\x00\x00\x00\x00\x00\x08\x81\x81\x00\x00\x00"sv)) {
        LOG_DEBUG("found Sharp GDI SPLC start marker");
        return LANG_GDI_SHARP_SPLC;
      }
      return 0;
    case '$':
      if (sc.room(p, 9) && sc.at(p, "\x24\x01\x00\x00\x07\x00\x00\x00\x08"sv)) {
        LOG_DEBUG("found GDI (HP PSC) start marker");
        return LANG_GDI_HP_3;
      }
      return 0;
    case 'R':
      if (p < RISO_HC3R_LIMIT && sc.at(p, RISO_HC3R_UTF16)) {
        LOG_DEBUG("Found RISO GDI start sequence for HC3R series");
        return LANG_GDI_RISO;
      }
      if (p < RISO_COM_LIMIT && sc.at(p, RISO_COM_UTF16)) {
        LOG_DEBUG("Found RISO GDI start sequence for Com Color series");
        return LANG_GDI_RISO;
      }
      return 0;
    case '>':
      if (sc.window[0] == '?' && sc.room(p, 5) && sc.at(p, ">S?<")) {
        LOG_DEBUG("found RISO GDI2");
        return LANG_GDI_RISO2;
      }
      return 0;
    case 0x1d:
      if (sc.room(p, ESCPAGE_RESET.size()) && sc.at(p, ESCPAGE_RESET)) {
        LOG_DEBUG("found the ESC/Page reset at offset %" PRIu64, p);
        return LANG_EPSON_PAGE;
      }
      return 0;
    case ')':
      if (sc.room(p, 13) && sc.at(p, ") SAG-GDI RL;")) {
        LOG_DEBUG("Matched Xerox Phaser GDI (remote) using ') SAG-GDI RL;'");
        return LANG_GDI_XEROX_PHASER_2;
      }
      return 0;
    default:
      return 0;
  }
}

// The signatures after the token rows, by the position's byte; each byte's
// tests keep their order. -1: go on at the next position.
int test_after_tokens(const ScanContext& sc, std::uint64_t p) {
  switch (sc.window[p]) {
    case '@':
      return test_pjl_after_tokens(sc, p);
    case 0x1b:
      return test_escape(sc, p);
    case 0xcd:
      return test_canon_packet(sc, p);
    case 'P':
      if (!sc.room(p, PCL_START_BOUND)) return 0;
      switch (pcl_start(sc, p)) {
        case PclStart::DECIDE:
          return LANG_PCL5;
        case PclStart::NEXT_POSITION:
          return -1;
        case PclStart::NONE:
          return 0;
      }
      return 0;
    case 'L':
      return test_language_gdi(sc, p);
    default:
      return test_other(sc, p);
  }
}

// All tests at one position whose byte some signature or token row can
// begin with. Returns the decided code, 0 or -1 to go on.
int test_position(const ScanContext& sc, std::uint64_t p, std::uint8_t classes) {
  if (sc.window[p] == '@') test_dell_comment(sc, p);
  if ((classes & TOKEN_START) != 0) {
    if (int code = test_tokens(sc, p); code != 0) return code;
  }
  if ((classes & SIGNATURE) == 0) return 0;
  return test_after_tokens(sc, p);
}

// Visits, in order, the positions in [from, to) whose byte needs a look,
// polling the time limit every TIMEOUT_POLL_POSITIONS positions. Returns the
// first decided code, 0 at the end, or -1 when the time ran out (`stop` then
// holds the position reached).
int scan_range(const ScanContext& sc, std::uint64_t from, std::uint64_t to, Timeout& timeout,
               std::uint64_t& next_poll, std::uint64_t& stop) {
  const std::uint8_t* data = sc.window.data();
  std::uint64_t p = from;
  while (p < to) {
    if (p >= next_poll) {
      next_poll = p + TIMEOUT_POLL_POSITIONS;
      if (TimeoutIsTimeUp(&timeout) != 0) {
        stop = p;
        return -1;
      }
    }
    std::uint32_t mask = 0;
    std::uint64_t width = BLOCK;
    if (to - p >= BLOCK) {
      mask = interesting_mask(data + p);
    } else {
      width = to - p;
      for (std::uint64_t i = 0; i < width; ++i) {
        mask |= static_cast<std::uint32_t>(CLASSES[data[p + i]] != 0) << i;
      }
    }
    while (mask != 0) {
      const std::uint64_t q = p + static_cast<std::uint64_t>(std::countr_zero(mask));
      mask &= mask - 1;
      if (q + 1 >= sc.w() || !pair_at(data + q)) continue;
      const int code = test_position(sc, q, CLASSES[data[q]]);
      if (code > 0) return code;
    }
    p += width;
  }
  return 0;
}

}  // namespace

int scan_window(ByteSpan bytes, MatchToken* tokens, ScanState& state) {
  ScanContext sc{bytes, tokens, state};
  const std::uint64_t window = bytes.size();
  Timeout timeout;
  TimeoutSetLimit(&timeout, global_ctx.parse_timeout);
  TimeoutStart(&timeout);
  // Where the token rows stop, a pending Epson ijdriver hit decides.
  const std::uint64_t token_end = window > TOKEN_SPAN ? window - TOKEN_SPAN : 0;
  std::uint64_t next_poll = 0;
  std::uint64_t stop = window;
  int code = scan_range(sc, 0, token_end, timeout, next_poll, stop);
  if (code == 0 && state.epson_ijdriver) return LANG_EPSON_ENDP;
  if (code == 0) code = scan_range(sc, token_end, window, timeout, next_poll, stop);
  if (code > 0) return code;
  if (code < 0) {
    LOG_ERROR("Timeout exceeded while attempting to match language.");
    stop = stop + 1 < window ? stop + 1 : window;
  }
  // The control bytes matter only to a scan without a decision; counting
  // them apart keeps the scan loop short.
  state.control_bytes = count_control_bytes(bytes.data(), stop);
  count_escapes_and_blanks(bytes.first(stop), state);
  return 0;
}

}  // namespace lang_detect
