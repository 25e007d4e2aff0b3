// The PDF walk: one pass over the file that stops only at "/", "<" and "["
// (found sixteen bytes at a time), tries a pattern only where a short
// literal test agrees, and walks the inside of every object stream the same
// way, so that pages kept in object streams are counted too.
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdlib>

#include "analysis/pdf_internal.h"
#include "analysis/stop_bytes.h"
#include "foundation/ascii.h"
#include "foundation/config.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/regex.h"

namespace {

constexpr int ANCHORED_CASELESS = PCRE_CASELESS | PCRE_DOTALL | PCRE_ANCHORED;
constexpr double MM_PER_POINT = 25.4 / 72.0;

bool is_word_byte(std::uint8_t c) { return ascii_is_alnum(c) || c == '_'; }
bool is_delimiter_or_space(std::uint8_t c) { return !is_word_byte(c) && c != '.' && c != '-'; }

std::string_view window(ByteSpan data, std::uint64_t at, std::uint64_t length) {
  return scan_text(data.subspan(at, length));
}

// "/Type" at p followed, within the page window, by non-letters and then a
// "/Page" key that ends there (not "/Pages").
bool page_type_at(ByteSpan data, std::uint64_t p) {
  const std::uint64_t limit = p + PDF_PAGE_WINDOW;
  for (std::uint64_t q = p + 5; q < limit; ++q) {
    if (q + 5 <= limit && scan_bytes_at_caseless(data, q, "/Page")) {
      return q + 5 >= data.size() || !is_word_byte(data[q + 5]);
    }
    if (ascii_is_alpha(data[q])) return false;
  }
  return false;
}

// "/Type" at p followed by blanks and the name `value` (as a whole name).
bool type_is(ByteSpan data, std::uint64_t p, std::string_view value) {
  std::uint64_t q = p + 5;
  while (q < data.size() && ascii_is_space(data[q])) ++q;
  if (!scan_bytes_at(data, q, value)) return false;
  q += value.size();
  return q >= data.size() || is_delimiter_or_space(data[q]);
}

// true when `key` (a name, compared without regard to case as the patterns
// do) begins somewhere in the `length` bytes from p: the box patterns are
// tried only then.
bool window_has_key(ByteSpan data, std::uint64_t p, std::uint64_t length, std::string_view key) {
  const ByteSpan w = data.subspan(p, length);
  for (std::optional<std::uint64_t> at = scan_find_byte(w, 1, '/'); at;
       at = scan_find_byte(w, *at + 1, '/')) {
    if (scan_bytes_at_caseless(w, *at, key)) return true;
  }
  return false;
}

void apply_box(PdfScan* s, std::string_view box) {
  const std::optional<PdfBoxSize> size = pdf_box_size(box);
  if (!size) {
    // A box that cannot be read keeps the size found before.
    LOG_DEBUG("MediaBox not read: '%.*s'", static_cast<int>(box.size()), box.data());
    return;
  }
  s->ja->page_width_mm = size->width_mm;
  s->ja->page_height_mm = size->height_mm;
  LOG_DEBUG("MediaBox: %d, %d", size->width_mm, size->height_mm);
}

// A page-tree node of pages: the root's /Count, and its media box while no
// page gave one.
void at_pages_node(PdfScan* s, ByteSpan data, std::uint64_t p, bool nested) {
  const std::optional<PdfPagesNode> node = pdf_pages_node(data, p);
  if (!node) return;
  if (!node->has_parent && node->count) {
    LOG_DEBUG("Found page tree root with /Count %d at %" PRIu64 "%s", *node->count, p,
              nested ? " in an object stream" : "");
    s->root_count = node->count;
  }
  if (node->media_box && s->ja->page_width_mm < 0) apply_box(s, *node->media_box);
}

void at_type(PdfScan* s, ByteSpan data, std::uint64_t p, bool nested) {
  const std::uint64_t r = data.size() - p;
  const bool page = r >= PDF_PAGE_WINDOW && page_type_at(data, p);
  if (page) {
    ++s->page_objects;
    LOG_DEV("Found page at %" PRIu64, p);
  }
  if (r >= PDF_BOX_WINDOW && window_has_key(data, p, PDF_BOX_WINDOW, "/MediaBox")) {
    const ScanMatch m = s->patterns->box.match(window(data, p, PDF_BOX_WINDOW));
    if (m.matched) {
      LOG_DEV("Found MediaBox: '%.*s'", static_cast<int>(m.group(1).size()), m.group(1).data());
      apply_box(s, m.group(1));
    }
  }
  if (page) {
    // The page's own box wherever its dictionary holds it (writers that sort
    // the keys put /MediaBox before /Type).
    const std::optional<PdfPagesNode> node = pdf_pages_node(data, p);
    if (node && node->media_box) apply_box(s, *node->media_box);
  } else if (type_is(data, p, "/Pages")) {
    at_pages_node(s, data, p, nested);
  } else if (!nested && type_is(data, p, "/ObjStm") && pdf_inflate_object_stream(s, data, p)) {
    ++s->object_streams;
    // A nested walk inflates nothing, so the buffer stays as it is.
    pdf_walk(s, s->inflater.data(), true);
  }
}

void at_slash(PdfScan* s, ByteSpan data, std::uint64_t p, bool nested) {
  // Most names are neither key: their first letter says so.
  const std::uint8_t first = p + 1 < data.size() ? ascii_to_lower(data[p + 1]) : 0;
  if (first != 't' && first != 'm') return;
  if (scan_bytes_at_caseless(data, p, "/Type")) {
    at_type(s, data, p, nested);
    return;
  }
  if (s->ja->page_width_mm < 0 && data.size() - p >= PDF_BOX2_WINDOW &&
      scan_bytes_at_caseless(data, p, "/MediaBox")) {
    const ScanMatch m = s->patterns->box2.match(window(data, p, PDF_BOX2_WINDOW));
    if (m.matched) {
      LOG_DEBUG("Found MediaBox(2): '%.*s'", static_cast<int>(m.group(1).size()), m.group(1).data());
      apply_box(s, m.group(1));
    }
  }
}

// A driver's page-attribute comment: paper, copies and duplex.
void at_angle(PdfScan* s, ByteSpan data, std::uint64_t p) {
  if (data.size() - p < PDF_ATTRIB_WINDOW || !scan_bytes_at_caseless(data, p, "<PageAttribRange")) {
    return;
  }
  const std::string_view text = window(data, p, PDF_ATTRIB_WINDOW);
  const PdfPatterns& pt = *s->patterns;
  if (const ScanMatch m = pt.paper.match(text); m.matched) {
    const std::string name(m.group(1));
    LOG_DEBUG("Found lexmark paper size: %s", name.c_str());
    ja_set_paper_size_name(s->ja, name.c_str());
  }
  if (const ScanMatch m = pt.copies.match(text); m.matched) {
    LOG_DEBUG("Found lexmark copies : %.*s", static_cast<int>(m.group(1).size()), m.group(1).data());
    ja_set_copy_count(s->ja, decimal_clamp<int>(decimal_read(m.group(1)).value));
  }
  if (const ScanMatch m = pt.duplex.match(text); m.matched) {
    LOG_DEBUG("Found lexmark duplex: %.*s", static_cast<int>(m.group(1).size()), m.group(1).data());
    ja_set_is_duplex(s->ja, 1);
  }
  if (pt.simplex.match(text).matched) {
    LOG_DEBUG("Found lexmark simplex");
    ja_set_is_duplex(s->ja, 0);
  }
}

// An array of page labels that restarts at "1" for every copy.
void at_bracket(PdfScan* s, ByteSpan data, std::uint64_t p) {
  if (data.size() - p < PDF_COPIES_WINDOW) return;
  std::uint64_t q = p + 1;
  while (q < data.size() && ascii_is_space(data[q])) ++q;
  if (q >= data.size() || !ascii_is_digit(data[q])) return;
  const ScanMatch m = s->patterns->inline_copies.match(window(data, p, PDF_COPIES_WINDOW));
  if (!m.matched) return;
  const std::string_view whole = m.group(0);
  int copies = 0;
  for (std::size_t at = whole.find("P(1)"); at != std::string_view::npos;
       at = whole.find("P(1)", at + 4)) {
    ++copies;
  }
  s->inline_copies = copies;
  LOG_DEBUG("Found inline copies: num_inline_copies=%d,offset=%" PRIu64, copies, p);
}

}  // namespace

PdfPatterns::PdfPatterns()
    : box(R"re(\/Type\b.*?\/Pages?\b.*?\/MediaBox\b.*?\[([^\]]+)\])re", ANCHORED_CASELESS),
      box2(R"re(\/MediaBox\b.*?\[([^\]]+)\].*?>>\/Type\b.*?\/Page\b)re", ANCHORED_CASELESS),
      paper(R"re(<PageAttribRange.*?PaperSize="([^"]+)")re", ANCHORED_CASELESS),
      duplex(R"re(<PageAttribRange.*?Duplex="([^"]+)")re", ANCHORED_CASELESS),
      simplex(R"re(<PageAttribRange.*?Duplex="Simplex")re", ANCHORED_CASELESS),
      copies(R"re(<PageAttribRange.*?Copies="(\d+)")re", ANCHORED_CASELESS),
      // Tried only at a "[" and so anchored there: a match that begins at a
      // later "[" of the window is found at that "[".
      inline_copies(R"re(\[(?:\s*\d+\s*<<\s*/P\(1\)\s*>>)+\s*\]\s*endobj)re",
                    PCRE_MULTILINE | PCRE_DOTALL | PCRE_ANCHORED) {}

void pdf_walk(PdfScan* s, ByteSpan data, bool nested) {
  const std::uint64_t base = s->positions;
  StopBytes stops(data, '/', '<', '[');
  std::uint64_t pos = 0;
  while (!s->timed_out) {
    const std::uint64_t stop = stops.next(pos);
    if (s->timer->expired(base + stop)) {
      s->timed_out = true;
      break;
    }
    if (stop >= data.size()) break;
    switch (data[stop]) {
      case '/':
        at_slash(s, data, stop, nested);
        break;
      case '<':
        at_angle(s, data, stop);
        break;
      default:
        at_bracket(s, data, stop);
        break;
    }
    pos = stop + 1;
  }
  s->positions = base + data.size();
}

std::optional<PdfBoxSize> pdf_box_size(std::string_view box) {
  double v[4] = {};
  for (double& value : v) {
    while (!box.empty() && ascii_is_space(box.front())) box.remove_prefix(1);
    if (!box.empty() && box.front() == '+') box.remove_prefix(1);
    const auto [end, ec] = std::from_chars(box.data(), box.data() + box.size(), value);
    if (ec != std::errc{} || !std::isfinite(value)) return std::nullopt;
    box.remove_prefix(static_cast<std::size_t>(end - box.data()));
  }
  while (!box.empty() && ascii_is_space(box.front())) box.remove_prefix(1);
  if (!box.empty()) return std::nullopt;  // more than four numbers, or not numbers
  const auto mm = [](double points) {
    const double value = std::floor(std::fabs(points) * MM_PER_POINT + 0.5);
    return value > INT32_MAX ? INT32_MAX : static_cast<int>(value);
  };
  return PdfBoxSize{mm(v[2] - v[0]), mm(v[3] - v[1])};
}
