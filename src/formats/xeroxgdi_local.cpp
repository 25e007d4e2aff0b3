// The locally rendered Xerox Phaser GDI stream: a fixed page marker per page,
// the copies at a fixed offset and the paper size and duplex mode as
// "name=value" text in the job's head.
#include <cmath>

#include "formats/format_entry.h"
#include "formats/marker_count.h"
#include "formats/text_header.h"
#include "formats/xeroxgdi.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "scan/scan_regex.h"

namespace {

constexpr std::uint64_t MIN_LENGTH = 100;
constexpr auto PAGE = marker_bytes("\x04\x00\x02\x00\x44\x00\x00\x00\x00\x00\x00\x00\x00\x00");
constexpr std::uint64_t COPIES_AT = 36;
// The head read for the settings, so that a 20-byte window never passes the
// end of the data.
constexpr std::uint64_t WINDOW = 20;
constexpr std::uint64_t HEAD = 10240;
constexpr std::uint64_t SHORT_JOB = HEAD + WINDOW;
constexpr double MM_PER_TENTH = 0.1;

struct LocalPatterns {
  ScanRegex width{R"(paperWidth=(\d+))", PCRE_ANCHORED};
  ScanRegex height{R"(paperLength=(\d+))", PCRE_ANCHORED};
  ScanRegex duplex{R"(duplexManual=(\d+))", PCRE_ANCHORED};
  [[nodiscard]] bool ok() const { return width.ok() && height.ok() && duplex.ok(); }
};

struct HeadSettings {
  double width = 0;
  double height = 0;
  bool size_set = false;
  bool duplex_read = false;
};

// The tests at a "p" or "d" of the head; the position the walk goes on at.
std::uint64_t head_step(std::string_view text, std::uint64_t pos, const LocalPatterns& re,
                        HeadSettings* s, JobAttribs* ja) {
  const std::string_view window = text.substr(pos, WINDOW);
  const auto tenths = [](const ScanMatch& m) {
    return std::floor(text_group_int(m.group(1)) * MM_PER_TENTH + 0.5);
  };
  std::uint64_t next = pos + 1;
  if (text[pos] == 'p' && s->width <= 0) {
    if (const ScanMatch m = re.width.match(window); m.matched) {
      s->width = tenths(m);
      LOG_DEBUG("xerox_gdi_local_process_job: width marker at %llu: '%.*s' => width=%.1f mm",
                static_cast<unsigned long long>(pos), static_cast<int>(m.group(0).size()),
                m.group(0).data(), s->width);
      next = pos + 11;
    }
  } else if (text[pos] == 'p' && s->height <= 0) {
    if (const ScanMatch m = re.height.match(window); m.matched) {
      s->height = tenths(m);
      LOG_DEBUG("xerox_gdi_local_process_job: height marker at %llu: '%.*s' => height=%.1f mm",
                static_cast<unsigned long long>(pos), static_cast<int>(m.group(0).size()),
                m.group(0).data(), s->height);
      next = pos + 12;
    }
  } else if (text[pos] == 'd' && !s->duplex_read) {
    if (const ScanMatch m = re.duplex.match(window); m.matched) {
      s->duplex_read = true;
      ja->is_duplex = text_group_int(m.group(1)) != 0 ? 1 : 0;
      LOG_DEBUG("xerox_gdi_local_process_job: duplex marker at %llu: '%.*s' => duplex=%d",
                static_cast<unsigned long long>(pos), static_cast<int>(m.group(0).size()),
                m.group(0).data(), ja->is_duplex);
      next = pos + 13;
    }
  }
  if (!s->size_set && s->width > 0 && s->height > 0) {
    s->size_set = true;
    ja_set_page_width_height_mm(ja, s->width, s->height);
  }
  return next;
}

}  // namespace

int xerox_gdi_local_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  if (length < MIN_LENGTH) {
    LOG_ERROR("xerox_gdi_local_process_job: spool file too short length=%llu",
              static_cast<unsigned long long>(length));
    return -1;
  }
  const ByteSpan bytes = scan_bytes(data, length);
  const std::int64_t count = search_count(data, length, PAGE.data(), PAGE.size());
  if (count < 0) {
    LOG_ERROR("xerox_gdi_local_process_job: search count failed in");
    return -1;
  }
  ja_set_pages(ja, static_cast<int>(std::min<std::int64_t>(count, INT32_MAX)));
  const int copies = *scan_le16_at(bytes, COPIES_AT);
  LOG_DEBUG("xerox_gdi_local_process_job: found %d copies", copies);
  ja_set_copy_count(ja, copies);
  // No record marks colour or gray: the colour is left unjudged, never taken as gray.
  const LocalPatterns patterns;
  if (!patterns.ok()) {
    LOG_ERROR("xerox_gdi_local_process_job: could not initialize regex's");
    return -1;
  }
  const std::uint64_t head = length <= SHORT_JOB ? length - WINDOW : HEAD;
  const std::string_view text = scan_text(bytes);
  HeadSettings settings;
  for (std::uint64_t pos = 0; pos < head;) {
    pos = head_step(text, pos, patterns, &settings, ja);
  }
  return 0;
}

const AnalyzerEntry XEROX_GDI_LOCAL_ANALYZER{"xerox_gdi_local_process_job",
                                             format_entry_adapter<xerox_gdi_local_process_job>};
