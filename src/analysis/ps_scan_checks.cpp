// The checks at one position of a PostScript buffer, in their order: each is
// guarded by the bytes at the position before any pattern runs. A check that
// skips ends the work at the position; the others let the later ones run.
#include <algorithm>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "analysis/ps_empty_pages.h"
#include "analysis/ps_pdf_stream.h"
#include "analysis/ps_regex.h"
#include "analysis/ps_scan.h"
#include "foundation/ascii.h"
#include "foundation/cpu_features.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t HEADER_LIMIT = 10000000;
constexpr std::uint64_t MACRO1_WINDOW = 200;
constexpr std::uint64_t MACRO2_WINDOW = 100;
constexpr std::uint64_t SHOWPAGE_WINDOW = 100;
constexpr std::uint64_t BIND_DEF_WINDOW = 200;
constexpr std::uint64_t MACRO_AT_END = 10;

void adobe_media_override(PsScan* s, const PsHere& h) {
  if (h.r() > 50 && h.is("Adobe_AGM_Core/driver_check_media_override gx")) {
    LOG_DEBUG("Found Adobe media override");
    s->media_override = true;
  }
}

void duplex_keyword(PsScan* s, const PsHere& h) {
  if (s->duplex_keyword || h.r() <= 50 || h.p <= 20 || !h.is_caseless("duplex")) return;
  if (!h.match(PsRe::DUPLEX_KEYWORD, 50)) return;
  const ByteSpan all = scan_bytes(s->start, s->length());
  if (scan_bytes_at_caseless(all, h.p - 6, "Option") || scan_bytes_at(all, h.p - 7, "*Manual") ||
      scan_bytes_at(all, h.p - 4, "*New") || h.before(2) == '{' || h.before(3) == '{') {
    return;
  }
  LOG_DEV("Found duplex at: %llu", static_cast<ull>(h.p));
  s->duplex_keyword = true;
}

bool strict_page(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  if (h.r() < 25 || !h.is("(%%[P") || !h.match(PsRe::STRICT_PAGE, 25, &m)) return false;
  const int n = decimal_clamp<int>(decimal_read(m.text(1)).value);
  if (s->first_strict_page < 0) s->first_strict_page = n;
  const bool restart = s->first_strict_page == 1 && n == 1 && s->last_strict_page != 1;
  if (s->last_strict_page >= n && !restart) {
    LOG_DEBUG("Found non-sequental page");
    s->last_strict_page = 999999;
    s->page_count_strict = 0;
    return false;
  }
  ++s->page_count_strict;
  LOG_DEBUG("Found strict page match at: %llu,page_count_strict=%d", static_cast<ull>(h.p),
            s->page_count_strict);
  process_empty_pages(s->start, h.p, s->page_count_strict, &s->windows[0]);
  s->page_seen = true;
  s->last_strict_page = n;
  *step = ps_skip_match(*s, h.p, m);
  return true;
}

bool kyocera_page(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  if (h.r() < 200 || !h.is("H SH") || !h.match(PsRe::KYOCERA_PAGE, 200, &m)) return false;
  LOG_DEV("Found Kyocera pages: showpage_redefined_nup=%d", s->showpage_redefined_nup ? 1 : 0);
  if (!s->showpage_redefined_nup) {
    ++s->page_count_showpage_strict;
    process_empty_pages(s->start, h.p, s->page_count_showpage_strict, &s->windows[0]);
  }
  s->page_seen = true;
  *step = ps_skip_match(*s, h.p, m);
  return true;
}

bool macro_definition(PsScan* s, const PsHere& h, PsStep* step) {
  const std::uint8_t c = *h.at();
  PsMatch m;
  const char* kind = nullptr;
  if (c == '/' && h.r() > 199 && ps_next_showpage(s, h.p, h.p + MACRO1_WINDOW) < h.p + MACRO1_WINDOW &&
      h.match(PsRe::MACRO_TYPE1, MACRO1_WINDOW, &m)) {
    kind = "1";
  } else if ((c == 'd' || c == 'D') && h.r() > 99 && ps_next_showpage(s, h.p, h.p + MACRO2_WINDOW) < h.p + MACRO2_WINDOW &&
             h.match(PsRe::MACRO_TYPE2, MACRO2_WINDOW, &m)) {
    kind = "2";
  }
  if (kind == nullptr) return false;
  s->macro_name.assign(m.text(1).substr(0, 1023));
  LOG_DEV("Found PS type %s macro name %s", kind, s->macro_name.c_str());
  ps_update_interesting(s);
  *step = ps_skip_match(*s, h.p, m);
  return true;
}

bool is_separator(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void macro_call(PsScan* s, const PsHere& h) {
  const std::string& name = s->macro_name;
  if (name.empty() || name.size() > h.r() || !h.is(name) || h.p == 0 || !is_separator(h.before(1)))
    return;
  const std::uint64_t after = h.p + name.size();
  if (after < s->length() && !is_separator(s->start[after])) return;
  ++s->macro_page_count;
  process_empty_pages(s->start, h.p, s->macro_page_count, &s->windows[2]);
  if (s->length() - after < MACRO_AT_END) s->macro_at_end = true;
  LOG_DEV("found macro at %llu,macro_page_count=%d", static_cast<ull>(h.p), s->macro_page_count);
}

// The showpage at h sits in a procedure that a "bind def" ahead defines: a
// "}" closes it before any "{" opens another. (A later definition on a line
// of its own does not make this showpage part of it.)
bool inside_bound_procedure(const PsHere& h) {
  const ByteSpan ahead = scan_bytes(h.at(), h.room(BIND_DEF_WINDOW));
  const auto bind = scan_find(ahead, 0, "bind def");
  if (!bind) return false;
  for (std::uint64_t i = 8; i < *bind; ++i) {
    if (ahead[i] == '{') return false;
    if (ahead[i] == '}') return true;
  }
  return false;
}

bool free_showpage(PsScan* s, const PsHere& h, PsStep* step) {
  if (h.r() <= 10 || !h.is("showp")) return false;
  PsMatch m;
  const std::uint64_t window = h.room(SHOWPAGE_WINDOW);
  if (!h.match(PsRe::SHOWPAGE_WORD, window, &m)) return false;
  if (h.match(PsRe::SHOWPAGE_DEFINED, window) || h.match(PsRe::SHOWPAGE_IN_PROC, window)) return false;
  if (inside_bound_procedure(h)) return false;
  const std::uint8_t before = h.before(1);
  if (h.p <= 1 || before == '/' || before == '{' || before == '_' || ascii_is_alnum(before)) return false;
  const std::uint8_t after = h.r() > 8 ? h.at()[8] : 0;
  if (after == '_' || ascii_is_alnum(after)) return false;
  const std::string_view word = m.text(2);
  if (word.size() == 4 && scan_bytes_at_caseless(scan_bytes(reinterpret_cast<const std::uint8_t*>(word.data()), 4), 0, "quit"))
    return false;
  if (!s->showpage_redefined_nup) ++s->page_count_showpage;
  s->page_seen = true;
  *step = ps_skip_to(*s, h.p + 9);
  return true;
}

void esp_showpage(PsScan* s, const PsHere& h) {
  if (!s->showpage_redefined_nup || h.r() < 12 || h.p <= 1 || h.before(1) == '/' || !h.is("ESPshowpage"))
    return;
  ++s->pages_nup;
  LOG_DEBUG("matched ESPshowpage at %llu,pages_nup=%d", static_cast<ull>(h.p), s->pages_nup);
  s->page_seen = true;
}

// Checks of the bytes other than "%" (steps 5.1 and 5.3 to 5.15); true
// when one of them ended the work at the position.
bool byte_checks(PsScan* s, const PsHere& h, PsStep* step) {
  const std::uint8_t c = *h.at();
  if (c == 'A') adobe_media_override(s, h);
  if (c == 'd' || c == 'D') duplex_keyword(s, h);
  if (c == 'D' && h.p > 100 && h.r() > 60 && h.before(1) == '/' && h.is("Duplex")) {
    const PsStep spd = ps_setpagedevice_duplex(s, h.p);
    if (spd.done) {
      *step = spd;
      return true;
    }
  }
  if (c == '(' && strict_page(s, h, step)) return true;
  if ((c == 'c' || c == 'C') && h.r() > 24 && h.is_caseless("copies")) {
    const PsStep copies = ps_tentative_copies(s, h.p);
    if (copies.done) {
      *step = copies;
      return true;
    }
  }
  if (c == 'd' && h.p > 11 && h.r() > 9 && h.is("definenup")) ps_binary_nup(s, h.p);
  if ((c == 'd' || c == 'D') && h.is_caseless("definenup")) ps_space_rows_at_keyword(s, h.p);
  if ((c == 'B' && h.is("BeginNUP")) || (c == 's' && h.is("startNup"))) ps_space_rows_at_keyword(s, h.p);
  if (c == 'H' && kyocera_page(s, h, step)) return true;
  if (c == 'u' && h.r() >= 200 && h.p <= 9999 && h.is("userdi") &&
      h.match(PsRe::ESP_SHOWPAGE_REDEFINED, 200)) {
    LOG_DEV("re_showpage_nup at %llu", static_cast<ull>(h.p));
    s->showpage_redefined_nup = true;
    *step = ps_skip_to(*s, h.p + 38);
    return true;
  }
  if ((c == '/' || c == 'd' || c == 'D') && macro_definition(s, h, step)) return true;
  macro_call(s, h);
  if (c == 's' && free_showpage(s, h, step)) return true;
  if (c == 'E') esp_showpage(s, h);
  return (c == 'B' || c == 'P') && ps_gray_models(s, h.p, step);
}

}  // namespace

namespace {

bool showpage_at(const std::uint8_t* d, std::uint64_t i, std::uint64_t n) {
  return i + 8 <= n && scan_bytes_at_caseless(scan_bytes(d + i, 8), 0, "showpage");
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) __m256i folded_is(const std::uint8_t* at, char c) {
  const __m256i v = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), _mm256_set1_epi8(0x20));
  return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c));
}

// find_showpage on 32 positions at a time: the first position at or after
// `i` where the word stands, or one from which fewer than 35 bytes remain.
__attribute__((target("avx2"))) std::uint64_t find_showpage_avx2(const std::uint8_t* d, std::uint64_t i,
                                                                 std::uint64_t n) {
  for (; n - i >= 35; i += 32) {
    const __m256i hits = _mm256_and_si256(_mm256_and_si256(folded_is(d + i, 's'), folded_is(d + i + 1, 'h')),
                                          _mm256_and_si256(folded_is(d + i + 2, 'o'), folded_is(d + i + 3, 'w')));
    for (auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
      const std::uint64_t k = i + static_cast<unsigned>(__builtin_ctz(mask));
      if (showpage_at(d, k, n)) return k;
    }
  }
  return i;
}
#endif

// The first "showpage" in any case at or after `from`, or n. Sixteen (or 32)
// positions at a time are tested for "show" (each byte or'ed with 0x20, which
// folds ASCII case), the few hits then for the whole word.
std::uint64_t find_showpage(const std::uint8_t* d, std::uint64_t from, std::uint64_t n) {
  std::uint64_t i = from;
#if defined(__x86_64__) || defined(__i386__)
  if (CPU_HAS_AVX2 && i < n) {
    i = find_showpage_avx2(d, i, n);
    if (n - i >= 35) return i;
  }
#endif
#if defined(__SSE2__)
  const __m128i fold = _mm_set1_epi8(0x20);
  const __m128i s = _mm_set1_epi8('s');
  const __m128i h = _mm_set1_epi8('h');
  const __m128i o = _mm_set1_epi8('o');
  const __m128i w = _mm_set1_epi8('w');
  auto at = [&](std::uint64_t k) {
    return _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d + k)), fold);
  };
  for (; i + 19 <= n; i += 16) {
    const __m128i hits = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(at(i), s), _mm_cmpeq_epi8(at(i + 1), h)),
                                       _mm_and_si128(_mm_cmpeq_epi8(at(i + 2), o), _mm_cmpeq_epi8(at(i + 3), w)));
    for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
      const std::uint64_t k = i + static_cast<unsigned>(__builtin_ctz(mask));
      if (showpage_at(d, k, n)) return k;
    }
  }
#endif
  for (; i < n; ++i) {
    if ((d[i] | 0x20) == 's' && showpage_at(d, i, n)) return i;
  }
  return n;
}

}  // namespace

std::uint64_t ps_next_showpage(PsScan* s, std::uint64_t p, std::uint64_t limit) {
  if (p < s->showpage_from || p > s->showpage_to) {
    s->showpage_from = p;
    s->showpage_to = p;
    s->showpage_found = false;
  }
  if (!s->showpage_found && s->showpage_to < limit) {
    // Words that begin below the limit, whole inside the buffer.
    const std::uint64_t n = s->length();
    const std::uint64_t reach = n > 7 && limit < n - 7 ? limit + 7 : n;
    const std::uint64_t word = find_showpage(s->start, s->showpage_to, reach);
    s->showpage_found = word < reach || reach == n;
    s->showpage_to = word < reach ? word : reach == n ? n : limit;
  }
  return s->showpage_to;
}

// Encoded data the scan passes over whole: a PDF stream's bytes (its colour
// was tested at the keyword), and ASCII85 image samples that follow an image
// operator whose data source is "currentfile" through an ASCII85 filter.
PsStep data_skips(PsScan* s, const PsHere& h) {
  const std::uint8_t c = *h.at();
  if (c == 's' && h.is("stream") && (h.p == 0 || !ascii_is_alnum(h.before(1)))) {
    std::uint64_t data_from = 0;
    std::uint64_t data_end = 0;
    if (ps_pdf_stream_extent(s->start, s->end, h.at(), &data_from, &data_end)) return ps_skip_to(*s, data_end);
    return ps_go_on(h.p + 1);
  }
  if ((c == 'p' || c == 'i' || c == 'c' || c == 'C') && ps_ascii85_image_data_follows(*s, h.p)) {
    s->data_state = PsDataState::ASCII85;
  }
  if (c == '>' && h.is(">>")) {
    // An image dictionary, then its operator and the samples behind it.
    std::uint64_t q = h.p + 2;
    while (q < s->length() && q < h.p + 12 && ascii_is_space(s->start[q])) ++q;
    if (q < s->length() && ps_ascii85_image_data_follows(*s, q)) {
      s->data_state = PsDataState::ASCII85;
    }
  }
  if (c == '<' && h.r() > 1) {
    // A string: ASCII85 "<~...~>" or hexadecimal "<...>". Image samples are
    // often given so; nothing in a string marks a page.
    const std::uint8_t next = h.at()[1];
    if (next == '~') {
      s->data_state = PsDataState::ASCII85;
    } else if (ascii_is_xdigit(next) || ascii_is_space(next)) {
      std::uint64_t q = h.p + 1;
      while (q < s->length() && (ascii_is_xdigit(s->start[q]) || ascii_is_space(s->start[q]))) ++q;
      if (q < s->length() && s->start[q] == '>') return ps_skip_to(*s, q + 1);
    }
  }
  return ps_go_on(h.p + 1);
}

// The length of the image operator word at p (one of the standard ones,
// pdftops' "pdfIm", or a producer's procedure whose name ends in "image"),
// or 0.
std::uint64_t image_operator_at(const PsScan& s, std::uint64_t p) {
  constexpr std::uint64_t WORD_MAX = 32;
  std::uint64_t n = 0;
  while (p + n < s.length() && n <= WORD_MAX && (ascii_is_alnum(s.start[p + n]) || s.start[p + n] == '_')) ++n;
  const std::string_view word(reinterpret_cast<const char*>(s.start + p), n);
  const bool image = word.size() >= 5 && (word.substr(word.size() - 5) == "image" || word == "imagemask");
  return n <= WORD_MAX && (image || word == "pdfIm" || word == "pdfImM") ? n : 0;
}

bool ps_ascii85_image_data_follows(const PsScan& s, std::uint64_t p) {
  constexpr std::uint64_t SOURCE_BACK = 400;
  const PsHere h{&s, p};
  const std::uint64_t length = image_operator_at(s, p);
  const std::uint8_t before = h.before(1);
  if (length == 0 || length >= h.r() || !ascii_is_space(h.at()[length]) || ascii_is_alnum(before) ||
      before == '/' || before == '_')
    return false;
  // The data source set up just before the operator: "currentfile" through
  // an ASCII85 filter, with no other data or procedure in between.
  const std::uint64_t from = p > SOURCE_BACK ? p - SOURCE_BACK : 0;
  const ByteSpan back = scan_bytes(s.start + from, p - from);
  const auto source = scan_rfind(back, back.size(), "currentfile");
  if (!source) return false;
  const ByteSpan setup = back.subspan(*source);
  if (!scan_find(setup, 0, "/ASCII85Decode") || !scan_find(setup, 0, "filter") || scan_find(setup, 0, "~>") ||
      scan_find_byte(setup, 0, '{') || scan_find_byte(setup, 0, '}'))
    return false;
  // The first word behind the operator is ASCII85 text: a whole short
  // stream, or a long run of its characters (not a procedure name).
  constexpr std::uint64_t A85_MIN_RUN = 16;
  std::uint64_t q = p + length;
  while (q < s.length() && ascii_is_space(s.start[q])) ++q;
  std::uint64_t run = 0;
  for (; q + run < s.length() && !ascii_is_space(s.start[q + run]); ++run) {
    const std::uint8_t c = s.start[q + run];
    if (c == '~') return q + run + 1 < s.length() && s.start[q + run + 1] == '>';
    if ((c < '!' || c > 'u') && c != 'z') return false;
    if (run >= A85_MIN_RUN) return true;
  }
  return false;
}

PsStep ps_checks_at(PsScan* s, std::uint64_t p) {
  const PsHere h{s, p};
  PsStep step{p + 1, false};
  if (*h.at() == '%' && ps_comment_checks(s, p, &step)) return step;
  if (byte_checks(s, h, &step)) return step;
  if (p < HEADER_LIMIT) {
    if (!s->page_seen && ps_header_checks(s, p, &step)) return step;
  } else {
    s->page_seen = true;
  }
  ps_tokens_and_color(s, p);
  return data_skips(s, h);
}
