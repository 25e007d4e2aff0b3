// The Kyocera trailer: found in fixed windows at the end of the job, read
// with two patterns.
#include "scan/kyocerameta.h"

#include <cstring>
#include <string>
#include <string_view>

#include "foundation/decimal.h"
#include "foundation/log.h"
#include "foundation/util.h"
#include "scan/byte_cursor.h"
#include "scan/scan_regex.h"

namespace {

// A buffer this long or shorter has no room for a trailer.
constexpr std::uint64_t MIN_LENGTH = 1201;
// Where the final universal exit may start, counted back from the end.
constexpr std::uint64_t UEL_NEAREST = 10;
constexpr std::uint64_t UEL_FARTHEST = 200;
// The window of "!R!" lines ends this many bytes before the exit.
constexpr std::uint64_t WINDOW_GAP = 3;
constexpr std::uint64_t WINDOW = 997;

std::uint32_t count(std::string_view digits) {
  return static_cast<std::uint32_t>(decimal_clamp<std::int32_t>(decimal_read(digits).value));
}

std::optional<std::uint64_t> final_uel(ByteSpan data) {
  const auto found = scan_rfind(data, data.size() - UEL_NEAREST + 1,
                                std::string_view(PJL_UEL, PJL_UEL_LENGTH));
  if (!found || *found < data.size() - UEL_FARTHEST) return std::nullopt;
  return found;
}

}  // namespace

int kyocerameta_parse_trailer(const std::uint8_t* buffer, std::uint64_t length,
                              KyoceraTrailerInfo* trailer) {
  if (trailer == nullptr) return 0;
  std::memset(trailer, 0, sizeof *trailer);
  if (buffer == nullptr || length <= MIN_LENGTH) {
    LOG_DEV("No room for Kyocera trailer. Will not search for it.");
    return 0;
  }
  const ByteSpan data = scan_bytes(buffer, length);
  const auto uel = final_uel(data);
  if (!uel) {
    LOG_DEV("No PJL reset. Will not search for Kyocera trailer.");
    return 0;
  }
  const std::uint64_t window_end = *uel - WINDOW_GAP;
  const auto mark = scan_find(data.first(window_end), window_end - WINDOW, "!R!");
  if (!mark) {
    LOG_DEV("No !R!. Will not search for Kyocera trailer.");
    return 0;
  }
  const std::string_view lines = scan_text(data.subspan(*mark, *uel - *mark));

  const ScanRegex counts(R"re(!R!\s+CMNT\s+Color=\s*(\d+)\s*,\s*Mono=\s*(\d+)\s*;\s*EXIT;)re", 0);
  const ScanRegex paper(R"re(!R!\s+CMNT\s+PaperSize\s*=\s*([^;]*?)\s*;)re", 0);
  if (!counts.ok()) LOG_ERROR("re_page_count: regex_compile failed");
  if (!paper.ok()) LOG_ERROR("re_pagesize: regex_compile failed");
  if (!counts.ok() || !paper.ok()) return 0;

  const ScanMatch c = counts.match(lines);
  if (c.matched) {
    if (!c.group(1).empty()) trailer->color_pages = count(c.group(1));
    if (!c.group(2).empty()) trailer->mono_pages = count(c.group(2));
    LOG_DEBUG("Found Kyocera Mita trailer=color_pages=%u,mono_pages=%u", trailer->color_pages,
              trailer->mono_pages);
  } else {
    LOG_DEV("Could not match Kyocera trailer re_page_count");
  }
  const ScanMatch p = paper.match(lines);
  if (p.matched && !p.group(1).empty()) {
    util_safe_strncpy(trailer->paper_size_name, std::string(p.group(1)).c_str(),
                      sizeof trailer->paper_size_name);
    LOG_DEBUG("Found Kyocera Mita paper_size_name='%s'", trailer->paper_size_name);
  } else {
    LOG_DEV("Could not match Kyocera trailer re_paper_size_name");
  }
  return c.matched ? 1 : 0;
}
