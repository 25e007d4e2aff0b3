// The walk over a PCL XL job. The analyzer does not decode the stream; it
// stops at the bytes that can end a pattern it knows (EndPage, BeginPage,
// SetColorSpace, the "EndPage of Physical" comment, "@PJL" lines, and with
// colour detection the detector's operators), tests the bytes around them,
// and steps over embedded data by its declared length, so that nothing
// inside image or font data is taken for an operator, and the page count
// does not depend on whether colours are detected.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "analysis/pcl6_attr.h"
#include "analysis/pcl6_internal.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

// What a byte can be the last byte of.
enum StopKind : std::uint8_t {
  STOP_COLOR_OP = 1,    // an operator the colour detector examines
  STOP_DATA_OP = 2,     // an operator that may be followed by embedded data
  STOP_END_PAGE = 4,
  STOP_BEGIN_PAGE = 8,
  STOP_PHYSICAL = 16,   // "E" of "EndPage of Physical"
  STOP_COLOR_SPACE = 32,
  STOP_PJL = 64,        // "@"
};

// The bytes the walk stops at, without and with colour detection.
constexpr std::uint8_t PLAIN_STOPS[] = {
    PXL_OP_READ_FONT_HEADER, PXL_OP_READ_CHAR, PXL_OP_READ_STREAM, PXL_OP_READ_IMAGE,
    PXL_OP_READ_RAST_PATTERN, PXL_OP_VENDOR_UNIQUE, PXL_OP_END_PAGE, PXL_OP_BEGIN_PAGE,
    'E', PXL_OP_SET_COLOR_SPACE, '@'};
constexpr std::uint8_t COLOR_ONLY_STOPS[] = {PXL_OP_BEGIN_IMAGE, PXL_OP_BEGIN_CHAR,
                                             PXL_OP_SET_BRUSH_SOURCE, PXL_OP_SET_PEN_SOURCE};

constexpr std::array<std::uint8_t, 256> stop_table(bool color) {
  std::array<std::uint8_t, 256> t{};
  for (const std::uint8_t op : {PXL_OP_READ_FONT_HEADER, PXL_OP_READ_CHAR, PXL_OP_READ_STREAM,
                                PXL_OP_READ_IMAGE, PXL_OP_READ_RAST_PATTERN,
                                PXL_OP_VENDOR_UNIQUE}) {
    t[op] |= STOP_DATA_OP;
  }
  t[PXL_OP_END_PAGE] |= STOP_END_PAGE;
  t[PXL_OP_BEGIN_PAGE] |= STOP_BEGIN_PAGE;
  t['E'] |= STOP_PHYSICAL;
  t[PXL_OP_SET_COLOR_SPACE] |= STOP_COLOR_SPACE;
  t['@'] |= STOP_PJL;
  if (color) {
    for (const std::uint8_t op : {PXL_OP_SET_COLOR_SPACE, PXL_OP_BEGIN_IMAGE, PXL_OP_BEGIN_CHAR,
                                  PXL_OP_READ_CHAR, PXL_OP_VENDOR_UNIQUE,
                                  PXL_OP_SET_BRUSH_SOURCE, PXL_OP_SET_PEN_SOURCE,
                                  PXL_OP_READ_IMAGE}) {
      t[op] |= STOP_COLOR_OP;
    }
  }
  return t;
}
constexpr auto STOPS_PLAIN = stop_table(false);
constexpr auto STOPS_COLOR = stop_table(true);

constexpr bool stop_lists_match_tables() {
  std::size_t plain = 0;
  std::size_t color = 0;
  for (int b = 0; b < 256; ++b) {
    plain += STOPS_PLAIN[b] != 0 ? 1 : 0;
    color += STOPS_COLOR[b] != 0 ? 1 : 0;
  }
  return plain == std::size(PLAIN_STOPS) &&
         color == std::size(PLAIN_STOPS) + std::size(COLOR_ONLY_STOPS);
}
static_assert(stop_lists_match_tables(), "the stop lists and tables name the same bytes");

template <std::size_t A, std::size_t B>
constexpr std::array<std::uint8_t, A + B> joined(const std::uint8_t (&a)[A],
                                                 const std::uint8_t (&b)[B]) {
  std::array<std::uint8_t, A + B> out{};
  for (std::size_t i = 0; i < A; ++i) out[i] = a[i];
  for (std::size_t i = 0; i < B; ++i) out[A + i] = b[i];
  return out;
}
constexpr auto PLAIN_STOP_LIST = std::to_array(PLAIN_STOPS);
constexpr auto COLOR_STOP_LIST = joined(PLAIN_STOPS, COLOR_ONLY_STOPS);

// Finds the next byte that is one of N stops. Most of a PCL XL operator
// stream is attribute values and text, with a stop every hundred bytes or
// so: sixteen bytes are compared with every stop at once.
template <std::size_t N>
class StopFinder {
 public:
  explicit StopFinder(const std::array<std::uint8_t, N>& stops) : stops_(stops) {
#if defined(__SSE2__)
    for (std::size_t i = 0; i < N; ++i) wanted_[i] = _mm_set1_epi8(static_cast<char>(stops[i]));
#endif
  }
  // The first offset at or after `p` below `n` that holds a stop, else n.
  std::uint64_t next(const std::uint8_t* bytes, std::uint64_t p, std::uint64_t n) const {
#if defined(__SSE2__)
    for (; p + 16 <= n; p += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + p));
      __m128i hit = _mm_cmpeq_epi8(block, wanted_[0]);
      for (std::size_t i = 1; i < N; ++i) {
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(block, wanted_[i]));
      }
      const int mask = _mm_movemask_epi8(hit);
      if (mask != 0) return p + static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    for (; p < n; ++p) {
      for (const std::uint8_t s : stops_) {
        if (bytes[p] == s) return p;
      }
    }
    return n;
  }

 private:
  std::array<std::uint8_t, N> stops_;
#if defined(__SSE2__)
  __m128i wanted_[N];
#endif
};

constexpr std::uint64_t POLL_EVERY = 10000;
// An end-page marker this close to the end needs no tag after it.
constexpr std::uint64_t END_PAGE_TAIL = 199;
// BeginPage sits more than this far into the job; its attributes are read
// back over at most this many bytes.
constexpr std::uint64_t MIN_BEGIN_PAGE_POSITION = 50;
constexpr std::uint64_t BEGIN_PAGE_WINDOW = 46;
// The vendor-unique operator's attributes, read back for its data length.
constexpr std::uint64_t VENDOR_UNIQUE_WINDOW = 100;
constexpr char PHYSICAL_MARK[] = "EndPage of Physical";
constexpr std::uint64_t PHYSICAL_MARK_ROOM = 19;
// The strict physical-page test looks past at most this many comments.
constexpr int MAX_COMMENTS = 5;
// Physical-page markers this close together enclose an empty page.
constexpr std::uint64_t PHYSICAL_EMPTY_DISTANCE = 164;
// Kyocera and Xerox Global pages shorter than the empty size plus these are
// searched for comments and dither matrices.
constexpr std::uint64_t KYOCERA_COMMENT_ROOM = 100;
constexpr std::uint64_t XEROX_DITHER_ROOM = 500;
constexpr std::uint64_t KYOCERA_COMMENT_EXTRA = 5;
constexpr std::uint64_t DITHER_MATRIX_EXTRA = 12;

// The end of the data that follows a data-reading operator at `p`: FA or FB
// embedded data, or the raw bytes a vendor-unique operator announces with
// its VUDataLength attribute. Empty when no data follows.
std::optional<std::uint64_t> data_end(ByteSpan job, std::uint64_t p) {
  if (p < 2 || job[p - 2] != PXL_ATTR_ID) return std::nullopt;
  if (auto end = pxl_embedded_data_end(job, p)) return end;
  if (job[p] != PXL_OP_VENDOR_UNIQUE) return std::nullopt;
  PxlAttr attrs[PXL_MAX_ATTRS];
  const int n = pxl_read_attrs_before(job, p, VENDOR_UNIQUE_WINDOW, attrs, PXL_MAX_ATTRS);
  const PxlAttr* length = pxl_find_attr(attrs, n, PXL_ATTR_VU_DATA_LENGTH);
  const auto bytes = length != nullptr ? pxl_value_int(job, length->value) : std::nullopt;
  if (!bytes || *bytes < 0 || static_cast<std::uint64_t>(*bytes) > job.size() - p - 1) {
    return std::nullopt;
  }
  return p + 1 + static_cast<std::uint64_t>(*bytes);
}

// Extra bytes a Kyocera page may hold in "!R! CMNT ... EXIT;" comments.
std::uint64_t kyocera_comment_size(Pcl6Scan& s, std::uint64_t start, std::uint64_t end) {
  std::uint64_t size = 0;
  std::uint64_t at = start;
  while (at < end) {
    const ScanMatch m = s.kyocera_comment.match(scan_text(s.job.subspan(at, end - at)));
    if (!m.matched) break;
    size += (m.end - m.start) + KYOCERA_COMMENT_EXTRA;
    LOG_DEV("Matched '%.*s' at offset %u comment_size=%u", static_cast<int>(m.end - m.start),
            m.group(0).data(), static_cast<unsigned>(at + m.start), static_cast<unsigned>(size));
    at += m.end > 0 ? m.end : 1;
  }
  return size;
}

// A dither matrix of the Xerox Global driver: D1 w w h h F8 32 C0 depth F8 33 6D.
std::uint64_t dither_size(ByteSpan job, std::uint64_t start, std::uint64_t end) {
  for (std::uint64_t i = start; i + 11 <= end; ++i) {
    if (job[i] != PXL_TAG_UINT16_XY || job[i + 5] != PXL_ATTR_ID || job[i + 6] != 0x32 ||
        job[i + 7] != PXL_TAG_UBYTE || job[i + 9] != PXL_ATTR_ID || job[i + 10] != 0x33 ||
        i + 11 >= end || job[i + 11] != 0x6D) {
      continue;
    }
    const std::uint64_t w = job[i + 1] | (std::uint64_t{job[i + 2]} << 8);
    const std::uint64_t h = job[i + 3] | (std::uint64_t{job[i + 4]} << 8);
    const std::uint64_t depth = job[i + 8];
    const std::uint64_t size = w * h * ((depth + 7) / 8) + DITHER_MATRIX_EXTRA;
    LOG_DEV("Found dither matrix width=%u,height=%u,depth=%u,size=%u at offset %u",
            static_cast<unsigned>(w), static_cast<unsigned>(h), static_cast<unsigned>(depth),
            static_cast<unsigned>(size), static_cast<unsigned>(i));
    return size;
  }
  return 0;
}

// Judges the page [start, end) that an even end-page marker closed.
void judge_back_page(Pcl6Scan& s, std::uint64_t start, std::uint64_t end,
                     std::uint64_t data_bytes) {
  const std::uint64_t length = end - start;
  std::uint64_t comments = 0;
  std::uint64_t dither = 0;
  if (s.kyocera && length < s.empty_page_size + KYOCERA_COMMENT_ROOM) {
    comments = kyocera_comment_size(s, start, end);
  }
  if (s.xerox_global && length < s.empty_page_size + XEROX_DITHER_ROOM) {
    dither = dither_size(s.job, start, end);
  }
  const std::uint64_t limit = comments + s.empty_page_size + dither;
  s.last_judged_empty = page_marks_less_than(s.job, start, end, data_bytes, limit);
  if (s.last_judged_empty) {
    LOG_DEBUG("Found potential empty page: size = %lu < %lu + %lu + %lu",
              static_cast<unsigned long>(length), static_cast<unsigned long>(comments),
              static_cast<unsigned long>(s.empty_page_size), static_cast<unsigned long>(dither));
    ++s.potential_empty_pages;
  }
}

// The PageCopies value of an end-page marker whose EndPage is at `p`: a
// uint16 (C1 lo hi F8 31 44) or a ubyte (C0 n F8 31 44).
std::optional<int> page_copies_before(ByteSpan job, std::uint64_t p) {
  if (p < 4 || job[p - 2] != PXL_ATTR_ID || job[p - 1] != PXL_ATTR_PAGE_COPIES) return std::nullopt;
  if (p >= 5 && job[p - 5] == PXL_TAG_UINT16) return job[p - 4] | (job[p - 3] << 8);
  if (job[p - 4] == PXL_TAG_UBYTE) return job[p - 3];
  return std::nullopt;
}

struct ScanPosition {
  std::uint64_t data_since_end = 0;    // embedded data since the last end-page marker
  std::uint64_t data_since_begin = 0;  // embedded data since the last BeginPage
};

void end_page_marker(Pcl6Scan& s, ScanPosition& at, std::uint64_t p) {
  const ByteSpan job = s.job;
  const auto copies = page_copies_before(job, p);
  if (!copies || p + 1 >= job.size()) return;
  const std::uint8_t next = job[p + 1];
  if (!pxl_is_tag_byte(next) && next != PXL_OP_CLOSE_DATA_SOURCE &&
      p + END_PAGE_TAIL < job.size()) {
    return;
  }
  LOG_DEV("found end of page marker: 0x%x (%d)", static_cast<unsigned>(p), static_cast<int>(p));
  ++s.end_pages;
  page_list_add_endpage(s.pages, p + 1);
  s.end_pages_with_copies += *copies;
  LOG_DEV("endpage = %d, endpage_with_copies = %d", s.end_pages,
          static_cast<int>(s.end_pages_with_copies < INT32_MAX ? s.end_pages_with_copies
                                                               : INT32_MAX));
  if (s.end_pages % 2 == 0) judge_back_page(s, s.judged_page_start, p + 1, at.data_since_end);
  s.judged_page_start = p + 1;
  s.page_boundary = p + 1;
  at.data_since_end = 0;
}

// What the attributes before a BeginPage say about the page.
struct PageAttrs {
  bool orientation = false;
  int duplex = -1;        // DuplexPageMode: 0 horizontal binding, 1 vertical
  bool media = false;     // a MediaSize, custom unit or custom size was given
  std::int64_t media_enum = -1;
  std::string media_name;
  int custom_unit = -1;
  double custom_x = -1;
  double custom_y = -1;
};

void read_media_size(ByteSpan job, const PxlAttr& a, std::uint64_t p, PageAttrs* page) {
  if (a.value.tag == PXL_TAG_UBYTE) {
    page->media_enum = job[a.value.data];
    page->media = true;
    LOG_DEV("found media size as int value: %d : %u", static_cast<int>(page->media_enum),
            static_cast<unsigned>(p));
  } else if (a.value.tag == PXL_TAG_UBYTE_ARRAY) {
    page->media_name = std::string(scan_text(job.subspan(a.value.data, a.value.size)));
    // A name is text: it ends at its first NUL.
    page->media_name = page->media_name.substr(0, page->media_name.find('\0'));
    page->media = true;
    LOG_DEV("found media size as string value in format 2 (value=%s) :%u",
            page->media_name.c_str(), static_cast<unsigned>(p));
  }
}

PageAttrs read_page_attrs(ByteSpan job, std::uint64_t p, std::uint64_t window) {
  PageAttrs page;
  PxlAttr attrs[PXL_MAX_ATTRS];
  const int n = pxl_read_attrs_before(job, p, window, attrs, PXL_MAX_ATTRS);
  for (int i = 0; i < n; ++i) {
    const PxlAttr& a = attrs[i];
    const auto v = pxl_value_int(job, a.value);
    switch (a.id) {
      case PXL_ATTR_ORIENTATION:
        if (a.value.tag == PXL_TAG_UBYTE && v && *v <= 3) {
          page.orientation = true;
          LOG_DEV("found orientation: %u", static_cast<unsigned>(*v));
        }
        break;
      case PXL_ATTR_DUPLEX_PAGE_MODE:
        if (a.value.tag == PXL_TAG_UBYTE && v && *v <= 1) {
          page.duplex = static_cast<int>(*v);
          LOG_DEV("Found duplex: %u", static_cast<unsigned>(*v));
        }
        break;
      case PXL_ATTR_MEDIA_SIZE: read_media_size(job, a, p, &page); break;
      case PXL_ATTR_CUSTOM_MEDIA_SIZE_UNITS:
        if (a.value.tag == PXL_TAG_UBYTE && v) {
          page.custom_unit = static_cast<int>(*v);
          page.media = true;
          LOG_DEV("found custom media unit (value=%d) :%u", page.custom_unit,
                  static_cast<unsigned>(p));
        }
        break;
      case PXL_ATTR_CUSTOM_MEDIA_SIZE:
        if (a.value.tag == PXL_TAG_REAL32_XY || a.value.tag == PXL_TAG_UINT16_XY) {
          page.custom_x = pxl_value_number(job, a.value, 0).value_or(-1);
          page.custom_y = pxl_value_number(job, a.value, 1).value_or(-1);
          page.media = true;
          LOG_DEV(a.value.tag == PXL_TAG_REAL32_XY
                      ? "found custom media size with real params (value=%fx%f) :%u"
                      : "found custom media size with int params (value=%fx%f) :%u",
                  page.custom_x, page.custom_y, static_cast<unsigned>(p));
        }
        break;
      default: break;
    }
  }
  return page;
}

void set_page_paper(Pcl6Scan& s, const PageAttrs& page) {
  if (!page.media_name.empty()) {
    LOG_DEV("Media size set from string to: \"%s\"", page.media_name.c_str());
    ja_set_paper_size_name(s.ja, page.media_name.c_str());
  } else if (page.media_enum >= 0) {
    const char* name = pcl6_media_size_name(page.media_enum);
    if (name == nullptr) {
      LOG_DEBUG("ERROR: Unknown PCL paper size: %d", static_cast<int>(page.media_enum));
      return;
    }
    LOG_DEBUG("Media size set from int to: \"%s\", media_size_int=%d", name,
              static_cast<int>(page.media_enum));
    ja_set_paper_size_name(s.ja, name);
  }
  if (page.custom_unit >= 0) s.custom_unit = page.custom_unit;
  if (page.custom_x > 0 && page.custom_y > 0) {
    s.custom_x = page.custom_x;
    s.custom_y = page.custom_y;
  }
}

void begin_page_marker(Pcl6Scan& s, ScanPosition& at, std::uint64_t p) {
  const ByteSpan job = s.job;
  if (p <= MIN_BEGIN_PAGE_POSITION || job[p - 2] != PXL_ATTR_ID) return;
  const std::uint64_t window = std::min(BEGIN_PAGE_WINDOW, p - s.page_boundary);
  const PageAttrs page = read_page_attrs(job, p, window);
  if (!page.media || !page.orientation) return;
  const bool duplex = s.duplex() || page.duplex >= 0;
  if (duplex && s.has_begin_page && s.start_pages % 2 == 0 &&
      page_marks_less_than(job, s.last_begin_page, p, at.data_since_begin, MIN_PAGE_LEN)) {
    ++s.empty_start_pages;
    LOG_DEBUG("Last page seems empty. Reducing page_count_startpage %d=>%d", s.start_pages,
              s.start_pages - 1);
  }
  ++s.start_pages;
  page_list_add_beginpage(s.pages, job, p);
  LOG_DEBUG("found valid start of page marker: %u,page_count_startpage=%d",
            static_cast<unsigned>(p), s.start_pages);
  set_page_paper(s, page);
  if (page.duplex >= 0) {
    s.page_duplex = true;
    ja_set_is_duplex(s.ja, 1);
    // DuplexHorizontalBinding: bound at the top, the back printed upside
    // down (short-edge binding for portrait pages).
    if (page.duplex == 0) ja_set_is_tumble(s.ja, 1);
  }
  s.last_begin_page = p;
  s.has_begin_page = true;
  s.page_boundary = p + 1;
  at.data_since_begin = 0;
}

// A Comment operator (its ubyte-array CommentData and F8 81 47) that starts
// at `q`; the offset behind it, or empty.
std::optional<std::uint64_t> comment_at(ByteSpan job, std::uint64_t q) {
  if (q + 3 > job.size() || job[q] != PXL_TAG_UBYTE_ARRAY) return std::nullopt;
  std::uint64_t length = 0;
  std::uint64_t data = 0;
  if (job[q + 1] == PXL_TAG_UBYTE) {
    length = job[q + 2];
    data = q + 3;
  } else if (job[q + 1] == PXL_TAG_UINT16 && q + 4 <= job.size()) {
    length = job[q + 2] | (std::uint64_t{job[q + 3]} << 8);
    data = q + 4;
  } else {
    return std::nullopt;
  }
  const std::uint64_t op = data + length + 2;
  if (op >= job.size() || job[op - 2] != PXL_ATTR_ID ||
      job[op - 1] != PXL_ATTR_COMMENT_DATA || job[op] != PXL_OP_COMMENT) {
    return std::nullopt;
  }
  return op + 1;
}

// An EndPage, with or without its PageCopies, at `q`.
bool end_page_at(ByteSpan job, std::uint64_t q) {
  if (q >= job.size()) return false;
  if (job[q] == PXL_OP_END_PAGE) return true;
  for (const std::uint64_t value : {2u, 3u}) {  // C0 n or C1 lo hi
    const std::uint64_t op = q + value + 2;
    if (op < job.size() && job[op] == PXL_OP_END_PAGE && page_copies_before(job, op)) return true;
  }
  return false;
}

// After the comment holding "EndPage of Physical" at `p`: its Comment
// operator, then (past at most MAX_COMMENTS further comments) an EndPage.
bool does_comment_follow_endpage(ByteSpan job, std::uint64_t p) {
  const ByteSpan rest = job.first(std::min<std::uint64_t>(job.size(), p + 0x10000));
  const auto op = scan_find(rest, p, "\xF8\x81\x47");
  if (!op) return false;
  std::uint64_t q = *op + 3;
  for (int comments = 0;; ++comments) {
    if (end_page_at(job, q)) {
      LOG_DEV("does_comment_follow_endpage: Found EndPage at %u", static_cast<unsigned>(q));
      return true;
    }
    if (comments >= MAX_COMMENTS) {
      LOG_DEBUG("does_comment_follow_endpage: MAX_COMMENTS exceeded; num_comments=%d", comments);
      return false;
    }
    const auto next = comment_at(job, q);
    if (!next) return false;
    q = *next;
  }
}

void physical_marker(Pcl6Scan& s, std::uint64_t p) {
  if (s.job.size() - p <= PHYSICAL_MARK_ROOM || !scan_bytes_at(s.job, p, PHYSICAL_MARK)) return;
  LOG_DEV("found end of physical page marker at offset=%u", static_cast<unsigned>(p));
  ++s.physical_pages;
  if (does_comment_follow_endpage(s.job, p)) ++s.strict_physical_pages;
  if (s.end_pages != 0) return;
  if (s.physical_pages % 2 == 0 && s.physical_recorded &&
      p - s.physical_position <= PHYSICAL_EMPTY_DISTANCE) {
    LOG_DEBUG("Found potential empty page");
    ++s.potential_empty_pages;
  }
  LOG_DEBUG("Recording page position of physical page marker");
  s.physical_recorded = true;
  s.physical_position = p;
}

// C0 s F8 03 6A: a SetColorSpace to a colour space other than gray.
void color_space_marker(Pcl6Scan& s, std::uint64_t p) {
  const ByteSpan job = s.job;
  if (p < 4 || job[p - 4] != PXL_TAG_UBYTE || job[p - 2] != PXL_ATTR_ID ||
      job[p - 1] != PXL_ATTR_COLOR_SPACE) {
    return;
  }
  const int space = job[p - 3];
  if (space == 1 || (s.jetready && space != 6)) return;
  LOG_DEV("has_color: found use of color colorpace=%d at %u", space, static_cast<unsigned>(p));
  s.has_color = true;
}

void skip_data(Pcl6Scan& s, ScanPosition& at, std::uint64_t p, std::uint64_t end) {
  const std::uint64_t bytes = end - p;
  at.data_since_end += bytes;
  at.data_since_begin += bytes;
  page_list_add_data(s.pages, bytes);
  LOG_DEV("Skipping over embedded image data at 0x%x (%u) ending at: 0x%x (%u)",
          static_cast<unsigned>(p), static_cast<unsigned>(p), static_cast<unsigned>(end),
          static_cast<unsigned>(end));
}

}  // namespace

bool Pcl6Scan::duplex() const { return cpca_duplex || ja->is_duplex != 0 || page_duplex; }

int pcl6_current_page(const Pcl6Scan& s) {
  const int closed = std::max(s.end_pages, s.physical_pages);
  return std::max(s.start_pages, closed + 1);
}

void pcl6_scan_job(Pcl6Scan& s) {
  const auto& stops = s.color ? STOPS_COLOR : STOPS_PLAIN;
  const StopFinder<PLAIN_STOP_LIST.size()> plain(PLAIN_STOP_LIST);
  const StopFinder<COLOR_STOP_LIST.size()> colour(COLOR_STOP_LIST);
  const ByteSpan job = s.job;
  const std::uint64_t n = job.size();
  const std::uint8_t* bytes = job.data();
  ScanPosition at;
  std::uint64_t next_poll = 0;
  std::uint64_t p = 0;
  for (;;) {
    p = s.color ? colour.next(bytes, p, n) : plain.next(bytes, p, n);
    if (p >= n) {
      LOG_DEBUG("Reached end of file");
      break;
    }
    if (p >= next_poll) {
      if (TimeoutIsTimeUp(&s.timeout) != 0) {
        LOG_DEBUG("parse timeout exceeded at position: %u", static_cast<unsigned>(p));
        LOG_ERROR("Parse timeout exceeded. Language: PCL6");
        break;
      }
      next_poll = p + POLL_EVERY;
    }
    const std::uint8_t kind = stops[bytes[p]];
    if ((kind & STOP_COLOR_OP) != 0) {
      PCL6ColorParseAtPos(s.detector, job, p, pcl6_current_page(s));
    }
    if ((kind & STOP_DATA_OP) != 0) {
      if (const auto end = data_end(job, p)) {
        skip_data(s, at, p, *end);
        p = *end;
        continue;
      }
    }
    if ((kind & STOP_END_PAGE) != 0) end_page_marker(s, at, p);
    if ((kind & STOP_BEGIN_PAGE) != 0) begin_page_marker(s, at, p);
    if ((kind & STOP_PHYSICAL) != 0) physical_marker(s, p);
    if ((kind & STOP_COLOR_SPACE) != 0) color_space_marker(s, p);
    if ((kind & STOP_PJL) != 0) pcl6_pjl_line(s, p);
    ++p;
  }
  s.data_since_begin = at.data_since_begin;
}
