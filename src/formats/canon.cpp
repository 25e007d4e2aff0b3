// Canon BJ: every command ESC ( x and ESC [ x carries the length of its
// parameters, so the walk jumps over whole commands (raster data included)
// and only a form feed between commands ends a page.
#include "formats/canon.h"

#include "foundation/ja.h"
#include "foundation/log.h"
#include "formats/format_entry.h"
#include "formats/format_walk.h"

namespace {

constexpr std::uint8_t FORM_FEED = 0x0C;
constexpr std::uint8_t ESC = 0x1B;
// Sizes of ESC ( p are in 1/60 inch, the length first; the driver's
// printable area is 7 mm short of the paper.
constexpr double MM_PER_SIXTIETH = 25.4 / 60.0;
constexpr int PAGE_MARGIN_MM = 7;
// ESC ( $ (9 parameter bytes) sets two-sided printing: its third byte is
// 2 for duplex, 0 for simplex.
constexpr std::uint8_t DUPLEX_COMMAND = '$';
constexpr std::uint64_t DUPLEX_PARAMS = 9;
constexpr std::uint8_t DUPLEX_ON = 2;
// ESC ( c: the low bit of its first parameter byte selects monochrome.
constexpr std::uint8_t MONOCHROME_BIT = 0x01;

struct CanonScan {
  ByteSpan data;
  JobAttribs* ja;
  int pages = 0;
  bool monochrome = false;
  bool color_mode = false;
  bool plane_raster = false;   // ESC ( A: raster of one ink plane of a colour printer
  bool single_raster = false;  // ESC [ g: raster of the black-only BJ printers

  std::uint64_t step(std::uint64_t pos) {
    const std::uint64_t length = data.size();
    if (data[pos] == FORM_FEED) {
      if (ends_page(pos)) {
        ++pages;
        LOG_DEBUG("found page at: %llu", static_cast<unsigned long long>(pos));
      }
      return pos + 1;
    }
    if (walk_has_room(length, pos, 5) && scan_bytes_at(data, pos, "\x1b(c")) color_command(pos);
    if (walk_has_room(length, pos, 10) && scan_bytes_at(data, pos, "\x1b(p") && data[pos + 3] >= 8) {
      const int height = static_cast<int>(*scan_be16_at(data, pos + 5) * MM_PER_SIXTIETH) + PAGE_MARGIN_MM;
      const int width = static_cast<int>(*scan_be16_at(data, pos + 9) * MM_PER_SIXTIETH) + PAGE_MARGIN_MM;
      LOG_DEBUG("found a size at %llu of %dmm x %dmm", static_cast<unsigned long long>(pos), width,
                height);
      ja_set_page_width_height_mm(ja, width, height);
    }
    if (walk_has_room(length, pos, 4) && (data[pos + 1] == '(' || data[pos + 1] == '[') &&
        ((data[pos + 2] >= 'A' && data[pos + 2] <= 'z') || data[pos + 2] == DUPLEX_COMMAND)) {
      const bool extended = data[pos + 1] == '(';
      if (extended && data[pos + 2] == DUPLEX_COMMAND) duplex_command(pos);
      if (extended && data[pos + 2] == 'A') plane_raster = true;
      if (!extended && data[pos + 2] == 'g') single_raster = true;
      return pos + 5 + data[pos + 3] + 256ULL * data[pos + 4];
    }
    return short_command_end(pos);
  }

  // A form feed between commands. One that ends the data (older BJ printers
  // end the job with it) has no bytes behind it to test.
  [[nodiscard]] bool ends_page(std::uint64_t pos) const {
    const std::uint64_t behind = data.size() - pos - 1;
    if (behind == 0) return true;
    if (data[pos + 1] == 0x80) return false;
    return behind == 1 || data[pos + 2] != ESC;
  }

  // The older BJ commands with parameter bytes but no length (feeds, page
  // length, positions): their parameters may hold a 0C that is no form feed.
  [[nodiscard]] std::uint64_t short_command_end(std::uint64_t pos) const {
    if (!walk_has_room(data.size(), pos, 3)) return pos + 1;
    switch (data[pos + 1]) {
      case 'J':
      case '5':
        return pos + 3;
      case 'd':
        return pos + 4;
      case 'C':
        return data[pos + 2] == 0 ? pos + 4 : pos + 3;
      default:
        return pos + 1;
    }
  }

  // ESC ( c: its first parameter byte's low bit selects monochrome (x1) or
  // colour (x0). The job is gray only when no command chose colour (below).
  void color_command(std::uint64_t pos) {
    if (data[pos + 4] == 0x00 && data[pos + 5] == 0x31) {
      LOG_DEBUG("grayscale mode detected at: %llu", static_cast<unsigned long long>(pos));
    }
    if ((data[pos + 5] & MONOCHROME_BIT) != 0) {
      monochrome = true;
    } else {
      color_mode = true;
    }
  }

  void duplex_command(std::uint64_t pos) {
    if (data[pos + 3] + 256ULL * data[pos + 4] != DUPLEX_PARAMS ||
        !walk_has_room(data.size(), pos, 5 + DUPLEX_PARAMS)) {
      return;
    }
    const int plex = data[pos + 7];
    LOG_DEBUG("duplex setting %d at: %llu", plex, static_cast<unsigned long long>(pos));
    if (plex == DUPLEX_ON) ja_set_is_duplex(ja, 1);
  }
};

}  // namespace

int canon_bj_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering canon_bj_process_job");
  WalkTimer timer("Canon BJ");
  CanonScan scan{scan_bytes(data, length), ja};
  (void)format_walk(scan.data, &timer, WalkStarts{FORM_FEED, ESC},
                    [&scan](std::uint64_t pos) { return scan.step(pos); });
  ja_set_pages(ja, scan.pages);
  // Only monochrome mode, or the raster of the black-only printers (ESC [ g
  // without ink planes), judges colour (every page gray); the raster of a
  // colour-mode job is not read for it.
  const bool black_only = scan.single_raster && !scan.plane_raster;
  if ((scan.monochrome && !scan.color_mode) || black_only) {
    ja_set_is_grayscale(ja, 1);
    ja_set_color_pages(ja, 0);
  }
  return 0;
}

const AnalyzerEntry CANON_BJ_ANALYZER{"canon_bj_process_job",
                                     format_entry_adapter<canon_bj_process_job>};
