// The mode steps of the PCL5 scan: PCL commands and form feeds, raster rows
// of combined commands, and HP-GL/2 page ends, copies and plot sizes.
#include <algorithm>

#include "analysis/pcl5_command.h"
#include "analysis/pcl5_scan_internal.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace pcl5_scanner {
namespace {

using namespace std::string_view_literals;

constexpr std::uint8_t FF = 0x0c;
constexpr std::uint8_t CR = 0x0d;
constexpr std::uint64_t WINDOW = 20;
// ESC&l: parameter bytes read at most, and where the scan goes on after
// them.
constexpr std::uint64_t ENVIRONMENT_BYTES = 14;
constexpr std::uint64_t ENVIRONMENT_RESUME = 18;
constexpr std::uint64_t KYOCERA_NUMBER_MAX = 10;
constexpr std::uint64_t DATA_BLOCK_MIN_OFFSET = 30;
// The walk back from a "#W" data block to its ESC.
constexpr std::uint64_t DATA_BLOCK_WALK_BACK = 29;
// HP-GL/2 plotter units per millimetre.
constexpr double PLOTTER_UNITS_PER_MM = 40.0;
// ESC&f#I and #J count tenths of a point.
constexpr double DECIPOINTS_PER_INCH = 720.0;
constexpr double MM_PER_INCH = 25.4;
constexpr std::uint64_t FOOTER_COPIES_BEFORE_END = 100;

// "(\d+)" then one letter out of `letters`, all within [p, limit); the
// position behind the letter, or 0.
std::uint64_t number_then(ByteSpan data, std::uint64_t p, std::uint64_t limit,
                          std::string_view letters, std::int64_t* value, std::uint8_t* letter) {
  limit = std::min<std::uint64_t>(limit, data.size());
  if (p >= limit) return 0;
  const DecimalRead r = decimal_read(data.subspan(p, limit - p), DecimalSign::NONE);
  if (r.length == 0 || p + r.length >= limit) return 0;
  const std::uint8_t c = data[p + r.length];
  if (letters.find(static_cast<char>(c)) == std::string_view::npos) return 0;
  *value = r.value;
  if (letter != nullptr) *letter = c;
  return p + r.length + 1;
}

std::uint64_t count_of(std::int64_t value) {
  return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

int mm_from(double value, double units_per_mm) {
  return decimal_clamp<int>(static_cast<std::int64_t>(std::min(value / units_per_mm + 0.5, 2e9)));
}

// ---- PCL mode ----

// ESC&l with its parameters: paper, lines per inch, tray, page length,
// duplex, copies.
std::uint64_t environment(Pcl5ScanState* st, Pos pos, JobAttribs* ja) {
  LOG_DEBUG("Parsing non-PJL environment variable(s) at %llu (0x%llx)",
            static_cast<unsigned long long>(pos.p), static_cast<unsigned long long>(pos.p));
  std::int64_t value = 0;
  const std::uint64_t end = std::min(pos.data.size(), pos.p + 3 + ENVIRONMENT_BYTES);
  for (std::uint64_t q = pos.p + 3; q < end; ++q) {
    const std::uint8_t c = pos.data[q];
    if (ascii_is_digit(c)) {
      value = value > (INT64_MAX - 9) / 10 ? INT64_MAX : value * 10 + (c - '0');
      continue;
    }
    const unsigned long long at = q;
    switch (ascii_to_lower(c)) {
      case 'a': set_pcl_paper_code(ja, value, pos.data, pos.p); break;
      case 'd':
        st->lines_per_inch = value;
        LOG_DEBUG("Found PCL lines per inch of %lld at %llu", static_cast<long long>(value), at);
        break;
      case 'h':
        LOG_DEBUG("Found tray source of %lld in non-PJL environment variable at %llu",
                  static_cast<long long>(value), at);
        break;
      case 'p':
        st->page_length_lines = value;
        LOG_DEBUG("Found PCL page length of %lld lines at %llu", static_cast<long long>(value), at);
        break;
      case 's':
        if (value > 0) st->duplex = true;
        LOG_DEBUG("Found duplex value of %lld (duplex if > 0) in non-PJL environment variable at %llu",
                  static_cast<long long>(value), at);
        break;
      case 'x':
        st->copies = value;
        LOG_DEBUG("Found copy count of %lld in non-PJL environment variable at %llu",
                  static_cast<long long>(value), at);
        break;
      default:
        LOG_DEV("Found unknown command code of %c (0x%x) at %llu (0x%llx) with value %lld", c, c,
                at, at, static_cast<long long>(value));
        break;
    }
    value = 0;
    if (ascii_is_upper(c)) return q + 1;
  }
  return pos.p + ENVIRONMENT_RESUME;
}

// ";SPSZ" or "!spsz": a Kyocera paper code up to ";".
Next kyocera_paper(Pos pos, JobAttribs* ja) {
  if (pos.n() <= 10 || (pos.at() != ';' && pos.at() != '!')) return std::nullopt;
  if (!scan_bytes_at(pos.data, pos.p + 1, "spsz") && !scan_bytes_at(pos.data, pos.p + 1, "SPSZ")) {
    return std::nullopt;
  }
  std::uint64_t consumed = 0;
  const std::int64_t code = get_value_number(pos.data, pos.p + 5, KYOCERA_NUMBER_MAX, 1, ';', &consumed);
  if (code < 1) {
    LOG_ERROR("Papersize number NOT parseable for Kyocera");
  } else {
    set_kyocera_paper_code(ja, code, pos.p);
  }
  return pos.p + 5 + consumed;
}

// "*o5W" 0B 01 00 00 and a mode byte in a PCL3GUI job: modes 1 and 2 print
// gray.
void pcl3gui_mode(Pos pos, JobAttribs* ja) {
  if (pos.n() <= 10 || !pos.is("*o5W\x0b\x01\x00\x00"sv)) return;
  const std::uint8_t mode = pos.at(8);
  LOG_DEBUG("Found PCL3GUI grayscale mode of %u at %llu", mode, static_cast<unsigned long long>(pos.p));
  if (mode == 1 || mode == 2) ja_set_is_grayscale(ja, 1);
}

// ESC%#B: HP-GL/2, the PCL colour state kept when the number begins with 0.
Next enter_hpgl(Pcl5ScanState* st, Pos pos) {
  if (pos.n() < 7 || !pos.is("\x1b%")) return std::nullopt;
  const std::uint64_t limit = pos.p + 7;
  std::uint64_t q = pos.p + 2;
  if (pos.data[q] == '-') ++q;
  const std::uint64_t digits = q;
  while (q < limit && ascii_is_digit(pos.data[q])) ++q;
  if (q >= limit || pos.data[q] != 'B') return std::nullopt;
  const bool preserved = q > digits && pos.data[digits] == '0';
  LOG_DEV("Start HPGL mode color_preserved=%d at: %llu", preserved,
          static_cast<unsigned long long>(pos.p));
  PCL5ColorResetHPGL(st->color, preserved ? 1 : 0);
  st->mode = PCL5_MODE_HPGL;
  return q + 1;
}

// ESC&p#X (transparent data) and ESC&b*o5W with 0B 01 00 00.
Next escape_data(Pcl5ScanState* st, Pos pos) {
  if (pos.n() <= 19) return std::nullopt;
  std::int64_t count = 0;
  if (pos.is("\x1b&p")) {
    if (const std::uint64_t end = number_then(pos.data, pos.p + 3, pos.p + WINDOW, "X", &count, nullptr)) {
      return step_over_data(st, pos.data, end, count_of(count));
    }
  }
  if (pos.is("\x1b&b*o5W\x0b\x01\x00\x00"sv)) st->flags.pcl3gui_grayscale = true;
  return std::nullopt;
}

// "(\d+)W" at a digit: the data of a command whose ESC lies a few bytes
// back (fonts, patterns, configure image data).
Next data_block(Pcl5ScanState* st, Pos pos) {
  if (!ascii_is_digit(pos.at()) || pos.n() < WINDOW || pos.offset() <= DATA_BLOCK_MIN_OFFSET) {
    return std::nullopt;
  }
  std::int64_t count = 0;
  const std::uint64_t end = number_then(pos.data, pos.p, pos.p + WINDOW, "W", &count, nullptr);
  if (end == 0) return std::nullopt;
  std::int64_t ignored = 0;
  if (pos.data[pos.p - 3] == PCL_ESC && scan_bytes_at(pos.data, pos.p - 2, "*x") &&
      number_then(pos.data, pos.p, pos.p - 3 + WINDOW, "W", &ignored, nullptr) != 0) {
    LOG_DEV("found lavaflow command");
    return end;
  }
  for (std::uint64_t walked = 1; walked <= pos.p; ++walked) {
    const std::uint8_t c = pos.data[pos.p - walked];
    if (c == PCL_ESC) return step_over_data(st, pos.data, end, count_of(count));
    if (ascii_is_upper(c)) {
      LOG_DEBUG("Not jumping w data at %llu", static_cast<unsigned long long>(pos.p));
      return std::nullopt;
    }
    if (walked > DATA_BLOCK_WALK_BACK) {
      LOG_DEBUG("Did not find start of W data commmand");
      return step_over_data(st, pos.data, end, count_of(count));
    }
  }
  return std::nullopt;  // the buffer's start: not a data block
}

// ESC*b: a raster row, or the groups of a combined raster command (raster
// mode when its last group is in lower case).
Next raster_transfer(Pcl5ScanState* st, Pos pos) {
  if (const std::uint64_t end = raster_row(st, pos.data, pos.p)) return end;
  const std::uint64_t end = raster_groups(st, pos.data, pos.p + 3, true);
  if (end == pos.p + 3) return std::nullopt;
  if (st->mode == PCL5_MODE_RASTER) {
    LOG_DEV("Start Raster mode at: %llu", static_cast<unsigned long long>(pos.p));
  }
  return end;
}

// ESC*v#W (configure image data): raster rows of direct RGB colour are
// white where their bytes are FF, every other kind where they are 0. Only
// looked at; the data block is stepped over at its count.
void configure_image_data(Pcl5ScanState* st, Pos pos) {
  std::int64_t count = 0;
  const std::uint64_t end = number_then(pos.data, pos.p + 3, pos.p + WINDOW, "W", &count, nullptr);
  if (end == 0 || count < 2 || pos.data.size() - end < 2) return;
  const std::uint8_t space = pos.data[end];
  const std::uint8_t encoding = pos.data[end + 1];
  st->raster_format.white = space == 0 && (encoding == 2 || encoding == 3) ? 0xff : 0x00;
}

// ESC&f#I / #J: OKI custom paper in tenths of a point.
Next oki_custom_size(Pcl5ScanState* st, Pos pos, JobAttribs* ja) {
  if (pos.n() <= 40 || !pos.is("\x1b&f")) return std::nullopt;
  std::int64_t value = 0;
  std::uint8_t kind = 0;
  if (number_then(pos.data, pos.p + 3, pos.p + WINDOW, "IJ", &value, &kind) == 0) return std::nullopt;
  const int mm = mm_from(static_cast<double>(value) / DECIPOINTS_PER_INCH * MM_PER_INCH, 1.0);
  (kind == 'I' ? st->oki_custom_width : st->oki_custom_height) = mm;
  LOG_DEBUG("OKI Custom page size: oki_val=%lld,oki_type='%c',custom_page_width_mm=%d,custom_page_height_mm=%d,offset=%llu",
            static_cast<long long>(value), kind, st->oki_custom_width, st->oki_custom_height,
            static_cast<unsigned long long>(pos.p));
  if (st->oki_custom_width > 0 && st->oki_custom_height > 0 && ja->page_width_mm < 1 &&
      ja->page_height_mm < 1) {
    LOG_DEBUG("OKI Custom page size: Setting page dimensions: custom_page_width_mm=%d,custom_page_height_mm=%d",
              st->oki_custom_width, st->oki_custom_height);
    ja_set_page_width_height_mm(ja, st->oki_custom_width, st->oki_custom_height);
  }
  return pos.p + 4;
}

// A driver's text between "!" marks holds form feeds that are no page ends.
bool form_feed_in_driver_text(Pos pos) {
  const std::uint64_t p = pos.p;
  if (pos.offset() <= 30 || pos.n() <= 40 || pos.data[p - 1] != '!') return false;
  if (pos.data[p - 2] <= 0x1f && pos.data[p - 3] == '!') return true;
  if (pos.at(1) == PCL_ESC && pos.at(6) == CR) return false;
  // "\f(?:ESC\*p\d+Y)?(?:ESC\*p\d+X)?!" at p.
  std::uint64_t q = p + 1;
  const std::uint64_t limit = p + WINDOW;
  std::int64_t ignored = 0;
  for (const char* axis : {"Y", "X"}) {
    if (scan_bytes_at(pos.data, q, "\x1b*p")) {
      if (const std::uint64_t end = number_then(pos.data, q + 3, limit, axis, &ignored, nullptr)) q = end;
    }
  }
  if (q < limit && pos.data[q] == '!') return true;
  // ESC "*p\d+X!" FF ending at p, within the 31 bytes from p - 30.
  for (std::uint64_t s = p - 30; s < p; ++s) {
    if (pos.data[s] == PCL_ESC && scan_bytes_at(pos.data, s + 1, "*p") &&
        number_then(pos.data, s + 3, p - 1, "X", &ignored, nullptr) == p - 1) {
      return true;
    }
  }
  return false;
}

Next form_feed(Pcl5ScanState* st, Pos pos) {
  if (pos.at() != FF || pos.p == 0 || form_feed_in_driver_text(pos)) return std::nullopt;
  const unsigned long long at = pos.p;
  if (st->binary_border_set && st->binary_border == pos.p - 1) {
    LOG_DEV("Found standard page end on binary border at: 0x%llx (%llu)", at, at);
    count_page_end(st, pos, false);
  } else if (pos.data[pos.p - 1] >= 0x80) {
    LOG_DEV("Found unicode page end at: 0x%llx (%llu)", at, at);
    count_page_end(st, pos, true);
  } else {
    LOG_DEV("Found standard page end at: 0x%llx (%llu)", at, at);
    count_page_end(st, pos, false);
  }
  return pos.p + 1;
}

// ESC*r#A ... ESC*r#C: raster blocks that OKI drivers send one per page.
Next oki_raster(Pcl5ScanState* st, Pos pos) {
  if (pos.n() < 5 || !pos.is("\x1b*r")) return std::nullopt;
  const std::uint64_t limit = pos.p + std::min(pos.n(), WINDOW);
  std::int64_t value = 0;
  if (st->oki_raster_start < 0) {
    if (number_then(pos.data, pos.p + 3, limit, "A", &value, nullptr) != 0) {
      st->oki_raster_start = value;
      LOG_DEBUG("re_raster_start at: %llu, page_count_oki_raster=%lld",
                static_cast<unsigned long long>(pos.p), static_cast<long long>(st->oki_raster_pages));
    }
  } else if (number_then(pos.data, pos.p + 3, limit, "C", &value, nullptr) != 0) {
    st->oki_raster_start = -1;
    ++st->oki_raster_pages;
    LOG_DEBUG("re_raster_end at: %llu, page_count_oki_raster=%lld",
              static_cast<unsigned long long>(pos.p), static_cast<long long>(st->oki_raster_pages));
  }
  return std::nullopt;
}

}  // namespace

std::uint64_t raster_row(Pcl5ScanState* st, ByteSpan data, std::uint64_t p) {
  const Pos pos{data, p};
  if (p > data.size() || pos.n() < 3) return 0;
  const std::uint64_t limit = pos.p + std::min<std::uint64_t>(WINDOW, pos.n());
  std::uint64_t q = pos.p + 3;
  std::uint64_t count = 0;
  while (q < limit && ascii_is_digit(pos.data[q])) count = count * 10 + (pos.data[q++] - '0');
  if (q == pos.p + 3 || q >= limit || (pos.data[q] != 'W' && pos.data[q] != 'V')) return 0;
  // A row that runs past the job's end is no mark: the job was cut.
  if (count > 0 && count < pos.data.size() - q) st->raster_marks = true;
  return step_over_data(st, pos.data, q + 1, count);
}

namespace {

// One group of a raster command at q: "(\d+)" and a letter of "vwVW" (a
// plane or row, whose data is stepped over) or "yYmM" (rows skipped, the
// compression method). The position behind it, or 0; *letter gets the
// letter.
std::uint64_t raster_group(Pcl5ScanState* st, ByteSpan data, std::uint64_t q, std::uint8_t* letter,
                           bool judge) {
  const std::uint64_t limit = q + std::min<std::uint64_t>(WINDOW, data.size() - q);
  const std::uint64_t digits = q;
  std::uint64_t count = 0;
  while (q < limit && ascii_is_digit(data[q])) count = count * 10 + (data[q++] - '0');
  if (q == digits || q >= limit) return 0;
  *letter = data[q];
  const std::uint8_t c = data[q];
  const bool plane = c == 'v' || c == 'w' || c == 'V' || c == 'W';
  if (judge && (plane || c == 'm' || c == 'M' || c == 'y' || c == 'Y')) {
    const std::uint64_t size = plane ? std::min<std::uint64_t>(count, data.size() - (q + 1)) : 0;
    PCL5ColorRasterGroup(st->color, c, static_cast<std::int64_t>(std::min<std::uint64_t>(count, INT64_MAX)),
                         data.subspan(q + 1, size));
  }
  switch (data[q]) {
    case 'v': case 'w': case 'V': case 'W':
      if (count > 0 && count < data.size() - q) st->raster_marks = true;
      return step_over_data(st, data, q + 1, count);
    case 'm': case 'M':
      st->raster_format.compression = static_cast<std::int64_t>(std::min<std::uint64_t>(count, INT64_MAX));
      return q + 1;
    case 'y': case 'Y':
      return q + 1;
    default:
      return 0;
  }
}

}  // namespace

std::uint64_t raster_groups(Pcl5ScanState* st, ByteSpan data, std::uint64_t q, bool first_judged) {
  std::uint8_t letter = 0;
  std::uint8_t last = 0;
  while (q < data.size() && ascii_is_digit(data[q])) {
    const std::uint64_t end = raster_group(st, data, q, &letter, last != 0 || !first_judged);
    if (end == 0) break;
    last = letter;
    q = end;
  }
  if (last != 0) st->mode = ascii_is_lower(last) ? PCL5_MODE_RASTER : PCL5_MODE_PCL;
  return q;
}

Next pcl_escape_step(Pcl5ScanState* st, Pos pos, JobAttribs* ja) {
  if (pos.n() < 3) return std::nullopt;
  switch (pos.at(1)) {
    case '*':
      if (pos.at(2) == 'b') return raster_transfer(st, pos);
      if (pos.at(2) == 'r') return oki_raster(st, pos);
      if (pos.at(2) == 'v') configure_image_data(st, pos);
      return std::nullopt;
    case '&':
      switch (pos.at(2)) {
        case 'l': return pos.n() > 20 ? Next{environment(st, pos, ja)} : std::nullopt;
        case 'p':
        case 'b': return escape_data(st, pos);
        case 't': return pos.is("\x1b&t21P!") ? Next{pos.p + 8} : std::nullopt;
        case 'f': return oki_custom_size(st, pos, ja);
        default: return std::nullopt;
      }
    case '%':
      return enter_hpgl(st, pos);
    default:
      return std::nullopt;
  }
}

Next pcl_text_step(Pcl5ScanState* st, Pos pos, JobAttribs* ja) {
  if (const Next next = kyocera_paper(pos, ja)) return next;
  if (st->flags.pcl3gui && pos.at() == '*') pcl3gui_mode(pos, ja);
  if (const Next next = data_block(st, pos)) return next;
  return form_feed(st, pos);
}

Next raster_mode_step(Pcl5ScanState* st, Pos pos) {
  const std::uint8_t c = pos.at();
  if (pos.n() > 19 && ascii_is_digit(c)) {
    const std::uint64_t end = raster_groups(st, pos.data, pos.p, true);
    if (end != pos.p) return end;
  }
  if (c >= 0x40 && c <= 0x60) {
    LOG_DEV("End Raster mode at: %llu", static_cast<unsigned long long>(pos.p));
    st->mode = PCL5_MODE_PCL;
    return pos.p;  // examined again in PCL mode
  }
  return std::nullopt;
}

Next hpgl_escape_step(Pcl5ScanState* st, Pos pos) {
  if (pos.n() < 7 || !pos.is("\x1b%")) return std::nullopt;
  std::uint64_t q = pos.p + 2;
  while (q < pos.p + 6 && ascii_is_digit(pos.data[q])) ++q;
  if (pos.data[q] != 'A') return std::nullopt;
  LOG_DEV("End HPGL mode at: %llu", static_cast<unsigned long long>(pos.p));
  st->mode = PCL5_MODE_PCL;
  return q + 1;
}

namespace {

// "(\d+),(\d+)" from `from` within [from, limit); the position behind it, or 0.
std::uint64_t number_pair(ByteSpan data, std::uint64_t from, std::uint64_t limit,
                          std::int64_t* first, std::int64_t* second) {
  const std::uint64_t comma = number_then(data, from, limit, ",", first, nullptr);
  if (comma == 0 || comma >= limit) return 0;
  const DecimalRead r = decimal_read(data.subspan(comma, limit - comma), DecimalSign::NONE);
  if (r.length == 0) return 0;
  *second = r.value;
  return comma + r.length;
}

// "(\d+)" at `from` within `max` bytes: the value and the position behind it.
std::uint64_t number_at(ByteSpan data, std::uint64_t from, std::uint64_t max, std::int64_t* value) {
  const DecimalRead r = decimal_read(data.subspan(from, max), DecimalSign::NONE);
  *value = r.value;
  return r.length > 0 ? from + r.length : 0;
}

// PS: the plot size in plotter units.
Next plot_size(Pos pos, JobAttribs* ja) {
  if (pos.n() < 30 || !pos.is("PS")) return std::nullopt;
  std::int64_t first = 0;
  std::int64_t second = 0;
  const std::uint64_t end = number_pair(pos.data, pos.p + 2, pos.p + 30, &first, &second);
  if (end == 0) return std::nullopt;
  const int width = mm_from(static_cast<double>(first), PLOTTER_UNITS_PER_MM);
  const int height = mm_from(static_cast<double>(second), PLOTTER_UNITS_PER_MM);
  LOG_DEV("HPGL paper size at: %llu (%d, %d)", static_cast<unsigned long long>(pos.p), width, height);
  ja_set_page_width_height_mm(ja, width, height);
  return end;
}

// RO: a rotation of 90 or 270 degrees swaps a known page size.
Next rotation(Pos pos, JobAttribs* ja) {
  if (pos.n() < 10 || ja->page_width_mm < 1 || ja->page_height_mm < 1 || !pos.is("RO")) {
    return std::nullopt;
  }
  std::int64_t angle = 0;
  const std::uint64_t end = number_at(pos.data, pos.p + 2, 8, &angle);
  if (end == 0) return std::nullopt;
  LOG_DEV("HPGL rotation: angle=%lld at offset %llu", static_cast<long long>(angle),
          static_cast<unsigned long long>(pos.p));
  if (angle % 180 == 90) {
    LOG_DEV("Rotating %lld to (%d, %d)", static_cast<long long>(angle), ja->page_height_mm,
            ja->page_width_mm);
    ja_set_page_width_height_mm(ja, ja->page_height_mm, ja->page_width_mm);
  }
  return end;
}

// IP and IW from the origin: the input window, used when nothing else
// gives the page size.
Next input_window(Pcl5ScanState* st, Pos pos, JobAttribs* ja) {
  if (pos.n() < 30 || ja->page_width_mm >= 0 || !(pos.is("IP0,0,") || pos.is("IW0,0,"))) {
    return std::nullopt;
  }
  std::int64_t first = 0;
  std::int64_t second = 0;
  const std::uint64_t end = number_pair(pos.data, pos.p + 6, pos.p + 30, &first, &second);
  if (end == 0) return std::nullopt;
  st->hpgl_input_width = mm_from(static_cast<double>(first), PLOTTER_UNITS_PER_MM);
  st->hpgl_input_height = mm_from(static_cast<double>(second), PLOTTER_UNITS_PER_MM);
  LOG_DEBUG("HPGL input size at: %llu (%d, %d)", static_cast<unsigned long long>(pos.p),
            st->hpgl_input_width, st->hpgl_input_height);
  return end;
}

// RP (replots) and BP2 (copies of a begin-plot).
Next plot_copies(Pcl5ScanState* st, Pos pos) {
  std::int64_t copies = 0;
  if (pos.n() >= 10 && pos.is("RP")) {
    const std::uint64_t end = number_at(pos.data, pos.p + 2, 8, &copies);
    if (end == 0) return std::nullopt;
    st->hpgl_copies = copies;
    LOG_DEV("HPGL copy count found at: %llu", static_cast<unsigned long long>(pos.p));
    return end;
  }
  if (pos.n() > 7 && pos.is("BP2,")) {
    const std::uint64_t end = number_at(pos.data, pos.p + 4, 4, &copies);
    if (end == 0) return std::nullopt;
    st->hpgl_copies = copies;
    LOG_DEBUG("Found BP copy count of %lld", static_cast<long long>(copies));
    return end;
  }
  return std::nullopt;
}

// PG; ends a page; "PG;RP#;" near the job's end replots it # more times.
Next page_end(Pcl5ScanState* st, Pos pos) {
  if (!pos.is("PG;")) return std::nullopt;
  ++st->hpgl_pages;
  pcl5_sheet_end(st, pos.p);
  if (pos.n() < FOOTER_COPIES_BEFORE_END && pos.is("PG;RP")) {
    std::int64_t replots = 0;
    const std::uint64_t end = number_then(pos.data, pos.p + 5, pos.p + std::min<std::uint64_t>(pos.n(), WINDOW),
                                          ";", &replots, nullptr);
    if (end != 0) {
      st->hpgl_copies = replots > INT64_MAX - 1 ? INT64_MAX : replots + 1;
      LOG_DEV("HPGL footer copy count (and end page) found at: %llu",
              static_cast<unsigned long long>(pos.p));
      return end;
    }
  }
  LOG_DEV("Matched HPGL end page at: %llu", static_cast<unsigned long long>(pos.p));
  return pos.p + 3;
}

}  // namespace

Next hpgl_mode_step(Pcl5ScanState* st, Pos pos, JobAttribs* ja) {
  if (const Next next = plot_size(pos, ja)) return next;
  if (const Next next = rotation(pos, ja)) return next;
  if (const Next next = input_window(st, pos, ja)) return next;
  if (const Next next = plot_copies(st, pos)) return next;
  return page_end(st, pos);
}

}  // namespace pcl5_scanner
