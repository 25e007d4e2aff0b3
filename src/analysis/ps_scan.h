// The state of one scan of a PostScript buffer and the steps that read and
// change it (not for other callers; the analyzer's entry points are in
// postscript.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/ps_empty_pages.h"
#include "analysis/ps_pairs.h"
#include "analysis/ps_regex.h"
#include "foundation/matcher.h"
#include "foundation/timeout.h"
#include "scan/byte_cursor.h"

struct JobAttribs;
struct PSColor;

// The token rows, in table order.
enum PsToken : int {
  TOKEN_PAGE0,
  TOKEN_PAGE1,
  TOKEN_PAGE_X,
  TOKEN_ADOBE_SHOWPAGE,
  TOKEN_PAGES,
  TOKEN_HASH_COPIES,
  TOKEN_NUMCOPIES_COLON,
  TOKEN_NUMCOPIES,
  TOKEN_XRX_COPIES,
  TOKEN_PJL_COPIES,
  TOKEN_OCE_COPIES,
  TOKEN_FEATURE_COPIES,
  TOKEN_BEGINFEATURE_COPIES,
  TOKEN_KC_COPIES,
  TOKEN_RBI_COPIES,
  TOKEN_NONPPD_COPIES,
  TOKEN_RBI_NONPPD_COPIES,
  TOKEN_NUMOF_COPIES,
  TOKEN_NUP,
  TOKEN_NUP2,
  TOKEN_NUP3,
  TOKEN_NUP4,
  TOKEN_NUP5,
  TOKEN_NUP6,
  TOKEN_NUP6A,
  TOKEN_NUP7,
  TOKEN_NUP7_ON,
  TOKEN_FOLDING,
  TOKEN_GRAY_OPKEY,
  TOKEN_GRAY_X,
  TOKEN_GRAY_TRANSFORM,
  TOKEN_GRAY_XR,
  TOKEN_GRAY_OID,
  TOKEN_GRAY_SH,
  TOKEN_GRAY_LCOLORMODEL,
  TOKEN_GRAY_OK,
  TOKEN_GRAY_OK_MONO,
  TOKEN_GRAY_DSSC,
  TOKEN_GRAY_PJL_BW,
  TOKEN_DUPLEX_PJL,
  TOKEN_DUPLEX_FEATURE,
  TOKEN_DUPLEX_BACKSIDE,
  TOKEN_DUPLEX_REQUIREMENTS,
  TOKEN_TUMBLE_PJL,
  TOKEN_PJL_PAPER,
  TOKEN_PAGESIZE,
  TOKEN_CUSTOM_PAGESIZE,
  TOKEN_DOCUMENT_MEDIA,
  TOKEN_PAGE_BOUNDING_BOX,
  TOKEN_DEFERRED_PAGESIZE,
  TOKEN_XEROX_PAGESIZE,
  TOKEN_XEROX_FTP_PAGESIZE,
  TOKEN_CUSTOM_TRUE,
  TOKEN_CUSTOM_TRUE_SIZE,
  TOKEN_KM_HIRES_PAGESIZE,
  TOKEN_TITLE_PROC,
  TOKEN_TITLE,
  TOKEN_OKI,
  TOKEN_KM_OPTIONS,
  TOKEN_COUNT,
};

enum class PsDataState { NORMAL, BINARY, ASCII85 };

// One Fiery page-range record: its page ranges (none for a record made by a
// colour-mode comment) and its colour mode.
struct PsFieryRange {
  std::int32_t index;
  bool has_ranges;
  std::vector<std::pair<std::int32_t, std::int32_t>> ranges;
  std::int32_t gray;  // 1 gray, 0 CMYK, -1 unknown
};


struct PsScan {
  // What the scan is given.
  const std::uint8_t* start;
  const std::uint8_t* end;
  int detect_color;
  JobAttribs* ja;
  int canon_filtered;
  PSColor* color;
  int depth;

  PsDataState data_state = PsDataState::NORMAL;
  bool stopped = false;         // the time limit ran out
  bool nested_failed = false;   // a decoded prolog could not be scanned

  // Page counters.
  std::int32_t page_count_dsc = 0;
  std::int32_t page_count_dsc_strict = -1;
  std::int32_t page_count_dsc_strict_offset = 0;
  // Pages of the documents before the current one by their DSC ordinals.
  std::int32_t page_count_dsc_strict_done = 0;
  std::int32_t page_count_strict = 0;
  std::int32_t page_count_indesign_strict = 0;
  std::int32_t page_count_qxp_strict = 0;
  std::int32_t page_count_showpage_strict = 0;
  std::int32_t page_count_showpage = 0;
  std::int32_t pages_nup = 0;
  std::int32_t macro_page_count = 0;
  std::int32_t page_num_imposed = -1;
  std::int32_t n_filler = 0;

  bool page_seen = false;
  std::string last_page_label;
  std::int64_t last_page_marker = -1;
  bool short_last_page = false;
  std::int32_t first_strict_page = -1;
  std::int32_t last_strict_page = -1;
  std::int32_t last_indesign_page = -1;
  bool showpage_redefined_nup = false;
  std::string macro_name;
  bool macro_at_end = false;
  // Nesting of embedded documents (%%BeginDocument to %%EndDocument).
  int embedded_depth = 0;

  // Evidence for the job settings.
  bool duplex_keyword = false;
  std::int32_t is_duplex_spd = -1;
  bool is_conditional_duplex = false;
  std::int32_t tentative_copies = 0;
  std::int32_t binary_nup = 0;
  bool is_pj_grayscale = false;
  bool colormodel_gray = false;
  bool kyocera_seen = false;
  std::int32_t is_fiery_doc_gray = -1;
  bool fiery_ranges_seen = false;
  std::int32_t fiery_nup = 0;
  bool km_booklet = false;
  bool extra_rotation = false;
  bool media_override = false;
  bool adobe_application = false;
  bool target_device_found = false;
  std::int32_t bounding_box_width_mm = -1;
  std::int32_t bounding_box_height_mm = -1;
  std::int32_t signature_width_mm = -1;
  std::int32_t signature_height_mm = -1;
  std::int32_t page_width_mm = -1;
  std::int32_t page_height_mm = -1;
  std::vector<PsFieryRange> fiery;

  // Empty-page windows: 1 strict, InDesign, QXP and Kyocera markers; 2 DSC
  // page trailers; 3 showpage macro calls.
  std::array<PsEmptyPageWindow, 3> windows{};

  // The token rows: a table compiled once per thread and depth, its hits,
  // values and texts cleared for each scan (ps_load_tokens).
  MatchToken* tokens = nullptr;
  Timeout timeout{};
  // Literals at which some check, token row or colour test may begin.
  PsLiteralFilter filter;
  bool colour_digits = false;
  // Colour procedures of the prolog the walk already stops at.
  std::size_t colour_procedures = 0;
  std::uint64_t next_poll = 0;
  // Where the walk knows "showpage" (any case) to stand: no word begins in
  // [showpage_from, showpage_to), and one does at showpage_to when
  // showpage_found (the end of the buffer counts as one). The search goes
  // only as far as the walk asks (the stretch it is in and the macro window
  // behind it), never at once to the end of the buffer.
  std::uint64_t showpage_from = 0;
  std::uint64_t showpage_to = 0;
  bool showpage_found = false;

  [[nodiscard]] std::uint64_t length() const { return static_cast<std::uint64_t>(end - start); }
};


// The next offset at or after p where "showpage" (any case) begins, or the
// length when none does, if that is below `limit`; otherwise some offset at
// or past `limit`. The macro definitions need the word within their windows.
[[nodiscard]] std::uint64_t ps_next_showpage(PsScan* s, std::uint64_t p, std::uint64_t limit);
// An image operator at p whose samples follow it as ASCII85 text.
[[nodiscard]] bool ps_ascii85_image_data_follows(const PsScan& s, std::uint64_t p);

// The outcome of the checks at one position.
struct PsStep {
  std::uint64_t next;  // where the walk goes on
  bool done;           // the work at the position ended (a skip)
};

inline PsStep ps_go_on(std::uint64_t p) { return PsStep{p, false}; }
inline PsStep ps_skip_to(const PsScan& s, std::uint64_t next) {
  return PsStep{next < s.length() ? next : s.length(), true};
}

// One position of the walk, with bounded views of the bytes from it.
struct PsHere {
  const PsScan* s;
  std::uint64_t p;
  [[nodiscard]] const std::uint8_t* at() const { return s->start + p; }
  [[nodiscard]] std::uint64_t r() const { return s->length() - p; }
  [[nodiscard]] ByteSpan rest() const { return scan_bytes(at(), r()); }
  [[nodiscard]] bool is(std::string_view text) const { return scan_bytes_at(rest(), 0, text); }
  [[nodiscard]] bool is_caseless(std::string_view text) const {
    return scan_bytes_at_caseless(rest(), 0, text);
  }
  [[nodiscard]] std::uint64_t room(std::uint64_t n) const { return std::min(n, r()); }
  bool match(PsRe id, std::uint64_t n, PsMatch* m = nullptr) const {
    return ps_match(id, at(), room(n), m);
  }
  [[nodiscard]] std::uint8_t before(std::uint64_t back) const {
    return p >= back ? s->start[p - back] : 0;
  }
};

// Resumes behind an anchored match at p (the match's length plus 1 on).
inline PsStep ps_skip_match(const PsScan& s, std::uint64_t p, const PsMatch& m) {
  return ps_skip_to(s, p + m.length() + 1);
}

// ---- Steps of the walk (ps_scan_checks.cpp, ps_scan_comments.cpp) ----

// The checks of one normal position, the token table and the colour
// hand-off included.
[[nodiscard]] PsStep ps_checks_at(PsScan* s, std::uint64_t p);
// The comment group at a "%": its result when it ended the work.
[[nodiscard]] bool ps_comment_checks(PsScan* s, std::uint64_t p, PsStep* step);
// Pages by the DSC ordinals: those of earlier documents of the job plus the
// current document's (its latest ordinal less the first one's offset).
[[nodiscard]] std::int32_t ps_dsc_strict_pages(const PsScan& s);
// Rebuilds the pairs the walk stops at (after a macro name is learnt, or
// when a colour dialect that needs digits is found).
void ps_update_interesting(PsScan* s);

// ---- The scan-time settings tests (ps_settings_scan.cpp) ----

[[nodiscard]] PsStep ps_setpagedevice_duplex(PsScan* s, std::uint64_t p);
[[nodiscard]] PsStep ps_tentative_copies(PsScan* s, std::uint64_t p);
void ps_binary_nup(PsScan* s, std::uint64_t p);
void ps_signature_size(PsScan* s, const std::uint8_t* text, std::uint64_t length);
[[nodiscard]] bool ps_gray_models(PsScan* s, std::uint64_t p, PsStep* step);
[[nodiscard]] bool ps_header_checks(PsScan* s, std::uint64_t p, PsStep* step);

// ---- Token table (ps_tokens.cpp) ----

[[nodiscard]] bool ps_load_tokens(PsScan* s);
void ps_free_tokens(PsScan* s);
// Tests the rows at p, then hands the position to the colour detector.
void ps_tokens_and_color(PsScan* s, std::uint64_t p);
// The rows that begin with white space, at a keyword (definenup, BeginNUP,
// startNup) that ends them: tried at the blanks of the 200 bytes before it.
void ps_space_rows_at_keyword(PsScan* s, std::uint64_t keyword);
[[nodiscard]] int ps_page_index(const PsScan& s);
void ps_log_tokens(const PsScan& s);
// Where a row is kept in `tokens` (the rows that begin with white space are
// a table of their own behind the others).
[[nodiscard]] int ps_token_slot(PsToken t);
[[nodiscard]] inline const MatchToken& ps_row(const PsScan& s, PsToken t) { return s.tokens[ps_token_slot(t)]; }
[[nodiscard]] inline bool ps_hit(const PsScan& s, PsToken t) { return ps_row(s, t).hit_count >= 1; }
// The row's captured number of group 1 (or another group).
[[nodiscard]] inline int ps_value(const PsScan& s, PsToken t, int group = 0) {
  return ps_row(s, t).values[group];
}
// The row's captured text of group 1 (or another group), empty when none.
[[nodiscard]] inline std::string_view ps_text(const PsScan& s, PsToken t, int group = 0) {
  const char* text = ps_row(s, t).texts[group];
  return text != nullptr ? std::string_view(text) : std::string_view();
}

// ---- Final steps (ps_settings.cpp, ps_settings_media.cpp, ps_pages.cpp) ----

void ps_final_steps(PsScan* s);
void ps_final_duplex(PsScan* s);
void ps_final_copies(PsScan* s);
void ps_final_nup(PsScan* s, bool* centerfold);
void ps_final_grayscale(PsScan* s, int* fiery_colour_pages);
void ps_final_media(PsScan* s, bool centerfold);
void ps_final_names(PsScan* s);
void ps_final_readers(PsScan* s);
void ps_final_colour_pages(PsScan* s, int fiery_colour_pages);

// Runs a scan of [data, data + length) at `depth` (0 for the job, 1 for a
// decoded prolog): 0, or -1 when it could not run.
[[nodiscard]] int postscript_process_job_inner_run(const std::uint8_t* data, std::uint64_t length,
                                                   int detect_color, JobAttribs* ja,
                                                   int canon_filtered, PSColor* color,
                                                   int recursion_depth);
