// Language detection: short-file rules, leading signatures, the forward scan
// (lang_detect_scan.cpp), the PJL ENTER LANGUAGE override, two late
// heuristics, the Canon override and the plain-text test, in that order.
#include "scan/lang_detect.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdlib>
#include <string>

#include "foundation/ascii.h"
#include "foundation/config.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "foundation/search.h"
#include "scan/byte_cursor.h"
#include "scan/lang_detect_internal.h"

namespace lang_detect {
namespace {

using namespace std::string_view_literals;

constexpr std::uint64_t CANON_STATUS_MAX = 119;
constexpr std::uint64_t GRAPHTEC_MIN = 25;
constexpr std::uint64_t XPP_HEAD = 1000;
constexpr std::uint64_t ALL_PJL_LINE_MIN = 5;
constexpr std::uint64_t TEXT_SIZE_MIN = 100;
constexpr std::uint64_t KYOCERA_GDI_MIN = 150;
constexpr std::uint64_t KYOCERA_GDI_MARK_LAST = 99;
constexpr std::uint64_t XEROX_PHASER_HEAD = 1024;
constexpr std::uint64_t KM_ZIMF_REMOTE_MIN = 100;
constexpr std::uint64_t DYMO_450_OFFSET = 16;
// ESC bytes in front of the ESC @ that resets a Dymo printer (CUPS's driver
// sends 100).
constexpr std::uint64_t DYMO_RESET_RUN = 100;
// Longest parameter text of the DCS that enters LIPS mode.
constexpr std::uint64_t LIPS_ENTRY_PARAMETERS = 24;
constexpr std::uint64_t ENTER_LANGUAGE_SPAN = 40;
constexpr int PCL5_ESCAPES_NEEDED = 10;
constexpr std::uint64_t PCL5_ESCAPE_REACH = 1000;
// Below this share of control bytes a window of more than 1024 bytes is text.
constexpr double TEXT_CONTROL_PERCENT = 0.5;
constexpr std::uint64_t TEXT_SMALL_WINDOW = 1024;
// Text holds blanks between its words; a window with escape sequences and
// fewer than one blank in this many bytes is not text.
constexpr std::uint64_t TEXT_BLANKS_PER = 1000;
// No encoding of text uses the byte FF but a few single-byte code pages,
// for a rare letter; a window with more of them than this share is white
// pixels (the raw RGB of dye-sublimation photo printers' jobs), which pass
// the control-byte test.
constexpr std::uint64_t TEXT_WHITE_BYTES_PERCENT = 20;

const char* name_of(int code) { return analyzer_lang_to_string(code); }

// A printer-status request: no analysis, no question to the server.
bool all_pjl_lines(ByteSpan d) {
  bool any = false;
  for (std::uint64_t p = 1; p + ALL_PJL_LINE_MIN <= d.size(); ++p) {
    if (d[p - 1] != '\n') continue;
    if (!scan_bytes_at(d, p, "@PJL")) return false;
    any = true;
  }
  return any;
}

// The short-file rules; 0 when none decides.
int short_file_rules(ByteSpan d) {
  if (d.size() >= 9 && d.size() <= CANON_STATUS_MAX &&
      scan_bytes_at(d, 0, "\0\0\0\0\x0e\0\0\0"sv)) {
    LOG_DEBUG("Found canon status document (type 1)");
    return LANG_STATUS_DOCUMENT;
  }
  if (d.size() >= 7 && d.size() <= CANON_STATUS_MAX && scan_bytes_at(d, 0, "\x1b[K\x02\0\0"sv)) {
    LOG_DEBUG("Found canon status document (type 2)");
    return LANG_STATUS_DOCUMENT;
  }
  if (d.size() > GRAPHTEC_MIN && scan_bytes_at(d, 0, "s,&100,100,100,/0,0,900,")) {
    LOG_DEBUG("Found Graphtec header");
    return LANG_GRAPHTEC;
  }
  if (d.size() > XPP_HEAD && search_bm_ref(d.data(), XPP_HEAD, "DATA=\"XPP\"") != nullptr) {
    LOG_DEBUG("Found fujitsu_xpp_header");
    return LANG_XPP;
  }
  if (d.size() < LANG_DETECT_ALL_PJL_LIMIT && all_pjl_lines(d)) {
    LOG_DEBUG("Found all PJL commands (status document)");
    return LANG_STATUS_DOCUMENT;
  }
  const int dummy_size = global_ctx.dummy_document_size_bytes;
  if (dummy_size > 0 && d.size() < static_cast<std::uint64_t>(dummy_size)) {
    LOG_DEBUG("File size is small so assume it's a status document. Size in bytes: %d",
              static_cast<int>(d.size()));
    return LANG_STATUS_DOCUMENT;
  }
  if (d.size() < TEXT_SIZE_MIN) {
    LOG_DEBUG("File is too small, assume text. Size in bytes: %d", static_cast<int>(d.size()));
    return LANG_PLAIN_TEXT;
  }
  return 0;
}

// The mark begins at one of the offsets 0 to `last`.
bool mark_within(ByteSpan d, std::uint64_t last, std::string_view mark) {
  const std::uint64_t reach = std::min(d.size(), last + mark.size());
  return search_bm(d.data(), reach, mark.data(), mark.size()) != nullptr;
}

// Leading signatures that are plain prefixes of the buffer.
int plain_prefix(ByteSpan d) {
  struct Prefix {
    std::string_view bytes;
    int code;
  };
  static constexpr Prefix FIRST[] = {
      {"PK", LANG_XPS}, {"\x1f\x8b", LANG_GZIP}, {"JZJZ", LANG_ZJSTREAM}, {"ZIMF", LANG_ZENO_IMF}};
  for (const Prefix& prefix : FIRST) {
    if (scan_bytes_at(d, 0, prefix.bytes)) return prefix.code;
  }
  return 0;
}

// The GDI streams that begin with a fixed mark and are told apart by a
// second one.
int gdi_variants(ByteSpan d) {
  if (scan_bytes_at(d, 0, "\x1b\x40\x00\x02"sv)) {
    if (d.size() > KYOCERA_GDI_MIN &&
        mark_within(d, KYOCERA_GDI_MARK_LAST, "\xf8\xff\xa0\x12\x00"sv)) {
      LOG_DEBUG("found Kyocera GDI");
      return LANG_GDI_KYOCERA;
    }
    LOG_DEBUG("found start of Konica Minolta GDI");
    return LANG_GDI_KM;
  }
  if (scan_bytes_at(d, 0, "GaMf")) {
    if (util_contains_string(d.data(), std::min(d.size(), XEROX_PHASER_HEAD), "Xerox Phaser")) {
      LOG_DEBUG("found start of Xerox Phaser GDI (local)");
      return LANG_GDI_XEROX_PHASER;
    }
    LOG_DEBUG("found start of Konica Minolta GDI (Bizhub)");
    return LANG_GDI_KM_BH;
  }
  if (scan_bytes_at(d, 0, "\x1bPr;")) {
    LOG_DEBUG("found Pebble data");
    return LANG_PEBBLE;
  }
  if (d.size() > KM_ZIMF_REMOTE_MIN && scan_bytes_at(d, 0, "Event=StartOfJob;")) {
    LOG_DEBUG("found Konica Minolta GDI ZIMF Remote");
    return LANG_GDI_KM_ZIMF_R;
  }
  static constexpr std::string_view RASTER_SYNCS[] = {"RaSt", "tSaR", "RaS2",
                                                      "2SaR", "RaS3", "3SaR"};
  if (scan_bytes_at(d, 0, "DMCS")) return LANG_QPDL;
  if (scan_bytes_at(d, 0, "EDAJM")) return LANG_HBPL_2;
  if (scan_bytes_at(d, 0, "EDAJC")) return LANG_HBPL_3;
  for (std::string_view sync : RASTER_SYNCS) {
    if (scan_bytes_at(d, 0, sync)) return LANG_CUPS_RASTER;
  }
  return 0;
}

// Signatures decided by the first byte and a few fixed bytes after it. Sets
// is_canon for a Canon packet stream.
int first_byte_signatures(ByteSpan d, ScanState& state) {
  if (d.size() < 11) return 0;
  if (d[0] == 0x01 && d[1] == 0x00 && d[3] == 0x00 && scan_bytes_at(d, 4, "\xce\xda\xde\xfa")) {
    LOG_DEBUG("found start of Canon CAPT");
    return LANG_CANON_CAPT;
  }
  if (d[0] == 0xcd && d[1] == 0xca) {
    state.is_canon = d[10] == 0x00 || d[10] == 0xff;
    return 0;
  }
  if (d[0] == 0x00 && (d[1] == 0x47 || d[1] == 0x2f) && d[2] == 0x06 && d[3] == 0x00 &&
      d[4] == 0x01) {
    LOG_DEBUG("Matched HP GDI using local mode start sequence");
    return LANG_GDI_HP;
  }
  if (d[0] == 0x00 && d[1] == 0xe7 && d[2] == 0x07 && d[3] == 0x00 && d[4] == 0x01) {
    LOG_DEBUG("Matched RISO GDI");
    return LANG_GDI_RISO;
  }
  return 0;
}

// CUPS's Dymo driver opens the job with a run of ESC bytes and ESC @.
bool dymo_reset_run(ByteSpan d) {
  std::uint64_t run = 0;
  while (run < d.size() && d[run] == 0x1b) ++run;
  return run > DYMO_RESET_RUN && run < d.size() && d[run] == '@';
}

// The label languages of CUPS's Zebra drivers, by how their jobs begin: EPL2
// clears the image buffer (LF N LF q<width>), ZPL downloads its graphic or
// opens a label format, CPCL opens a label with "! <offset> ".
bool zebra_command_head(ByteSpan d) {
  const bool epl2 = scan_bytes_at(d, 0, "\nN\nq") && d.size() > 4 && ascii_is_digit(d[4]);
  const bool zpl = scan_bytes_at(d, 0, "~DG") || scan_bytes_at(d, 0, "^XA");
  const bool cpcl = scan_bytes_at(d, 0, "! ") && d.size() > 2 && ascii_is_digit(d[2]);
  return epl2 || zpl || cpcl;
}

// LIPS without PJL: the reset ESC % @, then the device control string that
// enters LIPS mode (DCS level;resolution;mode J), in its 8- or 7-bit form.
bool lips_mode_entry(ByteSpan d) {
  if (!scan_bytes_at(d, 0, "\x1b%@")) return false;
  std::uint64_t p = 3;
  if (scan_bytes_at(d, p, "\x90")) {
    p += 1;
  } else if (scan_bytes_at(d, p, "\x1bP")) {
    p += 2;
  } else {
    return false;
  }
  const std::uint64_t digits = p;
  while (p < d.size() && p - digits < LIPS_ENTRY_PARAMETERS &&
         (ascii_is_digit(d[p]) || d[p] == ';')) {
    ++p;
  }
  return p > digits && p < d.size() && d[p] == 'J';
}

// Label printers and Ricoh/Oce streams with fixed heads.
int fixed_heads(ByteSpan d) {
  if (lips_mode_entry(d)) {
    LOG_DEBUG("found LIPS mode entry without PJL");
    return LANG_CANON_UFR;
  }
  if (scan_bytes_at(d, 0, "I8,A,001\r\n\r\n")) {
    LOG_DEBUG("found Zebra (v2) data");
    return LANG_ZEBRA2;
  }
  if (zebra_command_head(d)) {
    LOG_DEBUG("found Zebra label commands");
    return LANG_ZEBRA2;
  }
  if (dymo_reset_run(d)) {
    LOG_DEBUG("found Dymo reset");
    return LANG_DYMO;
  }
  if (scan_bytes_at(d, 0, "\x1bQ\0\0\x1b\x42\0\x1b\x65\x1b\x68\x1bL"sv)) {
    LOG_DEBUG("found Dymo (330) data");
    return LANG_DYMO;
  }
  if (scan_bytes_at(d, DYMO_450_OFFSET, "\x1b\x41\x1b\x41\x05\x1b\x43\x00\x1b\x44"sv)) {
    LOG_DEBUG("found Dymo (450) data");
    return LANG_DYMO;
  }
  if (d.size() >= 10 && scan_bytes_at(d, 0, "GDIC") && d[5] == 0x0d && d[6] == 0 && d[7] == 0 &&
      d[9] == 0x0d && (d[4] == d[8] + 8 || (d[4] == 0x8a && d[8] == 0x80))) {
    LOG_DEBUG("found Ricoh GDI. 5th byte=0x%02X", d[4]);
    return LANG_GDI_RICOH;
  }
  if (d.size() >= 10 && scan_bytes_at(d, 0, "GDIJ\0\0\0\x78\0\x01"sv)) {
    LOG_DEBUG("found Ricoh GDI (SP C231)");
    return LANG_GDI_RICOH_SP_C231;
  }
  if (scan_bytes_at(d, 0, "*OceJobBegin") || scan_bytes_at(d, 0, "*OCEJobBegin")) {
    LOG_DEBUG("found *OceJobBegin");
    return LANG_OCE;
  }
  return 0;
}

int leading_signatures(ByteSpan d, ScanState& state) {
  if (int code = plain_prefix(d); code != 0) return code;
  if (int code = gdi_variants(d); code != 0) return code;
  if (int code = first_byte_signatures(d, state); code != 0) return code;
  return fixed_heads(d);
}

// Regular expressions compiled once per thread.
struct ThreadRegexes {
  RegexPtr enter_language{
      regex_compile(R"(@PJL\s+ENTER\s+LANGUAGE\s*=\s*(\S+))", PCRE_ANCHORED)};
  RegexPtr pcl5_escape{regex_compile(R"(\x1b[%*&][a-z]\d{0,3}[A-Z])", 0)};
};

ThreadRegexes& regexes() {
  thread_local ThreadRegexes r;
  return r;
}

// The last PJL ENTER LANGUAGE command in the head decides; an unlisted name
// cancels an earlier listed one. 0 when none applies.
int enter_language_override(ByteSpan d) {
  const Regex* regex = regexes().enter_language.get();
  if (regex == nullptr) return 0;
  const std::uint64_t head = std::min(d.size(), LANG_DETECT_HEAD_WINDOW);
  int code = 0;
  for (std::uint64_t p = 0; scan_room_below(p, head, ENTER_LANGUAGE_SPAN); ++p) {
    if (d[p] != '@' || !scan_bytes_at(d, p, "@PJL ENTER LANGUAGE")) continue;
    LOG_DEBUG("@PJL ENTER LANGUAGE at %" PRIu64, p);
    std::int64_t pairs[6];
    int rc = 0;
    if (regex_exec(regex, d.data() + p, ENTER_LANGUAGE_SPAN, pairs, 6, &rc) == 0 || rc < 2) {
      continue;
    }
    const std::string name(reinterpret_cast<const char*>(d.data() + p + pairs[2]),
                           static_cast<std::size_t>(pairs[3] - pairs[2]));
    code = enter_language_code(name);
    LOG_DEBUG("enter_language_str='%s',enter_language_code='%s'[%d]", name.c_str(), name_of(code),
              code);
  }
  return code;
}

// An escape without a value whose "parameter letter" is followed by a NUL:
// the low byte of a binary count behind the same three bytes (the ALPS
// devices' ESC * b nL nH W raster rows), not a PCL command.
bool binary_count_behind(ByteSpan d, std::uint64_t start, std::uint64_t end) {
  constexpr std::uint64_t ESCAPE_WITHOUT_VALUE = 4;
  return end - start == ESCAPE_WITHOUT_VALUE && end < d.size() && d[end] == 0;
}

// Ten PCL5 escapes close together near the start mark PCL5.
bool many_pcl5_escapes(ByteSpan d) {
  const Regex* regex = regexes().pcl5_escape.get();
  if (regex == nullptr) {
    LOG_ERROR("regex_compile failed");
    return false;
  }
  const std::uint64_t head = std::min(d.size(), LANG_DETECT_HEAD_WINDOW);
  std::uint64_t from = 0;
  std::uint64_t limit = 0;
  int found = 0;
  while (found < PCL5_ESCAPES_NEEDED && from < head) {
    std::int64_t pairs[3];
    int rc = 0;
    if (regex_exec(regex, d.data() + from, head - from, pairs, 3, &rc) == 0) break;
    const std::uint64_t start = from + static_cast<std::uint64_t>(pairs[0]);
    const std::uint64_t end = from + static_cast<std::uint64_t>(pairs[1]);
    from = end;
    if (binary_count_behind(d, start, end)) continue;
    ++found;
    if (found == 1) limit = start + end + PCL5_ESCAPE_REACH;
    if (end >= limit) break;
  }
  return found >= PCL5_ESCAPES_NEEDED;
}

int late_heuristics(ByteSpan d, const ScanState& state) {
  if (state.km_jbig) {
    LOG_DEBUG("Assuming KM GDI");
    return LANG_GDI_KM_PJL;
  }
  if (many_pcl5_escapes(d)) {
    LOG_DEBUG("Found PCL5 commands. Treating as PCL5");
    return state.is_canon ? LANG_PCL5_CANON : LANG_PCL5;
  }
  return 0;
}

int canon_override(ByteSpan d, int code) {
  if (d.size() < 12 || d[0] != 0xcd || d[1] != 0xca) return code;
  if (!((d[10] == 0 && d[11] == 0) || (d[10] == 0xff && d[11] == 0xff))) return code;
  static constexpr int KEPT[] = {LANG_POSTSCRIPT, LANG_POSTSCRIPT_CANON, LANG_PCL6,
                                 LANG_PCL5,       LANG_PCL5_CANON,       LANG_CANON_BJ,
                                 LANG_CANON_CAPT, LANG_CANON_GARO,       LANG_PCL3GUI};
  if (std::find(std::begin(KEPT), std::end(KEPT), code) != std::end(KEPT)) return code;
  LOG_DEBUG("Document starts with Canon data so assuming UFR");
  return LANG_CANON_UFR;
}

// Escape sequences in a window without blanks: printer graphics written in
// printable bytes (DEC sixel, Xerox XES), whose "lines" are rows of dots.
bool escaped_graphics(std::uint64_t window, const ScanState& state) {
  if (window <= TEXT_SMALL_WINDOW || state.escapes == 0) return false;
  return state.blanks < window / TEXT_BLANKS_PER;
}

// The ESC/P printer reset followed by another command: a dot-matrix or older
// inkjet job (bit images, or ESC/P2 raster without a remote-mode head).
bool escp_reset_head(ByteSpan d) { return scan_bytes_at(d, 0, "\x1b@\x1b"); }

// Mostly bytes FF: white pixels, not text.
bool white_pixels(ByteSpan window) {
  const std::uint64_t white =
      static_cast<std::uint64_t>(std::count(window.begin(), window.end(), std::uint8_t{0xFF}));
  return white * 100 > window.size() * TEXT_WHITE_BYTES_PERCENT;
}

int undecided(ByteSpan d, std::uint64_t window, const ScanState& state) {
  const double percent =
      window == 0 ? 0.0
                  : static_cast<double>(state.control_bytes) * 100.0 / static_cast<double>(window);
  LOG_DEBUG("Checking for plain text with ctrl char count of %d and percentage of %f",
            static_cast<int>(std::min<std::uint64_t>(state.control_bytes, INT32_MAX)), percent);
  if (escaped_graphics(window, state)) {
    LOG_DEBUG("Found escape sequences in data without blanks: not plain text");
  } else if (white_pixels(d.first(window))) {
    LOG_DEBUG("Found mostly bytes FF (white pixels): not plain text");
  } else if (state.control_bytes == 0 ||
             (window > TEXT_SMALL_WINDOW && percent < TEXT_CONTROL_PERCENT)) {
    return LANG_PLAIN_TEXT;
  }
  if (state.dell) {
    LOG_DEBUG("OK we didn't get a match on any other language so assume PCLXL");
    return LANG_PCL6;
  }
  if (state.empty_pcl5) {
    LOG_DEBUG("Found empty PCL5 snippet but no other language so assume PCL5");
    return LANG_PCL5;
  }
  if (state.could_be_canon_pcl5) {
    LOG_DEBUG("Found could_be_canon_pcl5 but no other language so assume PCL5");
    return LANG_PCL5_CANON;
  }
  if (escp_reset_head(d)) {
    LOG_DEBUG("Found the ESC/P reset at the start of binary data. Treating as ESC/P");
    return LANG_ESCP2;
  }
  LOG_DEBUG("Found no matching language");
  return 0;
}

// Everything after the short-file rules.
int detect_long(ByteSpan d) {
  const MatchToken* compiled = compiled_tokens();
  if (compiled == nullptr) {
    LOG_ERROR("Unable to init langauge tokens");
    return 0;
  }
  // The call's own rows: shared compiled programs, fresh hit counts.
  std::array<MatchToken, TOKEN_COUNT> tokens;
  std::copy(compiled, compiled + TOKEN_COUNT, tokens.begin());
  for (MatchToken& row : tokens) row.hit_count = 0;

  ScanState state;
  const std::uint64_t window = std::min(d.size(), LANG_DETECT_SCAN_WINDOW);
  int code = leading_signatures(d, state);
  if (code == 0) code = scan_window(d.first(window), tokens.data(), state);

  const int enter_language = enter_language_override(d);
  if (enter_language != 0) {
    LOG_DEBUG("Using ENTER LANGUAGE: ret='%s'[%d] => enter_language='%s'[%d]", name_of(code), code,
              name_of(enter_language), enter_language);
    code = enter_language;
  } else if (code == 0) {
    code = late_heuristics(d, state);
  }
  code = canon_override(d, code);
  if (code == 0) code = undecided(d, window, state);
  return code;
}

}  // namespace
}  // namespace lang_detect

int analyzer_lang_detect(const std::uint8_t* data, std::uint64_t length) {
  static const std::uint8_t EMPTY[1] = {0};
  if (data == nullptr) {
    data = EMPTY;
    length = 0;
  }
  const ByteSpan bytes = scan_bytes(data, length);
  if (int code = lang_detect::short_file_rules(bytes); code != 0) return code;
  return lang_detect::detect_long(bytes);
}
