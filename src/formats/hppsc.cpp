// HP's host-based inkjet language (LIDIL, the "PSC" GDI of hpcups' DeskJet
// 3900 class and its kin): a chain of packets, each '$', its command length
// (big-endian, 16 bits), two bytes, the command, a reference number and the
// length of the data behind the command (both 16 bits), options, and '$' as
// the command's last byte. Every page is one load-page command.
#include "formats/hppsc.h"

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "scan/pjl.h"

namespace {

constexpr std::uint8_t FRAME = '$';
// The shortest packet, and the bytes of its header.
constexpr std::uint16_t PACKET_MIN = 16;
constexpr std::uint64_t HEADER = 10;
constexpr std::uint8_t COMMAND_LOAD_PAGE = 1;

// Separators of the sync and reset packets, the rule for data whose packet
// chain cannot be read: one before every page and once more at the end.
constexpr auto SEPARATOR_BYTES = marker_bytes("\xff\xff\xff\xff\xff\x24\x24\x00");
constexpr MarkerRule SEPARATOR{SEPARATOR_BYTES, 8, 9, "found page separator at: "};

struct Packets {
  std::uint64_t read = 0;
  int load_pages = 0;
};

// The packet at `pos`: the position behind its data, or 0 when no packet
// begins there (the walk then goes on at the next '$').
std::uint64_t packet_at(Packets* packets, ByteSpan d, std::uint64_t pos) {
  if (!walk_has_room(d.size(), pos, HEADER) || d[pos] != FRAME) return 0;
  const std::uint16_t command_length = *scan_be16_at(d, pos + 1);
  if (command_length < PACKET_MIN || command_length > d.size() - pos ||
      d[pos + command_length - 1] != FRAME) {
    return 0;
  }
  const std::uint16_t data_length = *scan_be16_at(d, pos + 8);
  ++packets->read;
  if (d[pos + 5] == COMMAND_LOAD_PAGE) {
    ++packets->load_pages;
    LOG_DEBUG("found load page command at: %llu", static_cast<unsigned long long>(pos));
  }
  return pos + command_length + std::min<std::uint64_t>(data_length, d.size() - pos - command_length);
}

}  // namespace

int hp_gdi_psc_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering hp_gdi_psc_process_job");
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer(analyzer_lang_to_string(LANG_GDI_HP_3));
  Packets packets;
  const bool whole = format_walk(d, &timer, WalkStarts{FRAME}, [&](std::uint64_t pos) {
    return packet_at(&packets, d, pos);
  });
  if (packets.load_pages > 0) {
    LOG_DEBUG("LIDIL packets: %llu, pages: %d", static_cast<unsigned long long>(packets.read),
              packets.load_pages);
    ja_set_pages(ja, packets.load_pages);
  } else if (whole) {
    const int separators = marker_count(d, SEPARATOR, &timer);
    if (separators >= 1) ja_set_pages(ja, separators - 1);
  }
  (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_720TH_INCH);
  return 0;
}

const AnalyzerEntry HP_GDI_PSC_ANALYZER{"hp_gdi_psc_process_job",
                                        format_entry_adapter<hp_gdi_psc_process_job>};
