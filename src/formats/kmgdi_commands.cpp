// The Minolta GDI command walk: each command checked by its complement and
// checksum, bitmap data stepped over by its count.
#include "formats/kmgdi_commands.h"

#include <optional>

#include "formats/format_walk.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"
#include "scan/position_timer.h"

namespace {

constexpr std::uint8_t KM_ESCAPE = 0x1B;
constexpr std::uint8_t KM_START_JOB = 0x40;
constexpr std::uint8_t KM_END_JOB = 0x41;
constexpr std::uint8_t KM_PAGE = 0x51;
constexpr std::uint8_t KM_RASTER = 0x52;
// ESC, command, sequence, length (2), complement; the checksum follows the
// parameters.
constexpr std::uint64_t KM_HEADER = 6;
constexpr std::uint64_t KM_CHECKSUM = 1;
// The page command's paper code, in the drivers' numbering.
constexpr std::uint64_t KM_PAGE_PAPER = 15;
constexpr WalkCodeName KM_PAPERS[] = {
    {0x04, "A4"}, {0x08, "A5"}, {0x19, "Legal"}, {0x1B, "Letter"}};

struct KmCommands {
  int pages = 0;
  int paper = -1;  // the first page's code
  bool ended = false;
};

// Reads the command at `pos`: where the next one begins, or nothing when it
// is no whole command.
std::optional<std::uint64_t> km_command(KmCommands* k, ByteSpan d, std::uint64_t pos) {
  if (!walk_has_room(d.size(), pos, KM_HEADER) || d[pos] != KM_ESCAPE) return std::nullopt;
  const std::uint8_t command = d[pos + 1];
  const std::uint64_t length = *scan_le16_at(d, pos + 3);
  if (d[pos + 5] != static_cast<std::uint8_t>(~command)) return std::nullopt;
  if (d.size() - pos < KM_HEADER + length + KM_CHECKSUM) return std::nullopt;
  unsigned sum = 0;
  for (std::uint64_t i = 0; i < KM_HEADER + length; ++i) sum += d[pos + i];
  if (static_cast<std::uint8_t>(sum) != d[pos + KM_HEADER + length]) return std::nullopt;
  const ByteSpan parameters = d.subspan(pos + KM_HEADER, length);
  std::uint64_t next = pos + KM_HEADER + length + KM_CHECKSUM;
  if (command == KM_PAGE) {
    ++k->pages;
    if (k->paper < 0 && parameters.size() > KM_PAGE_PAPER) k->paper = parameters[KM_PAGE_PAPER];
  } else if (command == KM_RASTER) {
    const auto bitmap = scan_le32_at(parameters, 0);
    if (!bitmap || *bitmap > d.size() - next) return std::nullopt;
    next += *bitmap;
  } else if (command == KM_END_JOB) {
    k->ended = true;
  }
  return next;
}

}  // namespace

int kmgdi_commands_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  const ByteSpan d = scan_bytes(data, length);
  if (!walk_has_room(length, 0, 1) || d[0] != KM_ESCAPE || d[1] != KM_START_JOB) return 0;
  WalkTimer timer("KMGDI");
  KmCommands k;
  std::uint64_t pos = 0;
  while (pos < length && !k.ended && !timer.expired(pos)) {
    const auto next = km_command(&k, d, pos);
    if (!next) {
      LOG_DEBUG("kmgdi: no whole command at %llu", static_cast<unsigned long long>(pos));
      return 0;
    }
    pos = *next;
  }
  LOG_DEBUG("kmgdi: %d page commands, paper code %d", k.pages, k.paper);
  ja_set_pages(ja, k.pages);
  ja_set_copy_count(ja, 1);
  if (const char* paper = walk_code_name(KM_PAPERS, k.paper); paper != nullptr)
    ja_set_paper_size_name(ja, paper);
  return 1;
}
