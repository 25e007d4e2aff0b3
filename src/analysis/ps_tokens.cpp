// The token table of the PostScript scan (copies, N-up, grayscale, duplex,
// paper and title settings of many drivers, and fallback page marks), and
// the hand-off of each position to the colour detector.
#include <array>
#include <cstdlib>

#include "analysis/ps_color.h"
#include "analysis/ps_scan.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

constexpr int A = PCRE_ANCHORED;
constexpr int AC = PCRE_ANCHORED | PCRE_CASELESS;
constexpr int ADC = PCRE_ANCHORED | PCRE_DOTALL | PCRE_CASELESS;
constexpr std::uint64_t LIMIT = 10000000;
constexpr std::uint64_t TOKEN_WINDOW = 200;

struct Lead {
  std::string_view text;  // the literal every match begins with ("" for none)
  bool caseless;
};

struct RowSpec {
  PsToken token;
  Lead lead;
  int first;
  const char* pattern;
  int options;
  bool once;
  std::uint64_t limit;
};

// The rows in table order. The three rows that begin with white space are
// kept apart (see SPACE_ROWS): they have no literal to filter positions by.
constexpr RowSpec ROWS[TOKEN_COUNT] = {
    {TOKEN_PAGE0, {"%%[Page:", true}, '%', R"re(\%\%\[Page:\s*\d)re", AC, false, 0},
    {TOKEN_PAGE1, {"%%[[Page:", true}, '%', R"re(\%\%\[\[Page:\s*\d)re", AC, false, 0},
    {TOKEN_PAGE_X, {"%%", true}, '%', R"re(\%\%\s*Page:)re", AC, false, 0},
    {TOKEN_ADOBE_SHOWPAGE, {"currentdict Adobe", false}, 'c', R"re(currentdict Adobe_AGM_Utils eq {end} if\s+showpage\s+)re", A, false, 0},
    {TOKEN_PAGES, {"%%Pages:", true}, '%', R"re(\%\%Pages:\s+(\d+))re", AC, true, 0},
    {TOKEN_HASH_COPIES, {"#copies", true}, '#', R"re(#copies\s+(\d+))re", AC, true, LIMIT},
    {TOKEN_NUMCOPIES_COLON, {"NumCopies:", true}, 'n', R"re(NumCopies:\s+(\d+))re", AC, true, LIMIT},
    {TOKEN_NUMCOPIES, {"NumCopies ", true}, 'n', R"re(NumCopies (\d+))re", AC, true, LIMIT},
    {TOKEN_XRX_COPIES, {"%XRXcopyCount:", true}, '%', R"re(\%XRXcopyCount:\s+(\d+))re", AC, true, LIMIT},
    {TOKEN_PJL_COPIES, {"@PJL SET ", true}, '@', R"re(@PJL SET (COPIES|QTY)\s*=\s*(\d+))re", AC, true, LIMIT},
    {TOKEN_OCE_COPIES, {"%!OCE", true}, '%', R"re(\%\!OCE\s+COPIES\s+(\d+))re", AC, true, LIMIT},
    {TOKEN_FEATURE_COPIES, {"featurebegin{", true}, 'f', R"re(featurebegin\{\s*(\d+).*?NumCopies.*?setpagedevice.*?\}featurecleanup)re", ADC,
     true, LIMIT},
    {TOKEN_BEGINFEATURE_COPIES, {"%%BeginFeature:", true}, '%',
     R"re(\%\%BeginFeature:.*?(\d+).*?NumCopies.*?setpagedevice.*?\%\%EndFeature)re", ADC, true, LIMIT},
    {TOKEN_KC_COPIES, {"%%KcCopies:", true}, '%', R"re(\%\%KcCopies:\s*(\d+))re", AC, true, LIMIT},
    {TOKEN_RBI_COPIES, {"%RBINumCopies:", true}, '%', R"re(\%RBINumCopies:\s*(\d+))re", AC, true, LIMIT},
    {TOKEN_NONPPD_COPIES, {"%%BeginNonPPDFeature:", true}, '%', R"re(\%\%BeginNonPPDFeature:\s+NumCopies\s+(\d+))re", AC, false, LIMIT},
    {TOKEN_RBI_NONPPD_COPIES, {"%RBIBeginNonPPDFeature:", true}, '%', R"re(\%RBIBeginNonPPDFeature:\s+\*?NumCopies\s+(\d+))re", AC, true, LIMIT},
    {TOKEN_NUMOF_COPIES, {"NumofCopies=", true}, 'N', R"re(NumofCopies=\s*(\d+))re", AC, true, LIMIT},
    {TOKEN_NUP, {"", false}, ' ', R"re(\s+(\d+)\s+(\d+)\s+definenup)re", AC, true, LIMIT},
    {TOKEN_NUP2, {"", false}, ' ', R"re(\s+(\d+)\s+(\d+)\s+\d+\s+BeginNUP)re", A, true, LIMIT},
    {TOKEN_NUP3, {"/NupDetails", true}, '/', R"re(\/NupDetails.*\/(?:Rows|Columns)\s+(\d+).*\/(?:Rows|Columns)\s+(\d+))re", ADC, true, LIMIT},
    {TOKEN_NUP4, {"", false}, ' ', R"re(\s+(\d+)\s+(\d+)\s+startNup\b)re", A, true, LIMIT},
    {TOKEN_NUP5, {"@PJL", true}, '@', R"re(@PJL\s+COMMENT\s+DSSC\s+PRINT\s+NUPCOUNT\s*=\s*(\d+))re", AC, true, LIMIT},
    {TOKEN_NUP6, {"%%BeginFeature:", true}, '%', R"re(\%\%BeginFeature:\s*\*NUPVal\s*(\d+))re", AC, true, LIMIT},
    {TOKEN_NUP6A, {"@PJL SET JOBATTR=", false}, '@', R"re(@PJL SET JOBATTR="@NLPP=N(\d+)")re", A, true, LIMIT},
    {TOKEN_NUP7, {"%%BeginFeature:", false}, '%', R"re(\%\%BeginFeature:\s*\*SHNupPagesPerSheet\s*(\d+))re", A, true, LIMIT},
    {TOKEN_NUP7_ON, {"%%BeginFeature:", false}, '%', R"re(\%\%BeginFeature:\s*\*SHImposition\s+(\S+))re", A, true, LIMIT},
    {TOKEN_FOLDING, {"@PJL SET FOLDING", true}, '@', R"re(@PJL SET FOLDING\s*=\s*(\S+))re", AC, true, LIMIT},
    {TOKEN_GRAY_OPKEY, {"OpKeyColorSelMono", true}, 'o', R"re(OpKeyColorSelMono)re", AC, true, LIMIT},
    {TOKEN_GRAY_X, {"X_GrayScaleColorMode", true}, 'x', R"re(X_GrayScaleColorMode)re", AC, true, LIMIT},
    {TOKEN_GRAY_TRANSFORM, {"ColorTransform", true}, 'c', R"re(ColorTransform\s+\/Gray)re", AC, true, LIMIT},
    {TOKEN_GRAY_XR, {"%%BeginFeature:", true}, '%', R"re(\%\%BeginFeature:\s+\*XRColorCorrection\s+Gray)re", AC, true, LIMIT},
    {TOKEN_GRAY_OID, {"@PJL COMMENT OID", true}, '@', R"re(@PJL COMMENT OID_ATT_COLOR_MODE OID_VAL_COLOR_MODE_BLACK_WHITE)re", AC, true, LIMIT},
    {TOKEN_GRAY_SH, {"%%BeginFeature:", true}, '%', R"re(\%\%BeginFeature:\s+\*SHOutputMode\s+Monochrome)re", AC, true, LIMIT},
    {TOKEN_GRAY_LCOLORMODEL, {"@PJL SET LCOLORMODEL", true}, '@', R"re(@PJL SET LCOLORMODEL\s*=\s*BLACK)re", AC, true, LIMIT},
    {TOKEN_GRAY_OK, {"%%BeginFeature:", true}, '%', R"re(\%\%BeginFeature:\s+\*OKControl\s+Gray)re", AC, true, LIMIT},
    {TOKEN_GRAY_OK_MONO, {"globaldict", false}, 'g', R"re(globaldict\s+/OK@ColorMono\s+1\s+put)re", A, false, LIMIT},
    {TOKEN_GRAY_DSSC, {"@PJL COMMENT DSSC", true}, '@', R"re(@PJL COMMENT DSSC PRINT RENDERMODE\s*=\s*GRAYSCALE)re", AC, true, LIMIT},
    {TOKEN_GRAY_PJL_BW, {"@PJL SET COLORMODE", true}, '@', R"re(@PJL SET COLORMODE\s*=\s*BW)re", AC, true, LIMIT},
    {TOKEN_DUPLEX_PJL, {"@PJL", true}, '@', R"re(@PJL\s+[^@]+DUPLEX\s*=?\s*ON\b)re", AC, true, LIMIT},
    {TOKEN_DUPLEX_FEATURE, {"%%", true}, '%',
     R"re(\%\%(?:Begin|Include)Feature:\s+\*(?:EF|SH)?Duplex\s+(LongEdge|ShortEdge|DuplexNoTumble|DuplexTumble|TopTop|TopBottom))re",
     AC, true, LIMIT},
    {TOKEN_DUPLEX_BACKSIDE, {"PrintOnBackside", true}, 'p', R"re(PrintOnBackside\s+true)re", AC, true, LIMIT},
    {TOKEN_DUPLEX_REQUIREMENTS, {"%%Requirements:", true}, '%', R"re(\%\%Requirements:\s*duplex)re", AC, true, LIMIT},
    {TOKEN_TUMBLE_PJL, {"@PJL", true}, '@', R"re(@PJL\s+SET\s+BINDING\s*=\s*SHORTEDGE\b)re", AC, true, 0},
    {TOKEN_PJL_PAPER, {"@PJL", true}, '@', R"re(@PJL\s+SET\s+PAPER\s*=\s*(\w+))re", AC, true, LIMIT},
    {TOKEN_PAGESIZE, {"/PageSize", true}, '/', R"re(/PageSize\s*\[\s*(\d+\.?\d*)\s+(\d+\.?\d*)\s*\])re", AC, false, LIMIT},
    {TOKEN_CUSTOM_PAGESIZE, {"%%BeginFeature:", true}, '%', R"re(\%\%BeginFeature:\s*\*CustomPageSize.*?(\d+)\.?\d*\s+(\d+))re", ADC, true, LIMIT},
    {TOKEN_DOCUMENT_MEDIA, {"%%DocumentMedia:", true}, '%', R"re(\%\%DocumentMedia:\s*\(Default\)\s+(\d+)\s+(\d+)\b)re", AC, true, LIMIT},
    {TOKEN_PAGE_BOUNDING_BOX, {"%%PageBoundingBox:", true}, '%', R"re(\%\%PageBoundingBox:\s*(-?\d+\s+-?\d+\s+\d+\s+\d+))re", AC, true, LIMIT},
    {TOKEN_DEFERRED_PAGESIZE, {"/DeferredMediaSelection", true}, '/', R"re(/DeferredMediaSelection true /PageSize \[(\d+)\s+(\d+)\])re", AC, true, LIMIT},
    {TOKEN_XEROX_PAGESIZE, {"PageSize", true}, 'p', R"re(PageSize\s*\[(\d+\.?\d*)\s+(\d+\.?\d*)\]\s*\>\>\s*xerox\$pagedevice)re", ADC, false,
     LIMIT},
    {TOKEN_XEROX_FTP_PAGESIZE, {"/XrxNgFtpInit", true}, '/', R"re(\/XrxNgFtpInit\s+where\s*{\s*pop\s+(\d+)\s+(\d+))re", AC, true, LIMIT},
    {TOKEN_CUSTOM_TRUE, {"%%BeginFeature: ", true}, '%', R"re(\%\%BeginFeature: \*?CustomPageSize True)re", AC, true, LIMIT},
    {TOKEN_CUSTOM_TRUE_SIZE, {"%%BeginFeature: ", true}, '%', R"re(\%\%BeginFeature: \*CustomPageSize True\s+(\d+\.?\d*)\s+(\d+\.?\d*))re", AC, true,
     LIMIT},
    {TOKEN_KM_HIRES_PAGESIZE, {"SHKMFeatures", false}, 'S', R"re(SHKMFeatures\s*/HiResPageSize\s*\[\s*(\d+\.?\d*)\s+(\d+\.?\d*)\s*\]\s*put)re", A,
     false, LIMIT},
    {TOKEN_TITLE_PROC, {"/Title(", false}, '/', R"re(\/Title\((.*?)\)def)re", A, true, LIMIT},
    {TOKEN_TITLE, {"%%Title:", false}, '%', R"re(\%\%Title:\s*(.+?)[\r\n])re", A, true, LIMIT},
    {TOKEN_OKI, {"%%", false}, '%', R"re(\%\%\s+OKI\b)re", A, true, LIMIT},
    {TOKEN_KM_OPTIONS, {"/KMOptions", false}, '/', R"re(/KMOptions\b)re", A, true, LIMIT},
};

constexpr bool rows_in_order() {
  for (int i = 0; i < TOKEN_COUNT; ++i) {
    if (ROWS[i].token != i) return false;
  }
  return true;
}
static_assert(rows_in_order(), "the token rows are listed in table order");

constexpr PsToken SPACE_ROWS[] = {TOKEN_NUP, TOKEN_NUP2, TOKEN_NUP4};
constexpr int SPACE_COUNT = 3;
constexpr int MAIN_COUNT = TOKEN_COUNT - SPACE_COUNT;

constexpr bool is_space_row(int t) { return t == TOKEN_NUP || t == TOKEN_NUP2 || t == TOKEN_NUP4; }

// Storage slot of each row: the other rows first, the space rows last.
constexpr std::array<int, TOKEN_COUNT> make_slots() {
  std::array<int, TOKEN_COUNT> slots{};
  int main = 0;
  int space = MAIN_COUNT;
  for (int t = 0; t < TOKEN_COUNT; ++t) slots[t] = is_space_row(t) ? space++ : main++;
  return slots;
}
constexpr std::array<int, TOKEN_COUNT> SLOTS = make_slots();

// Literals at which the scanner's own checks can begin.
struct ScannerLiteral {
  std::string_view text;
  bool caseless;
};
constexpr ScannerLiteral SCANNER_LITERALS[] = {
    {"%%", false},         {"%!", false},         {"%ADO", false},      {"/DataSource", false},
    {"Adobe_AGM", false},  {"duplex", true},      {"Duplex", false},    {"(%%[", false},
    {"copies", true},      {"definenup", true},   {"H SH", false},      {"userdi", false},
    {"showp", false},      {"ESPshowpage", false}, {"BRPr", false},     {"ProcessCo", false},
    {"!R!", false},        {"@PJL", false},       {"exif", false},      {"ColorModel", true},
    {"<<", false},         {"doNimage", true},    {"stream", false},    {"BeginNUP", false},
    {"startNup", false},   {"pdfIm", false},      {"image", false},     {"colorimage", true},
    // Strings the walk passes over: ASCII85 "<~" and hexadecimal "<...>".
    {"<~", false},         {"< ", false},         {"<\n", false},      {"<\r", false},
    {"<\t", false},        {"<0", false},         {"<1", false},        {"<2", false},
    {"<3", false},         {"<4", false},         {"<5", false},        {"<6", false},
    {"<7", false},         {"<8", false},         {"<9", false},        {"<a", true},
    {"<b", true},          {"<c", true},          {"<d", true},         {"<e", true},
    {"<f", true},
};

}  // namespace

int ps_token_slot(PsToken t) { return SLOTS[t]; }

namespace {

constexpr int DEPTHS = 2;  // the job, and a decoded prolog inside it

// The rows compiled once per thread for each scan depth (compiling 59
// patterns for every job would cost more than scanning a small one).
class TokenTables {
 public:
  ~TokenTables() {
    for (auto& table : rows_) {
      matcher_free_tokens(table, MAIN_COUNT);
      matcher_free_tokens(table + MAIN_COUNT, SPACE_COUNT);
    }
  }
  // The table of `depth`, compiled on first use and cleared; nullptr when a
  // pattern does not compile.
  MatchToken* take(int depth) {
    if (depth < 0 || depth >= DEPTHS) return nullptr;
    MatchToken* table = rows_[depth];
    if (!ready_[depth]) {
      fill(table);
      LOG_DEV("loaded %d tokens", TOKEN_COUNT);
      ready_[depth] = matcher_init_tokens(table, MAIN_COUNT) == 0 &&
                      matcher_init_tokens(table + MAIN_COUNT, SPACE_COUNT) == 0;
      if (!ready_[depth]) return nullptr;
    }
    clear(table);
    return table;
  }
  static void clear(MatchToken* table) {
    for (int i = 0; i < TOKEN_COUNT; ++i) {
      MatchToken& row = table[i];
      row.hit_count = 0;
      for (int g = 0; g < MATCH_TOKEN_GROUPS; ++g) {
        row.values[g] = 0;
        std::free(row.texts[g]);
        row.texts[g] = nullptr;
      }
    }
  }

 private:
  static void fill(MatchToken* table) {
    for (const RowSpec& spec : ROWS) {
      MatchToken& row = table[SLOTS[spec.token]];
      row = MatchToken{};
      row.first_char = spec.first;
      row.pattern = spec.pattern;
      row.options = spec.options;
      row.once_only = spec.once ? 1 : 0;
      row.offset_limit = spec.limit;
    }
  }
  MatchToken rows_[DEPTHS][TOKEN_COUNT] = {};
  bool ready_[DEPTHS] = {};
};

TokenTables& token_tables() {
  thread_local TokenTables tables;
  return tables;
}

}  // namespace

bool ps_load_tokens(PsScan* s) {
  LOG_DEV("entering load_tokens");
  s->tokens = token_tables().take(s->depth);
  return s->tokens != nullptr;
}

void ps_free_tokens(PsScan* s) {
  if (s->tokens != nullptr) TokenTables::clear(s->tokens);
  s->tokens = nullptr;
}

void ps_update_interesting(PsScan* s) {
  PsLiteralFilter& filter = s->filter;
  filter.clear();
  for (const ScannerLiteral& literal : SCANNER_LITERALS) filter.add(literal.text, literal.caseless);
  for (const RowSpec& spec : ROWS) filter.add(spec.lead.text, spec.lead.caseless);
  if (!s->macro_name.empty()) filter.add(s->macro_name, false);
  if (s->color != nullptr) {
    PSColorTriggerLiterals(&filter);
    // Two drivers' colour operands begin with a digit.
    s->colour_digits = s->color->is_gsps != 0 || s->color->is_dr_setrgbcolor != 0;
    if (s->colour_digits) {
      for (char c : std::string_view("0123456789[")) filter.add(std::string_view(&c, 1), false);
    }
    s->colour_procedures = PSColorProcedureCount(s->color);
    for (const std::string& name : s->color->colour_procedures) filter.add(name, false);
  }
}

int ps_page_index(const PsScan& s) {
  if (s.page_num_imposed >= 1) return s.page_num_imposed;
  std::int64_t sum = 0;
  for (PsToken t : {TOKEN_PAGE0, TOKEN_PAGE1, TOKEN_PAGE_X, TOKEN_ADOBE_SHOWPAGE}) sum += ps_row(s, t).hit_count;
  sum += static_cast<std::int64_t>(s.page_count_showpage) + s.page_count_dsc_strict + s.page_count_dsc_strict_done +
         s.page_count_qxp_strict + s.page_count_indesign_strict + s.page_count_dsc + s.page_count_strict +
         s.macro_page_count + s.pages_nup;
  return decimal_clamp<int>(sum);
}

void ps_tokens_and_color(PsScan* s, std::uint64_t p) {
  const std::uint8_t* here = s->start + p;
  const std::uint64_t window = std::min<std::uint64_t>(TOKEN_WINDOW, s->length() - p);
  (void)matcher_test_tokens(s->tokens, MAIN_COUNT, here, window, p);
  if (s->color == nullptr || (s->ja != nullptr && s->ja->is_grayscale != 0)) return;
  const int index = ps_page_index(*s);
  if (index >= 1) s->page_seen = true;
  PSColorParseAtPos(s->color, here, s->start, s->end, index);
  if ((!s->colour_digits && (s->color->is_gsps != 0 || s->color->is_dr_setrgbcolor != 0)) ||
      PSColorProcedureCount(s->color) != s->colour_procedures) {
    ps_update_interesting(s);
  }
}

void ps_space_rows_at_keyword(PsScan* s, std::uint64_t keyword) {
  static constexpr std::string_view KEYWORDS[SPACE_COUNT] = {"definenup", "BeginNUP", "startNup"};
  const ByteSpan all = scan_bytes(s->start, s->length());
  for (int i = 0; i < SPACE_COUNT; ++i) {
    MatchToken& row = s->tokens[SLOTS[SPACE_ROWS[i]]];
    const bool at_keyword = i == 0 ? scan_bytes_at_caseless(all, keyword, KEYWORDS[i])
                                   : scan_bytes_at(all, keyword, KEYWORDS[i]);
    if (row.hit_count > 0 || !at_keyword) continue;
    // The rows are anchored at a blank and end at the keyword: try the
    // blanks before it in order, as the walk would have.
    const std::uint64_t from = keyword > TOKEN_WINDOW ? keyword - TOKEN_WINDOW : 0;
    for (std::uint64_t p = from; p < keyword && row.hit_count == 0; ++p) {
      if (s->start[p] != ' ') continue;
      const std::uint64_t window = std::min<std::uint64_t>(TOKEN_WINDOW, s->length() - p);
      (void)matcher_test_tokens(&row, 1, s->start + p, window, p);
    }
  }
}

void ps_log_tokens(const PsScan& s) {
  for (int t = 0; t < TOKEN_COUNT; ++t) {
    const MatchToken& row = ps_row(s, static_cast<PsToken>(t));
    LOG_DEV("%d - pattern:%s occurrences: %d, intvals: [%d, %d, %d]", t, row.pattern, row.hit_count, row.values[0],
            row.values[1], row.values[2]);
    for (int g = 0; g < MATCH_TOKEN_GROUPS; ++g) {
      if (row.texts[g] != nullptr) LOG_DEV("    subgroup[%d]: %s", g, row.texts[g]);
    }
  }
}
