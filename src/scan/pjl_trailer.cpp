// The PJL trailer: job totals after the last page. Two kinds: an FXJOBINFO
// comment block (one line per page and a few count lines), or PJL lines
// just before the final universal exit (PAGECOUNTER, PREPRINTINFO). Both
// are looked for only in fixed windows at the end of the job.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "foundation/log.h"
#include "scan/byte_cursor.h"
#include "scan/pjl.h"
#include "scan/pjl_fxjobinfo.h"
#include "scan/pjl_tokens.h"

namespace {

// Where the final universal exit may start, counted back from the end.
constexpr std::uint64_t UEL_NEAREST = 9;
constexpr std::uint64_t UEL_FARTHEST = 100;
// Bytes before the exit that may hold trailer lines, and how many lines.
constexpr std::uint64_t LINES_WINDOW = 600;
constexpr std::size_t MAX_LINES = 10;

void reset(PjlTrailerInfo* t) {
  *t = PjlTrailerInfo{.pages = -1,
                      .color_pages = -1,
                      .duplex = 0,
                      .grayscale = 0,
                      .page_height = 0,
                      .page_width = 0,
                      .multipage = -1,
                      .copies = 0};
}

// The final universal exit: the last one that starts 9 to 100 bytes before
// the end.
std::optional<std::uint64_t> final_uel(ByteSpan data) {
  if (data.size() < UEL_NEAREST) return std::nullopt;
  const std::uint64_t lowest = data.size() > UEL_FARTHEST ? data.size() - UEL_FARTHEST : 0;
  const auto found = scan_rfind(data, data.size() - UEL_NEAREST + 1,
                                std::string_view(PJL_UEL, PJL_UEL_LENGTH));
  if (!found || *found < lowest) return std::nullopt;
  return found;
}

struct TrailerLine {
  std::uint64_t start;
  std::uint64_t end;  // one past the CR or LF that ends it
};

// Up to 10 "@PJL" lines before the exit, nearest first. Walking back, a CR
// or LF marks where the next line ends; the first "@PJL" met after a mark
// is that line's start.
std::vector<TrailerLine> candidate_lines(ByteSpan data, std::uint64_t uel) {
  std::vector<TrailerLine> lines;
  if (uel == 0) return lines;
  const std::uint64_t stop = uel > LINES_WINDOW ? uel - LINES_WINDOW : 0;
  std::uint64_t end = uel;  // the first line ends at the byte before the exit
  bool open = true;
  for (std::uint64_t p = uel; p-- > stop && lines.size() < MAX_LINES;) {
    const std::uint8_t b = data[p];
    if (b == '\r' || b == '\n') {
      end = p + 1;
      open = true;
    } else if (open && b == '@' && scan_bytes_at(data, p, "@PJL") && p + 4 <= end) {
      lines.push_back({p, end});
      open = false;
    }
  }
  return lines;
}

int read_line_trailer(ByteSpan data, PjlTrailerInfo* t) {
  const auto uel = final_uel(data);
  if (!uel) {
    LOG_DEBUG("No PJL reset. Will not seeach for PJL trailer");
    return 0;
  }
  const std::vector<TrailerLine> lines = candidate_lines(data, *uel);
  if (lines.empty()) {
    LOG_DEBUG("No @PJL candidate trailer lines");
    return 0;
  }
  PjlTrailerTokens* table = pjl_trailer_tokens();
  if (table == nullptr) {
    LOG_DEBUG("unable to init trailer tokens");
    LOG_DEBUG("Unable to load PJL trailer tokens");
    return 0;
  }
  PjlTrailerTokens& tokens = *table;
  for (const TrailerLine& line : lines) {
    tokens.test(data.data() + line.start, line.end - line.start, line.start);
  }
  int count = 0;
  using T = PjlTrailerToken;
  if (tokens.hit(T::PAGECOUNTER) && tokens.value(T::PAGECOUNTER, 0) > 0) {
    t->pages = tokens.value(T::PAGECOUNTER, 0);
    LOG_DEBUG("Found PAGECOUNTER = %d in PJL trailer", t->pages);
    ++count;
  }
  if (tokens.hit(T::PREPRINT_PAGES) && tokens.value(T::PREPRINT_PAGES, 0) > 0) {
    t->pages = tokens.value(T::PREPRINT_PAGES, 0);
    LOG_DEBUG("Found PJL_PREPRINTINFO_PAGES = %d in PJL trailer", t->pages);
    ++count;
  }
  if (tokens.hit(T::PREPRINT_MULTIPAGE) && tokens.value(T::PREPRINT_MULTIPAGE, 0) > 0) {
    t->multipage = tokens.value(T::PREPRINT_MULTIPAGE, 0);
    LOG_DEBUG("Found PJL_PREPRINTINFO_MULTIPAGE = %d in PJL trailer", t->multipage);
    ++count;
  }
  if (const char* plex = tokens.text(T::PREPRINT_DUPLEX, 0);
      tokens.hit(T::PREPRINT_DUPLEX) && plex != nullptr) {
    t->duplex = std::strcmp(plex, "DUPLEX") == 0 ? 1 : 0;
    LOG_DEBUG("Found PJL_PREPRINTINFO_PLEX=%s => is_duplex=%d in PJL trailer", plex, t->duplex);
    ++count;
  }
  if (const char* mode = tokens.text(T::PREPRINT_RENDERMODE, 0);
      tokens.hit(T::PREPRINT_RENDERMODE) && mode != nullptr) {
    t->grayscale = std::strcmp(mode, "GRAYSCALE") == 0 || std::strcmp(mode, "TRUEBLACK") == 0;
    LOG_DEBUG("Found PJL_PREPRINTINFO_RENDERMODE=%s => is_grayscale=%d in PJL trailer", mode,
              t->grayscale);
    ++count;
  }
  LOG_DEV("PJL trailer matches: %d", count);
  return count > 0 ? 1 : 0;
}

}  // namespace

int pjl_parse_trailer(const std::uint8_t* buffer, std::uint64_t length, PjlTrailerInfo* trailer) {
  LOG_DEV("entering pjl_parse_trailer");
  if (trailer == nullptr) {
    LOG_DEBUG("passed invalid trailer structure");
    return 0;
  }
  reset(trailer);
  if (buffer == nullptr) return 0;
  const ByteSpan data = scan_bytes(buffer, length);
  if (pjl_read_fxjobinfo(data, trailer)) return 1;
  return read_line_trailer(data, trailer);
}
