// The empty-page windows, the painting test and the bounding-box size.
#include "analysis/ps_empty_pages.h"

#include <array>
#include <cmath>
#include <limits>

#include "analysis/ps_regex.h"
#include "foundation/ascii.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t NON_MARKING_SPAN = 1024;

// Bytes of these strings in a page do not mark it.
constexpr std::string_view NON_MARKING[] = {
    " ",         "\n",           "<<",          ">>",
    "LH",        "dup",          "exch",        "def",
    "false",     "true",         "save",        "restore",
    "begin",     "end",          "showpage",    "pagesave",
    "userdict",  "%%PageTrailer", "%%Page:",    "%%PageBoundingBox:",
    "%%BeginPageSetup", "%%EndPageSetup", "%%EndPageComments", "<</Type/Page/MediaBox",
    "/Parent",   "/Resources<</ProcSet[/PDF]", "/Contents", "endstream",
    "endobj",    "/DeviceRGB",   "setcolorspace", "setrgbcolor",
    "setcmykcolor", "/colspABC", "colspRefresh", "mysetup",
    "concat",    "(atend)",      "PTSM",        "%%NUPENDPAGE",
    "H SHOWPAGE",
};
static_assert(std::size(NON_MARKING) == 41);

// Operators that put marks on a page: PostScript's, and the PDF content
// operators that PDF-to-PostScript converters carry or define as procedures.
constexpr std::string_view PAINTING[] = {
    "fill",      "eofill",    "stroke",     "rectfill", "rectstroke", "image",
    "imagemask", "colorimage", "shfill",    "ufill",    "ueofill",    "ustroke",
    "show",      "ashow",     "widthshow",  "awidthshow", "kshow",    "xshow",
    "yshow",     "xyshow",    "glyphshow",  "cshow",    "Tj",         "TJ",
    "Do",        "sh",        "f",          "F",        "B",          "b",
    "S",         "s",         "EI",
};

// NON_MARKING by first byte: the strings of byte b are
// BY_FIRST_BYTE.strings[begin[b] .. begin[b + 1]).
struct NonMarkingIndex {
  std::array<std::uint8_t, 257> begin{};
  std::array<std::uint8_t, std::size(NON_MARKING)> strings{};
};

constexpr NonMarkingIndex make_non_marking_index() {
  NonMarkingIndex index;
  std::size_t next = 0;
  for (int b = 0; b < 256; ++b) {
    index.begin[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(next);
    for (std::size_t k = 0; k < std::size(NON_MARKING); ++k) {
      if (static_cast<std::uint8_t>(NON_MARKING[k][0]) == b) index.strings[next++] = static_cast<std::uint8_t>(k);
    }
  }
  index.begin[256] = static_cast<std::uint8_t>(next);
  return index;
}
constexpr NonMarkingIndex BY_FIRST_BYTE = make_non_marking_index();

// The bytes of the head of a page taken by the strings of NON_MARKING, each
// string's occurrences counted without overlap as bytes_occupied_by_string
// counts them, in one pass: a page marker comes every few kilobytes, and a
// search per occurrence of a blank would cost more than the walk to the
// marker.
std::uint64_t non_marking_bytes(const std::uint8_t* page, std::uint64_t length) {
  // Where each string may begin again (its last occurrence ends there).
  std::array<std::uint64_t, std::size(NON_MARKING)> free_from{};
  std::uint64_t total = 0;
  for (std::uint64_t i = 0; i < length; ++i) {
    const std::uint8_t c = page[i];
    for (std::size_t j = BY_FIRST_BYTE.begin[c]; j < BY_FIRST_BYTE.begin[c + 1]; ++j) {
      const std::uint8_t k = BY_FIRST_BYTE.strings[j];
      const std::string_view text = NON_MARKING[k];
      if (i < free_from[k] || text.size() > length - i) continue;
      std::size_t same = 1;  // the first byte chose the string
      while (same < text.size() && page[i + same] == static_cast<std::uint8_t>(text[same])) ++same;
      if (same < text.size()) continue;
      total += text.size();
      free_from[k] = i + text.size();
    }
  }
  return total;
}

bool is_word_byte(std::uint8_t c) { return ascii_is_alnum(c) || c == '_'; }

bool shows_visible_text(const std::uint8_t* page, std::uint64_t size) {
  std::uint64_t pos = 0;
  PsMatch m;
  while (pos < size && ps_match(PsRe::SHOWN_TEXT, page + pos, size - pos, &m)) {
    for (char c : m.text(1)) {
      if (!ascii_is_space(c)) return true;
    }
    pos = static_cast<std::uint64_t>(m.after() - page);
  }
  return false;
}

}  // namespace

std::uint64_t bytes_occupied_by_string(const std::uint8_t* window, std::uint64_t length,
                                       std::string_view text) {
  std::uint64_t total = 0;
  const ByteSpan span = scan_bytes(window, length);
  for (std::uint64_t from = 0;;) {
    const auto found = scan_find(span, from, text);
    if (!found) return total;
    total += text.size();
    from = *found + text.size();
  }
}

bool ps_page_paints(const std::uint8_t* page, std::uint64_t length) {
  // Words, separated by anything that is not a letter, digit or "_".
  for (std::uint64_t i = 0; i < length;) {
    if (!is_word_byte(page[i])) {
      ++i;
      continue;
    }
    std::uint64_t j = i;
    while (j < length && is_word_byte(page[j])) ++j;
    const bool name = i > 0 && page[i - 1] == '/';
    const std::string_view word(reinterpret_cast<const char*>(page + i), j - i);
    if (!name) {
      for (std::string_view op : PAINTING) {
        if (word == op) return true;
      }
    }
    i = j;
  }
  return shows_visible_text(page, length);
}

void process_empty_pages(const std::uint8_t* start, std::uint64_t marker, int pages,
                         PsEmptyPageWindow* window) {
  if (window->latest_start < 0) {
    window->latest_start = static_cast<std::int64_t>(marker);
    window->latest_threshold = PS_EMPTY_PAGE_THRESHOLD;
    return;
  }
  window->closed_start = window->latest_start;
  const std::int64_t threshold = window->latest_threshold;
  window->latest_start = static_cast<std::int64_t>(marker);
  window->limit_pending = false;
  if (static_cast<std::int64_t>(marker) < window->closed_start) {
    window->closed_limit = threshold;
    return;
  }
  const std::uint8_t* page = start + window->closed_start;
  const std::uint64_t size = marker - static_cast<std::uint64_t>(window->closed_start);
  const std::uint64_t head = std::min(size, NON_MARKING_SPAN);
  if (pages % 2 != 0) {
    window->closed_limit = threshold;
    window->limit_pending = true;
    window->pending_head = head;
    return;
  }
  const std::uint64_t non_marking = non_marking_bytes(page, head);
  window->closed_limit = threshold + static_cast<std::int64_t>(non_marking);
  LOG_DEBUG("Page difference: %llu = %llu non-marking + %lld marking ", static_cast<ull>(size),
            static_cast<ull>(non_marking),
            static_cast<long long>(size) - static_cast<long long>(non_marking));
  if (static_cast<std::int64_t>(size) >= window->closed_limit) return;
  // A small page that paints is not empty, however few its bytes.
  if (ps_page_paints(page, size)) return;
  LOG_DEBUG("Found potential empty page: < %lld bytes", static_cast<long long>(window->closed_limit));
  ++window->potential;
}

void ps_empty_pages_setup_end(PsEmptyPageWindow* window, std::uint64_t offset) {
  window->latest_start = static_cast<std::int64_t>(offset);
  window->latest_threshold = PS_EMPTY_PAGE_THRESHOLD_AFTER_SETUP;
}

void readjust_on_empty_pages(JobAttribs* ja, const PsEmptyPageWindow& window,
                             const std::uint8_t* start) {
  if (ja == nullptr || ja->is_duplex == 0 || ja->pages < 2 || ja->pages % 2 != 0) return;
  if (window.closed_start < 0 || window.latest_start < window.closed_start) return;
  std::int64_t limit = window.closed_limit;
  if (window.limit_pending) {
    limit += static_cast<std::int64_t>(non_marking_bytes(start + window.closed_start, window.pending_head));
  }
  if (window.latest_start - window.closed_start >= limit) return;
  if (window.potential <= 0) return;
  LOG_DEBUG("Found empty last page in duplex mode. Ignoring %d pages.", window.potential);
  ja->pages = window.potential < ja->pages ? ja->pages - window.potential : ja->pages;
}

int ps_points_to_mm(double points) {
  const double mm = std::floor(points / 72.0 * 25.4 + 0.5);
  if (!(mm == mm)) return -1;
  if (mm >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (mm <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(mm);
}

int postscript_boundbox_size(std::string_view text, int* width_mm, int* height_mm) {
  *width_mm = -1;
  *height_mm = -1;
  PsMatch m;
  if (!ps_match(PsRe::BOUNDING_BOX_NUMBERS, reinterpret_cast<const std::uint8_t*>(text.data()),
                text.size(), &m)) {
    LOG_DEV("Unable to parse bounding box");
    return -1;
  }
  double v[4];
  for (int g = 1; g <= 4; ++g) {
    const DecimalRead read = decimal_read(m.text(g));
    v[g - 1] = static_cast<double>(read.value);
  }
  const double width = std::fabs(v[0]) + v[2];
  const double height = std::fabs(v[1]) + v[3];
  *width_mm = ps_points_to_mm(width);
  *height_mm = ps_points_to_mm(height);
  return 0;
}
