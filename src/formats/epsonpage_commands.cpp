// The pages of an ESC/Page command stream, counted on its command
// boundaries: a form feed between commands prints a page, and so does a
// reset that ends a page of bit images no form feed printed (drivers that
// send every page as a job of its own). Data blocks are skipped by the
// length their command declares, so raster bytes never count.
#include <cinttypes>
#include <string_view>

#include "formats/epsonpage_internal.h"
#include "formats/format_skip.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

constexpr std::uint8_t FORM_FEED = 0x0C;
// A command: GS, numeric parameters (digits, ';', '.', '-'), then a name of
// lower-case letters and '{' that ends in a capital letter. Longer runs than
// these are not commands.
constexpr std::uint64_t MAX_PARAMETERS = 64;
constexpr std::uint64_t MAX_NAME = 8;
// A '{' in the name announces a data block whose byte count is the first
// parameter; "{I" is the image class (bit images, raster).
constexpr char DATA_MARK = '{';
// A hard reset; it prints a page that holds marks.
constexpr std::string_view RESET = "rhE";
// Where the walk stops between commands.
constexpr FormatByteSet STARTS("\x1d\x0c");  // GS and form feed

struct Command {
  std::uint64_t end = 0;         // behind the name
  std::uint64_t data_bytes = 0;  // the declared data block, 0 without one
  bool image = false;
  std::string_view name;
};

bool is_parameter_byte(std::uint8_t c) {
  return ascii_is_digit(c) || c == ';' || c == '.' || c == '-';
}

// The command at `p` (a GS), or nothing when the bytes there are not one.
bool read_command(ByteSpan d, std::uint64_t p, Command* c) {
  std::uint64_t q = p + 1;
  while (q < d.size() && q - p - 1 <= MAX_PARAMETERS && is_parameter_byte(d[q])) ++q;
  const std::uint64_t name_from = q;
  while (q < d.size() && q - name_from < MAX_NAME &&
         (ascii_is_lower(d[q]) || d[q] == DATA_MARK)) {
    ++q;
  }
  if (q >= d.size() || !ascii_is_upper(d[q])) return false;
  c->end = q + 1;
  c->name = scan_text(d.subspan(name_from, c->end - name_from));
  if (c->name.find(DATA_MARK) != std::string_view::npos) {
    const DecimalRead n =
        decimal_read(d.subspan(p + 1, name_from - p - 1), DecimalSign::NONE);
    if (n.length == 0) return false;
    c->data_bytes = static_cast<std::uint64_t>(n.value);
    c->image = c->name.ends_with("{I");
  }
  return true;
}

}  // namespace

EpsonPageCommandPages epsonpage_command_pages(ByteSpan d, WalkTimer* timer) {
  EpsonPageCommandPages result;
  bool images_since_page = false;
  std::uint64_t p = 0;
  for (p = STARTS.next(d.data(), d.size(), p); p < d.size();
       p = STARTS.next(d.data(), d.size(), p)) {
    if (timer->expired(p)) {
      result.in_step = false;
      return result;
    }
    if (d[p] == FORM_FEED) {
      ++result.pages;
      images_since_page = false;
      ++p;
      continue;
    }
    Command c;
    if (!read_command(d, p, &c)) {
      // Not a command where one must stand: the stream is not walked as
      // the driver wrote it, and its count is not to be trusted.
      LOG_DEBUG("epsonpage_command_pages: no command at GS %" PRIu64 ", count not used", p);
      result.in_step = false;
      return result;
    }
    if (c.name == RESET && images_since_page) {
      ++result.pages;
      images_since_page = false;
    }
    images_since_page = images_since_page || c.image;
    if (c.data_bytes > d.size() - c.end) break;
    p = c.end + c.data_bytes;
  }
  LOG_DEBUG("epsonpage_command_pages: %d page ends between commands", result.pages);
  return result;
}
