// The final steps of a PostScript scan that decide duplex, copies, N-up and
// grayscale from the evidence, each a fixed precedence list: an explicit
// device setting beats a comment, which beats a guess.
#include <iterator>
#include <limits>
#include <map>

#include "analysis/ps_pages.h"
#include "analysis/ps_scan.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

// pages := pages / n rounded up; an N-up value of 1 or less (a 0 from the
// file included) leaves the pages alone.
void divide_pages(PsScan* s, std::int64_t n) {
  if (n <= 1) return;
  const std::int64_t pages = s->ja->pages;
  ja_set_pages(s->ja, decimal_clamp<int>((pages + n - 1) / n));
}

void halve_pages(PsScan* s) { ja_set_pages(s->ja, (s->ja->pages + 1) / 2); }

std::int64_t product(int a, int b) { return static_cast<std::int64_t>(a) * b; }

bool text_is(std::string_view text, std::string_view word) {
  return text.size() == word.size() &&
         scan_bytes_at_caseless(scan_bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0, word);
}

// The rows that set the N-up value from two numbers (rows, columns).
bool nup_from_rows(PsScan* s) {
  struct Row {
    PsToken token;
    const char* name;
  };
  static constexpr Row ROWS[] = {{TOKEN_NUP, "Nup"}, {TOKEN_NUP2, "Nup2"}, {TOKEN_NUP3, "Nup3"}, {TOKEN_NUP4, "Nup4"}};
  for (const Row& row : ROWS) {
    if (!ps_hit(*s, row.token)) continue;
    const std::int64_t n = product(ps_value(*s, row.token, 0), ps_value(*s, row.token, 1));
    if (n > 1) LOG_DEV("%s with a value of %lld", row.name, static_cast<long long>(n));
    divide_pages(s, n);
    return true;
  }
  return false;
}

// Per-page colour modes of a Fiery job. Later ranges override earlier ones;
// the pages are counted by intervals, so a page count from the file never
// sizes an allocation.
int fiery_colour_pages(const PsScan& s, int pages) {
  LOG_DEBUG("fiery_page_range_num_color_pages: n_fiery_ranges=%d", static_cast<int>(s.fiery.size()));
  struct Assignment {
    std::int32_t a, b, gray;
  };
  std::vector<Assignment> assignments;
  for (const PsFieryRange& record : s.fiery) {
    for (const auto& [a, b] : record.ranges) {
      if (a < 1 || b < a || b > pages) continue;
      LOG_DEBUG("fiery_page_range_num_color_pages: i=%d,range=%d,startpage=%d,endpage=%d,is_gray=%d",
                static_cast<int>(assignments.size()), record.index, a, b, record.gray);
      assignments.push_back({a, b, record.gray});
    }
  }
  // Walk the assignments from the last: each paints only pages that no later
  // one painted. `painted` maps a first page to the last of a painted run.
  std::map<std::int64_t, std::int64_t> painted;
  std::int64_t gray_pages = 0;
  std::int64_t painted_pages = 0;
  for (auto it = assignments.rbegin(); it != assignments.rend(); ++it) {
    for (std::int64_t from = it->a; from <= it->b;) {
      auto next = painted.upper_bound(from);
      if (next != painted.begin() && std::prev(next)->second >= from) {
        from = std::prev(next)->second + 1;
        continue;
      }
      const std::int64_t to = next != painted.end() && next->first <= it->b ? next->first - 1 : it->b;
      painted[from] = to;
      painted_pages += to - from + 1;
      if (it->gray == 1) gray_pages += to - from + 1;
      from = to + 1;
    }
  }
  if (s.is_fiery_doc_gray == 1) gray_pages += pages - painted_pages;
  const std::int64_t colour = pages - gray_pages;
  LOG_DEBUG("fiery_page_range_num_color_pages: n_pages=%d,n_grayscale_pages=%lld,n_color_pages=%lld", pages,
            static_cast<long long>(gray_pages), static_cast<long long>(colour));
  return decimal_clamp<int>(colour);
}

}  // namespace

void ps_final_duplex(PsScan* s) {
  ja_set_is_duplex(s->ja, 0);
  const bool backside = ps_hit(*s, TOKEN_DUPLEX_BACKSIDE);
  if (s->duplex_keyword || ps_hit(*s, TOKEN_DUPLEX_PJL) || ps_hit(*s, TOKEN_DUPLEX_FEATURE) || backside ||
      ps_hit(*s, TOKEN_DUPLEX_REQUIREMENTS)) {
    ja_set_is_duplex(s->ja, 1);
  }
  if (ps_hit(*s, TOKEN_TUMBLE_PJL)) ja_set_is_tumble(s->ja, 1);
  // A setpagedevice dictionary is the device setting itself: it overrides
  // the comments, unless it sits in a procedure that may never run.
  if (!backside && !s->is_conditional_duplex && s->is_duplex_spd != -1) s->ja->is_duplex = s->is_duplex_spd;
}

void ps_final_copies(PsScan* s) {
  ja_set_copy_count(s->ja, 0);
  struct Source {
    PsToken token;
    int group;
  };
  static constexpr Source ORDER[] = {
      {TOKEN_OCE_COPIES, 0},        {TOKEN_XRX_COPIES, 0},       {TOKEN_NONPPD_COPIES, 0},
      {TOKEN_RBI_NONPPD_COPIES, 0}, {TOKEN_NUMOF_COPIES, 0},     {TOKEN_RBI_COPIES, 0},
      {TOKEN_PJL_COPIES, 1},        {TOKEN_FEATURE_COPIES, 0},   {TOKEN_BEGINFEATURE_COPIES, 0},
      {TOKEN_NUMCOPIES_COLON, 0},   {TOKEN_NUMCOPIES, 0}};
  int copies = 0;
  for (const Source& source : ORDER) {
    if (ps_hit(*s, source.token) && ps_value(*s, source.token, source.group) >= 1) {
      copies = ps_value(*s, source.token, source.group);
      break;
    }
  }
  if (copies == 0) {
    if (ps_hit(*s, TOKEN_HASH_COPIES) && ps_value(*s, TOKEN_HASH_COPIES) >= 1) copies = ps_value(*s, TOKEN_HASH_COPIES);
    if (s->tentative_copies > 0 && s->tentative_copies > copies) copies = s->tentative_copies;
  }
  if (ps_hit(*s, TOKEN_OKI) && !ps_hit(*s, TOKEN_RBI_COPIES)) {
    LOG_DEBUG("Found OKI so setting copy count as required");
    if (ps_hit(*s, TOKEN_NONPPD_COPIES) && ps_value(*s, TOKEN_NONPPD_COPIES) >= 1) {
      copies = ps_value(*s, TOKEN_NONPPD_COPIES);
    } else if (ps_hit(*s, TOKEN_HASH_COPIES) && ps_value(*s, TOKEN_HASH_COPIES) >= 1) {
      copies = ps_value(*s, TOKEN_HASH_COPIES);
    } else {
      copies = 1;
    }
  }
  if (copies < 1) copies = 1;
  ja_set_copy_count(s->ja, copies);
  LOG_DEV("Postscript copy count: %d", copies);
}

void ps_final_nup(PsScan* s, bool* centerfold) {
  *centerfold = false;
  if (nup_from_rows(s)) return;
  const bool single_pages = s->pages_nup == 0;
  if (ps_hit(*s, TOKEN_NUP5)) {
    LOG_DEV("Nup5 with a value of %d", ps_value(*s, TOKEN_NUP5));
    divide_pages(s, ps_value(*s, TOKEN_NUP5));
  } else if (ps_hit(*s, TOKEN_NUP6)) {
    LOG_DEV("Nup6 with a value of %d", ps_value(*s, TOKEN_NUP6));
    if (single_pages) divide_pages(s, ps_value(*s, TOKEN_NUP6));
  } else if (ps_hit(*s, TOKEN_NUP6A)) {
    LOG_DEV("Nup6a with a value of %d", ps_value(*s, TOKEN_NUP6A));
    if (single_pages && ps_value(*s, TOKEN_NUP6A) > 1) divide_pages(s, ps_value(*s, TOKEN_NUP6A));
  } else if (ps_hit(*s, TOKEN_NUP7)) {
    const int n = ps_value(*s, TOKEN_NUP7);
    const std::string_view imposition = ps_text(*s, TOKEN_NUP7_ON);
    LOG_DEV("Nup7 with a value of %d", n);
    LOG_DEV("NUP7_ON with a value of '%.*s'", static_cast<int>(imposition.size()), imposition.data());
    if (text_is(imposition, "nup") && n > 1 && single_pages) {
      LOG_DEV("Using Nup7=%d", n);
      divide_pages(s, n);
    }
  } else if (ps_hit(*s, TOKEN_FOLDING)) {
    if (ps_text(*s, TOKEN_FOLDING) == "CENTERFOLDIN" && single_pages) {
      halve_pages(s);
      *centerfold = true;
    }
  } else if (s->binary_nup != 0) {
    LOG_DEV("Using binary Ricoh universal nup with a value of %d", s->binary_nup);
    if (single_pages) divide_pages(s, s->binary_nup);
  } else if (s->fiery_nup != 0) {
    LOG_DEV("Using fiery_nup with a value of %d", s->fiery_nup);
    if (single_pages) divide_pages(s, s->fiery_nup);
  } else if (s->km_booklet) {
    LOG_DEV("Konica-Minolta booklet mode 'KOLayout Booklet' is 2-up");
    if (single_pages) halve_pages(s);
  }
}

void ps_final_grayscale(PsScan* s, int* fiery_colour_count) {
  *fiery_colour_count = -1;
  static constexpr PsToken GRAY_ROWS[] = {TOKEN_GRAY_OPKEY,      TOKEN_GRAY_X,  TOKEN_GRAY_TRANSFORM, TOKEN_GRAY_SH,
                                          TOKEN_GRAY_LCOLORMODEL, TOKEN_GRAY_XR, TOKEN_GRAY_OID,       TOKEN_GRAY_OK,
                                          TOKEN_GRAY_OK_MONO,    TOKEN_GRAY_DSSC, TOKEN_GRAY_PJL_BW};
  bool gray = s->colormodel_gray || s->is_pj_grayscale;
  for (PsToken row : GRAY_ROWS) gray = gray || ps_hit(*s, row);
  if (gray) ja_set_is_grayscale(s->ja, 1);
  if (s->fiery_ranges_seen) {
    *fiery_colour_count = fiery_colour_pages(*s, s->ja->pages);
  } else if (!gray && s->is_fiery_doc_gray == 1) {
    ja_set_is_grayscale(s->ja, 1);
  }
}

void ps_final_steps(PsScan* s) {
  if (s->ja == nullptr) return;
  ps_final_duplex(s);
  ps_final_copies(s);
  const PsPageDecision decision = ps_decide_pages(s);
  bool centerfold = false;
  ps_final_nup(s, &centerfold);
  ps_subtract_fillers(s, decision);
  int fiery_colour_count = -1;
  ps_final_grayscale(s, &fiery_colour_count);
  ps_final_media(s, centerfold);
  ps_final_names(s);
  ps_final_readers(s);
  ps_final_colour_pages(s, fiery_colour_count);
}
