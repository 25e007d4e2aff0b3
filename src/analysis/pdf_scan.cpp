// The PDF walk: one pass over the file that stops only where a key it reads
// can begin (two-byte candidates found 32 bytes at a time, PDF_STOPS below),
// tries a pattern only where a short literal test agrees, and walks the
// inside of every object stream the same way, so that pages kept in object
// streams are counted too. The encoded data of a stream (images, fonts,
// compressed page contents: most of a large file) is stepped over by its
// /Length, so those pages of the mapping are never read.
#include <algorithm>
#include <array>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <span>

#include "analysis/pdf_internal.h"
#include "foundation/ascii.h"
#include "foundation/config.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "formats/format_skip.h"

namespace {

constexpr int ANCHORED_CASELESS = PCRE_CASELESS | PCRE_DOTALL | PCRE_ANCHORED;
constexpr double MM_PER_POINT = 25.4 / 72.0;
constexpr std::string_view ENDSTREAM = "endstream";
constexpr std::string_view ENDOBJ = "endobj";
// Stream data searched for its "endstream" between two looks at the clock.
constexpr std::uint64_t ENDSTREAM_SEARCH_STEP = std::uint64_t{1} << 20;

// A stream the walk has met the dictionary of: at its first data byte, the
// walk goes on at `resume_at` (behind its "endstream"). No dictionary is
// read twice: keys before `looked_to` were read with it, and the search back
// for a dictionary's "<<" stops at `last_key`, the key looked at before.
struct StreamSkip {
  std::uint64_t data_at = UINT64_MAX;  // none pending
  std::uint64_t resume_at = 0;
  std::uint64_t looked_to = 0;
  std::uint64_t last_key = 0;
};

bool is_word_byte(std::uint8_t c) { return ascii_is_alnum(c) || c == '_'; }
bool is_delimiter_or_space(std::uint8_t c) { return !is_word_byte(c) && c != '.' && c != '-'; }

std::string_view window(ByteSpan data, std::uint64_t at, std::uint64_t length) {
  return scan_text(data.subspan(at, length));
}

// The name `lower` (its letters in lower case) at p, with its "/", in
// either case, as the patterns compare it.
bool name_at_caseless(ByteSpan data, std::uint64_t p, std::string_view lower) {
  return p < data.size() && data[p] == '/' && scan_letters_at_caseless(data, p + 1, lower);
}

// "/Type" at p followed, within the page window, by non-letters and then a
// "/Page" key that ends there (not "/Pages"): one past that key.
std::optional<std::uint64_t> page_type_end(ByteSpan data, std::uint64_t p) {
  const std::uint64_t limit = p + PDF_PAGE_WINDOW;
  for (std::uint64_t q = p + 5; q < limit; ++q) {
    if (data[q] == '/' && q + 5 <= limit && name_at_caseless(data, q, "page")) {
      if (q + 5 < data.size() && is_word_byte(data[q + 5])) return std::nullopt;
      return q + 5;
    }
    if (ascii_is_alpha(data[q])) return std::nullopt;
  }
  return std::nullopt;
}

// "/Type" at p followed by blanks and the name `value` (as a whole name).
bool type_is(ByteSpan data, std::uint64_t p, std::string_view value) {
  std::uint64_t q = pdf_skip_space(data, p + 5);
  if (!scan_bytes_at(data, q, value)) return false;
  q += value.size();
  return q >= data.size() || is_delimiter_or_space(data[q]);
}

// true when the names `first` and then `second` (their letters in lower
// case; compared without regard to case as the patterns do) begin in that
// order in the `length` bytes from p: the box pattern is tried only then.
bool window_has_keys(ByteSpan data, std::uint64_t p, std::uint64_t length, std::string_view first,
                     std::string_view second) {
  const ByteSpan w = data.subspan(p, length);
  const std::uint8_t* const begin = w.data();
  const std::uint8_t* const end = begin + w.size();
  bool first_seen = false;
  for (const std::uint8_t* at = begin + 1;
       at < end && (at = static_cast<const std::uint8_t*>(std::memchr(at, '/', end - at)));
       ++at) {
    const auto offset = static_cast<std::uint64_t>(at - begin);
    if (!scan_letters_at_caseless(w, offset + 1, first_seen ? second : first)) continue;
    if (first_seen) return true;
    first_seen = true;
    at += first.size();
  }
  return false;
}

// Sets the page size from a box text; false when the text is not a box (the
// size found before stands). Every page of a document mostly has the same
// box, so the text read last is not read again.
bool apply_box(PdfScan* s, std::string_view box) {
  if (box != s->last_box_text) {
    s->last_box_text.assign(box);
    s->last_box_size = pdf_box_size(box);
  }
  const std::optional<PdfBoxSize>& size = s->last_box_size;
  if (!size) {
    LOG_DEBUG("MediaBox not read: '%.*s'", static_cast<int>(box.size()), box.data());
    return false;
  }
  s->ja->page_width_mm = size->width_mm;
  s->ja->page_height_mm = size->height_mm;
  LOG_DEBUG("MediaBox: %d, %d", size->width_mm, size->height_mm);
  return true;
}

// One past the "endstream" that stands at `at` behind blanks; none when it
// does not.
std::optional<std::uint64_t> endstream_at(ByteSpan data, std::uint64_t at) {
  const std::uint64_t limit =
      data.size() - at > PDF_STREAM_KEYWORD_MAX ? at + PDF_STREAM_KEYWORD_MAX : data.size();
  while (at < limit && ascii_is_space(data[at])) ++at;
  if (!scan_bytes_at(data, at, ENDSTREAM)) return std::nullopt;
  return at + ENDSTREAM.size();
}

// The first "endstream" or "endobj" that begins in [from, to): their "e"
// and "d" two bytes apart are looked for 32 positions at a time (in encoded
// data they are rare), then the keyword there.
std::optional<std::uint64_t> find_end_keyword(ByteSpan data, std::uint64_t from, std::uint64_t to) {
  static const FormatPairSet END_KEYWORDS{{'e', 2, 'd'}};
  for (std::uint64_t p = from; (p = END_KEYWORDS.next(data.data(), to, p)) < to; ++p) {
    if (scan_bytes_at(data, p, ENDSTREAM) || scan_bytes_at(data, p, ENDOBJ)) return p;
  }
  return std::nullopt;
}

// The "endstream" behind stream data from `from` whose length the
// dictionary does not give directly: the first one, unless an "endobj"
// comes before it (the data would run into the objects behind it: a stream
// cut short is walked, not stepped over). Searched a step at a time under
// the time limit; `base` is the position of the data in the walk.
std::optional<std::uint64_t> find_endstream(PdfScan* s, ByteSpan data, std::uint64_t from,
                                            std::uint64_t base) {
  for (std::uint64_t at = from; at < data.size();) {
    if (s->timer->expired(base + at)) {
      s->timed_out = true;
      return std::nullopt;
    }
    const std::uint64_t to =
        data.size() - at > ENDSTREAM_SEARCH_STEP ? at + ENDSTREAM_SEARCH_STEP : data.size();
    if (const std::optional<std::uint64_t> end = find_end_keyword(data, at, to)) {
      if (!scan_bytes_at(data, *end, ENDSTREAM)) return std::nullopt;
      return *end + ENDSTREAM.size();
    }
    at = to;
  }
  return std::nullopt;
}

// Where the walk goes on behind the data of the stream `st`, when it steps
// over it. Encoded data is binary: a "/Type /Page" or "<<" in it is chance.
// An attached file is another document: the pages of an attached PDF are not
// this job's, nor is its page tree's /Count (an attachment is mostly written
// behind the document's own page tree, and the last root seen would win).
// Other unencoded data is walked: a metadata packet or a page's contents may
// hold what the walk looks for.
std::optional<std::uint64_t> stream_resume(PdfScan* s, ByteSpan data, const PdfStreamDict& st,
                                           std::uint64_t base) {
  if (!st.filtered && !st.embedded_file) return std::nullopt;
  switch (st.length_kind) {
    case PdfLengthKind::DIRECT:
      // A length that overshoots, or data not followed by "endstream", is a
      // damaged file: walked as it is.
      if (st.length > data.size() - st.data_at) return std::nullopt;
      return endstream_at(data, st.data_at + st.length);
    case PdfLengthKind::INDIRECT:
      return find_endstream(s, data, st.data_at, base);
    case PdfLengthKind::NONE:
      break;
  }
  return std::nullopt;
}

// A key at p of a stream's dictionary (mostly): the stream is stepped over
// from its first data byte, once the walk has read the rest of its
// dictionary (an object stream's /Type may follow its /Length).
void at_stream_key(PdfScan* s, ByteSpan data, std::uint64_t p, std::uint64_t base,
                   StreamSkip* skip) {
  if (p < skip->looked_to || skip->data_at != UINT64_MAX) return;
  const PdfStreamDict st = pdf_stream_dict(data, p, skip->last_key);
  skip->looked_to = st.looked_to;
  skip->last_key = p + 1;
  if (st.data_at == 0) return;
  if (const std::optional<std::uint64_t> resume = stream_resume(s, data, st, base)) {
    LOG_DEV("Stream data %" PRIu64 "..%" PRIu64 " stepped over", st.data_at, *resume);
    skip->data_at = st.data_at;
    skip->resume_at = *resume;
  }
}

// A /Length key at p. A stream shorter than PDF_STREAM_SKIP_MIN bytes is
// walked: reading its dictionary costs as much as walking its data. A
// length held by another object is not known here: the stream is short when
// it ends within that many bytes.
void at_length(PdfScan* s, ByteSpan data, std::uint64_t p, std::uint64_t base, StreamSkip* skip) {
  if (const PdfLength length = pdf_length_value(data, p + 7);
      length.kind == PdfLengthKind::DIRECT) {
    if (length.bytes >= PDF_STREAM_SKIP_MIN) at_stream_key(s, data, p, base, skip);
    return;
  }
  const std::uint64_t near = data.size() - p > PDF_STREAM_SKIP_MIN ? p + PDF_STREAM_SKIP_MIN
                                                                  : data.size();
  if (!find_end_keyword(data, p, near)) at_stream_key(s, data, p, base, skip);
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

void at_type(PdfScan* s, ByteSpan data, std::uint64_t p, bool nested, std::uint64_t base,
             StreamSkip* skip) {
  const std::uint64_t r = data.size() - p;
  const std::optional<std::uint64_t> page_end =
      r >= PDF_PAGE_WINDOW ? page_type_end(data, p) : std::nullopt;
  const bool page = page_end.has_value();
  if (page) {
    ++s->page_objects;
    LOG_DEV("Found page at %" PRIu64, p);
    // The page's own box wherever its dictionary holds it (writers that sort
    // the keys put /MediaBox before /Type). It is the size that stands, so a
    // box the pattern finds near the key is not looked for. Most writers put
    // it right behind the type: its dictionary is then not read.
    std::optional<std::string_view> box = pdf_media_box_at(data, pdf_skip_space(data, *page_end));
    if (!box) {
      const std::optional<PdfPagesNode> node = pdf_pages_node(data, p);
      if (node) box = node->media_box;
    }
    if (box && apply_box(s, *box)) return;
  }
  if (r >= PDF_BOX_WINDOW && window_has_keys(data, p, PDF_BOX_WINDOW, "page", "mediabox")) {
    const ScanMatch m = s->patterns->box.match(window(data, p, PDF_BOX_WINDOW));
    if (m.matched) {
      LOG_DEV("Found MediaBox: '%.*s'", static_cast<int>(m.group(1).size()), m.group(1).data());
      apply_box(s, m.group(1));
    }
  }
  if (page) return;
  if (type_is(data, p, "/Pages")) {
    at_pages_node(s, data, p, nested);
  } else if (!nested && type_is(data, p, "/ObjStm") && pdf_inflate_object_stream(s, data, p)) {
    ++s->object_streams;
    // A nested walk inflates nothing, so the buffer stays as it is.
    pdf_walk(s, s->inflater.data(), true);
  } else if (skip != nullptr && type_is(data, p, "/EmbeddedFile")) {
    at_stream_key(s, data, p, base, skip);  // whatever its length
  }
}

// A key at p. `skip` is null in an object stream, which holds no streams.
void at_slash(PdfScan* s, ByteSpan data, std::uint64_t p, bool nested, std::uint64_t base,
              StreamSkip* skip) {
  // Most names are none of the keys: their first letter says so.
  const std::uint8_t first = p + 1 < data.size() ? ascii_to_lower(data[p + 1]) : 0;
  if (first == 'l') {
    if (skip != nullptr && scan_bytes_at(data, p, "/Length") &&
        (p + 7 >= data.size() || is_delimiter_or_space(data[p + 7]))) {
      at_length(s, data, p, base, skip);
    }
    return;
  }
  if (first != 't' && first != 'm') return;
  if (name_at_caseless(data, p, "type")) {
    at_type(s, data, p, nested, base, skip);
    return;
  }
  if (s->ja->page_width_mm < 0 && data.size() - p >= PDF_BOX2_WINDOW &&
      name_at_caseless(data, p, "mediabox")) {
    const ScanMatch m = s->patterns->box2.match(window(data, p, PDF_BOX2_WINDOW));
    if (m.matched) {
      LOG_DEBUG("Found MediaBox(2): '%.*s'", static_cast<int>(m.group(1).size()), m.group(1).data());
      apply_box(s, m.group(1));
    }
  }
}

// A driver's page-attribute comment: paper, copies and duplex.
void at_angle(PdfScan* s, ByteSpan data, std::uint64_t p) {
  // Most "<" open a dictionary, a hex string or an XML element of another name.
  if (data.size() - p < PDF_ATTRIB_WINDOW || ascii_to_lower(data[p + 1]) != 'p' ||
      !scan_letters_at_caseless(data, p + 1, "pageattribrange")) {
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
  // The pattern wants a number and "<<" first: "[0 0 612 792]" and the kids
  // of a page-tree node ("[4 0 R ...") are turned away without it.
  std::uint64_t q = pdf_skip_space(data, p + 1);
  if (q >= data.size() || !ascii_is_digit(data[q])) return;
  while (q < data.size() && (ascii_is_digit(data[q]) || ascii_is_space(data[q]))) ++q;
  if (q >= data.size() || data[q] != '<') return;
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

namespace {

// Where a test can begin: a name whose first letter is that of a key the walk
// reads (/Type, /Length; /MediaBox below), a "<P" that may open a driver's
// page attributes, a "[" before a number or a blank. Dictionaries are full
// of other names: stopping at each "/" would cost a test every few bytes.
constexpr std::array<FormatPair, 10> PDF_STOP_PAIRS{{{'/', 1, 'T'},
                                                     {'/', 1, 't'},
                                                     {'/', 1, 'L'},
                                                     {'<', 1, 'P'},
                                                     {'<', 1, 'p'},
                                                     {'[', 1, '0', '9'},
                                                     {'[', 1, ' '},
                                                     {'[', 1, '\t', '\r'},
                                                     {'/', 1, 'M'},
                                                     {'/', 1, 'm'}}};
// A /MediaBox key is read on its own only while no box has given the page
// size: its two pairs come last, and are left out once one has.
constexpr std::size_t PDF_BOX_KEY_PAIRS = 2;
const FormatPairSet PDF_STOPS{std::span(PDF_STOP_PAIRS), FormatGrouping::BY_FIRST_BYTE};
const FormatPairSet PDF_STOPS_SIZED{
    std::span(PDF_STOP_PAIRS).first(PDF_STOP_PAIRS.size() - PDF_BOX_KEY_PAIRS),
    FormatGrouping::BY_FIRST_BYTE};

// The next stop at or after `pos`, looking no further than `limit`: `limit`
// when none lies before it (a walk that steps over a stream's data reads none
// of it).
std::uint64_t next_stop(const PdfScan* s, ByteSpan data, std::uint64_t pos, std::uint64_t limit) {
  const std::uint64_t size = std::min<std::uint64_t>(limit, data.size());
  const FormatPairSet& stops = s->ja->page_width_mm < 0 ? PDF_STOPS : PDF_STOPS_SIZED;
  return stops.next(data.data(), size, pos);
}

}  // namespace

void pdf_walk(PdfScan* s, ByteSpan data, bool nested) {
  const std::uint64_t base = s->positions;
  StreamSkip skip;
  std::uint64_t pos = 0;
  while (!s->timed_out) {
    // A stream's data is not searched for stops: at its first byte the walk
    // goes on behind it.
    std::uint64_t stop = next_stop(s, data, pos, skip.data_at);
    if (stop >= skip.data_at) {
      stop = next_stop(s, data, skip.resume_at, UINT64_MAX);
      skip.data_at = UINT64_MAX;
    }
    if (s->timer->expired(base + stop)) {
      s->timed_out = true;
      break;
    }
    if (stop >= data.size()) break;
    switch (data[stop]) {
      case '/':
        at_slash(s, data, stop, nested, base, nested ? nullptr : &skip);
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
