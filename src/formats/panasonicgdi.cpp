#include "formats/panasonicgdi.h"

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/marker_count.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

constexpr const char* TIMEOUT_NAME = "Panasonic GDI (remote)";
constexpr const char* DEFAULT_PAPER = "Letter";

// ---- first format ----
constexpr auto FAKE_END_OF_PAGE = marker_bytes("\x00\x70\x1b\x01\x00\x71\x1b");
constexpr auto PAGE = marker_bytes("\x1b\x01\x00\x71\x1b");
constexpr auto COPIES = marker_bytes("\x1b\x03\x00\x4f");
constexpr auto DUPLEX = marker_bytes("\x1b\x02\x00\x75");
constexpr auto PAPER = marker_bytes("\x1b\x02\x00\x6b");
constexpr std::uint8_t PAPER_A4 = 0x14;
constexpr std::uint8_t PAPER_A5 = 0x95;

// A record test: the room it names and its bytes.
bool record_at(ByteSpan data, std::uint64_t pos, std::uint64_t room, ByteSpan record) {
  return walk_has_room(data.size(), pos, room) && walk_marker_at(data, pos, record);
}

struct PanasonicScan {
  ByteSpan data;
  JobAttribs* ja;
  int pages = 0;

  // The tests of one position, each going on where the one before left it.
  std::uint64_t step(std::uint64_t pos) {
    if (record_at(data, pos, 7, FAKE_END_OF_PAGE)) {
      LOG_DEBUG("Found fake end-page at %llu. Skipping", static_cast<unsigned long long>(pos));
      pos += 7;
    }
    if (record_at(data, pos, 5, PAGE)) {
      if (pages < INT32_MAX) ++pages;
      LOG_DEBUG("Found page at %llu", static_cast<unsigned long long>(pos));
      pos += 5;
    }
    if (record_at(data, pos, 6, COPIES)) {
      const int copies = *scan_le16_at(data, pos + 4);
      LOG_DEBUG("Found copy count at %llu of %d", static_cast<unsigned long long>(pos), copies);
      ja_set_copy_count(ja, copies);
      pos += 6;
      if (record_at(data, pos, 6, DUPLEX)) {
        const int value = data[pos + 4];
        LOG_DEBUG("Found duplex at %llu with value %d", static_cast<unsigned long long>(pos), value);
        if (value != 0) ja_set_is_duplex(ja, 1);
        pos += 6;
      }
    }
    if (record_at(data, pos, 5, PAPER)) {
      const int value = data[pos + 4];
      LOG_DEBUG("Found paper size at %llu with value %x", static_cast<unsigned long long>(pos), value);
      if (value == PAPER_A4) ja_set_paper_size_name(ja, "A4");
      if (value == PAPER_A5) ja_set_paper_size_name(ja, "A5");
      pos += 5;
    }
    return pos + 1;
  }
};

// ---- second format ----
constexpr auto PAGE2_BYTES = marker_bytes("\x1b\x26\x26\x31\x52\x1b");
constexpr MarkerRule PAGE2{PAGE2_BYTES, 6, 6, "Found page at "};
constexpr std::uint64_t PJL_HEAD = 2048;
constexpr std::string_view PJL_DUPLEX = "@PJL SET DUPLEX=ON";
constexpr std::string_view PJL_COPIES = "@PJL SET COPIES=";

// The PJL lines in the head: duplex on and copies above 0.
std::uint64_t pjl_step(ByteSpan data, std::uint64_t pos, JobAttribs* ja) {
  if (walk_has_room(data.size(), pos, 18) && scan_bytes_at(data, pos, PJL_DUPLEX)) {
    ja_set_is_duplex(ja, 1);
    return pos + PJL_DUPLEX.size();
  }
  if (walk_has_room(data.size(), pos, 17) && scan_bytes_at(data, pos, PJL_COPIES)) {
    const DecimalRead copies =
        decimal_read(data.subspan(pos + PJL_COPIES.size()), DecimalSign::NONE);
    if (copies.length > 0 && copies.value > 0) {
      ja_set_copy_count(ja, static_cast<int>(std::min<std::int64_t>(copies.value, INT32_MAX)));
    }
    return pos + PJL_COPIES.size();
  }
  return pos + 1;
}

void default_paper(JobAttribs* ja) {
  if (ja->paper_size_name[0] == '\0') ja_set_paper_size_name(ja, DEFAULT_PAPER);
}

}  // namespace

int panasonic_gdi_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering panasonic_gdi_process_job");
  PanasonicScan scan{scan_bytes(data, length), ja};
  WalkTimer timer(TIMEOUT_NAME);
  // Each record tested is known by its first two bytes, so the walk stops
  // only where they stand, not at every zero of the raster data.
  const FormatPairSet pairs{{0x00, 1, 0x70}, {0x1b, 1, 0x01, 0x03}};
  (void)format_walk_pairs(scan.data, 0, &timer, pairs,
                          [&scan](std::uint64_t pos) { return scan.step(pos); });
  if (scan.pages >= 1) ja_set_pages(ja, scan.pages);
  default_paper(ja);
  return 0;
}

int panasonic2_gdi_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering panasonic2_gdi_process_job");
  const ByteSpan bytes = scan_bytes(data, length);
  WalkTimer timer(TIMEOUT_NAME);
  const ByteSpan head = bytes.first(std::min<std::uint64_t>(bytes.size(), PJL_HEAD));
  // The PJL lines are read in the head only, but against the whole data's
  // room, as a line may run past the head's end.
  (void)format_walk(head, &timer, WalkStarts{'@'},
                    [&](std::uint64_t pos) { return pjl_step(bytes, pos, ja); });
  const int pages = marker_count(bytes, PAGE2, &timer);
  if (pages >= 1) ja_set_pages(ja, pages);
  default_paper(ja);
  return 0;
}

const AnalyzerEntry PANASONIC_GDI_ANALYZER{"panasonic_gdi_process_job",
                                           format_entry_adapter<panasonic_gdi_process_job>};
const AnalyzerEntry PANASONIC2_GDI_ANALYZER{"panasonic2_gdi_process_job",
                                            format_entry_adapter<panasonic2_gdi_process_job>};
