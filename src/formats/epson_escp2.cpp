// ESC/P2: a walk over the commands that skips raster data by its lengths,
// counting form feeds that end a page with content.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "formats/epson.h"
#include "formats/format_walk.h"
#include "foundation/ja.h"
#include "foundation/ja_papers.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "scan/byte_cursor.h"

namespace {

// Form feeds this close to the start belong to the job's preamble.
constexpr std::uint64_t FIRST_PAGE_OFFSET = 100;
constexpr std::uint64_t REMOTE_TI_HEAD = 100;
constexpr std::uint64_t PM_DUPLEX_HEAD = 1000;
constexpr std::uint64_t PM_DUPLEX_GAP = 10;
constexpr std::uint64_t JXD_TAIL = 10240;
constexpr std::uint64_t ESC_ROOM = 8;
constexpr double DEFAULT_UNIT_INCH = 1.0 / 360;
// The 1-byte form of ESC ( U counts its unit in 1/3600 inch.
constexpr double UNIT_1_BYTE_BASE = 3600;
constexpr std::uint8_t ESC = 0x1B;
constexpr std::uint8_t FORM_FEED = 0x0C;
constexpr std::uint8_t KANJI_FS = 0x1C;
// A raster command's colour byte: the ink in its low four bits (0 black,
// 1 magenta, 2 cyan, 4 yellow, 7 red, 8 blue, 10 orange, 11 green), the
// light and dark variants of the ink in the high bits. Black and gloss
// (clear) carry no colour.
constexpr std::uint8_t INK_MASK = 0x0F;
constexpr std::uint8_t INK_BLACK = 0;
constexpr std::uint8_t INK_GLOSS = 9;
// Some models' drivers make the page length of ESC ( S longer than the
// paper by this much (24 points) for their bottom margin.
constexpr double EXTRA_BOTTOM_INCH = 24.0 / 72;
constexpr int PAPER_TOLERANCE_MM = 1;
constexpr std::string_view REMOTE_NAME = "REMOTE1";
constexpr std::uint64_t REMOTE_COMMAND_HEAD = 4;  // two letters and a LE16 count

enum class Mode { NORMAL, TIFF_RASTER, RLE_RASTER, REMOTE };

struct Escp2Walk {
  ByteSpan d;
  JobAttribs* ja = nullptr;
  bool is_wf = false;
  bool has_remote_ti = false;
  Mode mode = Mode::NORMAL;
  std::uint64_t raster_left = 0;  // run-length raster bytes still to come
  bool page_content = true;
  int pages = 0;
  int color_pages = 0;
  bool page_color = false;
  int color_set_on_page = -1;
  double unit = DEFAULT_UNIT_INCH;
  bool simplex = false;
  bool duplex = false;
  bool default_simplex = false;
  // Raster seen: in the job, on the page being built, and colour ink on it;
  // the ink ESC r or ESC ( r chose for ESC . raster and ESC/P bit images.
  bool color_mode_seen = false;  // an ESC ( K chose colour or monochrome
  bool job_raster = false;
  bool page_raster = false;
  bool page_color_ink = false;
  // The raster command being stepped over prints in a colour ink: its dots,
  // not its declared size, tell whether the page has colour (some drivers
  // send every band in every ink, most of them empty).
  bool colour_band = false;
  // Raster in black ink anywhere in the job: without it a colour printer
  // makes its black of cyan, magenta and yellow, and inks no longer tell
  // colour pages from black ones.
  bool black_raster = false;
  std::uint8_t dot_raster_ink = INK_BLACK;
  // Whether the first and the last counted page carry no raster.
  bool first_page_blank = false;
  bool last_page_blank = false;
  // Where the walk met an escape sequence that ESC/P does not have (another
  // maker's language behind the same reset).
  std::optional<std::uint64_t> foreign_escape;
  // An ESC | 00 settings block: the model's raster rows reach inks by
  // their nozzle rows, so ESC r does not tell a row's ink.
  bool nozzle_rows = false;
};

unsigned long long at(std::uint64_t p) { return static_cast<unsigned long long>(p); }

// p + n, or the end of the data when the skip would carry past it.
std::uint64_t skip_to(const Escp2Walk& w, std::uint64_t p, std::uint64_t n) {
  return n <= w.d.size() - p ? p + n : w.d.size();
}

void form_feed(Escp2Walk* w, std::uint64_t p) {
  if (!w->page_content) {
    LOG_DEV("Found bogus eop at %llu", at(p));
  } else if (p > FIRST_PAGE_OFFSET) {
    ++w->pages;
    // A page is colour when its raster uses a colour ink, unless the job
    // prints in monochrome mode.
    if (w->page_color_ink && (w->page_color || !w->color_mode_seen)) ++w->color_pages;
    if (w->pages == 1) w->first_page_blank = !w->page_raster;
    w->last_page_blank = !w->page_raster;
    LOG_DEV("Found new page pages=%d,color_pages=%d at %llu", w->pages, w->color_pages, at(p));
    w->page_raster = false;
    w->page_color_ink = false;
  }
  w->page_content = false;
}

bool is_color_ink(std::uint8_t color) {
  const std::uint8_t ink = color & INK_MASK;
  return ink != INK_BLACK && ink != INK_GLOSS;
}

// Raster of `bytes` bytes in ink `color` on the page being built; a colour
// ink marks the page once its data shows a dot (colour_dots).
void raster_on_page(Escp2Walk* w, std::uint8_t color, std::uint64_t bytes) {
  w->colour_band = false;
  if (bytes == 0) return;
  w->job_raster = true;
  w->page_raster = true;
  w->black_raster = w->black_raster || (color & INK_MASK) == INK_BLACK;
  w->colour_band = !w->page_color_ink && is_color_ink(color);
}

// Raster bytes of the current command, as they stand or as the repeated
// byte of a run: a dot in a colour band makes the page colour.
void colour_dots(Escp2Walk* w, ByteSpan bytes) {
  if (!w->colour_band) return;
  for (const std::uint8_t b : bytes) {
    if (b != 0) {
      w->page_color_ink = true;
      w->colour_band = false;
      return;
    }
  }
}

// Raster data this walk does not decode (TIFF-compressed bands): a colour
// band counts as colour.
void colour_undecoded(Escp2Walk* w) {
  if (w->colour_band) w->page_color_ink = true;
  w->colour_band = false;
}

ByteSpan span_at(const Escp2Walk& w, std::uint64_t p, std::uint64_t n) {
  if (p >= w.d.size()) return {};
  return w.d.subspan(p, std::min(n, w.d.size() - p));
}

void raster_done(Escp2Walk* w) {
  w->mode = Mode::NORMAL;
  w->page_content = true;
}

// ESC ( U: the 5-byte form gives the unit as byte 5 over the LE16 base at
// byte 8; the 1-byte form has no base (what follows it is the next command)
// and counts in 1/3600 inch.
void unit_command(Escp2Walk* w, std::uint64_t p, std::uint64_t params) {
  if (params < 1) return;
  const double numerator = w->d[p + 5];
  double base = 0;
  if (params == 1) {
    base = UNIT_1_BYTE_BASE;
  } else if (params >= 5) {
    base = scan_le16_at(w->d, p + 8).value_or(0);
  }
  if (numerator <= 0 || base <= 0) return;
  w->unit = numerator / base;
  LOG_DEV("Esc(U found unit: %f", w->unit);
}

// A named paper within a millimetre of width x height, or null.
const PaperNameDims* paper_near(int width, int height) {
  for (const PaperNameDims& paper : paper_name_dims()) {
    if (std::abs(paper.width_mm - width) <= PAPER_TOLERANCE_MM &&
        std::abs(paper.height_mm - height) <= PAPER_TOLERANCE_MM) {
      return &paper;
    }
  }
  return nullptr;
}

void paper_size(Escp2Walk* w, std::uint64_t p, std::uint64_t params) {
  if (params < 8) return;
  const double inch_width = scan_le32_at(w->d, p + 5).value_or(0) * w->unit;
  const double inch_height = scan_le32_at(w->d, p + 9).value_or(0) * w->unit;
  const int width = ja_round_mm(inch_width * 25.4);
  int height = ja_round_mm(inch_height * 25.4);
  LOG_DEV("ESC(S size found: %d x %d", width, height);
  // A length that is no paper's but is one's with the drivers' extra
  // bottom margin added is that paper's.
  const PaperNameDims* short_paper =
      paper_near(width, ja_round_mm((inch_height - EXTRA_BOTTOM_INCH) * 25.4));
  if (paper_near(width, height) == nullptr && short_paper != nullptr) {
    LOG_DEBUG("ESC(S length %d mm holds the bottom margin: %s paper", height, short_paper->name);
    height = short_paper->height_mm;
  }
  ja_set_page_width_height_mm(w->ja, width, height);
}

void color_mode(Escp2Walk* w, std::uint64_t p, std::uint64_t params) {
  if (w->d[p + 3] != 2 || params < 2) return;
  const int marker = w->d[p + 6];
  w->color_mode_seen = true;
  if (marker == 2) {
    w->page_color = true;
    w->color_set_on_page = w->pages;
  } else if (!(w->is_wf && w->page_color && w->color_set_on_page == w->pages)) {
    w->page_color = false;
  }
  LOG_DEV("Esc(K found: color marker=%d at offset=%llu", marker, at(p));
}

// ESC ( X nL nH and nL + 256 nH parameter bytes. Fields are read only from
// parameters the command declares and the data holds.
std::uint64_t extended_command(Escp2Walk* w, std::uint64_t p) {
  const std::uint8_t letter = w->d[p + 2];
  const std::uint64_t declared = w->d[p + 3] + 256u * w->d[p + 4];
  const std::uint64_t params = std::min(declared, w->d.size() - (p + 5));
  if (std::memchr("CcKSUjr", letter, 7) == nullptr) {
    w->page_content = true;
    LOG_DEV("Non-normal mode ESC(%c at %llu", letter, at(p));
  }
  switch (letter) {
    case 'R':
      // The block's own name ("REMOTE1") is read in remote mode.
      w->mode = Mode::REMOTE;
      LOG_DEV("Switching to MODE_REMOTE_CMD at offset=%llu", at(p));
      return p + 5;
    case 'U':
      unit_command(w, p, params);
      break;
    case 'S':
      paper_size(w, p, params);
      break;
    case 'K':
      color_mode(w, p, params);
      break;
    case 'r':
      // ESC ( r 02 00 d n: ink n (d picks its light variant) for the
      // ESC . raster that follows.
      if (params >= 2) w->dot_raster_ink = w->d[p + 6];
      break;
    case 'j':
      if (w->d[p + 3] == 1) {
        w->simplex = true;
        LOG_DEV("Esc(j found: plex marker=%d at offset=%llu", params > 0 ? w->d[p + 5] : -1,
                at(p));
      }
      break;
    default:
      break;
  }
  return skip_to(*w, p, 5 + declared);
}

// ESC . c v h m nL nH: m rows of nL + 256 nH dots, a bit each.
std::uint64_t dot_raster(Escp2Walk* w, std::uint64_t p) {
  const int compression = w->d[p + 2];
  const std::uint64_t rows = w->d[p + 5];
  const std::uint64_t dots = w->d[p + 6] + 256u * w->d[p + 7];
  const std::uint64_t bytes = (dots + 7) / 8 * rows;
  raster_on_page(w, w->dot_raster_ink, bytes);
  if (compression == 0) {
    // Uncompressed raster is page content as much as compressed raster.
    w->page_content = true;
    colour_dots(w, span_at(*w, p + 8, bytes));
    return skip_to(*w, p, 8 + bytes);
  }
  if (compression == 1) {
    w->mode = Mode::RLE_RASTER;
    w->raster_left = bytes;
  } else {
    colour_undecoded(w);
    if (compression == 2) w->mode = Mode::TIFF_RASTER;
  }
  return p + 8;
}

// ESC i r c b nL nH mL mH: mL + 256 mH rows of nL + 256 nH bytes.
std::uint64_t byte_raster(Escp2Walk* w, std::uint64_t p) {
  const int compression = w->d[p + 3];
  const std::uint64_t row_bytes = w->d[p + 5] + 256u * w->d[p + 6];
  const std::uint64_t rows = w->d[p + 7] + 256u * w->d[p + 8];
  raster_on_page(w, w->d[p + 2], row_bytes * rows);
  if (compression == 0) {
    w->page_content = true;
    colour_dots(w, span_at(*w, p + 9, row_bytes * rows));
    return skip_to(*w, p, 9 + row_bytes * rows);
  }
  if (compression == 1) {
    w->mode = Mode::RLE_RASTER;
    w->raster_left = row_bytes * rows;
  } else {
    colour_undecoded(w);
  }
  return p + 9;
}

// ESC ( takes a letter or a sign as its command (ESC ( \ moves the print
// head, ESC ( - selects a score line, ESC ( ^ prints data as characters); all
// declare their parameters' length, and the parameters may hold any byte.
bool is_extended_command(std::uint8_t c) { return c > ' ' && c < 0x7F; }

// Bytes a column of an ESC/P bit image takes: 8-dot modes one, 24-dot modes
// three, 48-dot modes six; 0 for a density that does not exist.
std::uint64_t bit_image_column_bytes(std::uint8_t density) {
  if (density <= 7) return 1;
  if (density == 32 || density == 33 || (density >= 38 && density <= 40)) return 3;
  if (density >= 71 && density <= 73) return 6;
  return 0;
}

// ESC/P bit images (the raster of dot-matrix jobs, written without ESC/P2's
// remote-mode head): ESC * m nL nH, ESC K/L/Y/Z nL nH (8-dot columns) and
// ESC ^ m nL nH (9-dot columns of two bytes). The columns are page content
// and may hold any byte, form feeds included.
std::uint64_t bit_image(Escp2Walk* w, std::uint64_t p) {
  const std::uint8_t command = w->d[p + 1];
  std::uint64_t head = 4;
  std::uint64_t column_bytes = 1;
  if (command == '*' || command == '^') {
    head = 5;
    column_bytes = command == '^' ? 2 : bit_image_column_bytes(w->d[p + 2]);
    if (column_bytes == 0) return p + 1;
  }
  const std::uint64_t columns = w->d[p + head - 2] + 256u * w->d[p + head - 1];
  w->page_content = true;
  // Bit images print in the ribbon colour or ink ESC r chose (black unless
  // a colour printer's driver chose another).
  raster_on_page(w, w->dot_raster_ink, columns * column_bytes);
  colour_dots(w, span_at(*w, p + head, columns * column_bytes));
  return skip_to(*w, p, head + columns * column_bytes);
}

// ESC/P commands with one parameter byte, which may be any value (a form
// feed's 0C included): line feeds and spacing, page length, margins, pitch,
// character sets.
bool one_byte_parameter(std::uint8_t command) {
  return std::memchr("J3AQlxUNptRkSW-a!j%w", command, 20) != nullptr;
}

// ESC B / ESC D: a list of tab stops ended by NUL, at most 32 of them.
std::uint64_t tab_list_end(const Escp2Walk& w, std::uint64_t p) {
  constexpr std::uint64_t MAX_TABS = 32;
  const std::uint64_t last = std::min<std::uint64_t>(w.d.size(), p + 2 + MAX_TABS + 1);
  for (std::uint64_t q = p + 2; q < last; ++q) {
    if (w.d[q] == 0) return q + 1;
  }
  return p + 2;
}

// Bytes that follow ESC in other makers' dot-matrix and inkjet languages
// (Canon's ESC | with a letter, HP's Japanese ESC _, Star's ESC [) and in
// no ESC/P command.
bool foreign_command(std::uint8_t command) {
  return std::memchr("[]_{}~\"", command, 7) != nullptr;
}

// ESC | 00 nL nH and nL + 256 nH bytes: the settings block of the Stylus
// Color 300, whose one head prints every ink, each from its own nozzle
// rows. Canon's ESC | commands go on with a letter instead.
std::uint64_t settings_block(Escp2Walk* w, std::uint64_t p) {
  if (w->d[p + 2] != 0) {
    if (!w->foreign_escape) w->foreign_escape = p;
    return p + 1;
  }
  w->nozzle_rows = true;
  return skip_to(*w, p, 5 + w->d[p + 3] + 256u * w->d[p + 4]);
}

// The FS commands of the Kanji printers' ESC/P (NEC's P2X mode among them):
// the bytes each takes after FS and its letter. FS 3 n sets the line
// spacing and FS $ nL nH the print position; their values may be any byte.
std::uint64_t kanji_command_parameters(std::uint8_t command) {
  constexpr std::uint64_t USER_KANJI_PATTERN = 74;  // FS 2 c1 c2 and 72 dot bytes
  if (command == '2') return USER_KANJI_PATTERN;
  if (std::memchr("$ST", command, 3) != nullptr) return 2;
  if (std::memchr("!-3CWkrx", command, 8) != nullptr) return 1;
  return 0;
}

std::uint64_t normal_step(Escp2Walk* w, std::uint64_t p) {
  const std::uint8_t b = w->d[p];
  if (b == FORM_FEED) {
    form_feed(w, p);
    return p + 1;
  }
  if (b == KANJI_FS && p + 1 < w->d.size()) {
    return skip_to(*w, p, 2 + kanji_command_parameters(w->d[p + 1]));
  }
  if (b != ESC || !walk_has_room(w->d.size(), p, ESC_ROOM)) return p + 1;
  switch (w->d[p + 1]) {
    case '(':
      return is_extended_command(w->d[p + 2]) ? extended_command(w, p) : p + 1;
    case '.':
      return dot_raster(w, p);
    case 'i':
      return byte_raster(w, p);
    case '$':
    case '\\':
      return p + 4;
    case '+':
      return p + 3;
    case '*':
    case 'K':
    case 'L':
    case 'Y':
    case 'Z':
    case '^':
      return bit_image(w, p);
    case 'r':
      // The ink of the ESC . raster or the bit images that follow.
      w->dot_raster_ink = w->d[p + 2];
      return p + 3;
    case '@':
      // The printer's reset goes back to black.
      w->dot_raster_ink = INK_BLACK;
      return p + 2;
    case 'c':
    case 'e':
    case 'f':
      return p + 4;
    case 'C':
      // ESC C n lines, or ESC C NUL n inches.
      return w->d[p + 2] == 0 ? p + 4 : p + 3;
    case 'B':
    case 'D':
      return tab_list_end(*w, p);
    case '|':
      return settings_block(w, p);
    default:
      if (foreign_command(w->d[p + 1]) && !w->foreign_escape) w->foreign_escape = p;
      return one_byte_parameter(w->d[p + 1]) ? p + 3 : p + 1;
  }
}

// Run-length raster: a count below 128 is followed by count + 1 bytes, a
// larger one by one byte repeated 257 - count times. The runs of one raster
// command are stepped through in one go (the hot loop of an ESC/P2 job).
std::uint64_t rle_step(Escp2Walk* w, std::uint64_t p) {
  const std::uint8_t* data = w->d.data();
  const std::uint64_t size = w->d.size();
  std::uint64_t left = w->raster_left;
  // A colour band's runs are read until one shows a dot.
  while (w->colour_band && left > 0 && p < size) {
    const std::uint8_t count = data[p];
    const std::uint64_t produced = count < 128 ? count + 1u : 257u - count;
    const std::uint64_t consumed = count < 128 ? 1 + produced : 2;
    colour_dots(w, span_at(*w, p + 1, consumed - 1));
    left -= std::min(produced, left);
    p = consumed <= size - p ? p + consumed : size;
  }
  // Far from the end no run can carry past it (a run takes at most 129
  // bytes), so the loop's chain from one count byte to the next holds no
  // bound check.
  constexpr std::uint64_t LONGEST_RUN = 129;
  while (left > 0 && size - p > LONGEST_RUN) {
    const std::uint8_t count = data[p];
    const std::uint64_t produced = count < 128 ? count + 1u : 257u - count;
    left -= std::min(produced, left);
    p += count < 128 ? 2u + count : 2u;
  }
  while (left > 0 && p < size) {
    const std::uint8_t count = data[p];
    const std::uint64_t produced = count < 128 ? count + 1u : 257u - count;
    const std::uint64_t consumed = count < 128 ? 1 + produced : 2;
    left -= std::min(produced, left);
    p = consumed <= size - p ? p + consumed : size;
  }
  w->raster_left = left;
  if (left == 0) raster_done(w);
  return p;
}

std::uint64_t tiff_step(Escp2Walk* w, std::uint64_t p) {
  const std::uint8_t b = w->d[p];
  if (b >= 0x20 && b <= 0x2F) return skip_to(*w, p, 1u + (b - 0x20u));
  switch (b) {
    case 0x31:
      return p + 1 < w->d.size() ? skip_to(*w, p, 2u + w->d[p + 1]) : w->d.size();
    case 0x32: {
      const auto count = scan_le16_at(w->d, p + 1);
      return count ? skip_to(*w, p, 3u + *count) : w->d.size();
    }
    case 0x51:
    case 0x71:
      return skip_to(*w, p, 2);
    case 0x52:
    case 0x72:
      return skip_to(*w, p, 3);
    case 0xE3:
      raster_done(w);
      return p + 1;
    default:
      return p + 1;
  }
}

// "REMOTE1PM" near the start with "DP" behind a few small bytes asks for
// duplex; without it, a job that names a timer (REMOTE1TI) defaults to
// simplex.
void remote_pm(Escp2Walk* w, std::uint64_t p) {
  std::uint64_t q = p + 9;
  for (std::uint64_t k = 0; k < PM_DUPLEX_GAP && q < w->d.size() && w->d[q] < 11; ++k) ++q;
  if (p < PM_DUPLEX_HEAD && scan_bytes_at(w->d, q, "DP")) {
    w->duplex = true;
    LOG_DEV("Found 'REMOTE1PM ... DP' at %llu, assuming duplex ", at(p));
  } else if (w->has_remote_ti) {
    w->default_simplex = true;
    LOG_DEV("Found 'REMOTE1PM' at %llu, assuming default simplex ", at(p));
  }
}

// A remote command: two capital letters, a LE16 parameter count and the
// parameters. DP asks for two-sided printing when one of its two parameter
// bytes is not 0 (the drivers write 00 02 for long-edge duplex).
std::uint64_t remote_command(Escp2Walk* w, std::uint64_t p) {
  const std::uint64_t params = scan_le16_at(w->d, p + 2).value_or(0);
  if (scan_bytes_at(w->d, p, "DP") && params >= 2 && w->d.size() - (p + 4) >= 2 &&
      (w->d[p + 4] != 0 || w->d[p + 5] != 0)) {
    w->duplex = true;
    LOG_DEV("Found remote 'DP' %02x %02x at %llu, assuming duplex ", w->d[p + 4], w->d[p + 5],
            at(p));
  }
  return skip_to(*w, p, REMOTE_COMMAND_HEAD + params);
}

bool is_capital(std::uint8_t c) { return c >= 'A' && c <= 'Z'; }

// Remote mode: the block's name, then its commands one after another up to
// the block's end.
std::uint64_t remote_step(Escp2Walk* w, std::uint64_t p) {
  using namespace std::string_view_literals;
  if (scan_bytes_at(w->d, p, "\x1b\0\0\0"sv)) {
    w->mode = Mode::NORMAL;
    w->page_content = true;
    LOG_DEV("Switching to MODE_NORMAL at offset=%llu", at(p));
    return p + 4;
  }
  if (scan_bytes_at(w->d, p, REMOTE_NAME)) {
    if (scan_bytes_at(w->d, p, "REMOTE1DP")) {
      w->duplex = true;
      LOG_DEV("Found 'REMOTE1DP' at %llu, assuming duplex ", at(p));
    } else if (scan_bytes_at(w->d, p, "REMOTE1PM")) {
      remote_pm(w, p);
    }
    return p + REMOTE_NAME.size();
  }
  if (w->d.size() - p >= REMOTE_COMMAND_HEAD && is_capital(w->d[p]) && is_capital(w->d[p + 1])) {
    return remote_command(w, p);
  }
  return p + 1;
}

void walk(Escp2Walk* w) {
  WalkTimer timer("Epson");
  std::uint64_t p = 0;
  while (p < w->d.size()) {
    if (timer.expired(p)) return;
    switch (w->mode) {
      case Mode::NORMAL:
        p = normal_step(w, p);
        break;
      case Mode::RLE_RASTER:
        p = rle_step(w, p);
        break;
      case Mode::TIFF_RASTER:
        p = tiff_step(w, p);
        break;
      case Mode::REMOTE:
        p = remote_step(w, p);
        break;
    }
  }
  LOG_DEBUG("Reached end of file (Epson)");
}

// The page count some drivers put in the job's last remote block.
int remote_jxd_pages(ByteSpan d) {
  using namespace std::string_view_literals;
  static constexpr std::string_view JXD = "REMOTE1JXD\0\0\0\x10\x02"sv;
  const std::uint64_t tail = std::min<std::uint64_t>(d.size(), JXD_TAIL);
  const auto found = scan_find(d, d.size() - tail, JXD);
  if (!found) return 0;
  const int pages = scan_le16_at(d, *found + JXD.size()).value_or(0);
  if (pages != 0) LOG_DEBUG("pages_remote1jxd=%d", pages);
  return pages;
}

// The pages counted, less the blank side a driver adds to a two-sided job
// of an odd page count: a first or last page that carries no raster in a
// job whose count is even.
int document_pages(const Escp2Walk& w, bool duplex) {
  if (!duplex || w.pages < 2 || w.pages % 2 != 0 || !w.job_raster ||
      !(w.first_page_blank || w.last_page_blank)) {
    return w.pages;
  }
  LOG_DEBUG("Epson: %s page of %d carries no raster: blank side of a duplex job",
            w.first_page_blank ? "first" : "last", w.pages);
  return w.pages - 1;
}

void report_colour(const Escp2Walk& w, int color_detection, JobAttribs* ja) {
  // Colour is judged where the job prints in monochrome mode or shows its
  // raster's inks; a job whose raster was not seen is not, unless
  // monochrome mode says so.
  const bool composite_black = w.job_raster && !w.black_raster && w.color_pages > 0;
  if (composite_black) LOG_DEBUG("Epson: no raster in black ink: black made of colour inks");
  const bool judged = (w.job_raster && !w.nozzle_rows && !composite_black) ||
                      (w.color_mode_seen && !w.page_color);
  if (color_detection && judged) {
    int color_pages = w.color_pages;
    if (color_pages > ja->pages) {
      LOG_DEBUG("Epson: color_pages=%d,ja->pages=%d Adjusting", color_pages, ja->pages);
      color_pages = ja->pages;
    }
    ja_set_color_pages(ja, color_pages);
    LOG_DEBUG("Epson: ja->color_pages=%d", ja->color_pages);
  }
  // Gray only where judged gray: a job whose colour is not judged is not
  // taken as gray.
  ja_set_is_grayscale(ja, judged && w.color_pages == 0);
  LOG_DEBUG("Epson: ja->is_grayscale=%d", ja->is_grayscale);
}

void report(const Escp2Walk& w, int color_detection, JobAttribs* ja) {
  const int jxd_pages = remote_jxd_pages(w.d);
  if (jxd_pages != 0) ja_set_pages(ja, jxd_pages);
  const bool duplex = w.default_simplex ? (w.pages > 1 && !w.simplex) : w.duplex;
  if (ja->pages < 1) ja_set_pages(ja, document_pages(w, duplex));
  if (jxd_pages > 0 || ja->pages < 2) {
    const std::int64_t ejl = search_count_ref(w.d.data(), w.d.size(), "@EJL 1284.4");
    if (ejl >= 3) {
      const int copies = static_cast<int>(std::min<std::int64_t>(ejl - 1, INT32_MAX));
      LOG_DEBUG("epson_process_job: copy_count=%d", copies);
      ja_set_copy_count(ja, copies);
    }
  }
  ja_set_is_duplex(ja, duplex);
  LOG_DEBUG("Epson pages=%d,is_simplex=%d,ja->is_duplex=%d", w.pages, w.simplex, ja->is_duplex);
  report_colour(w, color_detection, ja);
}

}  // namespace

int epson_process_job(const std::uint8_t* data, std::uint64_t length, int color_detection,
                      JobAttribs* ja) {
  LOG_DEV("entering epson_process_job");
  Escp2Walk w;
  w.d = scan_bytes(data, data != nullptr ? length : 0);
  w.ja = ja;
  w.is_wf = std::strstr(ja->printer_type, "WF") != nullptr;
  LOG_DEBUG("is_wf=%d", w.is_wf);
  w.has_remote_ti =
      scan_find(w.d.first(std::min<std::uint64_t>(w.d.size(), REMOTE_TI_HEAD)), 0, "REMOTE1TI")
          .has_value();
  walk(&w);
  if (w.foreign_escape) {
    // Its pages are not ESC/P form feeds: a count would be a guess.
    LOG_ERROR("ESC %c at offset %llu is no ESC/P command: the job is not analysed",
              w.d[*w.foreign_escape + 1], at(*w.foreign_escape));
    return -1;
  }
  report(w, color_detection, ja);
  return 0;
}

namespace {
int epson_adapter(const std::uint8_t* data, std::uint64_t length, int color, JobAttribs* ja) {
  return epson_process_job(data, length, color, ja);
}
}  // namespace

const AnalyzerEntry EPSON_ANALYZER{"epson_process_job", epson_adapter};
