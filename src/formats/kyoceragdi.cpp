#include "formats/kyoceragdi.h"

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

constexpr auto START_OF_PAGE = marker_bytes("\xf8\xff\xa0\x12\x00\x00\x9e\x1a\x08\x00\x07");
constexpr std::uint64_t ROOM = 15;
constexpr std::uint64_t COPIES_BEFORE = 1;
constexpr std::uint64_t COPIES_FIRST_AT = 2;
constexpr std::uint64_t DUPLEX_BEFORE = 9;
constexpr std::uint64_t DUPLEX_FIRST_AT = 11;
constexpr std::uint8_t DUPLEX_ON = 0xA6;

}  // namespace

int kyocera_gdi_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering kyocera_gdi_process_job");
  const ByteSpan bytes = scan_bytes(data, length);
  WalkTimer timer("kyocera_gdi");
  int pages = 0;
  int copies = -1;
  bool duplex = false;
  bool first_read = false;
  (void)format_walk(bytes, &timer, WalkStarts{START_OF_PAGE[0]}, [&](std::uint64_t pos) {
    if (!walk_has_room(length, pos, ROOM) || !walk_marker_at(bytes, pos, START_OF_PAGE)) {
      return pos + 1;
    }
    if (pages < INT32_MAX) ++pages;
    LOG_DEBUG("found start page marker at: %llu", static_cast<unsigned long long>(pos));
    if (!first_read && pos >= COPIES_FIRST_AT) {
      first_read = true;
      copies = bytes[pos - COPIES_BEFORE];
      LOG_DEBUG("Found copy count %d", copies);
      if (pos >= DUPLEX_FIRST_AT && bytes[pos - DUPLEX_BEFORE] == DUPLEX_ON) {
        LOG_DEBUG("Found duplex");
        duplex = true;
      }
    }
    return pos + 1;
  });
  ja_set_pages(ja, pages);
  ja_set_copy_count(ja, copies);
  ja_set_is_duplex(ja, duplex ? 1 : 0);
  return 0;
}

const AnalyzerEntry KYOCERA_GDI_ANALYZER{"kyocera_gdi_process_job",
                                         format_entry_adapter<kyocera_gdi_process_job>};
