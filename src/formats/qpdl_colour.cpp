#include "formats/qpdl_colour.h"

#include <array>

#include "formats/jbig_blank.h"
#include "foundation/log.h"

namespace {

constexpr std::uint8_t QPDL_PAGE_HEADER = 0x00;
constexpr std::uint8_t QPDL_PAGE_END = 0x01;
constexpr std::uint8_t QPDL_END_OF_JOB = 0x09;
constexpr std::uint8_t QPDL_BAND = 0x0C;
constexpr std::uint8_t QPDL_BAND_SETUP = 0x13;
constexpr std::uint8_t QPDL_BAND_BIH = 0x14;
constexpr std::uint64_t QPDL_PAGE_HEADER_SIZE = 17;
constexpr std::uint64_t QPDL_PAGE_END_SIZE = 3;
constexpr std::uint64_t QPDL_BAND_SETUP_SIZE = 15;
constexpr std::uint64_t QPDL_BAND_BIH_SIZE = 25;
constexpr std::uint64_t QPDL_BAND_HEADER = 6;  // 0C, band number, width, height

constexpr std::uint8_t PLANE_BLACK = 4;
// Compression codes are 10 hexadecimal or above; the plane numbers 1 to 4
// and the band terminator 00 are below.
constexpr std::uint8_t QPDL_FIRST_COMPRESSION = 0x10;
// JBIG in chunks: 39 AB CD EF, the payload's BE32 length, 24 header bytes,
// the payload and a BE32 checksum. A plane's first chunk on a page holds
// its bitmap header, the later ones its stripes.
constexpr std::uint8_t QPDL_JBIG_CHUNKS = 0x13;
constexpr std::uint32_t QPDL_CHUNK_MAGIC = 0x39ABCDEF;
constexpr std::uint64_t QPDL_CHUNK_HEADER = 32;
constexpr std::uint64_t QPDL_CHUNK_CHECKSUM = 4;

struct PlaneState {
  bool header_seen = false;
  bool typical = false;
};

struct QpdlWalk {
  ByteSpan d;
  PageColours result;
  std::array<PlaneState, PLANE_BLACK + 1> planes{};
  bool page_colour = false;
  std::optional<bool> several_planes;  // the band form, known at the first band
};

// Whether a plane's data may hold marks; nothing when its chunks do not fit.
std::optional<bool> chunks_have_marks(PlaneState* plane, ByteSpan data) {
  bool marks = false;
  for (std::uint64_t pos = 0; pos < data.size();) {
    const auto magic = scan_be32_at(data, pos);
    const auto length = scan_be32_at(data, pos + 4);
    if (!magic || *magic != QPDL_CHUNK_MAGIC || !length) return std::nullopt;
    const std::uint64_t room = data.size() - pos;
    if (room < QPDL_CHUNK_HEADER + QPDL_CHUNK_CHECKSUM ||
        *length > room - QPDL_CHUNK_HEADER - QPDL_CHUNK_CHECKSUM)
      return std::nullopt;
    const ByteSpan payload = data.subspan(pos + QPDL_CHUNK_HEADER, *length);
    if (!plane->header_seen) {
      plane->header_seen = true;
      plane->typical = jbig_bih_has_typical_prediction(payload);
    } else if (!plane->typical || !jbig_stripes_are_blank(payload)) {
      marks = true;
    }
    pos += QPDL_CHUNK_HEADER + *length + QPDL_CHUNK_CHECKSUM;
  }
  return marks;
}

bool plane_has_marks(QpdlWalk* w, std::uint8_t plane, std::uint8_t compression, ByteSpan data) {
  if (compression != QPDL_JBIG_CHUNKS) return true;
  return chunks_have_marks(&w->planes[plane], data).value_or(true);
}

bool is_plane_start(ByteSpan d, std::uint64_t pos) {
  return d.size() - pos > 1 && d[pos] >= 1 && d[pos] <= PLANE_BLACK &&
         d[pos + 1] >= QPDL_FIRST_COMPRESSION;
}

// Reads the band record at `pos`; where the next record begins.
std::optional<std::uint64_t> qpdl_band(QpdlWalk* w, std::uint64_t pos) {
  const ByteSpan d = w->d;
  std::uint64_t q = pos + QPDL_BAND_HEADER;
  if (q >= d.size()) return std::nullopt;
  // Monochrome: one plane without a plane number.
  if (d[q] >= QPDL_FIRST_COMPRESSION) {
    const auto length = scan_be32_at(d, q + 1);
    if (!length || *length > d.size() - q - 5) return std::nullopt;
    return q + 5 + *length;
  }
  for (;;) {
    if (!is_plane_start(d, q)) return std::nullopt;
    const std::uint8_t plane = d[q];
    const auto length = scan_be32_at(d, q + 2);
    if (!length || *length > d.size() - q - 6) return std::nullopt;
    const ByteSpan data = d.subspan(q + 6, *length);
    if (plane != PLANE_BLACK && !w->page_colour && plane_has_marks(w, plane, d[q + 1], data))
      w->page_colour = true;
    q += 6 + *length;
    if (!w->several_planes) w->several_planes = is_plane_start(d, q);
    if (!*w->several_planes) return q;
    if (q < d.size() && d[q] == 0) return q + 1;
  }
}

void qpdl_page_end(QpdlWalk* w) {
  ++w->result.pages;
  if (w->page_colour) ++w->result.colour_pages;
  w->page_colour = false;
  w->planes = {};
}

// Reads the record at `pos`: where the next one begins, the data's size at
// the end of the job, or nothing for a record the walk does not know.
std::optional<std::uint64_t> qpdl_record(QpdlWalk* w, std::uint64_t pos) {
  const std::uint64_t room = w->d.size() - pos;
  switch (w->d[pos]) {
    case QPDL_PAGE_HEADER:
      return room >= QPDL_PAGE_HEADER_SIZE ? std::optional(pos + QPDL_PAGE_HEADER_SIZE)
                                           : std::nullopt;
    case QPDL_BAND_SETUP:
      return room >= QPDL_BAND_SETUP_SIZE ? std::optional(pos + QPDL_BAND_SETUP_SIZE)
                                          : std::nullopt;
    case QPDL_BAND_BIH:
      return room >= QPDL_BAND_BIH_SIZE ? std::optional(pos + QPDL_BAND_BIH_SIZE) : std::nullopt;
    case QPDL_PAGE_END:
      if (room < QPDL_PAGE_END_SIZE) return std::nullopt;
      qpdl_page_end(w);
      return pos + QPDL_PAGE_END_SIZE;
    case QPDL_END_OF_JOB:
      return w->d.size();
    case QPDL_BAND:
      return qpdl_band(w, pos);
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<PageColours> qpdl_page_colours(ByteSpan d, std::uint64_t first_page,
                                             WalkTimer* timer) {
  QpdlWalk w;
  w.d = d;
  std::uint64_t pos = first_page;
  while (pos < d.size()) {
    if (timer->expired(pos)) return std::nullopt;
    const auto next = qpdl_record(&w, pos);
    if (!next) {
      LOG_DEBUG("qpdl: no record the colour walk knows at %llu",
                static_cast<unsigned long long>(pos));
      return std::nullopt;
    }
    pos = *next;
  }
  return w.result;
}
