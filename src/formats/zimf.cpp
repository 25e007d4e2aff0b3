#include "formats/zimf.h"

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

// The wrapper's head: a first block whose length stands at 80 and which
// starts at 84, then the length of a second block, then 4 + length + 4
// bytes on the DEVMODE record.
constexpr std::uint64_t FIRST_LENGTH_AT = 80;
constexpr std::uint64_t FIRST_BLOCK_AT = 84;
constexpr std::uint64_t SECOND_BLOCK_GAP = 4;
constexpr std::uint64_t DEVMODE_GAP = 4;
// Members of a Windows DEVMODE record.
constexpr std::uint64_t DM_COPIES = 86;
constexpr std::uint64_t DM_COLOR = 92;
constexpr std::uint64_t DM_DUPLEX = 94;
constexpr std::uint8_t DMCOLOR_MONOCHROME = 1;
constexpr std::uint8_t DMDUP_VERTICAL = 2;
constexpr std::uint8_t DMDUP_HORIZONTAL = 3;

constexpr auto PAGE_HEAD = marker_bytes("\xcd\x9a\xa9\xdc");
constexpr auto PAGE_TAIL = marker_bytes("\x02\x00\x00\x00");
constexpr std::uint64_t PAGE_TAIL_AT = 16;
constexpr std::uint64_t PAGE_ROOM = 20;

bool failed(const char* step) {
  LOG_DEBUG("%s", step);
  LOG_DEBUG("Unable to extra devmode information");
  return false;
}

// Reads the DEVMODE's copies, colour and duplex into the record; false (and
// nothing set) when one of its bytes lies outside the data.
bool get_devmode_data(ByteSpan data, JobAttribs* ja) {
  LOG_DEBUG("entering get_devmode_data");
  // Each length field must end before the last byte, as the wrapper's
  // writer guarantees.
  const auto first_length = scan_le16_at(data, FIRST_LENGTH_AT);
  if (!first_length || FIRST_LENGTH_AT + 2 >= data.size()) return failed("ZIMF - copy count - Bounds check failed at 1");
  const std::uint64_t second_length_at = FIRST_BLOCK_AT + *first_length;
  const auto second_length = scan_le16_at(data, second_length_at);
  if (!second_length || second_length_at + 2 >= data.size()) return failed("ZIMF - copy count - Bounds check failed at 2");
  const std::uint64_t devmode = second_length_at + SECOND_BLOCK_GAP + *second_length + DEVMODE_GAP;
  const auto copies = scan_le16_at(data, devmode + DM_COPIES);
  if (!copies) return failed("ZIMF - copy count - Bounds check failed at 3");
  if (devmode + DM_COLOR >= data.size()) return failed("ZIMF - Bounds check failed at 4");
  if (devmode + DM_DUPLEX >= data.size()) return failed("ZIMF - Bounds check failed at 5");
  LOG_DEBUG("ZIMF - copy count found at %llu with value of %d",
            static_cast<unsigned long long>(devmode + DM_COPIES), *copies);
  if (*copies > ja->copy_count) ja_set_copy_count(ja, *copies);
  const int color = data[devmode + DM_COLOR];
  LOG_DEBUG("ZIMF - grayscale found at %llu with value of %d",
            static_cast<unsigned long long>(devmode + DM_COLOR), color);
  ja_set_is_grayscale(ja, color == DMCOLOR_MONOCHROME ? 1 : 0);
  const int duplex = data[devmode + DM_DUPLEX];
  LOG_DEBUG("ZIMF - duplex found at %llu with value of %d",
            static_cast<unsigned long long>(devmode + DM_DUPLEX), duplex);
  ja_set_is_duplex(ja, duplex == DMDUP_VERTICAL || duplex == DMDUP_HORIZONTAL ? 1 : 0);
  return true;
}

}  // namespace

int zimf_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering zimf_process_job");
  const ByteSpan bytes = scan_bytes(data, length);
  if (!get_devmode_data(bytes, ja)) {
    ja_set_copy_count(ja, 1);
    ja_set_is_grayscale(ja, 0);
    ja_set_is_duplex(ja, 0);
  }
  WalkTimer timer("ZIMF");
  int pages = 0;
  (void)format_walk(bytes, &timer, WalkStarts{PAGE_HEAD[0]}, [&](std::uint64_t pos) {
    if (walk_has_room(length, pos, PAGE_ROOM) && walk_marker_at(bytes, pos, PAGE_HEAD) &&
        walk_marker_at(bytes, pos + PAGE_TAIL_AT, PAGE_TAIL)) {
      if (pages < INT32_MAX) ++pages;
      LOG_DEBUG("found page at: %llu", static_cast<unsigned long long>(pos));
    }
    return pos + 1;
  });
  ja_set_pages(ja, pages);
  return 0;
}

const AnalyzerEntry ZIMF_ANALYZER{"zimf_process_job", format_entry_adapter<zimf_process_job>};
