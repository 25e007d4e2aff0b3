// ESC/Page jobs sent without EJL (Ghostscript's lp2000): no sheet count and
// no model page marker, so the pages are the form feeds between the GS
// commands, with the bytes of bit images skipped by their declared size.
#include "formats/epsonpage_internal.h"

#include "formats/format_walk.h"

#include "foundation/decimal.h"
#include "foundation/log.h"

namespace {

constexpr std::uint8_t GS = 0x1D;
constexpr std::uint8_t ESC = 0x1B;
constexpr std::uint8_t FORM_FEED = 0x0C;

bool parameter_byte(std::uint8_t b) { return (b >= '0' && b <= ';') || b == '.' || b == '-'; }
bool final_byte(std::uint8_t b) { return b >= 'A' && b <= 'Z'; }

struct PlainWalk {
  ByteSpan d;
  int pages = 0;
  bool lined_up = true;

  // GS, parameters, the command's name and its capital final letter; a bit
  // image ("bi{I") is followed by as many bytes as its first parameter says.
  std::uint64_t command(std::uint64_t p) {
    std::uint64_t q = p + 1;
    while (q < d.size() && parameter_byte(d[q])) ++q;
    const ByteSpan params = d.subspan(p + 1, q - (p + 1));
    const std::uint64_t name = q;
    while (q < d.size() && !final_byte(d[q])) ++q;
    if (q >= d.size()) return d.size();
    const std::string_view text(reinterpret_cast<const char*>(d.data() + name), q + 1 - name);
    if (text != "bi{I") return q + 1;
    const DecimalRead bytes = decimal_read(params, DecimalSign::NONE);
    if (bytes.length == 0 || static_cast<std::uint64_t>(bytes.value) >= d.size() - q) {
      return d.size();
    }
    const std::uint64_t next = q + 1 + static_cast<std::uint64_t>(bytes.value);
    if (next < d.size() && d[next] != GS && d[next] != FORM_FEED && d[next] != ESC) {
      LOG_DEBUG("ESC/Page bit image at %llu does not end at a command",
                static_cast<unsigned long long>(p));
      lined_up = false;
      return d.size();
    }
    return next;
  }

  std::uint64_t step(std::uint64_t p) {
    if (d[p] == FORM_FEED) {
      ++pages;
      return p + 1;
    }
    return command(p);
  }
};

}  // namespace

int epsonpage_plain_pages(ByteSpan d) {
  if (scan_find(d, 0, "@EJL")) return 0;
  WalkTimer timer("Epson Page");
  PlainWalk w{d};
  const bool finished = format_walk(d, &timer, WalkStarts{GS, FORM_FEED},
                                    [&w](std::uint64_t p) { return w.step(p); });
  if (!finished || !w.lined_up) return 0;
  LOG_DEBUG("epsonpage_process_job: ja->pages = form feeds without EJL (%d)", w.pages);
  return w.pages;
}
