// Epson ESC/Page: one walk over the job reads the EJL lines, the settings
// and the models' byte headers and counts the models' page markers; the
// pages are decided after the walk from the EJL sheet count, or from the
// markers when the EJL gives none.
#include "formats/epsonpage.h"

#include <array>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "formats/epsonpage_internal.h"
#include "formats/format_colour.h"
#include "formats/format_skip.h"
#include "formats/format_walk.h"
#include "foundation/ascii.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/util.h"
#include "scan/byte_cursor.h"

using namespace std::string_view_literals;

namespace {

// Positions below which the models' headers other than 36eps{IF are read.
constexpr std::uint64_t HEADER_REGION = 10000;
// The LP-S8100 marks colour jobs with GS "2pcsO" this early in the job.
constexpr std::uint64_t LPS8100_COLOR_WINDOW = 10240;
constexpr std::string_view LPS8100_COLOR = "\x1d" "2pcsO";
// This driver's sheet count already counts copies and sides.
constexpr std::string_view LP8900_DRIVER = "EPSON LASER LP-8900";

constexpr std::string_view ALC900_END = "\x50\x00\x32\x00\x32\x00\x00\x00\x00\x0d\x50"sv;
constexpr std::string_view ALC7000_END = "36eps{IF\x80\x0e\x40"sv;
constexpr std::string_view ALC6200_END = "36eps{IF\x00\x0e\x40"sv;
constexpr std::string_view C2000_START = "\x45\x1d\x31\x62\x67\x70\x47\x1d\x30\x3b"sv;
constexpr std::string_view C2000_FF_START = "\x0c\x1d\x31\x62"sv;
// The LP7800 page start: seven zero bytes, then GS "12eps{IL" 00 00, the
// colour byte and 00. It is recognised at its GS, looking back for the zeros.
constexpr std::uint64_t LP7800_ZEROS = 7;
constexpr std::string_view LP7800_TAIL = "\x1d" "12eps{IL"sv;
constexpr std::uint64_t LP7800_COLOR_BYTE = 18;
constexpr std::uint64_t LP7800_ROOM = 20;
constexpr std::string_view TRAILING_BLANK = "\x1d" "3dpsE"sv;

constexpr std::string_view IF_HEADER = "36eps{IF"sv;
constexpr std::string_view IB2_HEADER =
    "16eps{IB\x00\x01\x00\x01\x00\xff\x00\x00\x04\x00\xff\x4b\x31"sv;
constexpr std::string_view EPS_IB = "eps{IB"sv;
constexpr std::string_view EPS_IL = "eps{IL"sv;
constexpr std::string_view EPS_IH = "eps{IH"sv;
constexpr std::string_view EPS_IF = "eps{IF"sv;

constexpr std::array<WalkCodeName, 3> IH_PAPERS = {{{12, "A5"}, {16, "B5"}, {18, "A4"}}};
constexpr std::array<WalkCodeName, 4> IF_PAPERS = {
    {{13, "A3"}, {14, "A4"}, {15, "A5"}, {25, "B5"}}};

// The first bytes at which some test of the walk can hit.
constexpr FormatByteSet INTERESTING("P3E\x0c\x1d@G1eD"sv);
// Where the walk stops: every test but the form feed's also needs a byte
// shortly after its first (the third after it where the first two are the
// GS commands' own), so a dense page's commands pass without a stop at
// each. (The form feed is a pair with itself, at offset 0.)
constexpr FormatPairSet STOPS{
    {0x0c, 0, 0x0c},                                           // form feed
    {'P', 1, 0x00},  {'P', 1, 'G'},  {'P', 1, 'S'},            // ALC900 end, PGIMODE, PS=
    {'3', 1, '6'},   {'1', 1, '6'},  {'e', 1, 'p'},            // 36eps, 16eps, eps{
    {'E', 3, 'b'},   {'E', 1, 'S'},                            // C2000 start, ESC/PAGE
    {0x1d, 3, 'e'},  {0x1d, 3, 'p'},                           // LP7800 page, blank page
    {'@', 1, 'E'},   {'G', 1, 'A'},  {'D', 1, 'X'}};           // @EJ, GAMMAMODE, DX=ON

bool at(const EpsonPageScan& s, std::uint64_t p, std::string_view text) {
  return scan_bytes_at(s.d, p, text);
}
// "room n": more than n bytes from p to the end.
bool room(const EpsonPageScan& s, std::uint64_t p, std::uint64_t n) {
  return s.d.size() - p > n;
}
std::uint8_t byte_at(const EpsonPageScan& s, std::uint64_t p) { return s.d[p]; }

void page_markers(EpsonPageScan* s, std::uint64_t p) {
  if (room(*s, p, 11)) {
    if (at(*s, p, ALC900_END)) {
      ++s->alc900;
      LOG_DEBUG("found alc900 end of page marker");
    } else if (at(*s, p, ALC7000_END)) {
      ++s->alc7000;
      LOG_DEBUG("found alc7000 end of page marker");
    } else if (at(*s, p, ALC6200_END)) {
      ++s->alc6200;
      LOG_DEBUG("found alc6200 end of page marker");
    } else if (at(*s, p, C2000_START) && s->form_feed_since_c2000) {
      // Other drivers (Ghostscript's lp and alc devices) begin every path
      // with these bytes, several times a page: only the first after a form
      // feed starts a page.
      s->form_feed_since_c2000 = false;
      ++s->c2000;
      LOG_DEBUG("Found C2000 start of page marker at %" PRIu64 ", pages_c2000=%d", p, s->c2000);
    } else if (at(*s, p, C2000_FF_START)) {
      ++s->c2000_ff;
      LOG_DEBUG("Found C2000 FF start of page marker at %" PRIu64 ", pages_c2000_ff=%d", p,
                s->c2000_ff);
    }
  }
  if (p >= LP7800_ZEROS && at(*s, p, LP7800_TAIL)) {
    const std::uint64_t start = p - LP7800_ZEROS;
    if (room(*s, start, LP7800_ROOM) && at(*s, start, "\0\0\0\0\0\0\0"sv) &&
        at(*s, p + LP7800_TAIL.size(), "\0\0"sv) &&
        byte_at(*s, start + LP7800_COLOR_BYTE + 1) == 0) {
      const int color = byte_at(*s, start + LP7800_COLOR_BYTE);
      const bool counts = color == 4 || color == 1;
      if (counts) ++s->lp7800_double;
      LOG_DEBUG("Found LP7800 start of page marker color=%d (%s) at %" PRIu64, color,
                counts ? "counted" : "not counted", start);
    }
  }
  if (room(*s, p, 6) && at(*s, p, TRAILING_BLANK)) {
    s->trailing_blank = true;
    LOG_DEBUG("Found trailing blank page at %" PRIu64, p);
  }
}

void set_paper_from_code(EpsonPageScan* s, const char* name) {
  if (name != nullptr) ja_set_paper_size_name(s->ja, name);
}

// An eps{IF header whose paper code names nothing: the size from its dots.
void if_header_size(EpsonPageScan* s, std::uint64_t p) {
  const int pix2 = scan_be16_at(s->d, p + 9).value_or(0);
  double scale = 1.0;
  if (pix2 == 0) {
    LOG_DEBUG("epsonpage_process_job: Invalid scale");
  } else {
    scale = 3392.0 / pix2;
  }
  const int xpix = scan_be16_at(s->d, p + 19).value_or(0);
  const int ypix = scan_be16_at(s->d, p + 21).value_or(0);
  const double xmm = std::floor((xpix * scale / 300.0 + 0.32) * 25.4 + 0.5);
  const double ymm = std::floor((ypix * scale / 300.0 + 0.32) * 25.4 + 0.5);
  LOG_DEBUG("epsonpage_process_job: paper_size_code,pix2=(%d,%d)=>scale=.%3f xpix,ypix=(%d,%d) "
            "=> xmm,ymm=(%d,%d) for 'esp{IF' header at %" PRIu64,
            byte_at(*s, p + 7), pix2, scale, xpix, ypix, static_cast<int>(xmm),
            static_cast<int>(ymm), p);
  ja_set_page_width_height_mm(s->ja, xmm, ymm);
}

void early_headers(EpsonPageScan* s, std::uint64_t p) {
  if (at(*s, p, IB2_HEADER)) {
    const int color_val = byte_at(*s, p + 21);
    ja_set_is_grayscale(s->ja, color_val == 1);
    s->color_header = true;
    LOG_DEBUG("color_val=%d is_grayscale=%d for 'header_epsIB2' header at %" PRIu64, color_val,
              color_val == 1, p);
  } else if (at(*s, p, EPS_IB)) {
    const bool family_1 = s->date && s->printer;
    const bool family_2 = !s->date_printer;
    const int plex13 = byte_at(*s, p + 13);
    const int plex14 = byte_at(*s, p + 14);
    const int plex = family_1 && family_2 ? plex14 : plex13;
    LOG_DEBUG("is_lp340s_family_1=%d,is_lp340s_family_2=%d,is_lp340s_family=%d", family_1,
              family_2, family_1 && family_2);
    LOG_DEBUG("Plex=%d for 'esp{IB' header at %" PRIu64 " (plex13=%d,plex14=%d)", plex, p, plex13,
              plex14);
    if (plex != 0) ja_set_is_duplex(s->ja, 1);
  } else if (at(*s, p, EPS_IL)) {
    if (!s->color_header && byte_at(*s, p + 8) != 4) {
      ja_set_is_grayscale(s->ja, 0);
      s->has_color = true;
    }
    LOG_DEBUG("color_val=%d has_color=%d for 'esp{IL' header at %" PRIu64, byte_at(*s, p + 8),
              s->has_color, p);
  } else if (at(*s, p, EPS_IH)) {
    if (!s->date_printer) return;
    const int paper = byte_at(*s, p + 9);
    const int plex = byte_at(*s, p + 17);
    LOG_DEBUG("Found eps{IH, paper_size_code=%d,plex_code=%d at %" PRIu64, paper, plex, p);
    set_paper_from_code(s, walk_code_name(IH_PAPERS, paper));
    if (plex != 0) {
      LOG_DEBUG("Setting duplex");
      ja_set_is_duplex(s->ja, 1);
    }
  } else if (at(*s, p, EPS_IF)) {
    const char* name = walk_code_name(IF_PAPERS, byte_at(*s, p + 7));
    if (name != nullptr) {
      set_paper_from_code(s, name);
    } else {
      if_header_size(s, p);
    }
  }
}

void model_headers(EpsonPageScan* s, std::uint64_t p) {
  if (at(*s, p, IF_HEADER) && byte_at(*s, p + 22) == 'P' && byte_at(*s, p + 24) == 'L') {
    if (byte_at(*s, p + 25) == 0) {
      ja_set_is_grayscale(s->ja, 1);
      s->has_color = false;
      LOG_DEBUG("Matched 36eps{IF grayscale at: %" PRIu64, p);
    } else {
      ja_set_is_grayscale(s->ja, 0);
      s->has_color = true;
      LOG_DEBUG("has_color: Matched 36eps{IF color at: %" PRIu64, p);
    }
  }
  if (p < HEADER_REGION) early_headers(s, p);
}

// The patterns are tried only where their literal beginning stands, so
// that the engine runs at a handful of positions, not at every letter.
bool try_at(const EpsonPageScan& s, std::uint64_t p, std::string_view prefix) {
  return scan_bytes_at(s.d, p, prefix);
}

void settings(EpsonPageScan* s, std::uint64_t p) {
  const EpsonPagePatterns& re = *s->re;
  if (room(*s, p, 11) && try_at(*s, p, "PGIMODE=ON") &&
      scan_match_window(re.pgimode, s->data, s->length, p, 11).matched) {
    ja_set_is_grayscale(s->ja, 1);
    LOG_DEBUG("Matched PGIMODE at: %" PRIu64, p);
  }
  if (room(*s, p, 30)) {
    if (try_at(*s, p, "ESC/PAGE-COLOR") &&
        scan_match_window(re.colormode, s->data, s->length, p, 30).matched) {
      s->has_color = true;
      LOG_DEBUG("has_color: Matched re_colormode at: %" PRIu64, p);
    }
    if (try_at(*s, p, "GAMMAMODE=NORMAL") &&
        scan_match_window(re.gammamode, s->data, s->length, p, 30).matched) {
      s->has_color = true;
      LOG_DEBUG("has_color: Matched re_gammamode at: %" PRIu64, p);
    }
    model_headers(s, p);
  }
  if (room(*s, p, 10) && try_at(*s, p, "DX=ON") &&
      scan_match_window(re.duplex, s->data, s->length, p, 10).matched) {
    ja_set_is_duplex(s->ja, 1);
    LOG_DEBUG("Matched DX=ON at: %" PRIu64, p);
  }
  if (room(*s, p, 30) && try_at(*s, p, "PS=")) {
    const ScanMatch m = scan_match_window(re.paper, s->data, s->length, p, 30);
    if (m.matched) {
      const std::string value(m.group(1));
      const char* name = epsonpage_ps_paper_name(value);
      LOG_DEBUG("Matched PS= at: %" PRIu64 " with value: %s", p, value.c_str());
      // Written straight into the record: the setter would keep a larger paper.
      util_safe_strncpy(s->ja->paper_size_name, name != nullptr ? name : value.c_str(),
                        sizeof s->ja->paper_size_name);
      LOG_DEBUG("Paper size name = %s", s->ja->paper_size_name);
    }
  }
}

// The tests at one position; the position the walk goes on at (the next
// byte some test can begin at).
std::uint64_t step(EpsonPageScan* s, std::uint64_t p) {
  if (!INTERESTING.contains(s->d[p])) return STOPS.next(s->data, s->length, p);
  if (byte_at(*s, p) == '\x0c') s->form_feed_since_c2000 = true;
  page_markers(s, p);
  std::uint64_t next = p + 1;
  if (byte_at(*s, p) == '@') next = epsonpage_ejl_line(s, p);
  settings(s, p);
  // Straight on to the next byte a test can begin at.
  return STOPS.next(s->data, s->length, next);
}

void walk(EpsonPageScan* s, WalkTimer* timer) {
  if (format_walk(s->d, timer, WalkStarts::any(),
                  [s](std::uint64_t p) { return step(s, p); })) {
    LOG_DEBUG("Reached end of file");
  }
}

void decide_colour(const EpsonPageScan& s) {
  if (s.lps8100) {
    const ByteSpan head = s.d.first(std::min<std::uint64_t>(s.d.size(), LPS8100_COLOR_WINDOW));
    const auto found = scan_find(head, 0, LPS8100_COLOR);
    if (found) {
      LOG_DEBUG("Found color_ptr: %" PRIu64, *found);
      ja_set_is_grayscale(s.ja, 0);
    } else {
      LOG_DEBUG("No color_ptr");
      ja_set_is_grayscale(s.ja, 1);
    }
  } else if (!s.color_header && !s.has_color) {
    ja_set_is_grayscale(s.ja, 1);
  }
}

void decide_copies(EpsonPageScan* s, bool lp8900) {
  if (s->qt >= 2) {
    ja_set_copy_count(s->ja, s->qt);
    if (!lp8900) s->sheets /= s->qt;
  } else if (s->co >= 2) {
    ja_set_copy_count(s->ja, s->co);
    if (!lp8900 && s->co <= s->sheets && s->sheets % s->co == 0) s->sheets /= s->co;
  }
}

std::int32_t duplex_pages(const EpsonPageScan& s, bool lp8900) {
  std::int64_t pages = lp8900 ? s.sheets : 2 * static_cast<std::int64_t>(s.sheets);
  if (s.trailing_blank || is_last_page_blank(s.data, s.length) != 0) --pages;
  const std::int64_t half = s.lp7800_double / 2;
  if (pages >= 2 && s.lp7800_double % 2 == 0 && half == pages - 1) pages = half;
  LOG_DEBUG("epsonpage_process_job: duplex sheets=%d, double_pages=%d, ja->pages=%d", s.sheets,
            s.lp7800_double, static_cast<int>(decimal_clamp<std::int32_t>(pages)));
  return decimal_clamp<std::int32_t>(pages);
}

struct MarkerCount {
  int count;
  const char* name;
};

// The first count above 0 of `counts`, in their order; 0 when none is.
std::int32_t first_count(std::span<const MarkerCount> counts) {
  for (const MarkerCount& c : counts) {
    if (c.count > 0) {
      LOG_DEBUG("epsonpage_process_job: ja->pages = %s (%d)", c.name, c.count);
      return c.count;
    }
  }
  return 0;
}

// The models' page markers, in their order, when the EJL gave no pages.
// The page ends of the command stream come before the path markers: those
// also open paths inside a page (Ghostscript's vector devices begin every
// page's clip with them, and pages that begin with a drawing too).
std::int32_t marker_pages(const EpsonPageScan& s, WalkTimer* timer) {
  const MarkerCount page_ends[] = {
      {s.alc900, "pages_alc900"}, {s.alc7000, "pages_alc7000"}, {s.alc6200, "pages_alc6200"}};
  if (const std::int32_t pages = first_count(page_ends); pages > 0) return pages;
  const EpsonPageCommandPages walked = epsonpage_command_pages(s.d, timer);
  if (walked.in_step && walked.pages > 0) {
    LOG_DEBUG("epsonpage_process_job: ja->pages = command page ends (%d)", walked.pages);
    return walked.pages;
  }
  const MarkerCount path_starts[] = {{s.c2000_ff > 0 ? s.c2000_ff + 1 : 0, "pages_c2000_ff + 1"},
                                     {s.c2000, "pages_c2000"}};
  if (const std::int32_t pages = first_count(path_starts); pages > 0) return pages;
  if (s.lp7800_double != 0) {
    LOG_DEBUG("epsonpage_process_job: ja->pages = double_pages_lp7800 (%d) / 2 = %d",
              s.lp7800_double, s.lp7800_double / 2);
    return s.lp7800_double / 2;
  }
  return 0;
}

void finish(EpsonPageScan* s, WalkTimer* timer) {
  decide_colour(*s);
  const bool lp8900 = std::string_view(s->driver) == LP8900_DRIVER;
  decide_copies(s, lp8900);
  std::int32_t pages = 0;
  if (s->sheets < 1 || s->ja->is_duplex == 0) {
    pages = s->sheets;
    LOG_DEBUG("epsonpage_process_job: ja->pages = sheets (%d)", s->sheets);
  } else {
    pages = duplex_pages(*s, lp8900);
  }
  if (pages < 1) pages = marker_pages(*s, timer);
  if (pages < 1) {
    LOG_ERROR("Unable to determine page count in Epson data stream");
    return;
  }
  ja_set_pages(s->ja, pages);
  if (s->ja->paper_size_name[0] == '\0' && s->ja->page_width_mm <= 0 &&
      s->ja->page_height_mm <= 0) {
    ja_set_paper_size_name(s->ja, "A4");
  }
}

// ESC/Page tells a job's colour mode, not its colour pages: a job in gray
// mode is judged gray, a colour job's pages are not judged.
int epsonpage_adapter(const std::uint8_t* data, std::uint64_t length, int, JobAttribs* ja) {
  const int result = epsonpage_process_job(data, length, ja);
  format_judge_gray_mode(ja);
  return result;
}

}  // namespace

int epsonpage_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering epsonpage_process_job");
  const EpsonPagePatterns patterns;
  EpsonPageScan s;
  s.data = data;
  s.length = data != nullptr ? length : 0;
  s.d = scan_bytes(data, s.length);
  s.ja = ja;
  s.re = &patterns;
  WalkTimer timer("Epson Page");
  walk(&s, &timer);
  finish(&s, &timer);
  return 0;
}

int is_last_page_blank(const std::uint8_t* data, std::uint64_t length) {
  constexpr std::uint64_t TAIL = 1019;
  constexpr std::uint64_t MAX_GAP = 40;
  constexpr std::string_view EJL = "@EJL";
  constexpr std::string_view BLANK_PAGE_END = "\x0c\x0c\x1b\x01"sv;
  if (data == nullptr) return 0;
  const ByteSpan d = scan_bytes(data, length);
  const std::uint64_t floor = length > TAIL ? length - TAIL : 0;
  std::uint64_t earliest = 0;
  std::uint64_t following = 0;
  int found = 0;
  std::uint64_t before = length;
  while (auto hit = scan_rfind(d.subspan(floor), before - floor, EJL)) {
    const std::uint64_t pos = floor + *hit;
    if (found > 0 && earliest - pos > MAX_GAP) return 0;
    following = earliest;
    earliest = pos;
    ++found;
    before = pos;
    if (before == floor) break;
  }
  if (found < 2) return 0;
  LOG_DEBUG("is_last_page_blank: ejl0=%" PRIu64 ",size=%" PRIu64, earliest, length);
  for (std::uint64_t i = earliest + EJL.size(); i < following; ++i) {
    if (!ascii_is_space(d[i])) return 0;
  }
  // The page end stands in front of the first line; a line at the very
  // start of the data has nothing in front of it.
  if (earliest < BLANK_PAGE_END.size()) return 0;
  return scan_bytes_at(d, earliest - BLANK_PAGE_END.size(), BLANK_PAGE_END) ? 1 : 0;
}

const AnalyzerEntry EPSONPAGE_ANALYZER{"epsonpage_process_job", epsonpage_adapter};
